#include "platform/FileApi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ErrorMap.h"

#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace {

thread_local DWORD g_lastError = 0;

}  // namespace

namespace qvplatform {

uint32_t MoveExclusive(const std::string& from, const std::string& to) {
  Env* env = CurrentEnv();
  // The names themselves: a link is moved as it is, and holds nothing.
  FileStat source;
  if (uint32_t rc = env->StatEntry(from, &source)) return rc;
  FileStat target;
  if (env->StatEntry(to, &target) == 0 && env->Resolve(to) != env->Resolve(from)) return ERROR_ALREADY_EXISTS;
  bool held = source.type == EntryType::kDirectory ? IsAnythingBelowHeld(env->Resolve(from)) : IsHeld(from);
  if (held) return ERROR_SHARING_VIOLATION;
  return env->Rename(from, to);
}

}  // namespace qvplatform

BOOL MoveFileA(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) {
    g_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  g_lastError = qvplatform::MoveExclusive(from, to);
  return g_lastError == 0 ? 1 : 0;
}

DWORD GetLastError() { return g_lastError; }

void SetLastError(DWORD code) { g_lastError = code; }

namespace {

BOOL Fail(uint32_t code) {
  g_lastError = code;
  return 0;
}

}  // namespace

BOOL WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written, void* /*overlapped*/) {
  if (written != nullptr) *written = 0;
  int fd = qvplatform::ShareDescriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  ssize_t n;
  do {
    n = write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(qvplatform::LastWin32Error());
  if (written != nullptr) *written = static_cast<DWORD>(n);
  return 1;
}

BOOL ReadFile(HANDLE handle, void* data, DWORD size, DWORD* read, void* /*overlapped*/) {
  if (read != nullptr) *read = 0;
  int fd = qvplatform::ShareDescriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  ssize_t n;
  do {
    n = ::read(fd, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(qvplatform::LastWin32Error());
  if (read != nullptr) *read = static_cast<DWORD>(n);
  return 1;
}

DWORD GetFileSize(HANDLE handle, DWORD* high) {
  struct stat st;
  int fd = qvplatform::ShareDescriptor(handle);
  if (fd < 0 || fstat(fd, &st) != 0) {
    g_lastError = fd < 0 ? ERROR_INVALID_HANDLE : qvplatform::LastWin32Error();
    return 0xFFFFFFFF;
  }
  if (high != nullptr) *high = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
  return static_cast<DWORD>(st.st_size & 0xFFFFFFFF);
}

DWORD SetFilePointer(HANDLE handle, int32_t distance, int32_t* high, DWORD method) {
  int fd = qvplatform::ShareDescriptor(handle);
  if (fd < 0 || method > 2) {
    g_lastError = ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = high != nullptr ? (static_cast<int64_t>(*high) << 32) | static_cast<uint32_t>(distance) : distance;
  off_t at = lseek(fd, offset, method == FILE_BEGIN ? SEEK_SET : method == 1 ? SEEK_CUR : SEEK_END);
  if (at < 0) {
    g_lastError = qvplatform::LastWin32Error();
    return INVALID_SET_FILE_POINTER;
  }
  if (high != nullptr) *high = static_cast<int32_t>(at >> 32);
  return static_cast<DWORD>(at & 0xFFFFFFFF);
}

BOOL SetEndOfFile(HANDLE handle) {
  int fd = qvplatform::ShareDescriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || ftruncate(fd, at) != 0) return Fail(qvplatform::LastWin32Error());
  return 1;
}
