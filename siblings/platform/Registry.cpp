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

// An open key keeps the store it was opened in, also when the station
// changes while it is open.
struct RegKeyHandle {
  std::shared_ptr<qvplatform::RegistryStore> store;
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
  for (const AccessEntry& ace : key.dacl) {
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

// The caller's identities, with the local groups of the given store (none
// without one). The registry calls pass their own store, so that a call
// never opens a second connection to its database in the middle of it.
std::vector<std::string> IdentitiesIn(RegistryStore* store) {
  std::string user = CallerUserName();
  bool uid0;
  {
    std::lock_guard<std::mutex> lock(g_identityMutex);
    uid0 = g_actAs.empty() ? geteuid() == 0 : g_actAsUid0;
  }
  // A user whose name is also a group's or a well-known account's would hold
  // that account's entries: such a user acts through its groups only.
  const bool namesAnAccount = SameName(user, kEveryone) || SameName(user, kAdministrators) ||
                              (store != nullptr && store->GroupExists(user));
  std::vector<std::string> ids{kEveryone};
  if (!namesAnAccount) ids.insert(ids.begin(), user);
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

bool HoldsAdministrators(const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    if (SameName(id, kAdministrators)) return true;
  }
  return false;
}

bool IsAdministrator(RegistryStore& store) { return HoldsAdministrators(IdentitiesIn(&store)); }

// The store a handle belongs to: the current station's for the root.
std::shared_ptr<RegistryStore> StoreOf(HKEY key, LONG* rc) {
  if (key == nullptr) {
    *rc = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!IsRootHandle(key)) return key->store;
  return RegistryStore::ForStation(rc);
}

// The key a handle stands for, with the handle's access.
LONG Resolve(RegistryStore& store, HKEY key, KeyRow* row, uint32_t* granted) {
  int64_t id = IsRootHandle(key) ? kRootId : key->id;
  LONG rc = store.ReadKey(id, row);
  if (rc == ERROR_FILE_NOT_FOUND) return IsRootHandle(key) ? ERROR_BADDB : ERROR_KEY_DELETED;
  if (rc != 0) return rc;
  *granted = IsRootHandle(key) ? Granted(*row, IdentitiesIn(&store)) : key->granted;
  return 0;
}

HKEY NewHandle(std::shared_ptr<RegistryStore> store, int64_t id, uint32_t granted) {
  return new RegKeyHandle{std::move(store), id, granted};
}

// Walks subKey down from the parent's key, creating the keys that are
// missing, each only where the caller may create sub-keys; the last new key
// gets the given access list, the others their parent's. What an
// administrator creates belongs to Administrators, so that every
// administrator may manage it. Runs inside the caller's transaction.
LONG CreatePath(RegistryStore& store, HKEY parent, const char* subKey, const KeySecurity* given,
                const std::vector<std::string>& ids, KeyRow* row, bool* created) {
  uint32_t parentAccess = 0;
  if (LONG rc = Resolve(store, parent, row, &parentAccess)) return rc;
  auto parts = SplitKeyPath(subKey);
  for (size_t i = 0; i < parts.size(); ++i) {
    KeyRow child;
    LONG found = store.FindChild(row->id, parts[i], &child);
    if (found == 0) {
      *row = child;
      continue;
    }
    if (found != ERROR_FILE_NOT_FOUND) return found;
    uint32_t mayCreate = i == 0 ? parentAccess : Granted(*row, ids);
    if ((mayCreate & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
    const bool last = i + 1 == parts.size();
    KeyRow fresh;
    fresh.name = parts[i];
    fresh.owner = HoldsAdministrators(ids) ? kAdministrators : CallerUserName();
    fresh.hasDacl = last && given != nullptr ? given->hasDacl : row->hasDacl;
    fresh.dacl = last && given != nullptr ? given->dacl : row->dacl;
    if (LONG rc = store.InsertKey(row->id, &fresh)) return rc;
    *row = fresh;
    *created = true;
  }
  return 0;
}

// Deletes one sub-key that has no sub-keys of its own, where the caller holds
// DELETE on it. Runs inside the caller's transaction.
LONG DeleteOne(RegistryStore& store, HKEY key, const std::string& subKey, const std::vector<std::string>& ids) {
  KeyRow row;
  uint32_t granted = 0;
  if (LONG r = Resolve(store, key, &row, &granted)) return r;
  auto parts = SplitKeyPath(subKey.c_str());
  if (parts.empty()) return ERROR_INVALID_PARAMETER;
  for (const std::string& part : parts) {
    if (LONG r = store.FindChild(row.id, part, &row)) return r;
  }
  if ((Granted(row, ids) & DELETE) == 0) return ERROR_ACCESS_DENIED;
  std::string anyChild;
  LONG child = store.ChildAt(row.id, 0, &anyChild);
  if (child == 0) return ERROR_ACCESS_DENIED;
  if (child != ERROR_NO_MORE_ITEMS) return child;
  return store.DeleteKey(row.id);
}

// The access list a caller gives with a new key, if any.
LONG GivenSecurity(const SECURITY_ATTRIBUTES* attributes, KeySecurity* security, bool* given) {
  *given = attributes != nullptr && attributes->lpSecurityDescriptor != nullptr;
  return *given ? static_cast<LONG>(ReadDescriptor(attributes->lpSecurityDescriptor, security)) : 0;
}

}  // namespace

std::string CallerUserName() {
  {
    std::lock_guard<std::mutex> lock(g_identityMutex);
    if (!g_actAs.empty()) return g_actAs;
  }
  // The user database is read whole at each look-up: the name of the last
  // user id asked for is kept.
  static std::mutex mutex;
  static uid_t keptUid = 0;
  static std::string keptName;
  const uid_t uid = geteuid();
  std::lock_guard<std::mutex> lock(mutex);
  if (!keptName.empty() && keptUid == uid) return keptName;
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) != 0 || found == nullptr) return "uid" + std::to_string(uid);
  keptUid = uid;
  keptName = found->pw_name;
  return keptName;
}

std::vector<std::string> CallerIdentities() {
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation();
  return IdentitiesIn(store.get());
}

std::string RegistryPath() {
  std::string dir = StationDirectory();
  return dir.empty() ? std::string() : dir + "/registry.db";
}

bool RegistryTrusted() {
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation();
  return store != nullptr && store->Trusted();
}

uint64_t RegistryGeneration() {
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation();
  return store != nullptr ? store->Generation() : 0;
}

RegistryReadScope::RegistryReadScope() : store_(RegistryStore::ForStation()) {
  if (store_ != nullptr) began_ = store_->BeginRead();
}

RegistryReadScope::~RegistryReadScope() {
  if (store_ != nullptr) store_->EndRead(began_);
}

namespace testing {
void ActAsUser(const std::string& user, bool uid0) {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  g_actAs = user;
  g_actAsUid0 = uid0;
}
}  // namespace testing

bool CallerIsAdministrator() {
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation();
  return HoldsAdministrators(IdentitiesIn(store.get()));
}

uint32_t LocalGroupAdd(const std::string& name, const std::string& comment) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation(&rc);
  if (store == nullptr) return static_cast<uint32_t>(rc);
  if (!IsAdministrator(*store)) return ERROR_ACCESS_DENIED;
  return store->AddGroup(name, comment);
}

uint32_t LocalGroupAddMember(const std::string& group, const std::string& user) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation(&rc);
  if (store == nullptr) return static_cast<uint32_t>(rc);
  if (!IsAdministrator(*store)) return ERROR_ACCESS_DENIED;
  return store->AddMember(group, user);
}

uint32_t LocalGroupRemoveMember(const std::string& group, const std::string& user) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation(&rc);
  if (store == nullptr) return static_cast<uint32_t>(rc);
  if (!IsAdministrator(*store)) return ERROR_ACCESS_DENIED;
  return store->RemoveMember(group, user);
}

uint32_t LocalGroupGet(const std::string& name, LocalGroupInfo* info) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation(&rc);
  if (store == nullptr) return static_cast<uint32_t>(rc);
  if (info == nullptr) return ERROR_INVALID_PARAMETER;
  return store->ReadGroup(name, info);
}

LONG DeleteKeysTogether(HKEY key, const std::vector<std::string>& subKeys) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = StoreOf(key, &rc);
  if (store == nullptr) return rc;
  std::vector<std::string> ids = IdentitiesIn(store.get());
  return store->Transaction([&]() -> LONG {
    for (const std::string& subKey : subKeys) {
      if (LONG r = DeleteOne(*store, key, subKey, ids)) return r;
    }
    return 0;
  });
}

bool LocalGroupExists(const std::string& name) {
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation();
  return store != nullptr && store->GroupExists(name);
}

LONG CreateKeyAndSetValue(HKEY parent, const char* subKey, const char* name, DWORD type, const uint8_t* data,
                          DWORD size, bool* keyRefused) {
  bool refused = false;
  if (keyRefused != nullptr) *keyRefused = false;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = StoreOf(parent, &rc);
  if (store == nullptr) return rc;
  std::vector<std::string> ids = IdentitiesIn(store.get());
  rc = store->Transaction([&]() -> LONG {
    KeyRow row;
    bool created = false;
    LONG r = CreatePath(*store, parent, subKey, nullptr, ids, &row, &created);
    if (r == 0 && DaclGranted(row, ids) == 0) r = ERROR_ACCESS_DENIED;
    if (r != 0) {
      refused = r == ERROR_ACCESS_DENIED;
      return r;
    }
    if ((Granted(row, ids) & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    return store->WriteValue(row.id, name != nullptr ? name : "", type, bytes);
  });
  if (keyRefused != nullptr) *keyRefused = refused;
  return rc;
}

}  // namespace qvplatform

using qvplatform::KeyRow;
using qvplatform::KeySecurity;
using qvplatform::RegistryStore;

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(parent, &rc);
  if (store == nullptr) return rc;
  KeyRow row;
  uint32_t parentAccess = 0;
  if (LONG r = qvplatform::Resolve(*store, parent, &row, &parentAccess)) return r;
  for (const std::string& part : qvplatform::SplitKeyPath(subKey)) {
    if (LONG r = store->FindChild(row.id, part, &row)) return r;
  }
  uint32_t granted = 0;
  if (LONG r = qvplatform::Grant(row, access, qvplatform::IdentitiesIn(store.get()), &granted)) return r;
  *result = qvplatform::NewHandle(store, row.id, granted);
  return 0;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/, DWORD /*options*/,
                     REGSAM access, const SECURITY_ATTRIBUTES* attributes, HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(parent, &rc);
  if (store == nullptr) return rc;
  std::vector<std::string> ids = qvplatform::IdentitiesIn(store.get());
  KeySecurity security;
  bool given = false;
  if (LONG r = qvplatform::GivenSecurity(attributes, &security, &given)) return r;
  KeyRow row;
  bool created = false;
  rc = store->Transaction([&]() -> LONG {
    return qvplatform::CreatePath(*store, parent, subKey, given ? &security : nullptr, ids, &row, &created);
  });
  if (rc != 0) return rc;
  // The creator of a key holds what it asked for, whatever the new key's list says.
  uint32_t granted = (access & MAXIMUM_ALLOWED) != 0 ? KEY_ALL_ACCESS : qvplatform::MapGeneric(access);
  if (!created) {
    if (LONG r = qvplatform::Grant(row, access, ids, &granted)) return r;
  }
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = qvplatform::NewHandle(store, row.id, granted);
  return 0;
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(key, &rc);
  if (store == nullptr) return rc;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG r = qvplatform::Resolve(*store, key, &row, &granted)) return r;
  if ((granted & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
  std::string child;
  if (LONG r = store->ChildAt(row.id, index, &child)) return r;
  if (name == nullptr || child.size() + 1 > nameSize) return ERROR_MORE_DATA;
  std::memcpy(name, child.c_str(), child.size() + 1);
  return 0;
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
  return qvplatform::DeleteKeysTogether(key, {subKey != nullptr ? subKey : ""});
}

LONG RegCloseKey(HKEY key) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (!qvplatform::IsRootHandle(key)) delete key;
  return 0;
}

LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor, DWORD* size) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(key, &rc);
  if (store == nullptr) return rc;
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG r = qvplatform::Resolve(*store, key, &row, &granted)) return r;
  if ((granted & READ_CONTROL) == 0) return ERROR_ACCESS_DENIED;
  KeySecurity security{row.owner, row.hasDacl, row.dacl};
  return static_cast<LONG>(qvplatform::WriteDescriptor(security, information, descriptor, size));
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(key, &rc);
  if (store == nullptr) return rc;
  KeySecurity security;
  if (uint32_t r = qvplatform::ReadDescriptor(descriptor, &security)) return static_cast<LONG>(r);
  const bool setOwner = (information & OWNER_SECURITY_INFORMATION) != 0;
  if (setOwner && security.owner.empty()) return ERROR_INVALID_SECURITY_DESCR;
  return store->Transaction([&]() -> LONG {
    KeyRow row;
    uint32_t granted = 0;
    if (LONG r = qvplatform::Resolve(*store, key, &row, &granted)) return r;
    if ((information & DACL_SECURITY_INFORMATION) != 0) {
      if ((granted & WRITE_DAC) == 0) return ERROR_ACCESS_DENIED;
      row.hasDacl = security.hasDacl;
      row.dacl = security.dacl;
    }
    if (setOwner) {
      if ((granted & WRITE_OWNER) == 0) return ERROR_ACCESS_DENIED;
      row.owner = security.owner;
    }
    return store->UpdateSecurity(row);
  });
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* /*reserved*/, DWORD* type, uint8_t* data, DWORD* size) {
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(key, &rc);
  if (store == nullptr) return rc;
  KeyRow row;
  uint32_t granted = 0;
  if (LONG r = qvplatform::Resolve(*store, key, &row, &granted)) return r;
  if ((granted & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  uint32_t storedType = 0;
  std::string bytes;
  if (LONG r = store->ReadValue(row.id, name != nullptr ? name : "", &storedType, &bytes)) return r;
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
  LONG rc = 0;
  std::shared_ptr<RegistryStore> store = qvplatform::StoreOf(key, &rc);
  if (store == nullptr) return rc;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  return store->Transaction([&]() -> LONG {
    KeyRow row;
    uint32_t granted = 0;
    if (LONG r = qvplatform::Resolve(*store, key, &row, &granted)) return r;
    if ((granted & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    return store->WriteValue(row.id, name != nullptr ? name : "", type, bytes);
  });
}
