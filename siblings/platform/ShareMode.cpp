#include "platform/ShareMode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/DeepWalk.h"
#include "platform/Descriptor.h"
#include "platform/ErrorMap.h"
#include "platform/StoreRoot.h"

namespace qvplatform {

namespace {

// The lock bytes, far beyond any content.
constexpr off_t kGuard = 0x7FFFFFFF00000000LL;
constexpr off_t kWriter = kGuard + 1;
constexpr off_t kDenyWriters = kGuard + 2;

// The guard is held for a few system calls only; a holder that keeps it
// longer than this is treated as a holder of the file.
constexpr int kGuardTries = 20;
constexpr long kGuardPauseNs = 250 * 1000;

// A new file of a creating open gets this mode whatever the umask, so that
// every user of the station can take a lock on it later.
constexpr mode_t kSharedMode = 0666;

// Rounds of removing a stale work file and creating it afresh before giving
// up to a competing editor.
constexpr int kClaimTries = 3;

constexpr int kProbeFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Empties an open file. One that is empty already is left alone: ext4 takes
// a truncation as a file rewritten in place and writes the file's data out
// at the next close of any of its descriptors, which a lock file's text,
// rewritten on every lock, must not cost.
bool Emptied(int fd) {
  struct stat st;
  return (fstat(fd, &st) == 0 && st.st_size == 0) || ftruncate(fd, 0) == 0;
}

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

// True when an open description other than fd's holds a lock on the byte,
// or when that cannot be learned.
bool OtherHolds(int fd, off_t byte) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

bool HeldByOther(int fd) { return OtherHolds(fd, kWriter) || OtherHolds(fd, kDenyWriters); }

// Takes the guard without ever waiting for long: a few tries a fraction of
// a millisecond apart, then a sharing violation. An open taking its hold
// takes it exclusive (type F_WRLCK); a probe about to remove an unheld file
// takes it too (shared when it may only read the file), so that no hold can
// be taken between its check and its removal.
uint32_t TakeGuard(int fd, short type = F_WRLCK) {
  for (int attempt = 0; attempt < kGuardTries; ++attempt) {
    if (Lock(fd, F_OFD_SETLK, type, kGuard) == 0) return 0;
    if (errno != EAGAIN && errno != EACCES) return LastWin32Error();
    struct timespec pause = {0, kGuardPauseNs};
    nanosleep(&pause, nullptr);
  }
  return ERROR_SHARING_VIOLATION;
}

// Takes this open's share locks, or fails with a sharing violation. The
// exclusive guard needs a description open for writing; a reader of a file
// it may not write takes its lock without it.
uint32_t TakeHold(int fd, bool writable, bool writes, bool deniesWriters) {
  if (!writes && !deniesWriters) return 0;
  if (writable) {
    if (uint32_t rc = TakeGuard(fd)) return rc;
  }
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

bool KnownDisposition(uint32_t disposition) { return disposition >= CREATE_NEW && disposition <= TRUNCATE_EXISTING; }

bool Creates(uint32_t disposition) {
  return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

// Opens the regular file at the entry itself (never through a link), creating
// it when the disposition asks for that. *created tells whether this open
// made it.
uint32_t OpenRegular(const EntryAt& at, int flags, uint32_t disposition, int* fd, bool* created) {
  *created = false;
  if (Creates(disposition)) {
    *fd = openat(at.dir(), at.name(), flags | O_CREAT | O_EXCL, kSharedMode);
    if (*fd >= 0) {
      *created = true;
      return 0;
    }
    if (errno != EEXIST) return LastWin32Error();
    if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
  }
  *fd = openat(at.dir(), at.name(), flags);
  if (*fd < 0) return LastWin32Error();
  return RequireRegular(*fd);
}

uint32_t OpenDirectory(const EntryAt& at, uint32_t flags, HANDLE* handle) {
  if ((flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) return ERROR_ACCESS_DENIED;
  int fd = openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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

// A reader that denies writers holds its locks on a description of its own
// that may take the guard: the same file, opened for writing when allowed.
int OpenLockDescription(const EntryAt& at, int fd) {
  int lockFd = openat(at.dir(), at.name(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (lockFd < 0) return -1;
  struct stat a;
  struct stat b;
  if (fstat(fd, &a) != 0 || fstat(lockFd, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino) {
    close(lockFd);
    return -1;
  }
  return lockFd;
}

// Lets every station user lock a file this user made; a file created by an
// open, or re-created by CREATE_ALWAYS, gets the shared mode.
void ShareWithEveryone(int fd) {
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 07777) != kSharedMode) fchmod(fd, kSharedMode);
}

// Whether the file at dirFd/name is held; a name that is missing, a link or
// not a regular file holds nothing, and any other failure counts as held.
// Whether a failed open says that nothing is held there: the name is
// missing, or is a link, or is no regular file.
bool NothingThere(int err) { return err == ENOENT || err == ENOTDIR || err == ELOOP || err == ENXIO; }

// File systems whose locks all stand in this kernel's lock table under the
// device and inode that stat gives: ext2 to ext4, XFS, tmpfs. A network
// file system's holders on other stations are not in it.
bool LocksInKernelTable(int dirFd) {
  constexpr long kExt = 0xEF53;
  constexpr long kXfs = 0x58465342;
  constexpr long kTmpfs = 0x01021994;
  struct statfs fs;
  if (fstatfs(dirFd, &fs) != 0) return false;
  return fs.f_type == kExt || fs.f_type == kXfs || fs.f_type == kTmpfs;
}

// Whether a process holds a lock on the file at dirFd/name, learned from the
// kernel's lock table rather than from a descriptor: for a file this user
// may not open (another user's, mode 0600). Any lock on the file counts.
// When the table cannot tell, the file counts as held.
bool LockedPerKernel(int dirFd, const char* name) {
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return !NothingThere(errno);
  if (!S_ISREG(st.st_mode)) return false;
  FILE* table = LocksInKernelTable(dirFd) ? std::fopen("/proc/locks", "re") : nullptr;
  if (table == nullptr) return true;
  char key[64];
  std::snprintf(key, sizeof key, " %02x:%02x:%" PRIuMAX " ", major(st.st_dev), minor(st.st_dev),
                static_cast<uintmax_t>(st.st_ino));
  bool locked = false;
  char line[256];
  while (!locked && std::fgets(line, sizeof line, table) != nullptr) locked = std::strstr(line, key) != nullptr;
  std::fclose(table);
  return locked;
}

bool HeldAt(int dirFd, const std::string& name) {
  int fd = openat(dirFd, name.c_str(), kProbeFlags);
  if (fd < 0) return errno == EACCES ? LockedPerKernel(dirFd, name.c_str()) : !NothingThere(errno);
  struct stat st;
  bool held = fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && HeldByOther(ProbeFor(fd)));
  close(fd);
  return held;
}

// Whether anything below the open directory is held; closes dirFd. Links are
// never entered.
// A directory that cannot be walked counts as held.
bool HeldBelow(int dirFd) {
  uint32_t rc = WalkBelow(
      DirHandle(dirFd),
      [](DirHandle& here, const DirEntry& entry) -> uint32_t {
        return entry.type == EntryType::kFile && HeldAt(here.fd(), entry.name) ? ERROR_SHARING_VIOLATION : 0;
      },
      [](DirHandle&, const std::string&) -> uint32_t { return 0; });
  return rc != 0;
}

// The entry that path names, under the case it has on disk; with itself, a
// store root is given as itself (see OpenEntry).
uint32_t Entry(const std::string& path, bool itself, EntryAt* at) {
  uint32_t rc = OpenEntry(path, itself, at);
  if (rc == 0) at->ResolveName();
  return rc;
}

// Another user's file that this user may not open: no hold can be taken on
// it but by its owner (or root), so one that the kernel's lock table shows
// unlocked is removed. Without a descriptor there is no guard to take: an
// owner that opens it within the few calls between the look and the unlink
// holds a file without a name, and the next lock makes the file afresh.
uint32_t RemoveUnopenable(const EntryAt& at) {
  if (LockedPerKernel(at.dir(), at.name())) return ERROR_SHARING_VIOLATION;
  return unlinkat(at.dir(), at.name(), 0) == 0 || errno == ENOENT ? 0 : LastWin32Error();
}

uint32_t RemoveUnheldAt(const EntryAt& at) {
  struct stat st;
  if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : LastWin32Error();
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  if (!S_ISREG(st.st_mode)) return unlinkat(at.dir(), at.name(), 0) == 0 || errno == ENOENT ? 0 : LastWin32Error();
  // A probe that may write the file takes the guard exclusively: no other
  // probe can then find the file unheld and unlink the name between this
  // one's check and its unlink, when a new file may stand there already. One
  // that may only read takes it shared, which still keeps holds out.
  short guard = F_WRLCK;
  int fd = openat(at.dir(), at.name(), (kProbeFlags & ~O_ACCMODE) | O_RDWR);
  if (fd < 0 && errno == EACCES) {
    guard = F_RDLCK;
    fd = openat(at.dir(), at.name(), kProbeFlags);
  }
  if (fd < 0 && errno == EACCES) return RemoveUnopenable(at);
  if (fd < 0) return errno == ENOENT ? 0 : ERROR_SHARING_VIOLATION;
  uint32_t rc = TakeGuard(fd, guard);
  if (rc == 0 && HeldByOther(fd)) {
    rc = ERROR_SHARING_VIOLATION;
  } else if (rc == 0 && NamesFile(at.dir(), at.nameString(), fd) && unlinkat(at.dir(), at.name(), 0) != 0 &&
             errno != ENOENT) {
    rc = LastWin32Error();
  }
  close(fd);  // lets go of the guard
  return rc;
}

// Holds a file that this open has just created, and makes sure the name
// still refers to it.
uint32_t HoldCreated(const EntryAt& at, int fd, HANDLE* handle) {
  uint32_t rc = TakeHold(fd, true, true, true);
  if (rc == 0 && !NamesFile(at.dir(), at.nameString(), fd)) rc = ERROR_SHARING_VIOLATION;
  if (rc != 0) {
    close(fd);
    return rc;
  }
  *handle = new ShareHandle{fd, -1};
  return 0;
}

}  // namespace

uint32_t RemoveUnheld(const std::string& path) {
  EntryAt at;
  if (uint32_t rc = Entry(path, false, &at)) return rc;
  return RemoveUnheldAt(at);
}

uint32_t ShareOpen(const std::string& path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                   uint32_t flags, HANDLE* handle) {
  if (handle == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = INVALID_HANDLE_VALUE;
  EntryAt at;
  if (uint32_t rc = Entry(path, true, &at)) return rc;
  struct stat st;
  if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    return OpenDirectory(at, flags, handle);
  }
  if (!KnownDisposition(disposition)) return ERROR_INVALID_PARAMETER;
  bool writes = (access & FILE_GENERIC_WRITE_ACCESS) != 0;
  int openFlags = (writes ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = -1;
  bool created = false;
  if (uint32_t rc = OpenRegular(at, openFlags, disposition, &fd, &created)) return rc;
  bool deniesWriters = (shareMode & FILE_SHARE_WRITE) == 0;
  int lockFd = !writes && deniesWriters ? OpenLockDescription(at, fd) : -1;
  int holdFd = lockFd >= 0 ? lockFd : fd;
  uint32_t rc = TakeHold(holdFd, writes || lockFd >= 0, writes, deniesWriters);
  bool empties = writes && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  if (rc == 0 && empties && !Emptied(fd)) rc = LastWin32Error();
  if (rc != 0) {
    close(fd);
    if (lockFd >= 0) close(lockFd);
    return rc;
  }
  if (created || (writes && disposition == CREATE_ALWAYS)) ShareWithEveryone(fd);
  *handle = new ShareHandle{fd, lockFd};
  return 0;
}

uint32_t ShareCreateHeld(const std::string& path, HANDLE* handle) {
  if (handle == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = INVALID_HANDLE_VALUE;
  EntryAt at;
  if (uint32_t rc = Entry(path, false, &at)) return rc;
  for (int attempt = 0; attempt < kClaimTries; ++attempt) {
    int fd = openat(at.dir(), at.name(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return HoldCreated(at, fd, handle);
    if (errno != EEXIST) return LastWin32Error();
    if (uint32_t rc = RemoveUnheldAt(at)) return rc;
  }
  return ERROR_SHARING_VIOLATION;
}

bool ShareNames(HANDLE handle, const std::string& path) {
  int fd = ShareDescriptor(handle);
  EntryAt at;
  return fd >= 0 && Entry(path, true, &at) == 0 && NamesFile(at.dir(), at.nameString(), fd);
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
  EntryAt at;
  return Entry(path, true, &at) != 0 ? !NothingThere(errno) : HeldAt(at.dir(), at.nameString());
}

bool CanHold(const std::string& path) {
  EntryAt at;
  if (Entry(path, true, &at) != 0) return errno == ENOENT;
  int fd = openat(at.dir(), at.name(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  close(fd);
  return true;
}

bool AdoptHold(const std::string& path, int fd) {
  EntryAt at;
  if (Entry(path, true, &at) != 0) return false;
  int probe = openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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
  int fd = -1;
  if (OpenDirectoryAt(directory, &fd) != 0) return errno != ENOENT;
  return HeldBelow(fd);
}

}  // namespace qvplatform
