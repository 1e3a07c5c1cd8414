// The station registry: a tree of keys with string and 32-bit values, each
// key guarded by a security descriptor, kept in registry.db in the station
// directory. Several processes may use one station at once; every change is
// one SQLite transaction. An open key stays with the station it was opened
// in; the local-machine root is always the current station's.
//
// Key and value names compare without regard to ASCII case and keep the case
// they were created with. Results are the platform's error codes; failures of
// the registry file say what failed: ERROR_DISK_FULL (112), ERROR_ACCESS_DENIED
// for a read-only file, 170 (busy) when another process keeps it locked past
// the wait, 1392 for a damaged file, ERROR_BADDB otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Security.h"
#include "platform/Win32Types.h"

using LONG = int32_t;
using REGSAM = uint32_t;

// The local-machine root, open with the caller's access to it.
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002)))

constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t KEY_NOTIFY = 0x0010;
constexpr uint32_t KEY_CREATE_LINK = 0x0020;
constexpr uint32_t DELETE = 0x00010000;
constexpr uint32_t READ_CONTROL = 0x00020000;
constexpr uint32_t WRITE_DAC = 0x00040000;
constexpr uint32_t WRITE_OWNER = 0x00080000;
constexpr uint32_t KEY_READ = 0x00020019;
constexpr uint32_t KEY_WRITE = 0x00020006;
constexpr uint32_t KEY_ALL_ACCESS = 0x000F003F;
constexpr uint32_t MAXIMUM_ALLOWED = 0x02000000;
constexpr uint32_t GENERIC_ALL = 0x10000000;
constexpr uint32_t GENERIC_EXECUTE = 0x20000000;
constexpr uint32_t GENERIC_WRITE = 0x40000000;
constexpr uint32_t GENERIC_READ = 0x80000000;

constexpr uint32_t REG_OPTION_NON_VOLATILE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t ERROR_KEY_DELETED = 1018;
constexpr uint32_t ERROR_BADDB = 1009;
constexpr uint32_t ERROR_NO_SUCH_ALIAS = 1376;
constexpr uint32_t ERROR_MEMBER_NOT_IN_ALIAS = 1377;
constexpr uint32_t ERROR_MEMBER_IN_ALIAS = 1378;
constexpr uint32_t ERROR_ALIAS_EXISTS = 1379;
constexpr uint32_t ERROR_NONE_MAPPED = 1332;

// A new key gets the descriptor's access list (the parent's without one) and
// the caller as its owner, "Administrators" for an administrator; the handle
// of a key just created has the access asked for.
LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD reserved, char* keyClass, DWORD options, REGSAM access,
                     const SECURITY_ATTRIBUTES* attributes, HKEY* result, DWORD* disposition);
LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// ERROR_NO_MORE_ITEMS (259) past the last sub-key.
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);
// Deletes a sub-key that has no sub-keys of its own; needs DELETE on it.
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);
// The key's owner and access list in self-relative form into descriptor
// (room: *size bytes; out: the size needed, ERROR_INSUFFICIENT_BUFFER when it
// does not fit). Needs READ_CONTROL on the handle.
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor, DWORD* size);
// Replaces the access list (WRITE_DAC on the handle) or the owner
// (WRITE_OWNER) with those of a descriptor in either form.
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor);
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, uint8_t* data, DWORD* size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const uint8_t* data, DWORD size);

namespace qvplatform {

// The caller's identities: the OS user (unless a local group or a
// well-known account has its name), "Everyone", the local groups that list
// the user, and "Administrators" for uid 0.
std::vector<std::string> CallerIdentities();
std::string CallerUserName();

bool CallerIsAdministrator();

// Local groups of the station. Creating one, or enrolling or removing a
// member, needs Administrators.
uint32_t LocalGroupAdd(const std::string& name, const std::string& comment);
uint32_t LocalGroupAddMember(const std::string& group, const std::string& user);
// ERROR_MEMBER_NOT_IN_ALIAS when the user is not a member.
uint32_t LocalGroupRemoveMember(const std::string& group, const std::string& user);
bool LocalGroupExists(const std::string& name);

struct LocalGroupInfo {
  std::string name;
  std::string comment;
  std::vector<std::string> members;
};
// A local group with its comment and members; ERROR_NO_SUCH_ALIAS when
// there is none of that name.
uint32_t LocalGroupGet(const std::string& name, LocalGroupInfo* info);

// Deletes the sub-keys of key in the order given, in one transaction: all of
// them or, when one is refused (DELETE needed on each, and each must have no
// sub-keys left at its turn) or missing, none.
LONG DeleteKeysTogether(HKEY key, const std::vector<std::string>& subKeys);

// Creates the missing keys of subKey below parent, as RegCreateKeyExA does,
// and writes a value into the last one (KEY_SET_VALUE needed there), in one
// transaction: a process killed on the way leaves neither the keys nor the
// value. *keyRefused tells a refused key (access denied on the way) from a
// refused value.
LONG CreateKeyAndSetValue(HKEY parent, const char* subKey, const char* name, DWORD type, const uint8_t* data,
                          DWORD size, bool* keyRefused);

// The registry file of the current station.
std::string RegistryPath();

// Whether the current station's registry can be believed: it opens, and in a
// shared station only its administrators may write it. An untrusted registry
// grants no local group and no right.
bool RegistryTrusted();

// A number that changes whenever the current station's registry may have
// changed, by this process or another: what was read while it had one value
// still holds while it keeps it. 0 when that cannot be told.
uint64_t RegistryGeneration();

class RegistryStore;

// While one lives, the reads of the current station's registry see one state
// of it and take the file's lock once, instead of once per read: for a run
// of reads, such as a look at every registered project. Other threads wait
// for it to end. Nothing is to be written while it lives: a change made by
// its thread fails with 170 (busy).
class RegistryReadScope {
 public:
  RegistryReadScope();
  ~RegistryReadScope();
  RegistryReadScope(const RegistryReadScope&) = delete;
  RegistryReadScope& operator=(const RegistryReadScope&) = delete;

 private:
  std::shared_ptr<RegistryStore> store_;
  bool began_ = false;
};

namespace testing {
// Makes this process act as another user (root when uid0) until called with
// an empty name. For tests only.
void ActAsUser(const std::string& user, bool uid0 = false);
}  // namespace testing

}  // namespace qvplatform
