#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "platform/Accounts.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"
#include "platform/StationSetUp.h"
#include "RcpAudit.h"

namespace rcpstore {

namespace {

// Whether the security branch is there (a branch that cannot be read counts).
bool BranchExists() { return OpenSecurityBranch() != ERROR_FILE_NOT_FOUND; }

bool IsUser(const std::string& name) {
  BYTE sid[QV_MAX_SID_SIZE];
  DWORD cbSid = sizeof sid;
  char domain[256];
  DWORD cchDomain = sizeof domain;
  SID_NAME_USE use = SidTypeUnknown;
  return LookupAccountNameA(nullptr, name.c_str(), sid, &cbSid, domain, &cchDomain, &use) && use == SidTypeUser;
}

}  // namespace

StationInfo ReadStationInfo() {
  StationInfo info;
  RequireStation();
  info.directory = qvplatform::StationDirectory();
  info.identities = qvplatform::CallerIdentities();
  info.registry = qvplatform::RegistryPath();
  info.user = CallerName();
  return info;
}

void RequireStation() {
  std::string problem = qvplatform::StationDirectoryProblem();
  if (!problem.empty()) Fail(Printable(problem), ERROR_PATH_NOT_FOUND);
}

void FailUnregistered(const std::string& name, const std::string& hint) {
  RequireStation();
  Fail("no project registered under the name " + Printable(name) + " at station " +
           Printable(qvplatform::StationDirectory()) + hint,
       ERROR_FILE_NOT_FOUND);
}

std::vector<std::string> SetUpStation() {
  std::vector<std::string> done;
  std::string failed;
  bool made = false;
  if (uint32_t rc = qvplatform::MakeStationDirectory(&failed, &made)) {
    Fail("the station directory " + Printable(failed) + " cannot be made: " + CodeMeaning(rc), rc);
  }
  if (made) done.push_back("made the station directory " + Printable(failed));
  failed.clear();
  // Opening a key lays the registry out, the project list in its shared part.
  uint32_t opened = OpenSecurityBranch();
  if (opened != 0 && opened != ERROR_FILE_NOT_FOUND) Check(opened);
  const std::vector<std::string> logs{rcpaudit::kTrailName, "errors.log", "events.log"};
  uint32_t rc = qvplatform::SetUpStation(logs, &done, &failed);
  if (rc == ERROR_ACCESS_DENIED && failed.empty()) {
    Fail("only root or the owner of the station directory sets the station up", rc);
  }
  if (rc != 0) Fail("the station cannot be set up: " + (failed.empty() ? std::string("the registry") : failed) +
                    ": " + CodeMeaning(rc), rc);
  return done;
}

std::string CallerName() { return qvplatform::CallerUserName(); }

void OnStoreMessage(const std::function<void(const std::string&)>& observer) { QVEEngSetMsgBufObserver(observer); }

void UseStationDirectory(const std::string& directory) { qvplatform::SetStationDirectory(directory); }

SecurityStatus ReadSecurityStatus() {
  RequireStationRegistry();
  if (CQVERcpSecurity().GetSecurityInfo() == 1) return SecurityStatus::kOn;
  return BranchExists() ? SecurityStatus::kOff : SecurityStatus::kAbsent;
}

void SwitchSecurity(bool on) {
  RequireAdministrator();
  if (!on && !BranchExists()) Fail("security was never switched on at this station", ERROR_FILE_NOT_FOUND);
  if (CQVERcpSecurity().SetSecurity(on ? 1 : 0) != 1) Fail("the security settings cannot be written", QVC_ERR_ACCOUNT);
}

bool HoldsRights(const std::vector<Right>& rights) {
  unsigned mask = 0;
  for (Right right : rights) mask |= static_cast<unsigned>(right);
  return CQVERcpSecurity().CheckSecurity(mask) == 1;
}

std::vector<SecurityGroup> ReadSecurityGroups() {
  std::vector<SecurityGroup> groups;
  for (int n = 1; n <= QVERCP_SECURITY_GROUPS; ++n) {
    SecurityGroup group;
    group.name = QVFormat("RcpSec%d", n);
    qvplatform::LocalGroupInfo info;
    uint32_t rc = qvplatform::LocalGroupGet(group.name, &info);
    if (rc != ERROR_NO_SUCH_ALIAS) {
      Check(rc);
      group = SecurityGroup{info.name, true, info.comment, info.members};
    }
    groups.push_back(group);
  }
  return groups;
}

void ChangeGroupMember(const std::string& group, const std::string& user, bool add) {
  RequireAdministrator();
  if (add && !IsUser(user)) Fail("there is no user " + user + " on this computer", ERROR_NONE_MAPPED);
  uint32_t rc = add ? qvplatform::LocalGroupAddMember(group, user) : qvplatform::LocalGroupRemoveMember(group, user);
  if (rc == ERROR_NO_SUCH_ALIAS) Fail("there is no local group " + group, rc);
  if (rc == ERROR_MEMBER_NOT_IN_ALIAS) Fail(user + " is not a member of " + group, rc);
  Check(rc);
}

}  // namespace rcpstore
