// The upkeep of a whole store: verifying (and repairing) it, and emptying
// the recipes' TEMP directories.
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Verify.h"
#include "RcpChanged.h"
#include "RcpSignatureLog.h"
#include "RcpVerify.h"

namespace rcpstore {

namespace {

// The project as the other operations take it, or else any directory that
// holds a Recipe directory: a store whose attribute file is lost is still
// verified.
Target StoreTarget(const std::string& given) {
  try {
    return ProjectTarget(given);
  } catch (const Failure& failure) {
    _QVERcpProjectInfo info{};
    if (!NamesDirectory(given)) CQVERcpUtil::GetProjectInfo(given.c_str(), &info);
    std::string directory = NamesDirectory(given) ? given : info.strPath;
    if (directory.empty()) throw;
    Target target;
    target.project = ExistingTarget(directory);
    if (!IsDirectory(target.project + "/Recipe")) throw;
    target.projectName = NamesDirectory(given) ? LastName(target.project) : given;
    return target;
  }
}

// A stale project lock file that this user may not take (another user's)
// refuses the repair its lock: it is removed first, as a repair.
void LockForRepair(CommandLocks& locks, const Target& target, std::vector<Finding>* findings) {
  try {
    locks.LockProject(target);
  } catch (const Failure& failure) {
    std::string lockFile = target.project + "/RcpPjtLock.txt";
    if (failure.code != QVERCP_ERR_LOCKED || !rcpverify::RepairStaleLock(target.project, lockFile, findings)) throw;
    locks.LockProject(target);
  }
}

}  // namespace

VerifyReport VerifyStore(const std::string& project, bool repair, const VerifyProgress& progress) {
  OpenedProjects opened;
  VerifyReport report;
  Target target = StoreTarget(project);
  report.store = PlainItem(target);
  if (repair) RequireRight(Right::Edit);
  CommandLocks locks;
  if (repair) LockForRepair(locks, target, &report.findings);
  rcpverify::Options options;
  options.repair = repair;
  options.progress = progress;
  Check(rcpverify::Verify(target.project, options, &report.findings));
  rcpsign::VerifySignatures(target.project, &report.findings);
  return report;
}

ChangeReport CleanTemp(const std::string& project) {
  OpenedProjects opened;
  Target target = ProjectTarget(project);
  if (!target.registered) Fail("the project is not registered on this station", ERROR_FILE_NOT_FOUND);
  CommandLocks locks;
  locks.LockProject(target);
  Check(CQVERcpUtil::DeleteTempFile(target.projectName.c_str()));
  return {Changed(PlainItem(target), "TEMP directories emptied")};
}

}  // namespace rcpstore
