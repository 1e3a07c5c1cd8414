#include "platform/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ErrorMap.h"
#include "platform/OpenFd.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

uint32_t LastError() { return Win32FromErrno(errno); }

// A directory of the caller's own that no one else may write.
bool OwnDirectory(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

uint32_t WriteAll(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? LastError() : ERROR_WRITE_FAULT;
    at += static_cast<size_t>(n);
  }
  return fsync(fd) == 0 ? 0 : LastError();
}

}  // namespace

uint32_t MakeOwnDirectory(const std::string& path) {
  if (path.empty() || path[0] != '/') return ERROR_INVALID_NAME;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return LastError();
    if (slash == std::string::npos) break;
  }
  OpenFd dir(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return LastError();
  return OwnDirectory(dir.get()) ? 0 : ERROR_ACCESS_DENIED;
}

uint32_t WriteOwnFile(const std::string& directory, const std::string& name, const std::string& bytes, bool replace,
                      bool secret) {
  OpenFd dir(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return LastError();
  if (!OwnDirectory(dir.get())) return ERROR_ACCESS_DENIED;
  struct stat st;
  if (!replace && fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return ERROR_FILE_EXISTS;
  std::string work = "." + name + ".new";
  unlinkat(dir.get(), work.c_str(), 0);
  const mode_t mode = secret ? 0600 : 0644;
  OpenFd file(openat(dir.get(), work.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (file.get() < 0) return LastError();
  uint32_t rc = fchmod(file.get(), mode) == 0 ? WriteAll(file.get(), bytes) : LastError();
  // Without replace the name must still be free: a file that appeared
  // meanwhile is kept.
  if (rc == 0) {
    rc = replace ? (renameat(dir.get(), work.c_str(), dir.get(), name.c_str()) == 0 ? 0 : LastError())
                 : (linkat(dir.get(), work.c_str(), dir.get(), name.c_str(), 0) == 0 ? 0 : LastError());
  }
  if (rc != 0 || !replace) unlinkat(dir.get(), work.c_str(), 0);
  if (rc == ERROR_ALREADY_EXISTS) rc = ERROR_FILE_EXISTS;
  return rc == 0 && fsync(dir.get()) != 0 ? LastError() : rc;
}

uint32_t ReadOwnFile(const std::string& path, size_t maxBytes, bool secret, std::string* bytes) {
  OpenFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) return LastError();
  struct stat st;
  if (fstat(file.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return ERROR_CANT_ACCESS_FILE;
  if (st.st_uid != geteuid() || (secret && (st.st_mode & 077) != 0)) return ERROR_ACCESS_DENIED;
  bytes->clear();
  char block[4096];
  for (ssize_t n; (n = read(file.get(), block, sizeof block)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    bytes->append(block, static_cast<size_t>(n));
    if (bytes->size() > maxBytes) return ERROR_INVALID_PARAMETER;
  }
  return 0;
}

}  // namespace qvplatform
