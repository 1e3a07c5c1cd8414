// Restoring a version of a recipe: its files become, byte for byte, those
// the version recorded, as a new version. A deleted recipe is built complete
// under a hidden name and appears in one step, like every create.
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Rights.h"
#include "RcpAudit.h"
#include "RcpChanged.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "RcpHistoryTarget.h"
#include "RcpStorePath.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

using Files = std::vector<VersionFile>;

uint32_t WriteFiles(const std::string& directory, const Files& files) {
  for (const VersionFile& file : files) {
    if (uint32_t rc = rcphistory::WriteDurably(directory + "/" + file.name, file.bytes)) return rc;
  }
  return 0;
}

// The data files of the recipe that the version does not have go, after
// the version's files are in place.
uint32_t RemoveOthers(const std::string& recipe, const Files& files) {
  std::map<std::string, std::string> now;
  if (uint32_t rc = rcphistory::CurrentFiles(recipe, &now)) return rc;
  for (const auto& entry : now) {
    bool kept = std::any_of(files.begin(), files.end(), [&](const VersionFile& f) { return f.name == entry.first; });
    if (kept) continue;
    if (uint32_t rc = qvplatform::CurrentEnv()->RemoveFile(recipe + "/" + entry.first)) return rc;
  }
  return qvplatform::CurrentEnv()->SyncDirectory(recipe);
}

uint32_t Restore(const Target& recipe, const Files& files, int64_t version) {
  std::string detail = "version " + std::to_string(version);
  return rcpaudit::Recorded("restoreRecipe", recipe.recipe.c_str(), detail.c_str(), [&]() -> uint32_t {
    if (IsDirectory(recipe.recipe)) {
      if (uint32_t rc = WriteFiles(recipe.recipe, files)) return rc;
      return RemoveOthers(recipe.recipe, files);
    }
    rcphidden::CleanLeftovers(recipe.group.c_str());
    rcphidden::HiddenBuild build(recipe.group, LastName(recipe.recipe).c_str());
    if (uint32_t rc = build.Begin()) return rc;
    if (uint32_t rc = WriteFiles(build.Path(), files)) return rc;
    return build.Finish();
  });
}

}  // namespace

Target HistoryTarget(const std::string& given) {
  std::string path = RestoredPath(given);
  if (Exists(path)) return RecipeTarget(given);
  Target target = GroupTarget(Parent(path));
  target.recipeNo = RecipeNumberOf(LastName(path));
  if (target.recipeNo == 0) Fail(Printable(given) + " names no recipe", ERROR_PATH_NOT_FOUND);
  target.recipe = target.group + "/" + RecipeDirectoryName(target.recipeNo);
  return target;
}

ChangeReport RestoreRecipe(const std::string& given, int64_t version) {
  OpenedProjects opened;
  RequireRight(Right::Edit);
  Target recipe = HistoryTarget(given);
  bool deleted = !IsDirectory(recipe.recipe);
  if (deleted) RequireRight(Right::Create);
  Files files = VersionContent(recipe.recipe, version);
  if (files.empty()) Fail("version " + std::to_string(version) + " has no files: the recipe was deleted then", ERROR_INVALID_PARAMETER);
  CommandLocks locks;
  locks.LockProject(recipe);
  if (!deleted) locks.LockRecipe(recipe, LastName(recipe.recipe));
  CheckAbsent(Restore(recipe, files, version), LastName(recipe.recipe));
  StoreItem item = RecipeItem(recipe);
  std::string detail = "restored version " + std::to_string(version);
  return {deleted ? Made(std::move(item), detail) : Changed(std::move(item), detail)};
}

}  // namespace rcpstore
