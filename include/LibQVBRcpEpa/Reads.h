// What the store holds, read for callers that show it: recipe headers, the
// groups of a project and the recipes of a group with their sub-groups, and
// the whole tree of a project from one scan. A thing that cannot be read is
// still given, saying why, so that one damaged file never hides the rest.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Target.h"

namespace rcpstore {

// What a recipe header says, read in one pass over the file.
struct RecipeHead {
  std::string headerName;
  std::string title;
  std::string comment;
  std::string author;
  int64_t version = 0;
  int32_t created = 0;  // seconds since 1970, UTC
  int32_t updated = 0;
  std::array<std::string, 32> unitTexts;
};

// Reads the header of a recipe directory; a missing or damaged one fails.
RCPSTORE_API RecipeHead ReadRecipeHead(const std::string& recipeDir);

// What a group's attribute file says; what cannot be read is left empty.
struct GroupInfo {
  std::string comment;
  std::vector<std::string> servers;
};
RCPSTORE_API GroupInfo ReadGroupInfo(const Target& group);

// The unit numbers whose files exist in a recipe (0: the procedure file).
RCPSTORE_API std::vector<unsigned> UnitFilesOf(const std::string& recipeDir);
// "RcpPTnn.edf", or "RcpRP.edf" for 0.
RCPSTORE_API std::string UnitFileName(unsigned unitNo);

// The directory of the deepest thing a target names.
RCPSTORE_API std::string PathOf(const Target& target);
// The target one level down, at the directory a scan found.
RCPSTORE_API Target GroupOf(const Target& project, unsigned groupNo, const std::string& directory);
RCPSTORE_API Target RecipeOf(const Target& group, unsigned recipeNo, const std::string& directory);

struct ListedRecipe {
  Target recipe;
  std::string subGroup;  // "" at the group's top level
};

// The groups of a project in number order; a group target is its own list.
RCPSTORE_API std::vector<Target> GroupsOf(const Target& target);
// The recipes of a group in number order, with their sub-groups.
RCPSTORE_API std::vector<ListedRecipe> RecipesOf(const Target& group);
// The sub-group path that holds a recipe, "" when it is at its group's top level.
RCPSTORE_API std::string SubGroupOf(const Target& recipe);

// One node of a project's tree.
struct TreeNode {
  enum class Kind { kProject, kGroup, kSubGroup, kRecipe };
  Kind kind = Kind::kProject;
  Target target;         // the project, group or recipe; a sub-group's is its group
  std::string name;      // the directory's name, or the sub-group's own
  std::string subGroup;  // a sub-group's path; for a recipe, the sub-group that holds it
  RecipeHead head;       // a recipe's, unless the tree was read plain
  GroupInfo group;       // a group's, unless the tree was read plain
  size_t recipes = 0;    // the recipes of a group, unless the tree was read plain
  std::string error;     // why the node could not be read; "" when it was
  std::vector<TreeNode> children;
};

struct TreeRead {
  bool depthOne = false;     // the groups only
  bool noSubGroups = false;  // recipes as they lie, the sub-group files not laid over them
  bool plain = false;        // names only: no header or attribute file read
};

// The tree of a project from one scan, one header read per recipe.
RCPSTORE_API TreeNode ReadTree(const Target& project, const TreeRead& how);
// The nodes of a tree that could not be read.
RCPSTORE_API size_t UnreadNodes(const TreeNode& tree);

}  // namespace rcpstore
