#include "platform/ShareMode.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/Env.h"
#include "platform/ErrorMap.h"

namespace qvplatform {

namespace {

// The lock bytes, far beyond any content.
constexpr off_t kGuard = 0x7FFFFFFF00000000LL;
constexpr off_t kWriter = kGuard + 1;
constexpr off_t kDenyWriters = kGuard + 2;

struct ShareHandle {
  int fd;
  int lockFd;  // the description that carries the share locks, or -1 for fd
};

int Lock(int fd, int cmd, short type, off_t byte) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  int rc;
  do {
    rc = fcntl(fd, cmd, &fl);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// True when an open description other than fd's holds a lock on the byte.
bool OtherHolds(int fd, off_t byte) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// Takes this open's share locks, or fails with a sharing violation. The
// exclusive guard needs a description open for writing; a reader of a file
// it may not write takes its lock without it.
uint32_t TakeHold(int fd, bool writable, bool writes, bool deniesWriters) {
  if (!writes && !deniesWriters) return 0;
  if (writable && Lock(fd, F_OFD_SETLKW, F_WRLCK, kGuard) != 0) return LastWin32Error();
  uint32_t rc = 0;
  if ((writes && OtherHolds(fd, kDenyWriters)) || (deniesWriters && OtherHolds(fd, kWriter))) {
    rc = ERROR_SHARING_VIOLATION;
  } else if ((writes && Lock(fd, F_OFD_SETLK, F_RDLCK, kWriter) != 0) ||
             (deniesWriters && Lock(fd, F_OFD_SETLK, F_RDLCK, kDenyWriters) != 0)) {
    rc = ERROR_SHARING_VIOLATION;
  }
  if (writable) Lock(fd, F_OFD_SETLK, F_UNLCK, kGuard);
  return rc;
}

int OpenFlags(uint32_t access, uint32_t disposition, bool* ok) {
  bool writes = (access & FILE_GENERIC_WRITE_ACCESS) != 0;
  int flags = (writes ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  *ok = true;
  switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: return flags | O_CREAT;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING: return flags;
    default: *ok = false; return flags;
  }
}

uint32_t OpenDirectory(const std::string& path, uint32_t flags, HANDLE* handle) {
  if ((flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) return ERROR_ACCESS_DENIED;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastWin32Error();
  *handle = new ShareHandle{fd, -1};
  return 0;
}

// Descriptors whose holds are the caller's own, by the file they refer to.
struct OwnHold {
  dev_t device;
  ino_t inode;
  int fd;
};
std::mutex g_ownMutex;
std::vector<OwnHold> g_ownHolds;

// The descriptor to ask about holds on fd's file: an adopted one for the same
// file, whose own holds then do not count.
int ProbeFor(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return fd;
  std::lock_guard<std::mutex> guard(g_ownMutex);
  for (const OwnHold& own : g_ownHolds) {
    if (own.device == st.st_dev && own.inode == st.st_ino) return own.fd;
  }
  return fd;
}

}  // namespace

uint32_t ShareOpen(const std::string& given, uint32_t access, uint32_t shareMode, uint32_t disposition,
                   uint32_t flags, HANDLE* handle) {
  if (handle == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = INVALID_HANDLE_VALUE;
  std::string path = Env::Posix()->Resolve(given);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return OpenDirectory(path, flags, handle);
  bool ok = false;
  int openFlags = OpenFlags(access, disposition, &ok);
  if (!ok) return ERROR_INVALID_PARAMETER;
  int fd = open(path.c_str(), openFlags, 0666);
  if (fd < 0) return errno == EEXIST ? ERROR_FILE_EXISTS : LastWin32Error();
  bool writes = (access & FILE_GENERIC_WRITE_ACCESS) != 0;
  bool deniesWriters = (shareMode & FILE_SHARE_WRITE) == 0;
  // A reader that denies writers holds its locks on a description of its own.
  int lockFd = !writes && deniesWriters ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
  int holdFd = lockFd >= 0 ? lockFd : fd;
  uint32_t rc = TakeHold(holdFd, writes || lockFd >= 0, writes, deniesWriters);
  if (rc == 0 && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && writes &&
      ftruncate(fd, 0) != 0) {
    rc = LastWin32Error();
  }
  if (rc != 0) {
    close(fd);
    if (lockFd >= 0) close(lockFd);
    return rc;
  }
  *handle = new ShareHandle{fd, lockFd};
  return 0;
}

uint32_t ShareClose(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  auto* share = static_cast<ShareHandle*>(handle);
  if (share->lockFd >= 0) close(share->lockFd);
  int rc = close(share->fd);
  delete share;
  return rc == 0 ? 0 : LastWin32Error();
}

int ShareDescriptor(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  return static_cast<ShareHandle*>(handle)->fd;
}

bool IsHeld(const std::string& path) {
  int fd = open(Env::Posix()->Resolve(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  int probe = ProbeFor(fd);
  bool held = OtherHolds(probe, kWriter) || OtherHolds(probe, kDenyWriters);
  close(fd);
  return held;
}

bool AdoptHold(const std::string& path, int fd) {
  int probe = open(Env::Posix()->Resolve(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (probe < 0) return false;
  struct stat named;
  struct stat given;
  bool sameFile = fstat(probe, &named) == 0 && S_ISREG(named.st_mode) && fstat(fd, &given) == 0 &&
                  named.st_dev == given.st_dev && named.st_ino == given.st_ino;
  // Someone holds the file, and no description but fd's does: the hold is fd's.
  bool carriesHold = sameFile && (OtherHolds(probe, kWriter) || OtherHolds(probe, kDenyWriters)) &&
                     !OtherHolds(fd, kWriter) && !OtherHolds(fd, kDenyWriters);
  close(probe);
  if (!carriesHold) return false;
  std::lock_guard<std::mutex> guard(g_ownMutex);
  g_ownHolds.push_back({given.st_dev, given.st_ino, fd});
  return true;
}

void DropHold(int fd) {
  std::lock_guard<std::mutex> guard(g_ownMutex);
  std::erase_if(g_ownHolds, [fd](const OwnHold& own) { return own.fd == fd; });
}

bool IsAnythingBelowHeld(const std::string& directory) {
  std::vector<DirEntry> entries;
  if (Env::Posix()->ReadDirectory(directory, &entries) != 0) return false;
  for (const DirEntry& entry : entries) {
    std::string path = directory + "/" + entry.name;
    if (entry.type == EntryType::kDirectory ? IsAnythingBelowHeld(path) : (entry.type == EntryType::kFile && IsHeld(path))) {
      return true;
    }
  }
  return false;
}

}  // namespace qvplatform
