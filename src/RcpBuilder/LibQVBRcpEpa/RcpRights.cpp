#include "LibQVBRcpEpa/Rights.h"

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"

namespace rcpstore {

namespace {

struct RightRow {
  Right right;
  const char* name;
};
constexpr RightRow kRights[] = {{Right::Run, "run"},         {Right::Read, "read"},     {Right::Create, "create"},
                                {Right::Edit, "edit"},       {Right::Delete, "delete"}, {Right::Approve, "approve"},
                                {Right::Download, "download"}};

}  // namespace

const std::vector<Right>& AllRights() {
  static const std::vector<Right> all = [] {
    std::vector<Right> rights;
    for (const RightRow& row : kRights) rights.push_back(row.right);
    return rights;
  }();
  return all;
}

const char* RightName(Right right) {
  for (const RightRow& row : kRights) {
    if (row.right == right) return row.name;
  }
  return "unknown";
}

std::vector<std::string> RightNames() {
  std::vector<std::string> names;
  for (const RightRow& row : kRights) names.push_back(row.name);
  return names;
}

bool RightNamed(const std::string& name, Right* right) {
  for (const RightRow& row : kRights) {
    if (name == row.name) {
      *right = row.right;
      return true;
    }
  }
  return false;
}

bool HoldsRight(Right right) { return CQVERcpSecurity().CheckSecurity(static_cast<unsigned>(right)) == 1; }

uint32_t OpenSecurityBranch() {
  HKEY key = nullptr;
  uint32_t rc = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", "RecipeSecurity", 0, &key);
  if (rc == 0) QVCCloseRegistry(key);
  return rc;
}

void RequireStationRegistry() {
  RequireStation();
  LONG opened = 0;
  if (qvplatform::RegistryStore::ForStation(&opened) == nullptr) {
    Fail("the station's registry cannot be opened: " + CodeMeaning(static_cast<uint32_t>(opened)),
         static_cast<uint32_t>(opened));
  }
}

void RequireRight(Right right) {
  if (HoldsRight(right)) return;
  // A refusal because the rights cannot be read says so.
  RequireStationRegistry();
  if (!qvplatform::RegistryTrusted()) {
    Fail("the station's registry may be written by any of its users, so it grants no right; an administrator of "
         "the station runs `rcpstore station init`",
         ERROR_ACCESS_DENIED);
  }
  uint32_t rc = OpenSecurityBranch();
  if (rc != 0 && rc != ERROR_ACCESS_DENIED) Fail("the station's recipe rights cannot be read: " + CodeMeaning(rc), rc);
  Fail("user " + Printable(qvplatform::CallerUserName()) + " lacks the " + RightName(right) + " right",
       ERROR_ACCESS_DENIED);
}

void RequireAdministrator() {
  if (!qvplatform::CallerIsAdministrator()) {
    Fail("user " + CallerName() + " is not an administrator of the station", ERROR_ACCESS_DENIED);
  }
}

void RequireAdministratorWhileSecured(const std::string& what) {
  // No right asked: the check passes only while security is off or was never set up.
  if (CQVERcpSecurity().CheckSecurity(0) == 1 || qvplatform::CallerIsAdministrator()) return;
  Fail("with security on, only an administrator of the station may " + what + "; user " + CallerName() + " is not one",
       ERROR_ACCESS_DENIED);
}

}  // namespace rcpstore
