#include "LibQVBRcpEpa/Target.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "RcpStorePath.h"
#include "platform/Env.h"
#include "platform/Registry.h"
#include "platform/StoreRoot.h"
#include "platform/Win32Types.h"

namespace rcpstore {

namespace {

constexpr char kProjectExpected[] = "not a project directory (expected a directory with Recipe/RcpPJTAttr.txt)";
constexpr char kGroupExpected[] =
    "not a recipe group (expected RGnn, nn 01 to 16, with RcpGrAttr.txt, in a project's Recipe directory)";
constexpr char kRecipeExpected[] =
    "not a recipe (expected RCPnnnn, nnnn 0001 to 1000, with RcpHead.edf, in a recipe group)";

enum class Kind { kMissing, kFile, kDirectory, kLink, kOther };

// The kind of the entry itself; a link is never followed.
Kind KindOf(const std::string& path) {
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->StatEntry(path, &st) != 0) return Kind::kMissing;
  switch (st.type) {
    case qvplatform::EntryType::kFile: return Kind::kFile;
    case qvplatform::EntryType::kDirectory: return Kind::kDirectory;
    case qvplatform::EntryType::kOther: break;
  }
  return Kind::kOther;
}

std::string Join(const std::string& dir, const std::string& name) { return dir == "/" ? "/" + name : dir + "/" + name; }

bool SameIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The number of a name made of the prefix and exactly `digits` digits, or 0.
unsigned NumberedName(const std::string& name, const char* prefix, size_t digits) {
  size_t lead = std::strlen(prefix);
  if (name.size() != lead + digits || strncasecmp(name.c_str(), prefix, lead) != 0) return 0;
  unsigned number = 0;
  for (size_t i = lead; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return number;
}

bool IsProjectDirectory(const std::string& dir) {
  return KindOf(Join(dir, "Recipe")) == Kind::kDirectory && KindOf(Join(dir, "Recipe/RcpPJTAttr.txt")) == Kind::kFile;
}

// The name that locks, messages and addresses use: the registered one, else
// the directory's.
void NameProject(Target* target) {
  std::vector<std::string> names = NamesRegisteredFor(target->project);
  target->registered = !names.empty();
  target->projectName = names.empty() ? LastName(target->project) : names.front();
}

// The project that holds a group directory (not named yet), or none.
bool GroupInProject(const std::string& group, Target* target) {
  std::string recipeDir = Parent(group);
  if (!SameIgnoringCase(LastName(recipeDir), "Recipe") || !IsProjectDirectory(Parent(recipeDir))) return false;
  target->project = Parent(recipeDir);
  return true;
}

// The target with its project's name: the one an address gave, else the
// one the station's registry gives.
Target Named(Target target, const std::string& given) {
  if (IsAddress(given)) {
    target.projectName = ParseAddress(given).project;
    target.registered = true;
  } else {
    NameProject(&target);
  }
  return target;
}

struct Registration {
  std::string name;
  std::string path;  // empty when the key holds no path
};

// Whether a registry answer tells how things stand (there, missing, not
// allowed, too long) rather than that the registry could not be read.
bool Definite(LONG rc) {
  return rc == 0 || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_ACCESS_DENIED || rc == ERROR_MORE_DATA ||
         rc == ERROR_NO_MORE_ITEMS;
}

// The Path value of a project's key, or empty; *definite false when the
// registry could not be read.
std::string PathValue(HKEY list, const char* name, bool* definite) {
  HKEY project = nullptr;
  LONG rc = RegOpenKeyExA(list, name, 0, KEY_QUERY_VALUE, &project);
  char path[4097];
  DWORD size = sizeof path;
  DWORD type = 0;
  if (rc == 0) {
    rc = RegQueryValueExA(project, "Path", nullptr, &type, reinterpret_cast<uint8_t*>(path), &size);
    RegCloseKey(project);
  }
  *definite = *definite && Definite(rc);
  return rc == 0 && type == REG_SZ ? std::string(path, strnlen(path, size)) : std::string();
}

// Every project registered on the station, with its directory; the project
// list is opened once and nothing else is read. *complete false when a read
// failed: the list may then lack projects or paths.
std::vector<Registration> ReadRegistrations(bool* complete) {
  std::vector<Registration> registered;
  qvplatform::RegistryReadScope oneRead;
  HKEY list = nullptr;
  LONG rc = static_cast<LONG>(QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", "Project List", 0, &list));
  *complete = Definite(rc);
  if (rc != 0) return registered;
  char name[512];
  for (DWORD index = 0; (rc = RegEnumKeyA(list, index, name, sizeof name)) == 0 || rc == ERROR_MORE_DATA; ++index) {
    if (rc == 0) registered.push_back({name, PathValue(list, name, complete)});
  }
  *complete = *complete && Definite(rc);
  RegCloseKey(list);
  return registered;
}

// The registrations with their directories, read again only when the
// registry has changed since the last whole read: a batch names its project
// on every line.
const std::vector<Registration>& Registrations() {
  static std::string keptStation;
  static uint64_t keptGeneration = 0;
  static std::vector<Registration> kept;
  std::string station = qvplatform::RegistryPath();
  uint64_t generation = qvplatform::RegistryGeneration();
  if (generation == 0 || generation != keptGeneration || station != keptStation) {
    bool complete = false;
    kept = ReadRegistrations(&complete);
    keptStation = station;
    keptGeneration = complete ? generation : 0;
  }
  return kept;
}

std::string RegisteredPath(const std::string& name) {
  for (const Registration& project : Registrations()) {
    if (strcasecmp(project.name.c_str(), name.c_str()) == 0) return project.path;
  }
  return {};
}

constexpr char kAddressForm[] = "@PROJECT, @PROJECT/G, @PROJECT/G/R or @PROJECT/G/R/U";

// A number given in decimal or as its directory or file name, 1 to max; else 0.
unsigned GivenNumber(const std::string& part, const char* prefix, size_t digits, unsigned max) {
  unsigned number = NumberedName(part, prefix, digits);
  bool decimal = !part.empty() && part.size() <= 4 && part.find_first_not_of("0123456789") == std::string::npos;
  if (number == 0 && decimal) number = static_cast<unsigned>(std::stoul(part));
  return number <= max ? number : 0;
}

unsigned GivenRecipeNumber(const std::string& part) { return GivenNumber(part, "RCP", 4, kMaxRecipeNo); }

// One number of an address.
unsigned AddressNumber(const std::string& part, const char* prefix, size_t digits, unsigned max, const char* what) {
  unsigned number = GivenNumber(part, prefix, digits, max);
  if (number == 0) {
    Fail("'" + part + "' is not a " + what + " number (1 to " + std::to_string(max) + ") in " + kAddressForm,
         ERROR_INVALID_NAME);
  }
  return number;
}

bool IsGroup(const std::string& dir, Target* target) {
  unsigned number = NumberedName(LastName(dir), "RG", 2);
  if (number < 1 || number > kMaxGroupNo || KindOf(dir) != Kind::kDirectory) return false;
  if (KindOf(Join(dir, "RcpGrAttr.txt")) != Kind::kFile || !GroupInProject(dir, target)) return false;
  target->group = dir;
  target->groupNo = number;
  return true;
}

bool IsRecipe(const std::string& dir, Target* target) {
  unsigned number = RecipeNumberOf(LastName(dir));
  if (number == 0 || KindOf(dir) != Kind::kDirectory) return false;
  if (KindOf(Join(dir, "RcpHead.edf")) != Kind::kFile || !IsGroup(Parent(dir), target)) return false;
  target->recipe = dir;
  target->recipeNo = number;
  return true;
}

}  // namespace

class OpenedProjects::Roots : public qvplatform::StoreRootScope {};

OpenedProjects::OpenedProjects() : roots_(std::make_unique<Roots>()) {}

OpenedProjects::~OpenedProjects() = default;

bool IsAddress(const std::string& given) { return !given.empty() && given.front() == '@'; }

Address ParseAddress(const std::string& given) {
  const size_t size = given.size() > 2 && given.back() == '/' ? given.size() - 1 : given.size();
  std::vector<std::string> parts;
  for (size_t at = 1, end = 0; at <= size; at = end + 1) {
    end = std::min(given.find('/', at), size);
    parts.push_back(given.substr(at, end - at));
  }
  if (!IsAddress(given) || parts.size() > 4 || parts[0].empty()) {
    Fail(std::string("not a store address (expected ") + kAddressForm + ")", ERROR_INVALID_NAME);
  }
  Address address;
  address.project = parts[0];
  if (parts.size() > 1) address.groupNo = AddressNumber(parts[1], "RG", 2, kMaxGroupNo, "group");
  if (parts.size() > 2) address.recipeNo = AddressNumber(parts[2], "RCP", 4, kMaxRecipeNo, "recipe");
  if (parts.size() > 3) address.unitNo = AddressNumber(parts[3], "RcpPT", 2, kMaxUnitNo, "unit recipe");
  return address;
}

std::string AddressProblem(const std::string& given) {
  try {
    ParseAddress(given);
    return "";
  } catch (const Failure& failure) {
    return failure.cause;
  }
}

std::string ProjectNameGiven(const std::string& given) {
  if (!IsAddress(given)) return given;
  Address address = ParseAddress(given);
  if (address.groupNo != 0) Fail("a project (@PROJECT) is expected here", QVERCP_ERR_INVALID_NAME);
  return address.project;
}

std::string AddressText(const Address& address) {
  std::string text = "@" + address.project;
  for (unsigned number : {address.groupNo, address.recipeNo, address.unitNo}) {
    if (number == 0) break;
    text += "/" + std::to_string(number);
  }
  return text;
}

std::string AddressOf(const Target& target) {
  if (!target.registered) return "";
  return AddressText(Address{target.projectName, target.groupNo, target.recipeNo, 0});
}

std::string PathOfAddress(const Address& address) {
  std::string path = RegisteredPath(address.project);
  if (path.empty()) FailUnregistered(address.project);
  if (address.groupNo != 0) path += "/Recipe/" + GroupDirectoryName(address.groupNo);
  if (address.recipeNo != 0) path += "/" + RecipeDirectoryName(address.recipeNo);
  if (address.unitNo != 0) path += QVFormat("/RcpPT%02u.edf", address.unitNo);
  return path;
}

namespace {

// Opens the project that path lies in, before anything there is looked at.
void OpenProjectOf(const std::string& path) { OpenProjectDirectory(rcppath::ProjectOf(path)); }

}  // namespace

// Without an OpenedProjects alive there is nowhere to keep the directory
// open: the target is then checked by its path alone.
void OpenProjectDirectory(const std::string& project) {
  uint32_t rc = qvplatform::OpenStoreRoot(project);
  if (rc == ERROR_CANT_ACCESS_FILE)
    Fail(Printable(project) + " is a link; a project is opened only as its directory itself", rc);
  if (rc == ERROR_ACCESS_DENIED) Fail("cannot open " + Printable(project), rc);
}

std::string CleanPath(const std::string& text) {
  std::string given = IsAddress(text) ? PathOfAddress(ParseAddress(text)) : text;
  std::string path = std::filesystem::absolute(given.empty() ? "." : given).lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return qvplatform::CurrentEnv()->Resolve(path);
}

// The argument may be a link to a directory; nothing inside the store is followed.
std::string ExistingDirectory(const std::string& given) {
  std::string path = CleanPath(given);
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->Stat(path, &st) != 0) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  if (st.type != qvplatform::EntryType::kDirectory) Fail("not a directory", ERROR_DIRECTORY);
  return path;
}

// A link below the project is left to the checks of the kind asked for,
// which refuse it as no group or recipe.
std::string ExistingTarget(const std::string& given) {
  std::string path = CleanPath(given);
  OpenProjectOf(path);
  return KindOf(path) == Kind::kOther ? path : ExistingDirectory(path);
}

bool Exists(const std::string& path) { return KindOf(path) != Kind::kMissing; }

bool IsDirectory(const std::string& path) { return KindOf(path) == Kind::kDirectory; }

bool IsRegularFile(const std::string& path) { return KindOf(path) == Kind::kFile; }

std::string Parent(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

std::string LastName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

Target ProjectAt(const std::string& given) {
  Target target;
  target.project = ExistingTarget(given);
  if (!IsProjectDirectory(target.project)) Fail(kProjectExpected, QVERCP_ERR_INVALID_NAME);
  NameProject(&target);
  return target;
}

Target ProjectOfGroup(const std::string& group) {
  Target target;
  if (!GroupInProject(group, &target)) Fail(kGroupExpected, QVERCP_ERR_INVALID_NAME);
  return Named(target, group);
}

unsigned RecipeNumberOf(const std::string& name) {
  unsigned number = NumberedName(name, "RCP", 4);
  return number <= kMaxRecipeNo ? number : 0;
}

UnitGiven UnitTarget(const std::string& given, unsigned unitNo) {
  Address address = IsAddress(given) ? ParseAddress(given) : Address{};
  if (address.unitNo == 0) {
    Target recipe = RecipeTarget(given);
    if (unitNo == kNoUnitGiven) Fail("a unit number N is expected after the recipe", ERROR_INVALID_PARAMETER);
    return {recipe, unitNo};
  }
  if (unitNo != kNoUnitGiven && unitNo != address.unitNo) {
    Fail("the address names unit " + std::to_string(address.unitNo) + ", N another", ERROR_INVALID_PARAMETER);
  }
  unitNo = address.unitNo;
  address.unitNo = 0;
  return {RecipeTarget(AddressText(address)), unitNo};
}

std::vector<unsigned> RecipeNumbersGiven(const std::string& list) {
  std::vector<unsigned> numbers;
  for (size_t at = 0, end = 0; at <= list.size(); at = end + 1) {
    end = std::min(list.find(',', at), list.size());
    std::string part = list.substr(at, end - at);
    unsigned number = GivenRecipeNumber(part);
    if (number == 0)
      Fail("a recipe number 1 to 1000 or its directory name RCPnnnn, not " + part, ERROR_INVALID_PARAMETER);
    numbers.push_back(number);
  }
  return numbers;
}

GroupRecipes RecipesGiven(const std::string& given) {
  size_t cut = given.size();
  for (size_t comma = given.rfind(',');
       comma != std::string::npos && GivenRecipeNumber(given.substr(comma + 1, cut - comma - 1)) != 0;
       comma = comma == 0 ? std::string::npos : given.rfind(',', comma - 1)) {
    cut = comma;
  }
  Target group = RecipeTarget(given.substr(0, cut));
  GroupRecipes recipes{{}, {group.recipeNo}};
  if (cut < given.size()) {
    for (unsigned number : RecipeNumbersGiven(given.substr(cut + 1))) recipes.numbers.push_back(number);
  }
  group.recipe.clear();
  group.recipeNo = 0;
  recipes.group = AddressOf(group);
  if (recipes.group.empty()) recipes.group = group.group;
  return recipes;
}

std::string GroupDirectoryName(unsigned groupNo) { return QVFormat("RG%02u", groupNo); }

std::string RecipeDirectoryName(unsigned recipeNo) { return QVFormat("RCP%04u", recipeNo); }

bool NamesDirectory(const std::string& given) {
  return given.find('/') != std::string::npos || given == "." || given == "..";
}

Target ProjectTarget(const std::string& text) {
  if (NamesDirectory(text) && !IsAddress(text)) return ProjectAt(text);
  std::string given = ProjectNameGiven(text);
  _QVERcpProjectInfo info{};
  CQVERcpUtil::GetProjectInfo(given.c_str(), &info);
  if (info.strPath.empty()) {
    FailUnregistered(given, " (give a directory with a '/', e.g. ./" + Printable(given) + ")");
  }
  Target target;
  try {
    target = ProjectAt(info.strPath);
  } catch (const Failure& failure) {
    Fail("registered for " + Printable(info.strPath) + ", which is " + failure.cause, failure.code);
  }
  target.projectName = given;
  target.registered = true;
  return target;
}

namespace {

// A project directory whose delete was killed after its Recipe directory
// went to the store's trash (".Recipe.trash-...") or was removed (only the
// lock file is left): no longer a project, but deleting it again finishes
// that delete.
bool DeleteInterrupted(const std::string& dir) {
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(dir, &entries) != 0 || entries.empty()) return false;
  bool onlyLockFile = entries.size() == 1 && entries[0].name == "RcpPjtLock.txt";
  return onlyLockFile || std::any_of(entries.begin(), entries.end(), [](const qvplatform::DirEntry& entry) {
           return entry.type == qvplatform::EntryType::kDirectory && entry.name.rfind(".Recipe.trash-", 0) == 0;
         });
}

}  // namespace

Target ProjectToDelete(const std::string& text) {
  std::string given = ProjectNameGiven(text);
  try {
    return ProjectTarget(given);
  } catch (const Failure&) {
    std::string dir = NamesDirectory(given) ? given : RegisteredPath(given);
    if (dir.empty()) throw;
    // A delete killed once the directory was in the trash left only that.
    dir = RestoredPath(dir);
    if (!IsDirectory(dir)) throw;
    // A Recipe directory that a killed in-use check left aside comes back.
    bool interrupted = DeleteInterrupted(dir);
    CQVERcpUtil::CleanLeftovers(dir.c_str());
    if (!interrupted) return ProjectTarget(given);
    Target target;
    target.project = dir;
    NameProject(&target);
    if (!NamesDirectory(given)) {
      target.projectName = given;
      target.registered = true;
    }
    return target;
  }
}

std::string RestoredPath(const std::string& given) {
  std::string path = CleanPath(given);
  OpenProjectOf(path);
  if (!Exists(path)) CQVERcpUtil::CleanLeftovers(Parent(path).c_str());
  return path;
}

// The path of a group or recipe that must be there; an address that names
// nothing says so in its own words.
std::string PresentPath(const std::string& given) {
  std::string path = RestoredPath(given);
  if (IsAddress(given) && !Exists(path)) {
    Fail("there is no " + Printable(given) + " (no " + Printable(path) + ")", ERROR_PATH_NOT_FOUND);
  }
  return path;
}

Target GroupTarget(const std::string& directory) {
  Target target;
  if (!IsGroup(ExistingTarget(PresentPath(directory)), &target)) Fail(kGroupExpected, QVERCP_ERR_INVALID_NAME);
  return Named(target, directory);
}

Target RecipeTarget(const std::string& directory) {
  Target target;
  if (!IsRecipe(ExistingTarget(PresentPath(directory)), &target)) Fail(kRecipeExpected, QVERCP_ERR_INVALID_NAME);
  return Named(target, directory);
}

Target AnyTarget(const std::string& directory) {
  std::string dir = ExistingTarget(directory);
  Target target;
  if (IsRecipe(dir, &target) || IsGroup(dir, &target)) return Named(target, directory);
  if (!IsProjectDirectory(dir)) {
    Fail("not a project, recipe group or recipe directory", QVERCP_ERR_INVALID_NAME);
  }
  target.project = dir;
  return Named(target, directory);
}

std::vector<std::string> RegisteredProjects() {
  std::vector<std::string> names;
  for (const Registration& project : Registrations()) names.push_back(project.name);
  return names;
}

std::vector<std::string> NamesRegisteredFor(const std::string& projectDirectory) {
  std::vector<std::string> names;
  struct stat wanted;
  if (stat(projectDirectory.c_str(), &wanted) != 0) return names;
  for (const Registration& project : Registrations()) {
    struct stat st;
    if (!project.path.empty() && stat(project.path.c_str(), &st) == 0 && st.st_dev == wanted.st_dev &&
        st.st_ino == wanted.st_ino) {
      names.push_back(project.name);
    }
  }
  return names;
}

}  // namespace rcpstore
