#include "platform/Registry.h"

#include <pwd.h>
#include <sqlite3.h>
#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/RegistryStore.h"
#include "platform/StationDir.h"

struct RegKeyHandle {
  int64_t id;
  uint32_t granted;
};

namespace qvplatform {

namespace {

constexpr int64_t kRootId = 1;
const char kEveryone[] = "Everyone";
const char kAdministrators[] = "Administrators";

std::mutex g_identityMutex;
std::string g_actAs;
bool g_actAsUid0 = false;

bool IsRootHandle(HKEY key) { return key == HKEY_LOCAL_MACHINE; }

uint32_t MapGeneric(uint32_t mask) {
  uint32_t out = mask & ~(GENERIC_ALL | GENERIC_EXECUTE | GENERIC_WRITE | GENERIC_READ | MAXIMUM_ALLOWED);
  if (mask & GENERIC_READ) out |= KEY_READ;
  if (mask & GENERIC_EXECUTE) out |= KEY_READ;
  if (mask & GENERIC_WRITE) out |= KEY_WRITE;
  if (mask & GENERIC_ALL) out |= KEY_ALL_ACCESS;
  return out;
}

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// What the access list allows the caller: the allow entries that name one
// of its identities.
uint32_t DaclGranted(const KeyRow& key, const std::vector<std::string>& identities) {
  if (!key.hasDacl) return KEY_ALL_ACCESS;
  uint32_t granted = 0;
  for (const ACCESS_ALLOWED_ACE& ace : key.dacl) {
    for (const std::string& who : identities) {
      if (SameName(ace.account, who)) granted |= MapGeneric(ace.mask);
    }
  }
  return granted;
}

// The owner may also always read and change the access list.
uint32_t Granted(const KeyRow& key, const std::vector<std::string>& identities) {
  uint32_t granted = DaclGranted(key, identities);
  for (const std::string& who : identities) {
    if (SameName(key.owner, who)) granted |= READ_CONTROL | WRITE_DAC;
  }
  return granted;
}

// The access a new handle gets: for MAXIMUM_ALLOWED all that the caller may
// do, failing when the access list allows it nothing; else what was asked.
LONG Grant(const KeyRow& key, REGSAM wanted, const std::vector<std::string>& ids, uint32_t* granted) {
  uint32_t allowed = Granted(key, ids);
  uint32_t asked = MapGeneric(wanted);
  if (wanted & MAXIMUM_ALLOWED) {
    if (DaclGranted(key, ids) == 0) return ERROR_ACCESS_DENIED;
    *granted = allowed;
    return 0;
  }
  if ((asked & ~allowed) != 0) return ERROR_ACCESS_DENIED;
  *granted = asked;
  return 0;
}

std::vector<std::string> SplitKeyPath(const char* path) {
  std::vector<std::string> parts;
  std::string current;
  for (const char* p = path != nullptr ? path : ""; *p != 0; ++p) {
    if (*p == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// The key a handle stands for, with the handle's access.
LONG Resolve(RegistryStore& store, HKEY key, KeyRow* row, uint32_t* granted) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  int64_t id = IsRootHandle(key) ? kRootId : key->id;
  if (!store.ReadKey(id, row)) return IsRootHandle(key) ? ERROR_BADDB : ERROR_KEY_DELETED;
  *granted = IsRootHandle(key) ? Granted(*row, CallerIdentities()) : key->granted;
  return 0;
}

HKEY NewHandle(int64_t id, uint32_t granted) { return new RegKeyHandle{id, granted}; }

}  // namespace

std::string CallerUserName() {
  {
    std::lock_guard<std::mutex> lock(g_identityMutex);
    if (!g_actAs.empty()) return g_actAs;
  }
  uid_t uid = geteuid();
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found != nullptr) return found->pw_name;
  return "uid" + std::to_string(uid);
}

std::vector<std::string> CallerIdentities() {
  std::string user = CallerUserName();
  bool uid0;
  {
    std::lock_guard<std::mutex> lock(g_identityMutex);
    uid0 = g_actAs.empty() ? geteuid() == 0 : g_actAsUid0;
  }
  std::vector<std::string> ids{user, kEveryone};
  RegistryStore* store = RegistryStore::ForStation();
  if (store != nullptr) {
    for (std::string& group : store->GroupsOf(user)) ids.push_back(std::move(group));
  }
  if (uid0) ids.push_back(kAdministrators);
  std::vector<std::string> unique;
  for (std::string& id : ids) {
    bool seen = false;
    for (const std::string& u : unique) seen = seen || SameName(u, id);
    if (!seen) unique.push_back(std::move(id));
  }
  return unique;
}

std::string RegistryPath() {
  std::string dir = StationDirectory();
  return dir.empty() ? std::string() : dir + "/registry.db";
}

namespace testing {
void ActAsUser(const std::string& user, bool uid0) {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  g_actAs = user;
  g_actAsUid0 = uid0;
}
}  // namespace testing

static bool IsAdministrator() {
  for (const std::string& id : CallerIdentities()) {
    if (SameName(id, kAdministrators)) return true;
  }
  return false;
}

uint32_t LocalGroupAdd(const std::string& name, const std::string& comment) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  if (!IsAdministrator()) return ERROR_ACCESS_DENIED;
  return store->AddGroup(name, comment);
}

uint32_t LocalGroupAddMember(const std::string& group, const std::string& user) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  if (!IsAdministrator()) return ERROR_ACCESS_DENIED;
  return store->AddMember(group, user);
}

bool LocalGroupExists(const std::string& name) {
  RegistryStore* store = RegistryStore::ForStation();
  return store != nullptr && store->GroupExists(name);
}

}  // namespace qvplatform

using qvplatform::KeyRow;
using qvplatform::RegistryStore;

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  KeyRow row;
  uint32_t parentAccess = 0;
  if (LONG rc = qvplatform::Resolve(*store, parent, &row, &parentAccess)) return rc;
  for (const std::string& part : qvplatform::SplitKeyPath(subKey)) {
    if (!store->FindChild(row.id, part, &row)) return ERROR_FILE_NOT_FOUND;
  }
  uint32_t granted = 0;
  if (LONG rc = qvplatform::Grant(row, access, qvplatform::CallerIdentities(), &granted)) return rc;
  *result = qvplatform::NewHandle(row.id, granted);
  return 0;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/, DWORD /*options*/,
                     REGSAM access, const SECURITY_ATTRIBUTES* attributes, HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  std::vector<std::string> ids = qvplatform::CallerIdentities();
  const SECURITY_DESCRIPTOR* given =
      attributes != nullptr ? attributes->lpSecurityDescriptor : nullptr;
  KeyRow row;
  bool created = false;
  LONG rc = store->Transaction([&]() -> LONG {
    uint32_t parentAccess = 0;
    if (LONG r = qvplatform::Resolve(*store, parent, &row, &parentAccess)) return r;
    auto parts = qvplatform::SplitKeyPath(subKey);
    for (size_t i = 0; i < parts.size(); ++i) {
      KeyRow child;
      if (store->FindChild(row.id, parts[i], &child)) {
        row = child;
        continue;
      }
      uint32_t mayCreate = i == 0 ? parentAccess : qvplatform::Granted(row, ids);
      if ((mayCreate & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      const bool last = i + 1 == parts.size();
      KeyRow fresh;
      fresh.name = parts[i];
      fresh.owner = ids.front();
      fresh.hasDacl = last && given != nullptr ? given->hasDacl : row.hasDacl;
      fresh.dacl = last && given != nullptr ? given->dacl : row.dacl;
      if (!store->InsertKey(row.id, &fresh)) return ERROR_BADDB;
      row = fresh;
      created = true;
    }
    return 0;
  });
  if (rc != 0) return rc;
  uint32_t granted = 0;
  if (LONG r = qvplatform::Grant(row, access, ids, &granted)) return r;
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = qvplatform::NewHandle(row.id, granted);
  return 0;
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
  if ((granted & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
  std::string child;
  if (!store->ChildAt(row.id, index, &child)) return ERROR_NO_MORE_ITEMS;
  if (name == nullptr || child.size() + 1 > nameSize) return ERROR_MORE_DATA;
  std::memcpy(name, child.c_str(), child.size() + 1);
  return 0;
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  std::vector<std::string> ids = qvplatform::CallerIdentities();
  return store->Transaction([&]() -> LONG {
    KeyRow row;
    uint32_t granted = 0;
    if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
    auto parts = qvplatform::SplitKeyPath(subKey);
    if (parts.empty()) return ERROR_INVALID_PARAMETER;
    for (const std::string& part : parts) {
      if (!store->FindChild(row.id, part, &row)) return ERROR_FILE_NOT_FOUND;
    }
    if ((qvplatform::Granted(row, ids) & DELETE) == 0) return ERROR_ACCESS_DENIED;
    std::string anyChild;
    if (store->ChildAt(row.id, 0, &anyChild)) return ERROR_ACCESS_DENIED;
    return store->DeleteKey(row.id) ? 0 : ERROR_BADDB;
  });
}

LONG RegCloseKey(HKEY key) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (!qvplatform::IsRootHandle(key)) delete key;
  return 0;
}

LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION /*information*/, SECURITY_DESCRIPTOR* descriptor) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  if (descriptor == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
  if ((qvplatform::Granted(row, qvplatform::CallerIdentities()) & READ_CONTROL) == 0) return ERROR_ACCESS_DENIED;
  descriptor->owner = row.owner;
  descriptor->hasDacl = row.hasDacl;
  descriptor->dacl = row.dacl;
  return 0;
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, const SECURITY_DESCRIPTOR* descriptor) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  if (descriptor == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> ids = qvplatform::CallerIdentities();
  return store->Transaction([&]() -> LONG {
    KeyRow row;
    uint32_t granted = 0;
    if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
    uint32_t allowed = qvplatform::Granted(row, ids);
    if ((information & DACL_SECURITY_INFORMATION) != 0) {
      if ((allowed & WRITE_DAC) == 0) return ERROR_ACCESS_DENIED;
      row.hasDacl = descriptor->hasDacl;
      row.dacl = descriptor->dacl;
    }
    if ((information & OWNER_SECURITY_INFORMATION) != 0) {
      if ((allowed & WRITE_OWNER) == 0) return ERROR_ACCESS_DENIED;
      row.owner = descriptor->owner;
    }
    return store->UpdateSecurity(row) ? 0 : ERROR_BADDB;
  });
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* /*reserved*/, DWORD* type, uint8_t* data, DWORD* size) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
  if ((granted & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  uint32_t storedType = 0;
  std::string bytes;
  if (!store->ReadValue(row.id, name != nullptr ? name : "", &storedType, &bytes)) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = storedType;
  if (size == nullptr) return data == nullptr ? 0 : ERROR_INVALID_PARAMETER;
  DWORD needed = static_cast<DWORD>(bytes.size());
  DWORD room = *size;
  *size = needed;
  if (data == nullptr) return 0;
  if (room < needed) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return 0;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD /*reserved*/, DWORD type, const uint8_t* data, DWORD size) {
  RegistryStore* store = RegistryStore::ForStation();
  if (store == nullptr) return ERROR_BADDB;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  return store->Transaction([&]() -> LONG {
    KeyRow row;
    uint32_t granted = 0;
    if (LONG rc = qvplatform::Resolve(*store, key, &row, &granted)) return rc;
    if ((granted & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    return store->WriteValue(row.id, name != nullptr ? name : "", type, bytes) ? 0 : ERROR_BADDB;
  });
}
