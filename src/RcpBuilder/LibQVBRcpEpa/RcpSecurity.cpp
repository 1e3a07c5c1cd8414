// Recipe access rights: the security branch below the Batch key, the seven
// right keys with their access lists, the recipe-security local groups, and
// the right check, which is the registry's own access check of the caller.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCMessage.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "RcpAudit.h"
#include "platform/Accounts.h"
#include "platform/Registry.h"
#include "platform/Security.h"

namespace {

constexpr char kSource[] = "RcpSecurity";
constexpr uint16_t kMsgRegistry = 16;
constexpr char kBranch[] = "RecipeSecurity";
constexpr char kDefaultKey[] = "RecipeSecurity\\Default";
constexpr char kEnabled[] = "Enabled";
constexpr unsigned kFirstGroupComment = 16720;

struct RightRow {
  char keyPath[60];
  uint32_t bit;
};

// In the order of every loop over the rights. The download key keeps the
// name under which stations know it.
const RightRow kRightTable[] = {
    {"RecipeSecurity\\Default\\Run", QVERCP_RIGHT_RUN},
    {"RecipeSecurity\\Default\\Read", QVERCP_RIGHT_READ},
    {"RecipeSecurity\\Default\\Create", QVERCP_RIGHT_CREATE},
    {"RecipeSecurity\\Default\\Edit", QVERCP_RIGHT_EDIT},
    {"RecipeSecurity\\Default\\Delete", QVERCP_RIGHT_DELETE},
    {"RecipeSecurity\\Default\\Approve", QVERCP_RIGHT_APPROVE},
    {"RecipeSecurity\\Default\\Dwonload", QVERCP_RIGHT_DOWNLOAD},
};

struct GroupRow {
  char name[41];
  char comment[83];
  uint32_t rights;
};

// Administrators first, then the recipe-security groups with the rights
// they receive by default. The comments of the groups are filled from the
// message catalogue when the defaults are built.
GroupRow g_groupTable[] = {
    {"Administrators", "Administrator", 0x7f}, {"RcpSec1", "", 0x03}, {"RcpSec2", "", 0x0f},
    {"RcpSec3", "", 0x1f},                     {"RcpSec4", "", 0x3f}, {"RcpSec5", "", 0x5f},
};
std::mutex g_groupMutex;  // the comments are written at run time

// A comment must fit the wide comment buffer with its terminating NUL.
constexpr size_t kMaxComment = sizeof(CQVERcpSecurity::m_wszGroupComment) / sizeof(WCHAR) - 1;

void FillGroupComments() {
  std::lock_guard<std::mutex> lock(g_groupMutex);
  for (size_t row = 1; row < std::size(g_groupTable); ++row) {
    CString text = QVCLoadString(kFirstGroupComment + static_cast<unsigned>(row) - 1);
    std::strncpy(g_groupTable[row].comment, text.c_str(), kMaxComment);
    g_groupTable[row].comment[kMaxComment] = 0;
  }
}

CString GroupComment(const char* name) {
  std::lock_guard<std::mutex> lock(g_groupMutex);
  for (const GroupRow& row : g_groupTable) {
    if (std::strncmp(row.name, name, sizeof row.name) == 0) return row.comment;
  }
  return CString();
}

const char* ComponentName(unsigned number) {
  for (const QVCComponentRow* row = QVC_COMPONENT_TABLE; row->number != 0; ++row) {
    if (static_cast<unsigned>(row->number) == number) return row->name;
  }
  return nullptr;
}

uint32_t OpenBatch(const char* subKey, int create, HKEY* key) {
  return QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", subKey, create, key);
}

// "Enabled" of the open branch key: 0 and the value (0 when it is missing),
// or why it cannot be read.
uint32_t ReadEnabled(HKEY branch, uint32_t* enabled) {
  *enabled = 0;
  uint32_t rc = QVCGetRegistryU32(branch, kEnabled, 0, enabled);
  QVCCloseRegistry(branch);
  return rc;
}

// Whether a right key is there, whoever may open it.
bool RightKeyExists(const RightRow& right) {
  HKEY key = nullptr;
  uint32_t rc = OpenBatch(right.keyPath, 0, &key);
  if (rc == 0) QVCCloseRegistry(key);
  return rc != ERROR_FILE_NOT_FOUND;
}

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<void, FreeBlock>;

}  // namespace

CQVERcpSecurity::CQVERcpSecurity()
    : m_pAcl(reinterpret_cast<PACL>(m_aclBuffer)), m_pSid(m_sidBuffer), m_cbSid(sizeof m_sidBuffer),
      m_cchDomain(sizeof m_szDomain) {}

CQVERcpSecurity::~CQVERcpSecurity() = default;

int CQVERcpSecurity::SetSecurity(unsigned value) {
  if (value != 0 && value != 1) return 0;
  uint32_t rc = rcpaudit::Recorded("switchSecurity", nullptr, value == 1 ? "on" : "off", [&]() -> uint32_t {
    return SwitchSecurity(value) == 1 ? 0 : QVC_ERR_CANNOT_EXECUTE;
  });
  return rc == 0 ? 1 : 0;
}

int CQVERcpSecurity::SwitchSecurity(unsigned value) {
  HKEY branch = nullptr;
  if (OpenBatch(kBranch, 0, &branch) != 0) {
    if (value == 0) return 0;  // nothing to switch off
    // The first switch-on builds the branch, the right keys and the groups.
    HKEY defaults = nullptr;
    if (OpenBatch(kDefaultKey, 1, &defaults) != 0) return 0;
    QVCCloseRegistry(defaults);
    if (SetSecDefault() != 0) return 0;
    if (OpenBatch(kBranch, 0, &branch) != 0) return 0;
  } else if (value == 1 && SetSecDefault() != 0) {
    // A switch-on cut short left right keys missing: they are built now;
    // the keys that are there keep their access lists.
    QVCCloseRegistry(branch);
    return 0;
  }
  uint32_t written = QVCSetRegistryU32(branch, kEnabled, value, 1);
  QVCCloseRegistry(branch);
  return written == 0 ? 1 : 0;
}

// Only a branch (or a station registry) that is not there means "not set
// up"; a branch that cannot be read refuses, so that a damaged or busy
// registry never opens every right.
int CQVERcpSecurity::CheckSecurity(unsigned rights) {
  // The switch and the rights are read in one state of the registry.
  qvplatform::RegistryReadScope oneRead;
  if (!qvplatform::RegistryTrusted()) return 0;
  HKEY branch = nullptr;
  uint32_t opened = OpenBatch(kBranch, 0, &branch);
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) return 1;
  if (opened != 0) return 0;
  uint32_t enabled = 0;
  if (ReadEnabled(branch, &enabled) != 0) return 0;
  if (enabled != 1) return 1;
  int held = 0;
  for (const RightRow& right : kRightTable) {
    if ((rights & right.bit) == 0) continue;
    HKEY key = nullptr;
    if (OpenBatch(right.keyPath, 0, &key) != 0) return 0;
    QVCCloseRegistry(key);
    ++held;
  }
  return held > 0 ? 1 : 0;
}

int CQVERcpSecurity::GetSecurityInfo() {
  HKEY branch = nullptr;
  if (OpenBatch(kBranch, 0, &branch) == 0) {
    QVCCloseRegistry(branch);
    HKEY batch = nullptr;
    if (OpenBatch(nullptr, 0, &batch) != 0) return 0;
    HKEY run = nullptr;
    if (RegOpenKeyExA(batch, kRightTable[0].keyPath, 0, KEY_READ | KEY_WRITE, &run) == 0) {
      RegCloseKey(run);
      // The branch goes whole or not at all, and only for a caller who may
      // delete every key of it.
      std::vector<std::string> branchKeys;
      for (const RightRow& right : kRightTable) branchKeys.push_back(right.keyPath);
      branchKeys.push_back(kDefaultKey);
      branchKeys.push_back(kBranch);
      qvplatform::DeleteKeysTogether(batch, branchKeys);
    }
    QVCCloseRegistry(batch);
  }
  if (OpenBatch(kBranch, 0, &branch) != 0) return 0;
  uint32_t enabled = 0;
  ReadEnabled(branch, &enabled);
  return enabled == 1 ? 1 : 0;
}

// Builds the right keys with their default access lists, and the groups on
// them. A right key that is there already keeps its list.
uint32_t CQVERcpSecurity::SetSecDefault() {
  FillGroupComments();
  const GroupRow& administrators = g_groupTable[0];
  for (const RightRow& right : kRightTable) {
    if ((administrators.rights & right.bit) == 0 || RightKeyExists(right)) continue;
    HKEY key = nullptr;
    if (uint32_t rc = CreateRegKey(administrators.name, GENERIC_READ, HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch",
                                   right.keyPath, &key)) {
      return rc;
    }
    for (size_t row = 1; row < std::size(g_groupTable); ++row) {
      const GroupRow& group = g_groupTable[row];
      if ((group.rights & right.bit) == 0) continue;
      CheckGrpName(group.name);  // a group that cannot be made fails the next step
      if (uint32_t rc = AddAccessCtl(key, group.name, GENERIC_READ | GENERIC_WRITE)) {
        QVCCloseRegistry(key);
        return rc;
      }
    }
    QVCCloseRegistry(key);
  }
  return 0;
}

uint32_t CQVERcpSecurity::CreateRegKey(const char* account, unsigned long access, HKEY root, unsigned component,
                                       const char* section, const char* subKey, HKEY* key) {
  m_pAcl = reinterpret_cast<PACL>(m_aclBuffer);
  m_pSid = m_sidBuffer;
  m_cbSid = sizeof m_sidBuffer;
  m_cchDomain = sizeof m_szDomain;
  InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION);
  InitializeAcl(m_pAcl, sizeof m_aclBuffer, ACL_REVISION);
  // An account that cannot be looked up gets no key: the caller stops here.
  if (!LookupAccountNameA(nullptr, account, m_pSid, &m_cbSid, m_szDomain, &m_cchDomain, &m_sidUse) ||
      !AddAccessAllowedAce(m_pAcl, ACL_REVISION, static_cast<DWORD>(access), m_pSid)) {
    _QVCSetError(kMsgRegistry, kSource, __LINE__, QVC_ERR_ACCOUNT, "LookupAccountNameA");
    return QVC_ERR_ACCOUNT;
  }
  SetSecurityDescriptorDacl(&m_sd, 1, m_pAcl, 0);
  m_sa.nLength = sizeof m_sa;
  m_sa.lpSecurityDescriptor = &m_sd;
  m_sa.bInheritHandle = 0;
  char product[32];
  QVCGetProductName(product, sizeof product);
  const char* componentName = ComponentName(component);
  if (componentName == nullptr) {
    _QVCSetError(kMsgRegistry, kSource, __LINE__, QVC_ERR_CANNOT_EXECUTE, "QVCOpenRegistry");
    return QVC_ERR_CANNOT_EXECUTE;
  }
  return CreateRegistryInternal(root, product, componentName, section, subKey, KEY_ALL_ACCESS, &m_sa, key);
}

uint32_t CQVERcpSecurity::CreateRegistryInternal(HKEY root, const char* product, const char* component,
                                                 const char* section, const char* subKey, unsigned long access,
                                                 SECURITY_ATTRIBUTES* attributes, HKEY* key) {
  if (key == nullptr) {
    _QVCSetError(kMsgRegistry, kSource, __LINE__, QVC_ERR_CANNOT_EXECUTE, "QVCOpenRegistry");
    return QVC_ERR_CANNOT_EXECUTE;
  }
  CString path = "Software\\VELMORAN";
  if (product != nullptr) {
    // A product that the table does not know keeps its own name.
    const char* productKey = QVCProductKeyName(product);
    path += "\\";
    path += productKey != nullptr ? productKey : product;
  }
  for (const char* part : {component, section, subKey}) {
    if (part == nullptr) continue;
    path += "\\";
    path += part;
  }
  char emptyClass[] = "";
  DWORD disposition = 0;
  if (RegCreateKeyExA(root, path.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE, static_cast<REGSAM>(access),
                      attributes, key, &disposition) != 0) {
    _QVCSetError(kMsgRegistry, kSource, __LINE__, QVC_ERR_REGISTRY_CREATE, "QVCOpenRegistry");
    return QVC_ERR_REGISTRY_CREATE;
  }
  return 0;
}

// Appends one allow entry for the account to the key's access list: the
// list is fetched, copied into a list one entry larger and written back.
uint32_t CQVERcpSecurity::AddAccessCtl(HKEY key, const char* account, unsigned long access) {
  m_pAcl = reinterpret_cast<PACL>(m_aclBuffer);
  m_cbSid = 0;
  m_cchDomain = sizeof m_szDomain;
  LookupAccountNameA(nullptr, account, nullptr, &m_cbSid, m_szDomain, &m_cchDomain, &m_sidUse);
  if (m_cbSid == 0) return QVC_ERR_ACCOUNT;
  Block sid(std::malloc(m_cbSid));
  if (sid == nullptr) return QVC_ERR_ACCOUNT;
  m_pSid = sid.get();
  if (!LookupAccountNameA(nullptr, account, m_pSid, &m_cbSid, m_szDomain, &m_cchDomain, &m_sidUse)) {
    return QVC_ERR_ACCOUNT;
  }

  DWORD descriptorSize = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &descriptorSize);
  if (descriptorSize == 0) return QVC_ERR_ACCOUNT;
  Block fetched(std::malloc(descriptorSize));
  if (fetched == nullptr ||
      RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, fetched.get(), &descriptorSize) != ERROR_SUCCESS) {
    return QVC_ERR_ACCOUNT;
  }

  InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION);
  BOOL present = 0;
  BOOL defaulted = 0;
  if (!GetSecurityDescriptorDacl(fetched.get(), &present, &m_pAcl, &defaulted)) return QVC_ERR_ACCOUNT;
  present = present && m_pAcl != nullptr;
  ACL_SIZE_INFORMATION sizes{};
  if (present && !GetAclInformation(m_pAcl, &sizes, sizeof sizes, AclSizeInformation)) return QVC_ERR_ACCOUNT;
  const DWORD listSize = (present ? sizes.AclBytesInUse : sizeof(ACL)) + GetLengthSid(m_pSid) + 8;
  Block newList(std::malloc(listSize));
  auto* acl = static_cast<PACL>(newList.get());
  if (acl == nullptr || !InitializeAcl(acl, listSize, ACL_REVISION)) return QVC_ERR_ACCOUNT;
  for (DWORD i = 0; present && i < sizes.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(m_pAcl, i, &ace) ||
        !AddAce(acl, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) {
      return QVC_ERR_ACCOUNT;
    }
  }
  if (!AddAccessAllowedAce(acl, ACL_REVISION, static_cast<DWORD>(access), m_pSid)) return QVC_ERR_ACCOUNT;

  SetSecurityDescriptorDacl(&m_sd, 1, acl, 0);
  IsValidSecurityDescriptor(&m_sd);
  LONG written = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &m_sd);
  // The blocks go with this call; leave no pointer into them.
  m_pAcl = reinterpret_cast<PACL>(m_aclBuffer);
  m_pSid = m_sidBuffer;
  return written == ERROR_SUCCESS ? 0 : QVC_ERR_ACCOUNT;
}

// Makes sure that a local group of this name exists, creating it with its
// comment from the group table when no account has the name.
uint32_t CQVERcpSecurity::CheckGrpName(const char* name) {
  m_cbSid = 0;
  m_pSid = nullptr;
  m_cchDomain = sizeof m_szDomain;
  LookupAccountNameA(nullptr, name, nullptr, &m_cbSid, m_szDomain, &m_cchDomain, &m_sidUse);
  if (m_cbSid != 0) {
    Block sid(std::malloc(m_cbSid));
    if (sid == nullptr) return QVC_ERR_ACCOUNT;
    m_pSid = sid.get();
    m_cchDomain = sizeof m_szDomain;
    BOOL found = LookupAccountNameA(nullptr, name, m_pSid, &m_cbSid, m_szDomain, &m_cchDomain, &m_sidUse);
    m_pSid = nullptr;
    return found ? 0 : QVC_ERR_ACCOUNT;
  }
  if (m_cchDomain == 0) return 0;  // the accounts could not be read: nothing is created blindly
  CString comment = GroupComment(name);
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, m_wszGroupName, static_cast<int>(std::size(m_wszGroupName))) == 0 ||
      MultiByteToWideChar(CP_ACP, 0, comment.c_str(), -1, m_wszGroupComment,
                          static_cast<int>(std::size(m_wszGroupComment))) == 0) {
    return QVC_ERR_ACCOUNT;
  }
  LOCALGROUP_INFO_1 info{m_wszGroupName, m_wszGroupComment};
  return NetLocalGroupAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr) == NERR_Success ? 0 : QVC_ERR_ACCOUNT;
}
