// Scans for the listings: the groups of a project and the recipes of a
// group with the sub-group that holds each, read in one process.
#pragma once

#include <string>
#include <vector>

#include "Target.h"

class CQVERcpDirInfo;

namespace rcpstore {

struct ListedRecipe {
  Target recipe;
  std::string subGroup;  // "" at the group's top level
};

// The groups of a project in number order; a group target is its own list.
std::vector<Target> GroupsOf(const Target& target);
// The recipes of a group in number order, with their sub-groups.
std::vector<ListedRecipe> RecipesOf(const Target& group);

// The target a scanned group or recipe node stands for, below its parent's.
Target TargetOfNode(const Target& parent, const CQVERcpDirInfo& node);
// True for the nodes a listing shows: groups RG01-RG16, recipes RCP0001-RCP1000.
bool Listed(const CQVERcpDirInfo& node);

}  // namespace rcpstore
