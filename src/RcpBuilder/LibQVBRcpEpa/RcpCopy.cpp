// Copying and moving a recipe to another number or group. A copy is built
// complete under a hidden name and appears in one step, like every create; a
// move is one rename, so that at every moment the recipe is in exactly one
// place; across file systems, where no rename reaches, it is copied whole and
// only then deleted, so that an interruption leaves it twice, never lost.
#include <strings.h>

#include "LibQVBRcpEpa.h"
#include "RcpCheck.h"
#include "RcpAudit.h"
#include "RcpHidden.h"
#include "RcpRecipeHead.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"

namespace {

constexpr char kHeadFile[] = "RcpHead.edf";

bool IsDataFile(const qvplatform::DirEntry& entry) {
  const std::string& name = entry.name;
  return entry.type == qvplatform::EntryType::kFile && !rcphidden::IsTransient(name) && name.size() > 4 &&
         strcasecmp(name.c_str() + name.size() - 4, ".edf") == 0;
}

// Copies every data file of the recipe, byte for byte, into directory.
uint32_t CopyDataFiles(const char* recipeDirectory, const CString& directory) {
  std::vector<qvplatform::DirEntry> entries;
  if (uint32_t rc = qvplatform::CurrentEnv()->ReadDirectory(recipeDirectory, &entries)) return rc;
  for (const qvplatform::DirEntry& entry : entries) {
    if (!IsDataFile(entry)) continue;
    CString from = QVEEngJoinPath(recipeDirectory, entry.name.c_str());
    if (uint32_t rc = QVEEngCopyFile(from.c_str(), QVEEngJoinPath(directory.c_str(), entry.name.c_str()).c_str(), 1, 1)) {
      return rc;
    }
  }
  return 0;
}

// The checks every copy and move makes before it touches anything.
uint32_t CheckCopy(const char* recipeDirectory, const char* groupDirectory, const CString& name) {
  if (recipeDirectory == nullptr || groupDirectory == nullptr || *recipeDirectory == 0 || *groupDirectory == 0) {
    return QVC_ERR_CANNOT_EXECUTE;
  }
  // The target's project is open already; the source may lie in another.
  rcppath::OpenProjectOf(recipeDirectory);
  if (uint32_t rc = rcppath::Check(recipeDirectory, kHeadFile)) return rc;
  if (uint32_t rc = rcppath::Check(groupDirectory, name.c_str())) return rc;
  rcphidden::CleanLeftovers(groupDirectory);
  if (!rcpcheck::Exists(QVEEngJoinPath(recipeDirectory, kHeadFile), false)) return ERROR_PATH_NOT_FOUND;
  return rcpcheck::Exists(QVEEngJoinPath(groupDirectory, name.c_str()), true) ? QVC_ERR_EXISTS : 0;
}

// Builds recipe `name` of the group from the recipe's data files; a copy
// (not a move) is stamped as a new recipe of this user.
uint32_t BuildCopy(const char* recipeDirectory, const char* groupDirectory, const CString& name, bool asNew) {
  rcphidden::HiddenBuild build(groupDirectory, name.c_str());
  if (uint32_t rc = build.Begin()) return rc;
  if (uint32_t rc = CopyDataFiles(recipeDirectory, build.Path())) return rc;
  if (asNew) {
    CString head = QVEEngJoinPath(build.Path().c_str(), kHeadFile);
    _QVERcpFileDetailInfo info;
    if (uint32_t rc = CQVERcpUtil::GetRcpFileInfo(head.c_str(), nullptr, &info)) return rc;
    if (uint32_t rc = rcprecipe::StampCopiedHead(head, info.strHeadName.c_str())) return rc;
  }
  return build.Finish();
}

}  // namespace

uint32_t CQVERcpUtil::CopyRecipe(const char* recipeDirectory, const char* groupDirectory, unsigned recipeNo) {
  CString name = QVFormat("RCP%04u", recipeNo);
  CString target = QVEEngJoinPath(groupDirectory, name.c_str());
  return rcpaudit::Recorded("copyRecipe", target.c_str(), recipeDirectory, [&]() -> uint32_t {
    if (uint32_t rc = CheckCopy(recipeDirectory, groupDirectory, name)) return rc;
    return BuildCopy(recipeDirectory, groupDirectory, name, true);
  });
}

uint32_t CQVERcpUtil::MoveRecipe(const char* recipeDirectory, const char* groupDirectory, unsigned recipeNo) {
  CString name = QVFormat("RCP%04u", recipeNo);
  CString target = QVEEngJoinPath(groupDirectory, name.c_str());
  return rcpaudit::Recorded("moveRecipe", target.c_str(), recipeDirectory, [&]() -> uint32_t {
    if (uint32_t rc = CheckCopy(recipeDirectory, groupDirectory, name)) return rc;
    rcphidden::CleanLeftoversBeside(recipeDirectory);
    // Nothing below the recipe may be open in another program.
    if (uint32_t rc = DirAccessCheck(recipeDirectory)) return rc;
    qvplatform::Env* env = qvplatform::CurrentEnv();
    uint32_t rc = env->RenameNoReplace(recipeDirectory, target);
    if (rc == ERROR_ALREADY_EXISTS) return QVC_ERR_EXISTS;
    if (rc == ERROR_NOT_SUPPORTED) {
      if (uint32_t built = BuildCopy(recipeDirectory, groupDirectory, name, false)) return built;
      return DeleteRecipe(recipeDirectory);
    }
    if (rc != 0) return rc;
    CString from;
    CString oldName;
    if (uint32_t split = QVEEngSplitFilePath(recipeDirectory, 1, from, oldName)) return split;
    if (uint32_t synced = env->SyncDirectory(groupDirectory)) return synced;
    return env->SyncDirectory(from);
  });
}
