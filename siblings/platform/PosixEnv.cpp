// The Env of the operating system, with the case-insensitive path look-up.
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/Descriptor.h"
#include "platform/Env.h"
#include "platform/ErrorMap.h"
#include "platform/ShareMode.h"
#include "platform/StoreRoot.h"

namespace qvplatform {

namespace {

bool IsMissing(int err) { return err == ENOENT || err == ENOTDIR; }

uint32_t Fail() { return LastWin32Error(); }

// Runs op on the entry path names (see OpenEntry), once more under the name
// found without regard to case when the given one is missing. op returns -1
// with errno on failure, as the system calls do.
template <typename Op>
uint32_t AtEntry(const std::string& path, bool itself, Op op) {
  EntryAt at;
  if (uint32_t rc = OpenEntry(path, itself, &at)) return rc;
  int rc = op(at);
  if (rc < 0 && IsMissing(errno) && at.ResolveName()) rc = op(at);
  return rc < 0 ? Fail() : 0;
}

// The same for an entry that the call may create: a name that exists under
// another case is used as it is on disk.
template <typename Op>
uint32_t AtNewEntry(const std::string& path, Op op) {
  EntryAt at;
  if (uint32_t rc = OpenEntry(path, false, &at)) return rc;
  at.ResolveName();
  return op(at) < 0 ? Fail() : 0;
}

class PosixDirectory : public Directory {
 public:
  explicit PosixDirectory(int fd) : fd_(fd) {}
  ~PosixDirectory() override { close(fd_); }
  // A directory read again is read from its start.
  uint32_t Read(std::vector<DirEntry>* out) override {
    if (read_ && lseek(fd_, 0, SEEK_SET) < 0) return Fail();
    read_ = true;
    return ListEntries(fd_, out);
  }
  uint32_t OpenDirectory(const std::string& name, std::unique_ptr<Directory>* out) override {
    int fd = openat(fd_, name.c_str(), kDirectoryFlags);
    if (fd < 0) return Fail();
    *out = std::make_unique<PosixDirectory>(fd);
    return 0;
  }
  uint32_t Remove(const std::string& name, bool directory) override {
    return unlinkat(fd_, name.c_str(), directory ? AT_REMOVEDIR : 0) == 0 ? 0 : Fail();
  }
  uint32_t Identity(DirectoryId* id) override { return IdentityOf(fd_, id); }

  static constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

 private:
  int fd_;
  bool read_ = false;
};

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixReadableFile() override { close(fd_); }
  uint32_t Read(char* buf, size_t n, size_t* got) override {
    ssize_t r;
    do {
      r = read(fd_, buf, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
      *got = 0;
      return Fail();
    }
    *got = static_cast<size_t>(r);
    return 0;
  }
  uint32_t Size(uint64_t* size) override {
    *size = size_;
    return 0;
  }
  uint32_t Skip(uint64_t n) override {
    return lseek(fd_, static_cast<off_t>(n), SEEK_CUR) >= 0 ? 0 : Fail();
  }

 private:
  int fd_;
  uint64_t size_;  // measured by the open's own check
};

class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) close(fd_);
  }
  uint32_t Append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
    return 0;
  }
  uint32_t AppendHole(size_t n) override {
    off_t end = lseek(fd_, static_cast<off_t>(n), SEEK_CUR);
    return end >= 0 && ftruncate(fd_, end) == 0 ? 0 : Fail();
  }
  uint32_t Sync() override { return fdatasync(fd_) == 0 ? 0 : Fail(); }
  uint32_t Close() override {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0 ? 0 : Fail();
  }

 private:
  int fd_;
};

class PosixEnv : public Env {
 public:
  uint32_t OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* out) override {
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    int fd = OpenBelowRoot(path, kFlags);
    uint32_t rc = fd >= 0 ? 0 : AtEntry(path, true, [&](const EntryAt& at) {
      return fd = openat(at.dir(), at.name(), kFlags);
    });
    uint64_t size = 0;
    if (rc == 0) rc = RequireRegular(fd, &size);
    if (rc == 0) *out = std::make_unique<PosixReadableFile>(fd, size);
    return rc;
  }

  uint32_t CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* out) override {
    int fd = -1;
    uint32_t rc = AtNewEntry(path, [&](const EntryAt& at) {
      return fd = openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    });
    if (rc == 0) rc = RequireRegular(fd);
    if (rc == 0 && ftruncate(fd, 0) != 0) {
      rc = Fail();
      close(fd);
    }
    if (rc == 0) *out = std::make_unique<PosixWritableFile>(fd);
    return rc;
  }

  uint32_t OpenForAppend(const std::string& path, std::unique_ptr<WritableFile>* out) override {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    int fd = -1;
    uint32_t rc = AtEntry(path, true, [&](const EntryAt& at) { return fd = openat(at.dir(), at.name(), kFlags); });
    if (rc == 0) rc = RequireRegular(fd);
    if (rc == 0) *out = std::make_unique<PosixWritableFile>(fd);
    return rc;
  }

  uint32_t CreateNew(const std::string& path, std::unique_ptr<WritableFile>* out) override {
    int fd = -1;
    uint32_t rc = AtEntry(path, false, [&](const EntryAt& at) {
      return fd = openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    });
    if (rc == 0) *out = std::make_unique<PosixWritableFile>(fd);
    return rc;
  }

  uint32_t Rename(const std::string& from, const std::string& to) override {
    return RenameWith(from, to, [](const EntryAt& a, const EntryAt& b) {
      return renameat(a.dir(), a.name(), b.dir(), b.name());
    });
  }

  uint32_t RemoveFile(const std::string& path) override {
    return AtEntry(path, false, [](const EntryAt& at) { return unlinkat(at.dir(), at.name(), 0); });
  }

  uint32_t RemoveDirectory(const std::string& path) override {
    return AtEntry(path, false, [](const EntryAt& at) { return unlinkat(at.dir(), at.name(), AT_REMOVEDIR); });
  }

  uint32_t MakeDirectory(const std::string& path) override {
    return AtNewEntry(path, [](const EntryAt& at) { return mkdirat(at.dir(), at.name(), 0777); });
  }
  uint32_t MakeNewDirectory(const std::string& path) override {
    return AtEntry(path, false, [](const EntryAt& at) { return mkdirat(at.dir(), at.name(), 0777); });
  }

  // A directory of the caller's may be reached through a link; one below a
  // store root never is.
  uint32_t SyncDirectory(const std::string& path) override {
    return AtEntry(path, true, [](const EntryAt& at) {
      int fd = openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (at.beneath() ? O_NOFOLLOW : 0));
      if (fd < 0) return -1;
      int rc = fsync(fd);
      int saved = errno;
      close(fd);
      errno = saved;
      return rc;
    });
  }

  uint32_t ReadDirectory(const std::string& path, std::vector<DirEntry>* out) override {
    out->clear();
    std::unique_ptr<Directory> directory;
    if (uint32_t rc = OpenDirectory(path, &directory)) return rc;
    return directory->Read(out);
  }

  uint32_t Stat(const std::string& path, FileStat* out) override { return StatWith(path, out, true); }

  uint32_t StatEntry(const std::string& path, FileStat* out) override { return StatWith(path, out, false); }

  uint32_t OpenDirectory(const std::string& path, std::unique_ptr<Directory>* out) override {
    int fd = -1;
    if (uint32_t rc = OpenDirectoryAt(path, &fd)) return rc;
    *out = std::make_unique<PosixDirectory>(fd);
    return 0;
  }

  std::string Resolve(const std::string& path) override { return ResolvePath(path); }

  uint32_t RenameNoReplace(const std::string& from, const std::string& to) override {
    return RenameWith(from, to, [](const EntryAt& a, const EntryAt& b) {
      return ExclusiveRename(a.dir(), a.name(), b.dir(), b.name());
    });
  }

  uint32_t ShareOpen(const std::string& path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                     uint32_t flags, HANDLE* handle) override {
    return qvplatform::ShareOpen(path, access, shareMode, disposition, flags, handle);
  }

  uint32_t ShareCreateHeld(const std::string& path, HANDLE* handle) override {
    return qvplatform::ShareCreateHeld(path, handle);
  }

  uint32_t RemoveUnheld(const std::string& path) override { return qvplatform::RemoveUnheld(path); }

 private:
  // Renames between the opened directories of both names; the target under
  // the case it has on disk.
  template <typename Op>
  static uint32_t RenameWith(const std::string& from, const std::string& to, Op op) {
    EntryAt target;
    if (uint32_t rc = OpenEntry(to, false, &target)) return rc;
    target.ResolveName();
    return AtEntry(from, false, [&](const EntryAt& source) { return op(source, target); });
  }

  // A file system without RENAME_NOREPLACE gets the same guarantee from an
  // exclusive placeholder: a hard link for a file, an empty directory made
  // with mkdir (which the rename then replaces) for a directory.
  static int ExclusiveRename(int fromDir, const char* from, int toDir, const char* to) {
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    struct stat st;
    if (fstatat(fromDir, from, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) return linkat(fromDir, from, toDir, to, 0) == 0 ? unlinkat(fromDir, from, 0) : -1;
    if (mkdirat(toDir, to, 0700) != 0) return -1;
    if (renameat(fromDir, from, toDir, to) == 0) return 0;
    int saved = errno;
    unlinkat(toDir, to, AT_REMOVEDIR);
    errno = saved;
    return -1;
  }

  // A link at the last component is followed (follow) only outside the
  // store roots: those are paths that users give.
  static uint32_t StatWith(const std::string& path, FileStat* out, bool follow) {
    struct stat st;
    uint32_t rc = AtEntry(path, true, [&](const EntryAt& at) {
      return fstatat(at.dir(), at.name(), &st, follow && !at.beneath() ? 0 : AT_SYMLINK_NOFOLLOW);
    });
    if (rc != 0) return rc;
    out->type = TypeFromMode(st.st_mode);
    out->size = st.st_size;
    out->mtime = st.st_mtime;
    out->readOnly = (st.st_mode & S_IWUSR) == 0;
    out->device = st.st_dev;
    out->inode = st.st_ino;
    return 0;
  }
};

std::atomic<Env*> g_current{nullptr};

}  // namespace

Env* Env::Posix() {
  static PosixEnv env;
  return &env;
}

Env* CurrentEnv() {
  Env* env = g_current.load(std::memory_order_acquire);
  return env != nullptr ? env : Env::Posix();
}

Env* SetCurrentEnv(Env* env) { return g_current.exchange(env, std::memory_order_acq_rel); }

}  // namespace qvplatform
