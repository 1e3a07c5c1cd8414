#include "platform/UserTemplate.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorMap.h"
#include "platform/OpenFd.h"
#include "platform/StationDir.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

constexpr off_t kMaxTemplate = off_t{16} << 20;

// Why what fd has open may hold another user's text; empty when only an
// administrator (root or the station directory's owner) can have written it.
std::string Distrust(const struct stat& st, uid_t administrator, const std::string& shown) {
  if (st.st_uid != 0 && st.st_uid != administrator) {
    return shown + " belongs to uid " + std::to_string(st.st_uid) + ", not to an administrator of the station";
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return shown + " may be written by others than its owner";
  return {};
}

// Opens name beneath dir, never through a link, never waiting on a FIFO:
// 0, or ERROR_FILE_NOT_FOUND, or ERROR_ACCESS_DENIED and why.
uint32_t OpenBeneath(const OpenFd& dir, const char* name, int flags, const std::string& shown, OpenFd* out,
                     std::string* why) {
  out->reset(openat(dir.get(), name, flags | O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (out->get() >= 0) return 0;
  if (errno == ENOENT) return ERROR_FILE_NOT_FOUND;
  *why = shown + (errno == ELOOP || errno == ENOTDIR ? " is a link or not of its kind" : " cannot be opened");
  return ERROR_ACCESS_DENIED;
}

uint32_t ReadWhole(const OpenFd& file, off_t size, std::string* bytes) {
  bytes->assign(static_cast<size_t>(size), '\0');
  size_t done = 0;
  while (done < bytes->size()) {
    ssize_t got = read(file.get(), bytes->data() + done, bytes->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastWin32Error();
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  bytes->resize(done);
  return 0;
}

}  // namespace

uint32_t ReadUserTemplate(const std::string& name, std::string* bytes, std::string* why) {
  std::string station = StationDirectory();
  if (station.empty()) return ERROR_PATH_NOT_FOUND;
  // The station directory is the caller's choice (a linked home is fine).
  OpenFd dir(open(station.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st;
  if (dir.get() < 0 || fstat(dir.get(), &st) != 0) return ERROR_PATH_NOT_FOUND;
  const uid_t administrator = st.st_uid;
  std::string shown = station;
  for (const char* folder : {"templates", "QVUser"}) {
    shown += std::string("/") + folder;
    OpenFd next(-1);
    if (uint32_t rc = OpenBeneath(dir, folder, O_DIRECTORY, shown, &next, why)) return rc;
    if (fstat(next.get(), &st) != 0) return LastWin32Error();
    *why = Distrust(st, administrator, shown);
    if (!why->empty()) return ERROR_ACCESS_DENIED;
    dir.reset(next.release());
  }
  shown += "/" + name;
  OpenFd file(-1);
  if (uint32_t rc = OpenBeneath(dir, name.c_str(), 0, shown, &file, why)) return rc;
  if (fstat(file.get(), &st) != 0) return LastWin32Error();
  *why = !S_ISREG(st.st_mode)        ? shown + " is not a regular file"
         : st.st_size > kMaxTemplate ? shown + " is larger than a template can be (16 MiB)"
                                     : Distrust(st, administrator, shown);
  if (!why->empty()) return ERROR_ACCESS_DENIED;
  return ReadWhole(file, st.st_size, bytes);
}

}  // namespace qvplatform
