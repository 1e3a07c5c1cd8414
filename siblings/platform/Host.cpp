#include "platform/Host.h"

#include <unistd.h>

#include <cstring>

#include "platform/FileApi.h"
#include "platform/Registry.h"

namespace qvplatform {

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "localhost";
  return name;
}

}  // namespace qvplatform

BOOL GetComputerNameA(char* buf, DWORD* size) {
  constexpr DWORD kBufferOverflow = 111;
  if (buf == nullptr || size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string name = qvplatform::ComputerName();
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(kBufferOverflow);
    return 0;
  }
  std::memcpy(buf, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return 1;
}

BOOL GetUserNameA(char* buf, DWORD* size) {
  if (buf == nullptr || size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string name = qvplatform::CallerUserName();
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(122);  // the buffer is too small
    return 0;
  }
  std::memcpy(buf, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size() + 1);
  return 1;
}
