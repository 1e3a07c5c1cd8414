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
#include <string>
#include <vector>

#include "platform/Win32Types.h"

using LONG = int32_t;
using REGSAM = uint32_t;
using SECURITY_INFORMATION = uint32_t;

struct RegKeyHandle;
using HKEY = RegKeyHandle*;

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

constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

constexpr uint32_t OWNER_SECURITY_INFORMATION = 1;
constexpr uint32_t DACL_SECURITY_INFORMATION = 4;

constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t ERROR_KEY_DELETED = 1018;
constexpr uint32_t ERROR_BADDB = 1009;
constexpr uint32_t ERROR_NO_SUCH_ALIAS = 1376;
constexpr uint32_t ERROR_MEMBER_IN_ALIAS = 1378;
constexpr uint32_t ERROR_ALIAS_EXISTS = 1379;
constexpr uint32_t ERROR_NONE_MAPPED = 1332;

// One allow entry of an access list: an account and its access mask.
struct ACCESS_ALLOWED_ACE {
  std::string account;
  uint32_t mask = 0;
};

// An owner and a DACL, or no DACL at all (everyone has full access).
struct SECURITY_DESCRIPTOR {
  std::string owner;
  bool hasDacl = false;
  std::vector<ACCESS_ALLOWED_ACE> dacl;
};

struct SECURITY_ATTRIBUTES {
  SECURITY_DESCRIPTOR* lpSecurityDescriptor = nullptr;
};

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD reserved, char* keyClass, DWORD options, REGSAM access,
                     const SECURITY_ATTRIBUTES* attributes, HKEY* result, DWORD* disposition);
LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// ERROR_NO_MORE_ITEMS (259) past the last sub-key.
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);
// Deletes a sub-key that has no sub-keys of its own; needs DELETE on it.
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION information, SECURITY_DESCRIPTOR* descriptor);
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, const SECURITY_DESCRIPTOR* descriptor);
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, uint8_t* data, DWORD* size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const uint8_t* data, DWORD size);

namespace qvplatform {

// The caller's identities: the OS user, "Everyone", the local groups that
// list the user, and "Administrators" for uid 0.
std::vector<std::string> CallerIdentities();
std::string CallerUserName();

// Local groups of the station. Creating one, or enrolling a member, needs
// Administrators.
uint32_t LocalGroupAdd(const std::string& name, const std::string& comment);
uint32_t LocalGroupAddMember(const std::string& group, const std::string& user);
bool LocalGroupExists(const std::string& name);

// Creates the missing keys of subKey below parent, as RegCreateKeyExA does,
// and writes a value into the last one (KEY_SET_VALUE needed there), in one
// transaction: a process killed on the way leaves neither the keys nor the
// value. *keyRefused tells a refused key (access denied on the way) from a
// refused value.
LONG CreateKeyAndSetValue(HKEY parent, const char* subKey, const char* name, DWORD type, const uint8_t* data,
                          DWORD size, bool* keyRefused);

// The registry file of the current station.
std::string RegistryPath();

namespace testing {
// Makes this process act as another user (root when uid0) until called with
// an empty name. For tests only.
void ActAsUser(const std::string& user, bool uid0 = false);
}  // namespace testing

}  // namespace qvplatform
