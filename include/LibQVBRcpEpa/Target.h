// What an operation of the store is pointed at, checked before anything is
// written or removed. A project is given by its registered name, or by its directory
// when the argument contains a '/' (or is "." or ".."); groups and recipes
// are given by their directories. Any of them may also be given by its store
// address (see Address below). Every check fails with a Failure that names
// what was expected.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

// While one lives, the projects that the checks below open stay open on this
// thread, and everything below them is reached from the opened directories
// until it ends: nothing swapped in for a component after a check is ever
// followed. A caller opens one around each operation (a command, a batch
// line); scopes nest. The changes of the store open their own; without one
// a target is checked by its path alone.
class RCPSTORE_API OpenedProjects {
 public:
  OpenedProjects();
  ~OpenedProjects();
  OpenedProjects(const OpenedProjects&) = delete;
  OpenedProjects& operator=(const OpenedProjects&) = delete;

 private:
  class Roots;
  std::unique_ptr<Roots> roots_;
};

struct Target {
  std::string project;      // project directory: absolute, as found on disk
  std::string projectName;  // the registered name it was given by, else the directory's name
  std::string group;        // RGnn directory (groups and recipes)
  std::string recipe;       // RCPnnnn directory (recipes)
  unsigned groupNo = 0;
  unsigned recipeNo = 0;
  bool registered = false;  // projectName is a registered name, so it has an address
};

// A store address: "@PROJECT", "@PROJECT/G", "@PROJECT/G/R" or
// "@PROJECT/G/R/U", with the registered project name and the numbers of a
// group (1-16), recipe (1-1000) and unit recipe (1-32). An argument that
// starts with '@' is always an address, never a path. On input the numbers
// may also be the directory and file names (RG01, RCP0012, RcpPT03).
struct Address {
  std::string project;
  unsigned groupNo = 0;
  unsigned recipeNo = 0;
  unsigned unitNo = 0;
};

RCPSTORE_API bool IsAddress(const std::string& given);
// The address the text gives; a malformed one fails, saying what is expected.
// One slash at the end, as completion leaves it, is no part of it.
RCPSTORE_API Address ParseAddress(const std::string& given);
// "" when the text parses as an address; else what is wrong with it.
RCPSTORE_API std::string AddressProblem(const std::string& given);
// The project name a project address gives, else the text itself.
RCPSTORE_API std::string ProjectNameGiven(const std::string& given);
// The address text, numbers decimal without leading zeros.
RCPSTORE_API std::string AddressText(const Address& address);
// The address of a checked target, or "" when its project is not registered.
RCPSTORE_API std::string AddressOf(const Target& target);
// The directory (or unit file) an address names, whether or not it exists.
RCPSTORE_API std::string PathOfAddress(const Address& address);

// The highest group and recipe numbers of the free-number tables.
constexpr unsigned kMaxGroupNo = 16;
constexpr unsigned kMaxRecipeNo = 1000;
constexpr unsigned kMaxUnitNo = 32;

// The number of a recipe directory name RCPnnnn (1 to 1000), else 0.
RCPSTORE_API unsigned RecipeNumberOf(const std::string& name);
// A unit recipe (or, number 0, the procedure file) of a checked recipe.
struct UnitGiven {
  Target recipe;
  unsigned unitNo = 0;
};
constexpr unsigned kNoUnitGiven = ~0u;
// A unit given by its recipe and number, or by its unit address
// (@PROJECT/G/R/U) alone; a number given beside a unit address must agree.
RCPSTORE_API UnitGiven UnitTarget(const std::string& given, unsigned unitNo = kNoUnitGiven);

// Recipes of one group by number or directory name, comma-separated:
// "12,13,RCP0020". Anything else fails with ERROR_INVALID_PARAMETER.
RCPSTORE_API std::vector<unsigned> RecipeNumbersGiven(const std::string& list);

// "RECIPE[,N...]": a recipe by address or directory, then more recipes of
// its group by number or directory name ("@Line1/1/12,13,RCP0020").
struct GroupRecipes {
  std::string group;  // the group's address, or its directory when it has none
  std::vector<unsigned> numbers;
};
RCPSTORE_API GroupRecipes RecipesGiven(const std::string& given);

// The directory names of group and recipe numbers: "RG01", "RCP0012".
RCPSTORE_API std::string GroupDirectoryName(unsigned groupNo);
RCPSTORE_API std::string RecipeDirectoryName(unsigned recipeNo);
// The project whose Recipe directory holds the (possibly missing) group path.
RCPSTORE_API Target ProjectOfGroup(const std::string& group);

// True when the argument names a directory rather than a registered project.
RCPSTORE_API bool NamesDirectory(const std::string& given);

RCPSTORE_API Target ProjectTarget(const std::string& given);
// A project to delete: as ProjectTarget, or a directory whose delete was
// killed part way, so that running the delete again finishes it.
RCPSTORE_API Target ProjectToDelete(const std::string& given);
// A project given by its directory only.
RCPSTORE_API Target ProjectAt(const std::string& directory);
RCPSTORE_API Target GroupTarget(const std::string& directory);
RCPSTORE_API Target RecipeTarget(const std::string& directory);
// A recipe, group or project directory, whichever it is.
RCPSTORE_API Target AnyTarget(const std::string& directory);

// An absolute path without "." or ".." components or a trailing separator,
// with each existing component as it is named on disk. An address gives the
// path it names.
RCPSTORE_API std::string CleanPath(const std::string& given);

// The path, cleaned, with its project opened as ExistingTarget opens it.
// When nothing is there, what killed commands left beside
// it is finished first: a name an in-use check moved aside (its name and ten
// digits) comes back, a delete's trash goes.
RCPSTORE_API std::string RestoredPath(const std::string& given);

// The given directory, cleaned; refused when missing or not a directory.
RCPSTORE_API std::string ExistingDirectory(const std::string& given);
// The same for a directory of a store: the project it lies in is opened
// first, and everything below that project is then reached from the open
// directory for the rest of the command (a project directory that is a
// link is refused).
RCPSTORE_API std::string ExistingTarget(const std::string& given);
// Opens a project directory as ExistingTarget does; one that is missing or
// no directory is left to the checks that follow.
RCPSTORE_API void OpenProjectDirectory(const std::string& project);

// True when something (file, directory, link) exists at the path.
RCPSTORE_API bool Exists(const std::string& path);
RCPSTORE_API bool IsDirectory(const std::string& path);
RCPSTORE_API bool IsRegularFile(const std::string& path);
RCPSTORE_API std::string Parent(const std::string& path);
RCPSTORE_API std::string LastName(const std::string& path);

// Every project registered on the station, not only the first 20.
RCPSTORE_API std::vector<std::string> RegisteredProjects();
// The registered names whose directory is the given one.
RCPSTORE_API std::vector<std::string> NamesRegisteredFor(const std::string& projectDirectory);

}  // namespace rcpstore
