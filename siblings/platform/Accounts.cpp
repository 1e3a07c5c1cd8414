#include "platform/Accounts.h"

#include <pwd.h>
#include <strings.h>

#include <cstring>
#include <string>

#include "platform/FileApi.h"
#include "platform/Host.h"

namespace {

constexpr char kEveryone[] = "Everyone";
constexpr char kAdministrators[] = "Administrators";
constexpr size_t kMaxComment = 256;

struct Account {
  std::string name;  // as the account keeps it
  SID_NAME_USE use = SidTypeUnknown;
  std::string domain;
};

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool IsSystemUser(const std::string& name, std::string* canonical) {
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwnam_r(name.c_str(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr) return false;
  if (canonical != nullptr) *canonical = found->pw_name;
  return true;
}

// 0 and the account; ERROR_NONE_MAPPED for none; or why the station's
// groups cannot be read.
uint32_t FindAccount(const std::string& name, Account* account) {
  if (SameName(name, kEveryone)) {
    *account = Account{kEveryone, SidTypeWellKnownGroup, ""};
    return 0;
  }
  qvplatform::LocalGroupInfo group;
  uint32_t rc = qvplatform::LocalGroupGet(name, &group);
  if (rc == 0) {
    bool builtin = SameName(group.name, kAdministrators);
    *account = Account{group.name, SidTypeAlias, builtin ? "BUILTIN" : qvplatform::ComputerName()};
    return 0;
  }
  if (rc != ERROR_NO_SUCH_ALIAS) return rc;
  std::string user;
  if (!IsSystemUser(name, &user)) return ERROR_NONE_MAPPED;
  *account = Account{user, SidTypeUser, qvplatform::ComputerName()};
  return 0;
}

bool IsThisComputer(const char* systemName) {
  return systemName == nullptr || *systemName == 0 || qvplatform::ComputerName() == systemName;
}

// A wide text of at most limit characters, each one byte of the code page.
bool Narrow(const WCHAR* text, size_t limit, std::string* out) {
  out->clear();
  if (text == nullptr) return true;
  for (size_t i = 0; text[i] != 0; ++i) {
    if (i == limit || text[i] < 0 || text[i] > 0xFF) return false;
    out->push_back(static_cast<char>(text[i]));
  }
  return true;
}

bool ValidGroupName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == '\\') return false;
  }
  return true;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

}  // namespace

BOOL LookupAccountNameA(const char* systemName, const char* accountName, PSID sid, DWORD* cbSid, char* domain,
                        DWORD* cchDomain, SID_NAME_USE* use) {
  if (accountName == nullptr || cbSid == nullptr || cchDomain == nullptr || use == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (!IsThisComputer(systemName)) return Fail(ERROR_NONE_MAPPED);
  Account account;
  if (uint32_t rc = FindAccount(accountName, &account)) {
    if (rc != ERROR_NONE_MAPPED) *cbSid = *cchDomain = 0;
    return Fail(rc);
  }
  DWORD sidSize = *cbSid;
  uint32_t made = qvplatform::MakeSid(account.name, account.use, nullptr, &sidSize);
  if (made != ERROR_INSUFFICIENT_BUFFER) return Fail(made);
  const auto domainNeeded = static_cast<DWORD>(account.domain.size() + 1);
  if (sid == nullptr || *cbSid < sidSize || domain == nullptr || *cchDomain < domainNeeded) {
    *cbSid = sidSize;
    *cchDomain = domainNeeded;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  qvplatform::MakeSid(account.name, account.use, sid, cbSid);
  std::memcpy(domain, account.domain.c_str(), domainNeeded);
  *cchDomain = domainNeeded - 1;
  *use = account.use;
  return 1;
}

NET_API_STATUS NetLocalGroupAdd(const WCHAR* serverName, DWORD level, BYTE* buf, DWORD* parmErr) {
  if (serverName != nullptr && *serverName != 0) return ERROR_BAD_NETPATH;
  if (level != 0 && level != 1) return ERROR_INVALID_LEVEL;
  if (buf == nullptr) return ERROR_INVALID_PARAMETER;
  const WCHAR* wideName = level == 0 ? reinterpret_cast<LOCALGROUP_INFO_0*>(buf)->lgrpi0_name
                                     : reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_name;
  const WCHAR* wideComment = level == 1 ? reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_comment : nullptr;
  std::string name;
  std::string comment;
  DWORD badField = 0;
  if (!Narrow(wideName, QV_MAX_ACCOUNT_NAME, &name) || !ValidGroupName(name)) {
    badField = LOCALGROUP_NAME_PARMNUM;
  } else if (!Narrow(wideComment, kMaxComment, &comment)) {
    badField = LOCALGROUP_COMMENT_PARMNUM;
  }
  if (badField != 0) {
    if (parmErr != nullptr) *parmErr = badField;
    return ERROR_INVALID_PARAMETER;
  }
  if (!qvplatform::CallerIsAdministrator()) return ERROR_ACCESS_DENIED;
  if (SameName(name, kEveryone)) return ERROR_ALIAS_EXISTS;
  if (IsSystemUser(name, nullptr)) return NERR_UserExists;
  return qvplatform::LocalGroupAdd(name, comment);
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src, int srcLength, WCHAR* dst,
                        int dstLength) {
  if (codePage != CP_ACP || src == nullptr || srcLength == 0 || srcLength < -1 || dstLength < 0 ||
      (dst == nullptr && dstLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t count = srcLength == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLength);
  if (count > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dstLength == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(dstLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < count; ++i) dst[i] = static_cast<WCHAR>(static_cast<unsigned char>(src[i]));
  return static_cast<int>(count);
}
