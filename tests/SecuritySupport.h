// A key's owner and access list read and written through the registry's
// descriptor calls, as plain entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

}  // namespace qvtest
