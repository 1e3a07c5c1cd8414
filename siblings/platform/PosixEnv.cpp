// The Env of the operating system, with the case-insensitive path look-up.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/Descriptor.h"
#include "platform/Env.h"
#include "platform/ErrorMap.h"

namespace qvplatform {

namespace {

bool IsMissing(int err) { return err == ENOENT || err == ENOTDIR; }

// Finds the entry of dir whose name equals leaf without regard to ASCII case.
bool FindCaseless(const std::string& dir, const std::string& leaf, std::string* found) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return false;
  bool hit = false;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, leaf.c_str()) == 0) {
      *found = e->d_name;
      hit = true;
      break;
    }
  }
  closedir(d);
  return hit;
}

std::string ResolveCase(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) == 0 || !IsMissing(errno)) return path;
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path;
  size_t slash = path.rfind('/', end);
  std::string leaf = path.substr(slash == std::string::npos ? 0 : slash + 1,
                                 slash == std::string::npos ? end + 1 : end - slash);
  std::string trailing = path.substr(end + 1);
  std::string parent;
  if (slash != std::string::npos) parent = ResolveCase(slash == 0 ? "/" : path.substr(0, slash));
  // A name that begins with a dot is one of the store's own hidden names,
  // always made and used exactly as spelt: no scan of its directory.
  std::string match;
  if (leaf.front() == '.' || !FindCaseless(parent, leaf, &match)) match = leaf;
  std::string joined = parent;
  if (slash != std::string::npos && (joined.empty() || joined.back() != '/')) joined += '/';
  return joined + match + trailing;
}

// Runs op on the path as given, and once more on the resolved path when a
// component was missing and the look-up found it under another case.
template <typename Op>
int WithResolve(const std::string& path, Op op) {
  int rc = op(path);
  if (rc == 0 || !IsMissing(errno)) return rc;
  int saved = errno;
  std::string resolved = ResolveCase(path);
  if (resolved == path) {
    errno = saved;
    return rc;
  }
  return op(resolved);
}

uint32_t Fail() { return LastWin32Error(); }

// A trailing separator would make the system follow a link at the last
// component; the name itself is meant.
std::string EntryPath(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  return end == std::string::npos ? path : path.substr(0, end + 1);
}

class PosixDirectory : public Directory {
 public:
  explicit PosixDirectory(int fd) : fd_(fd) {}
  ~PosixDirectory() override { close(fd_); }
  uint32_t Read(std::vector<DirEntry>* out) override { return ListEntries(fd_, out); }
  uint32_t OpenDirectory(const std::string& name, std::unique_ptr<Directory>* out) override {
    int fd = openat(fd_, name.c_str(), kDirectoryFlags);
    if (fd < 0) return Fail();
    *out = std::make_unique<PosixDirectory>(fd);
    return 0;
  }
  uint32_t Remove(const std::string& name, bool directory) override {
    return unlinkat(fd_, name.c_str(), directory ? AT_REMOVEDIR : 0) == 0 ? 0 : Fail();
  }

  static constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

 private:
  int fd_;
};

class PosixReadableFile : public ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : fd_(fd) {}
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

 private:
  int fd_;
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
    int fd = WithResolve(path, [](const std::string& p) {
      return open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0) return Fail();
    if (uint32_t rc = RequireRegular(fd)) return rc;
    *out = std::make_unique<PosixReadableFile>(fd);
    return 0;
  }

  uint32_t CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* out) override {
    int fd = open(ResolveCase(path).c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return Fail();
    if (uint32_t rc = RequireRegular(fd)) return rc;
    if (ftruncate(fd, 0) != 0) {
      uint32_t rc = Fail();
      close(fd);
      return rc;
    }
    *out = std::make_unique<PosixWritableFile>(fd);
    return 0;
  }

  uint32_t Rename(const std::string& from, const std::string& to) override {
    std::string target = ResolveCase(to);
    int rc = WithResolve(from, [&](const std::string& p) { return rename(p.c_str(), target.c_str()); });
    return rc == 0 ? 0 : Fail();
  }

  uint32_t RemoveFile(const std::string& path) override {
    int rc = WithResolve(path, [](const std::string& p) { return unlink(p.c_str()); });
    return rc == 0 ? 0 : Fail();
  }

  uint32_t RemoveDirectory(const std::string& path) override {
    int rc = WithResolve(path, [](const std::string& p) { return rmdir(p.c_str()); });
    return rc == 0 ? 0 : Fail();
  }

  uint32_t MakeDirectory(const std::string& path) override {
    return mkdir(ResolveCase(path).c_str(), 0777) == 0 ? 0 : Fail();
  }

  uint32_t SyncDirectory(const std::string& path) override {
    int fd = WithResolve(path, [](const std::string& p) {
      return open(p.empty() ? "." : p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (fd < 0) return Fail();
    int rc = fsync(fd);
    uint32_t result = rc == 0 ? 0 : Fail();
    close(fd);
    return result;
  }

  uint32_t ReadDirectory(const std::string& path, std::vector<DirEntry>* out) override {
    out->clear();
    std::unique_ptr<Directory> directory;
    if (uint32_t rc = OpenDirectory(path, &directory)) return rc;
    return directory->Read(out);
  }

  uint32_t Stat(const std::string& path, FileStat* out) override {
    return StatWith(path, out, [](const char* p, struct stat* st) { return stat(p, st); });
  }

  uint32_t StatEntry(const std::string& path, FileStat* out) override {
    return StatWith(EntryPath(path), out, [](const char* p, struct stat* st) { return lstat(p, st); });
  }

  uint32_t OpenDirectory(const std::string& path, std::unique_ptr<Directory>* out) override {
    int fd = WithResolve(EntryPath(path), [](const std::string& p) {
      return open(p.empty() ? "." : p.c_str(), PosixDirectory::kDirectoryFlags);
    });
    if (fd < 0) return Fail();
    *out = std::make_unique<PosixDirectory>(fd);
    return 0;
  }

  std::string Resolve(const std::string& path) override { return ResolveCase(path); }

  uint32_t RenameNoReplace(const std::string& from, const std::string& to) override {
    std::string target = ResolveCase(to);
    int rc = WithResolve(from, [&](const std::string& p) { return ExclusiveRename(p, target); });
    return rc == 0 ? 0 : Fail();
  }

 private:
  // A file system without RENAME_NOREPLACE gets the same guarantee from an
  // exclusive placeholder: a hard link for a file, an empty directory made
  // with mkdir (which the rename then replaces) for a directory.
  static int ExclusiveRename(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) return link(from.c_str(), to.c_str()) == 0 ? unlink(from.c_str()) : -1;
    if (mkdir(to.c_str(), 0700) != 0) return -1;
    if (rename(from.c_str(), to.c_str()) == 0) return 0;
    int saved = errno;
    rmdir(to.c_str());
    errno = saved;
    return -1;
  }

  template <typename StatCall>
  static uint32_t StatWith(const std::string& path, FileStat* out, StatCall call) {
    struct stat st;
    int rc = WithResolve(path, [&](const std::string& p) { return call(p.c_str(), &st); });
    if (rc != 0) return Fail();
    out->type = TypeFromMode(st.st_mode);
    out->size = st.st_size;
    out->mtime = st.st_mtime;
    out->readOnly = (st.st_mode & S_IWUSR) == 0;
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
