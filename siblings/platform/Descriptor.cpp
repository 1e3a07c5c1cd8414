#include "platform/Descriptor.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorMap.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

// The type from the directory entry; only a file system that reports none
// costs a stat.
EntryType EntryTypeOf(int dirFd, const dirent64* e) {
  switch (e->d_type) {
    case DT_REG: return EntryType::kFile;
    case DT_DIR: return EntryType::kDirectory;
    case DT_UNKNOWN: break;
    default: return EntryType::kOther;
  }
  struct stat st;
  if (fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryType::kOther;
  return TypeFromMode(st.st_mode);
}

}  // namespace

EntryType TypeFromMode(unsigned mode) {
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISDIR(mode)) return EntryType::kDirectory;
  return EntryType::kOther;
}

uint32_t RequireRegular(int fd, uint64_t* size) {
  struct stat st;
  uint32_t rc = fstat(fd, &st) != 0    ? LastWin32Error()
                : S_ISDIR(st.st_mode)  ? ERROR_ACCESS_DENIED
                : !S_ISREG(st.st_mode) ? ERROR_CANT_ACCESS_FILE
                                       : 0;
  if (rc != 0) close(fd);
  if (rc == 0 && size != nullptr) *size = static_cast<uint64_t>(st.st_size);
  return rc;
}

// Reads the entries straight into a buffer on the stack: a directory stream
// would allocate a buffer of its own for every directory listed.
uint32_t ListEntries(int fd, std::vector<DirEntry>* out) {
  out->clear();
  alignas(dirent64) char buffer[16384];
  for (;;) {
    ssize_t got = getdents64(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastWin32Error();
    if (got == 0) return 0;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
      at += e->d_reclen;
      const char* n = e->d_name;
      if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
      out->push_back(DirEntry{n, EntryTypeOf(fd, e)});
    }
  }
}

bool NamesFile(int dirFd, const std::string& name, int fd) {
  struct stat named;
  struct stat open;
  return fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

uint32_t IdentityOf(int fd, DirectoryId* id) {
  struct stat st;
  if (fstat(fd, &st) != 0) return LastWin32Error();
  id->dev = static_cast<uint64_t>(st.st_dev);
  id->ino = static_cast<uint64_t>(st.st_ino);
  return 0;
}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

DirHandle::~DirHandle() {
  if (fd_ >= 0) close(fd_);
}

uint32_t DirHandle::Open(const std::string& name, DirHandle* out) {
  int fd = openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return LastWin32Error();
  *out = DirHandle(fd);
  return 0;
}

int DirHandle::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

}  // namespace qvplatform
