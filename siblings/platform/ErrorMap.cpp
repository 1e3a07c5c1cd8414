#include "platform/ErrorMap.h"

#include <cerrno>

#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

struct ErrnoCode {
  int err;
  uint32_t code;
};

constexpr ErrnoCode kTable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},     {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},      {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},       {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},          {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},           {EAGAIN, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_SHARING_VIOLATION},   {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},  {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER},  {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},   {EISDIR, ERROR_ACCESS_DENIED},
    {ELOOP, ERROR_CANT_ACCESS_FILE},        {EIO, ERROR_GEN_FAILURE},
    {EXDEV, ERROR_NOT_SUPPORTED},       {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENXIO, ERROR_CANT_ACCESS_FILE},
};

}  // namespace

uint32_t Win32FromErrno(int err) {
  for (const ErrnoCode& entry : kTable) {
    if (entry.err == err) return entry.code;
  }
  return ERROR_GEN_FAILURE;
}

uint32_t LastWin32Error() { return Win32FromErrno(errno); }

}  // namespace qvplatform
