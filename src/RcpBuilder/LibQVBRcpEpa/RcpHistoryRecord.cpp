// The history kept around every change of a recipe's files: what a recipe
// holds is stored before the change (and recorded, when its log does not
// say so already), what it holds after the change is stored and appended as
// a version. A kill between the change and its version leaves the old
// content stored and the new one in the files; Reconcile records it.
#include <strings.h>

#include <set>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVCCommon/QVCTime.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "RcpRecipeHead.h"
#include "RcpStorePath.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcphistory {

namespace {

using rcpstore::IsDirectory;
using rcpstore::LastName;
using rcpstore::Parent;

bool IsGroupName(const std::string& name) {
  return name.size() == 4 && strncasecmp(name.c_str(), "RG", 2) == 0 && isdigit(name[2]) && isdigit(name[3]);
}

bool IsRecipeDirectory(const std::string& path) {
  return rcpstore::RecipeNumberOf(LastName(path)) != 0 && IsGroupName(LastName(Parent(path)));
}

// The recipe directory that a changed path is or lies in, else "".
std::string RecipeOf(const std::string& path) {
  if (IsRecipeDirectory(path)) return path;
  return IsRecipeDirectory(Parent(path)) ? Parent(path) : std::string();
}

// The header's version text, from the bytes the files were hashed from.
std::string HeaderVersion(const std::map<std::string, std::string>& files,
                          const std::map<std::string, std::string>& contents) {
  auto head = files.find("RcpHead.edf");
  auto bytes = head != files.end() ? contents.find(head->second) : contents.end();
  return bytes != contents.end() ? rcprecipe::HeaderVersionOfImage(bytes->second) : "";
}

// Appends a version when the recipe's files are not its log's last version
// (or from is given: the first line of a copy or move). lookFirst: compare
// with the log before taking its hold, where the files are most likely
// recorded already.
uint32_t RecordNow(const std::string& recipeDirectory, const std::string& operation, const std::string& from,
                   bool lookFirst) {
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> contents;
  if (uint32_t rc = CurrentFiles(recipeDirectory, &files, &contents)) return rc;
  if (lookFirst && from.empty()) {
    std::optional<Version> last = LastVersion(recipeDirectory);
    if (last ? last->files == files : files.empty()) return 0;
  }
  Version version;
  version.operation = operation;
  version.from = from;
  version.files = std::move(files);
  version.headerVersion = HeaderVersion(version.files, contents);
  return AppendVersion(recipeDirectory, std::move(version), contents, from.empty());
}

// The files of a recipe's history (its log and what belongs with it):
// the names "RCPnnnn." begins, in the group's history directory.
std::vector<std::string> HistoryFiles(const std::string& recipeDirectory) {
  std::string log = LogPathOf(recipeDirectory);
  std::string stem = LastName(log).substr(0, LastName(log).size() - 3);  // "RCPnnnn."
  std::vector<std::string> names;
  for (const qvplatform::DirEntry& entry : EntriesOf(Parent(log), qvplatform::EntryType::kFile)) {
    if (entry.name.compare(0, stem.size(), stem) == 0 && !rcphidden::IsWorkCopy(entry.name)) {
      names.push_back(entry.name);
    }
  }
  return names;
}

// The history an address had before a recipe took its place (one deleted
// there) is renamed aside, "RCPnnnn.log" to "RCPnnnn-YYYYMMDDTHHMMSSZ.log",
// so that the new recipe starts its own log and nothing is lost.
uint32_t SetAside(const std::string& recipeDirectory) {
  std::string directory = Parent(LogPathOf(recipeDirectory));
  std::string stamp;
  for (char c : QVCUtcNow()) {
    if (c != '-' && c != ':') stamp += c;
  }
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::vector<std::string> names = HistoryFiles(recipeDirectory);
  if (names.empty()) return 0;
  for (const std::string& name : names) {
    size_t dot = name.find('.');
    std::string aside = name.substr(0, dot) + "-" + stamp + name.substr(dot);
    if (uint32_t rc = env->RenameNoReplace(directory + "/" + name, directory + "/" + aside)) return rc;
  }
  return env->SyncDirectory(directory);
}

// The recipe directories of a group.
std::vector<std::string> RecipeDirectoriesIn(const std::string& group) {
  std::vector<std::string> recipes;
  if (!IsGroupName(LastName(group))) return recipes;
  for (const qvplatform::DirEntry& entry : EntriesOf(group, qvplatform::EntryType::kDirectory)) {
    if (rcpstore::RecipeNumberOf(entry.name) != 0) recipes.push_back(group + "/" + entry.name);
  }
  return recipes;
}

// Copies the object-store contents a log names into another project's
// object store; those kept inline travel with the log.
uint32_t CopyObjects(const std::string& from, const std::string& to) {
  std::vector<Version> versions = Versions(from);
  std::set<std::string> done;
  for (const Version& version : versions) {
    for (const auto& entry : version.packed) done.insert(entry.first);
  }
  for (const Version& version : versions) {
    for (const auto& [name, hash] : version.files) {
      std::string bytes;
      std::string stored;
      // A content missing at the source is verify's to report.
      if (!done.insert(hash).second || ReadObject(HistoryDirOf(from), hash, &bytes) != 0) continue;
      if (uint32_t rc = StoreObject(HistoryDirOf(to), bytes, &stored)) return rc;
    }
  }
  return 0;
}

// A moved recipe takes its history along: renamed within a project, copied
// (objects first) into another project's history and then removed there.
uint32_t MoveHistory(const std::string& from, const std::string& to) {
  if (uint32_t rc = SetAside(to)) return rc;
  std::string fromDir = Parent(LogPathOf(from));
  std::string toDir = Parent(LogPathOf(to));
  if (uint32_t rc = MakeDirectories(toDir)) return rc;
  bool sameStore = HistoryDirOf(from) == HistoryDirOf(to);
  if (!sameStore) {
    if (uint32_t rc = CopyObjects(from, to)) return rc;
  }
  std::string stem = LastName(LogPathOf(to));
  stem = stem.substr(0, stem.size() - 4);  // "RCPnnnn"
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::vector<std::string> names = HistoryFiles(from);
  for (const std::string& name : names) {
    std::string target = toDir + "/" + stem + name.substr(name.find('.'));
    std::string bytes;
    uint32_t rc = sameStore ? env->RenameNoReplace(fromDir + "/" + name, target)
                            : ReadWhole(fromDir + "/" + name, &bytes);
    if (rc == 0 && !sameStore) rc = WriteDurably(target, bytes);
    if (rc != 0) return rc;
  }
  if (uint32_t rc = env->SyncDirectory(toDir)) return rc;
  for (const std::string& name : names) {
    if (!sameStore) env->RemoveFile(fromDir + "/" + name);
  }
  return env->SyncDirectory(fromDir);
}

// The recipes of a project, as directories or as logs: a recipe whose
// delete was cut short after it went still has its log.
std::set<std::string> RecipesOf(const std::string& projectDirectory) {
  std::set<std::string> recipes;
  std::string store = projectDirectory + "/Recipe";
  qvplatform::Env* env = qvplatform::CurrentEnv();
  for (const std::string& top : {store, store + "/" + kHistoryName + "/recipes"}) {
    std::vector<qvplatform::DirEntry> groups;
    if (env->ReadDirectory(top, &groups) != 0) continue;
    for (const qvplatform::DirEntry& group : groups) {
      if (group.type != qvplatform::EntryType::kDirectory || !IsGroupName(group.name)) continue;
      std::vector<qvplatform::DirEntry> entries;
      if (env->ReadDirectory(top + "/" + group.name, &entries) != 0) continue;
      for (const qvplatform::DirEntry& entry : entries) {
        bool log = top != store && entry.name.size() == 11 && entry.name.compare(7, 4, ".log") == 0;
        std::string name = log ? entry.name.substr(0, 7) : entry.name;
        if ((log || entry.type == qvplatform::EntryType::kDirectory) && rcpstore::RecipeNumberOf(name) != 0) {
          recipes.insert(store + "/" + group.name + "/" + name);
        }
      }
    }
  }
  return recipes;
}

// A work file of a writer of the history: a log's hold or whole rewrite,
// an object's ("NAME.new"), or the enrolled keys' and signatures'
// (".NAME.work").
bool IsHistoryWorkFile(const std::string& name) {
  return name.ends_with(".new") || (name[0] == '.' && name.ends_with(".work"));
}

// Removes the work files that killed writers left below the history, where
// nobody holds them.
void CleanWorkFiles(const std::string& projectDirectory) {
  std::string history = projectDirectory + "/Recipe/" + kHistoryName;
  std::vector<std::string> directories = {history + "/keys"};
  for (const std::string& top : {history + "/recipes", history + "/objects"}) {
    for (const qvplatform::DirEntry& entry : EntriesOf(top, qvplatform::EntryType::kDirectory)) {
      directories.push_back(top + "/" + entry.name);
    }
  }
  for (const std::string& directory : directories) {
    for (const qvplatform::DirEntry& entry : EntriesOf(directory, qvplatform::EntryType::kFile)) {
      if (IsHistoryWorkFile(entry.name)) qvplatform::CurrentEnv()->RemoveUnheld(directory + "/" + entry.name);
    }
  }
}

}  // namespace

RecordedChange::RecordedChange(const char* operation, const std::string& path, const std::string& source)
    : operation_(operation) {
  if (operation_ == "deleteGroup") {
    for (const std::string& recipe : RecipeDirectoriesIn(path)) recipes_.push_back(recipe);
    return;
  }
  std::string recipe = RecipeOf(path);
  if (!recipe.empty()) recipes_.push_back(recipe);
  bool withSource = operation_ == "copyRecipe" || operation_ == "moveRecipe";
  if (withSource && !recipe.empty() && IsRecipeDirectory(source)) source_ = source;
}

uint32_t RecordedChange::Begin() {
  for (const std::string& recipe : recipes_) {
    if (uint32_t rc = Reconcile(recipe)) return rc;
  }
  if (source_.empty()) return 0;
  rcppath::OpenProjectOf(source_.c_str());
  return Reconcile(source_);
}

uint32_t RecordedChange::Finish(uint32_t result) {
  if (source_.empty()) {
    for (const std::string& recipe : recipes_) {
      if (uint32_t rc = RecordNow(recipe, operation_, "", false)) return rc;
    }
    return 0;
  }
  const std::string& recipe = recipes_.front();
  if (result != 0) return 0;
  bool moved = operation_ == "moveRecipe" && !IsDirectory(source_) && IsDirectory(recipe);
  bool copied = operation_ == "copyRecipe" && IsDirectory(recipe);
  if (!moved && !copied) return 0;
  if (uint32_t rc = moved ? MoveHistory(source_, recipe) : SetAside(recipe)) return rc;
  return RecordNow(recipe, operation_, source_, false);
}

uint32_t Reconcile(const std::string& recipeDirectory, const char* operation) {
  return RecordNow(recipeDirectory, operation, "", true);
}

void ReconcileProject(const std::string& projectDirectory, const char* operation) {
  CleanWorkFiles(projectDirectory);
  for (const std::string& recipe : RecipesOf(projectDirectory)) Reconcile(recipe, operation);
}

}  // namespace rcphistory
