// The changes of the store, one entry point each. Every one checks the
// caller's right, resolves its targets (opening their projects), takes the
// locks the store's rules require (the project lock for what a project,
// group or sub-group file holds, a recipe's own lock for what is inside it,
// both to remove a recipe), finishes or undoes what killed changes left
// there, runs all-or-nothing, writes the audit line, and reports what it
// made, changed and removed. A refusal throws a Failure and changes nothing.
//
// Targets are given as a caller would: a store address (@PROJECT/G/R) or a
// directory.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore {

// One thing a change made, changed or removed, as it stood then.
struct Change {
  enum class Verb { kMade, kChanged, kRemoved };
  Verb verb = Verb::kMade;
  StoreItem item;
  std::string detail;  // how, in words: "copied from @Line1/1/12"; may be empty
};
using ChangeReport = std::vector<Change>;

// A recipe header's texts to change; what is not given stays.
struct RecipeTexts {
  std::optional<std::string> title;
  std::optional<std::string> comment;
  std::vector<std::pair<unsigned, std::string>> units;  // unit number 1-32 and its text
};

// Recipe `number` of a group (0: the group's lowest free number), from the
// header template (a recipe header file) when one is given, else from the
// user's or the system's template.
RCPSTORE_API ChangeReport CreateRecipe(const std::string& group, unsigned number, const std::string& headerName,
                                       const std::optional<std::string>& templateFile = {});
// Changes the texts given; giving none is refused, as it would change nothing.
RCPSTORE_API ChangeReport SetRecipeTexts(const std::string& recipe, const RecipeTexts& texts);
RCPSTORE_API ChangeReport BumpVersion(const std::string& recipe);
// How a delete treats what it would remove. A dry run checks the right and
// the target as the delete does and changes nothing: its report lists the
// thing once for every path that would go, the path as the detail (links are
// listed, not entered). Without withContents a group that holds recipes and a
// project that holds groups are refused (ERROR_DIR_NOT_EMPTY, saying how many).
struct DeleteOptions {
  bool dryRun = false;
  bool withContents = true;
};

// Deletes a recipe with everything in it and its sub-group line; a damaged
// header does not stop it. A recipe that a killed delete or move took away
// has its sub-group line removed: the re-run ends that change.
RCPSTORE_API ChangeReport DeleteRecipe(const std::string& recipe, const DeleteOptions& how = {});
// The recipe's TEMP directory, where the editing tools keep their work
// files, made when it is missing; its path.
RCPSTORE_API std::string MakeWorkDirectory(const std::string& recipe);
// Unit recipe unitNo of a recipe (0: the procedure file).
RCPSTORE_API ChangeReport CreateUnit(const std::string& recipe, unsigned unitNo, const std::string& headerName,
                                     const std::optional<std::string>& templateFile = {});
RCPSTORE_API ChangeReport DeleteUnit(const std::string& recipe, unsigned unitNo, const DeleteOptions& how = {});
// A copy of a recipe's data files into a group as recipe `number` (0: the
// source's number when it is free there, else the lowest free one): created
// now by the caller, version reset, in no sub-group.
RCPSTORE_API ChangeReport CopyRecipe(const std::string& source, const std::string& group, unsigned number = 0);
// The recipe itself, moved to a group as `number` (0 as for a copy), out of
// its sub-group, all or nothing: a move cut short after the recipe left is
// finished by the next lock of its project.
RCPSTORE_API ChangeReport MoveRecipe(const std::string& source, const std::string& group, unsigned number = 0);

// A group's attributes to change; what is not given stays.
struct GroupAttributes {
  std::optional<std::string> comment;
  std::optional<std::vector<std::string>> servers;
};

// Group `number` (1-16) of a project (its registered name, address or
// directory), with the attributes given.
RCPSTORE_API ChangeReport CreateGroup(const std::string& project, unsigned number, const GroupAttributes& attributes = {});
// Changes the attributes given; giving none is refused, as it would change nothing.
RCPSTORE_API ChangeReport SetGroupAttributes(const std::string& group, const GroupAttributes& attributes);
// Deletes a group with every recipe in it. A group that a killed delete
// took away has what that delete left cleared, and is reported missing.
RCPSTORE_API ChangeReport DeleteGroup(const std::string& group, const DeleteOptions& how = {});

// A project's attributes to register; what is not given stays as the
// directory's attribute file has it.
struct ProjectAttributes {
  std::optional<std::string> comment;
  std::optional<std::string> host;
  std::optional<std::string> refDir;
  std::optional<bool> checked;
  std::optional<bool> autoVersion;
  bool writeFile = true;  // false: the registry only, not the attribute file
  bool replace = false;   // a name registered for another directory is re-pointed
};

// A new project directory parentDir/name with its Recipe directory, built
// whole or not at all.
RCPSTORE_API ChangeReport CreateProject(const std::string& name, const std::string& parentDir);
// Registers a project directory on the station under a name, with its
// attribute file, all or nothing: the name changes last, and a
// registration cut short after that is finished by the next lock of the
// project. A name registered for another directory needs replace.
RCPSTORE_API ChangeReport RegisterProject(const std::string& name, const std::string& dir,
                                          const ProjectAttributes& attributes = {});
// Refuses to point a registered name at another directory than its own
// unless replace is given, and then, with security on, unless the caller
// administers the station: the name is its users' way to their project.
RCPSTORE_API void RequireNameMayLeadTo(const std::string& name, const std::string& projectDirectory, bool replace);
// Takes a name (or @NAME) off the station's project list; the directory
// stays. With security on, for the station's administrators only.
RCPSTORE_API ChangeReport UnregisterProject(const std::string& name);
// Deletes a project's recipe store, and its directory when nothing else is
// in it (an empty ETC and the lock file aside; an empty directory, a link or
// a FIFO of the engineering project keeps it), then every name it is
// registered under. A re-run finishes what an
// interrupted delete began.
RCPSTORE_API ChangeReport DeleteProject(const std::string& project, const DeleteOptions& how = {});

// A sub-group of a group by its names, top level first.
using SubGroupPath = std::vector<std::string>;

// The sub-group edits of a group's arrangement. Each is one durable rewrite
// of the group's sub-group file under the project lock, checked against the
// arrangement first; recipes are given by their numbers in the group.
RCPSTORE_API ChangeReport AddSubGroup(const std::string& group, const SubGroupPath& path);
// Its recipes, at any depth, move up to the sub-group that holds it (or the
// group's top level), and are reported where they went. Without
// how.withContents one that holds recipes is refused (ERROR_DIR_NOT_EMPTY,
// saying how many); a dry run is not: it reports where they would go.
RCPSTORE_API ChangeReport RemoveSubGroup(const std::string& group, const SubGroupPath& path,
                                         const DeleteOptions& how = {});
RCPSTORE_API ChangeReport RenameSubGroup(const std::string& group, const SubGroupPath& path, const std::string& newName);
// Puts recipes that are in no sub-group into one.
RCPSTORE_API ChangeReport PutInSubGroup(const std::string& group, const std::vector<unsigned>& recipes,
                                        const SubGroupPath& path);
// Takes recipes out of whatever sub-groups hold them.
RCPSTORE_API ChangeReport TakeOutOfSubGroups(const std::string& group, const std::vector<unsigned>& recipes);
// Moves recipes into a sub-group (an empty path: the group's top level),
// wherever they were, in one step.
RCPSTORE_API ChangeReport MoveToSubGroup(const std::string& group, const std::vector<unsigned>& recipes,
                                         const SubGroupPath& path);

// Empties the TEMP directory of every recipe of a registered project but
// those whose lock another process holds (their work files are its editor's).
RCPSTORE_API ChangeReport CleanTemp(const std::string& project);

}  // namespace rcpstore
