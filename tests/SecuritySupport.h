// The station registry as the tests look at it: keys, project paths, a
// key's owner and access list read and written through the registry's
// descriptor calls, as plain entries, and the security branch's keys.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LibQVCCommon/QVCRegistry.h"
#include "platform/Registry.h"

namespace qvtest {

inline qvplatform::KeySecurity SecurityOf(HKEY key) {
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  EXPECT_EQ(RegGetKeySecurity(key, parts, nullptr, &size), static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<uint8_t> block(size);
  qvplatform::KeySecurity security;
  if (RegGetKeySecurity(key, parts, block.data(), &size) != 0) return security;
  EXPECT_EQ(qvplatform::ReadDescriptor(block.data(), &security), 0u);
  return security;
}

inline LONG SetAccessList(HKEY key, const std::vector<qvplatform::AccessEntry>& dacl) {
  qvplatform::KeySecurity security{"", true, dacl};
  DWORD size = 0;
  qvplatform::WriteDescriptor(security, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<uint8_t> block(size);
  if (uint32_t rc = qvplatform::WriteDescriptor(security, DACL_SECURITY_INFORMATION, block.data(), &size)) {
    return static_cast<LONG>(rc);
  }
  return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, block.data());
}

// Opens (creating) a key below the ENG component with the caller's access.
inline HKEY OpenKey(const char* section, const char* subKey, int create, uint32_t* rc) {
  HKEY key = nullptr;
  *rc = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, section, subKey, create, &key);
  return key;
}

inline std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  char name[64];
  DWORD i = 0;
  LONG rc;
  while ((rc = RegEnumKeyA(key, i++, name, sizeof name)) == 0) names.push_back(name);
  EXPECT_EQ(rc, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
  return names;
}

// A project's Path value in the station's project list.
inline uint32_t SetProjectPath(const std::string& project, const std::string& path) {
  std::string key = "Batch\\Project List\\" + project;
  return QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, key.c_str(), "Path", path.c_str(), 1);
}
inline uint32_t GetProjectPath(const std::string& project, std::string* path) {
  std::string key = "Batch\\Project List\\" + project;
  char buf[256];
  uint32_t size = sizeof buf;
  uint32_t rc =
      QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, key.c_str(), "Path", "<none>", buf, &size);
  if (rc == 0) *path = buf;
  return rc;
}

// The right keys below RecipeSecurity\Default, in the order of the rights' bits.
inline const char* const kRightKeys[] = {"Run", "Read", "Create", "Edit", "Delete", "Approve", "Dwonload"};

inline std::string RightKey(const char* name) { return std::string("RecipeSecurity\\Default\\") + name; }

// The station's Batch key, or a key below it; null when it cannot be opened.
inline HKEY OpenBatch(const std::string& subKey, uint32_t* rc = nullptr) {
  HKEY key = nullptr;
  uint32_t opened = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch",
                                    subKey.empty() ? nullptr : subKey.c_str(), 0, &key);
  if (rc != nullptr) *rc = opened;
  return opened == 0 ? key : nullptr;
}

// The security groups, Administrators first, and what each may do by
// default: one row per group, one bit per right.
inline const char* const kSecurityGroups[] = {"Administrators", "RcpSec1", "RcpSec2", "RcpSec3", "RcpSec4", "RcpSec5"};
inline const unsigned kDefaultRights[] = {0x7f, 0x03, 0x0f, 0x1f, 0x3f, 0x5f};

// The access list of a key below Batch; empty when it cannot be opened.
inline std::vector<qvplatform::AccessEntry> AccessListOf(const std::string& subKey) {
  HKEY key = OpenBatch(subKey);
  if (key == nullptr) return {};
  qvplatform::KeySecurity security = SecurityOf(key);
  QVCCloseRegistry(key);
  return security.dacl;
}

// An access list as "account:r account:rw ...".
inline std::string DescribeAccess(const std::vector<qvplatform::AccessEntry>& dacl) {
  std::string text;
  for (const auto& entry : dacl) text += entry.account + (entry.mask == GENERIC_READ ? ":r " : ":rw ");
  return text;
}

// The access list a right key gets when security is switched on.
inline std::string DefaultAccessList(int right) {
  std::string list = "Administrators:r ";
  for (int g = 1; g < 6; ++g) {
    if (kDefaultRights[g] & (1u << right)) list += std::string(kSecurityGroups[g]) + ":rw ";
  }
  return list;
}

// Whether the key below Batch is there (whether or not the caller may open it).
inline bool KeyExists(const std::string& subKey) {
  uint32_t rc = 0;
  HKEY key = OpenBatch(subKey, &rc);
  if (key != nullptr) QVCCloseRegistry(key);
  return rc != ERROR_FILE_NOT_FOUND;
}

// The security switch: 1 on, 0 off, 99 without the branch.
inline uint32_t SecurityEnabled() {
  HKEY branch = OpenBatch("RecipeSecurity");
  uint32_t value = 99;
  if (branch == nullptr) return value;
  QVCGetRegistryU32(branch, "Enabled", 99, &value);
  QVCCloseRegistry(branch);
  return value;
}

}  // namespace qvtest
