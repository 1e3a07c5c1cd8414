// What the store holds, read for callers that show it: recipe headers, the
// groups of a project and the recipes of a group with their sub-groups, and
// the whole tree of a project from one scan. A thing that cannot be read is
// still given, saying why, so that one damaged file never hides the rest.
#pragma once

#include <cstdint>
#include <optional>
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
  std::vector<std::string> unitTexts;  // the 32 units' texts, once a header is read
};

// Reads the header of a recipe directory; a missing or damaged one fails.
RCPSTORE_API RecipeHead ReadRecipeHead(const std::string& recipeDir);

// What a project's registration and attribute file say.
struct ProjectInfo {
  std::string path;
  bool checked = true;       // status C (checked), else U
  std::string comment;
  std::string host;
  std::string revision;
  std::string refDir;
  bool autoVersion = false;  // the editing tools advance recipe versions
};

// What a group's attribute file says; what cannot be read is left empty.
struct GroupInfo {
  std::string comment;
  std::vector<std::string> servers;
};
// *rc, when given, says why the file could not be read (0 when it was).
RCPSTORE_API GroupInfo ReadGroupInfo(const Target& group, uint32_t* rc = nullptr);

// The unit numbers whose files exist in a recipe (0: the procedure file).
RCPSTORE_API std::vector<unsigned> UnitFilesOf(const std::string& recipeDir);
// "RcpPTnn.edf", or "RcpRP.edf" for 0.
RCPSTORE_API std::string UnitFileName(unsigned unitNo);

// The directory of the deepest thing a target names.
RCPSTORE_API std::string PathOf(const Target& target);
// How a target is named to people: its address, else its directory.
RCPSTORE_API std::string NameOf(const Target& target);
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
// The names of the sub-groups directly inside the one at a path of names
// (top level first; none: the group's top level), in the order of the
// group's sub-group file, which alone is read.
RCPSTORE_API std::vector<std::string> SubGroupsOf(const Target& group, const std::vector<std::string>& path);

// A thing of the store as read: what the listings, the tree and the change
// reports give. A plain item carries its target and name only; a described
// one what its files say too.
struct StoreItem {
  enum class Kind { kProject, kGroup, kSubGroup, kRecipe, kUnit };
  Kind kind = Kind::kProject;
  Target target;          // the project, group or recipe; a sub-group's is its group, a unit's its recipe
  std::string name;       // the directory's or file's name; a sub-group's own; a project's registered one
  std::string subGroup;   // a sub-group's path; for a recipe, the sub-group that holds it
  unsigned unitNo = 0;    // a unit's number (0: the procedure file)
  bool described = false;
  RecipeHead head;                // a described recipe's header
  std::vector<unsigned> units;    // a described recipe's unit files (0: the procedure file)
  ProjectInfo project;            // a described project's registration and attributes
  GroupInfo group;                // a described group's attributes
  size_t recipes = 0;             // a described group's recipes
  std::string error;              // why it could not be read; "" when it was
  uint32_t errorCode = 0;         // and its result code
};

// What a search asks of a recipe: shell globs (* ? [...]) its title and
// comment match, and a sub-group path (A/B, a glob) that holds it or one of
// its sub-groups; what is not given matches everything. Globs match UTF-8
// characters (? is one character); with ignoreCase, letters match in either
// case as far as towlower of the C.UTF-8 locale folds them (ASCII, and the
// Latin, Greek and Cyrillic letters among others).
struct RecipeFilter {
  std::optional<std::string> title;
  std::optional<std::string> comment;
  std::optional<std::string> subGroup;
  bool ignoreCase = false;
};

// The recipes of a project or group (a project by name, address or
// directory; a group by address or directory) that pass the filter,
// described, in group and recipe order.
RCPSTORE_API std::vector<StoreItem> FindRecipes(const std::string& given, const RecipeFilter& filter = {});

// The target as a plain item: a project, group or recipe.
RCPSTORE_API StoreItem PlainItem(const Target& target);
// A recipe described: its header (a damaged one gives the error), its unit
// files and the sub-group that holds it, looked up when not given.
RCPSTORE_API StoreItem RecipeItem(const Target& recipe);
RCPSTORE_API StoreItem RecipeItem(const Target& recipe, const std::string& subGroup);
// The project registered under a name (or its address @NAME), described;
// fails when no project is registered under it.
RCPSTORE_API StoreItem ProjectItem(const std::string& name);
// The projects of the station's project list (it lists at most 20), described.
RCPSTORE_API std::vector<StoreItem> ListedProjects();
// A group described: its attributes and how many recipes it holds.
RCPSTORE_API StoreItem GroupItem(const Target& group);
RCPSTORE_API StoreItem UnitItem(const Target& recipe, unsigned unitNo);
// The sub-group of a group at a path of names, top level first.
RCPSTORE_API StoreItem SubGroupItem(const Target& group, const std::vector<std::string>& path);

// The free numbers below a target: of a project its groups (1-16), of a
// group its recipes (1-1000), of a recipe its unit recipes (1-32).
RCPSTORE_API std::vector<unsigned> FreeNumbers(const Target& owner);

// One entry of a listing as files: a recipe's data files, or the children
// of a group or project.
struct FileEntry {
  // "header", "procedure", "unit", "recipe", "subGroup", "group", "project" or "file"
  std::string kind;
  StoreItem item;  // the thing a unit, recipe, sub-group or group entry stands for
  std::string path;
  std::string name;
  std::string title;
  std::string comment;
  int32_t updated = 0;
  unsigned unitNo = 0;
};
// The entries of a recipe's files, or with children (always for a group or
// project) of the target's child nodes.
RCPSTORE_API std::vector<FileEntry> ListEntries(const Target& target, bool children);

// What removing a directory of the store would remove: the path, then
// everything below it in name order (links are listed, not entered).
RCPSTORE_API std::vector<std::string> RemovalListing(const std::string& path);
// The number of directories directly inside a directory (hidden names aside):
// the groups of a Recipe directory, the recipes of a group.
RCPSTORE_API size_t CountDirectories(const std::string& directory);

// One node of a project's tree.
struct TreeNode : StoreItem {
  std::vector<TreeNode> children;
};

struct TreeRead {
  bool depthOne = false;     // the groups only
  bool noSubGroups = false;  // recipes as they lie, the sub-group files not laid over them
  bool plain = false;        // names only: no header or attribute file read
};

// Receives a project's tree depth first: a node as it is entered (last: no
// sibling follows it), then its children, then the node again as it is left.
class RCPSTORE_API TreeVisitor {
 public:
  virtual ~TreeVisitor() = default;
  virtual void Enter(const StoreItem& item, bool last) = 0;
  virtual void Leave(const StoreItem& item) = 0;
};

// Reads a project's tree group by group, one header read per recipe, and
// hands it to the visitor as it goes: no more than one group's nodes are
// held at a time. Returns how many of the nodes could not be read.
RCPSTORE_API size_t VisitTree(const Target& project, const TreeRead& how, TreeVisitor& visitor);
// The whole tree of a project, held in memory.
RCPSTORE_API TreeNode ReadTree(const Target& project, const TreeRead& how);
// The nodes of a tree that could not be read.
RCPSTORE_API size_t UnreadNodes(const TreeNode& tree);

}  // namespace rcpstore
