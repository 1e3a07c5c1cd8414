#include "platform/StoreRoot.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/Descriptor.h"
#include "platform/ErrorMap.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

struct Root {
  std::string path;  // as opened, without trailing separators
  int fd;
};

thread_local std::vector<Root> g_roots;
thread_local int g_scopes = 0;

constexpr int kPathFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr int kListFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsMissing(int err) { return err == ENOENT || err == ENOTDIR; }

std::string Trimmed(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, end + 1);
}

std::vector<std::string> Components(const std::string& relative) {
  std::vector<std::string> parts;
  for (size_t at = 0; at < relative.size();) {
    size_t end = relative.find('/', at);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(at, end - at);
    if (!part.empty() && part != ".") parts.push_back(part);
    at = end + 1;
  }
  return parts;
}

// The deepest living root that is path or lies above it; *below gets the
// rest of the path ("" for the root itself).
const Root* CoveringRoot(const std::string& path, std::string* below) {
  const Root* best = nullptr;
  for (const Root& root : g_roots) {
    const std::string& p = root.path;
    bool covers = path == p || (path.size() > p.size() && path.compare(0, p.size(), p) == 0 &&
                                (p == "/" || path[p.size()] == '/'));
    if (covers && (best == nullptr || p.size() > best->path.size())) best = &root;
  }
  if (best != nullptr) *below = path.substr(best->path.size());
  return best;
}

// The entry of the open directory whose name equals name without regard to
// ASCII case.
bool FindCaseless(int dirFd, const std::string& name, std::string* found) {
  int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<DirEntry> entries;
  bool listed = ListEntries(fd, &entries) == 0;
  close(fd);
  for (size_t i = 0; listed && i < entries.size(); ++i) {
    if (strcasecmp(entries[i].name.c_str(), name.c_str()) == 0) {
      *found = entries[i].name;
      return true;
    }
  }
  return false;
}

bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// The first of parts that is a hidden name: the store made it and all below
// it, so that they are matched as spelt.
size_t FirstHidden(const std::vector<std::string>& parts) {
  return static_cast<size_t>(std::find_if(parts.begin(), parts.end(), IsHidden) - parts.begin());
}

// Opens the directories of parts one below the other from dirFd, never
// through a link; a missing one is looked up without regard to case, unless
// it is or lies below a hidden name. *used gets the names as found. -1 with
// errno on failure.
int WalkBeneath(int dirFd, const std::vector<std::string>& parts, std::vector<std::string>* used) {
  int at = openat(dirFd, ".", kPathFlags);
  size_t exactFrom = FirstHidden(parts);
  for (size_t i = 0; at >= 0 && i < parts.size(); ++i) {
    std::string name = parts[i];
    int next = openat(at, name.c_str(), kPathFlags | O_NOFOLLOW);
    if (next < 0 && errno == ENOENT && i < exactFrom && FindCaseless(at, name, &name)) {
      next = openat(at, name.c_str(), kPathFlags | O_NOFOLLOW);
    }
    int saved = errno;
    close(at);
    errno = saved;
    at = next;
    if (used != nullptr) used->push_back(name);
  }
  return at;
}

// Opens relative below dirFd in one call, never through a link, never above it.
int OpenAt2(int dirFd, const std::string& relative, int flags) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(syscall(SYS_openat2, dirFd, relative.c_str(), &how, sizeof how));
}

std::string Relative(const std::vector<std::string>& parts, size_t count) {
  std::string relative = ".";
  for (size_t i = 0; i < count; ++i) relative += "/" + parts[i];
  return relative;
}

// Whether what is missing of parts lies below a hidden name that is there:
// then no other spelling is looked for, and the walk is spared.
bool MissingBelowHidden(int rootFd, const std::vector<std::string>& parts) {
  size_t hidden = FirstHidden(parts);
  if (hidden + 1 >= parts.size()) return false;
  int fd = OpenAt2(rootFd, Relative(parts, hidden + 1), kPathFlags);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// Opens the directory rel names below the root, never through a link and
// never above the root: in one call where the kernel can, else a component
// at a time; a name missing under its case is looked up then too. A kernel
// without openat2, or a sandbox that forbids it (EPERM), gets the walk.
int OpenBeneath(int rootFd, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    if (part == "..") {
      errno = EXDEV;
      return -1;
    }
  }
  int fd = OpenAt2(rootFd, Relative(parts, parts.size()), kPathFlags);
  if (fd >= 0 || (errno != ENOENT && errno != ENOSYS && errno != EPERM)) return fd;
  if (errno == ENOENT && MissingBelowHidden(rootFd, parts)) {
    errno = ENOENT;
    return -1;
  }
  return WalkBeneath(rootFd, parts, nullptr);
}

// A path outside every root, as the original platform matched it: as
// given, else each missing component looked up without regard to case.
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
  std::string match = leaf;
  if (leaf.front() != '.') {
    int dirFd = open(parent.empty() ? "." : parent.c_str(), kPathFlags);
    if (dirFd >= 0 && !FindCaseless(dirFd, leaf, &match)) match = leaf;
    if (dirFd >= 0) close(dirFd);
  }
  std::string joined = parent;
  if (slash != std::string::npos && (joined.empty() || joined.back() != '/')) joined += '/';
  return joined + match + trailing;
}

// Opens a directory of the caller's, following links as the system does.
int OpenPlain(const std::string& directory) {
  std::string path = directory.empty() ? "." : directory;
  int fd = open(path.c_str(), kPathFlags);
  if (fd >= 0 || !IsMissing(errno)) return fd;
  std::string resolved = ResolveCase(path);
  return resolved == path ? -1 : open(resolved.c_str(), kPathFlags);
}

uint32_t Failed(int fd) { return fd < 0 ? LastWin32Error() : 0; }

}  // namespace

StoreRootScope::StoreRootScope() : mark_(g_roots.size()) { ++g_scopes; }

StoreRootScope::~StoreRootScope() {
  while (g_roots.size() > mark_) {
    close(g_roots.back().fd);
    g_roots.pop_back();
  }
  --g_scopes;
}

EntryAt::~EntryAt() {
  if (dir_ >= 0) close(dir_);
}

bool EntryAt::ResolveName() {
  if (dir_ < 0 || exact_ || IsHidden(name_)) return false;
  struct stat st;
  if (fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return false;
  return FindCaseless(dir_, name_, &name_);
}

uint32_t OpenEntry(const std::string& given, bool itself, EntryAt* out) {
  std::string path = Trimmed(given.empty() ? std::string(".") : given);
  std::string below;
  const Root* root = CoveringRoot(path, &below);
  size_t slash = path.rfind('/');
  std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  out->beneath_ = root != nullptr && (!below.empty() || itself);
  if (root != nullptr && below.empty() && itself) {
    out->name_ = ".";
    out->dir_ = openat(root->fd, ".", kPathFlags);
  } else if (root != nullptr && !below.empty()) {
    std::vector<std::string> parts = Components(below);
    out->name_ = parts.back();
    if (out->name_ != "..") parts.pop_back();  // ".." as the name is refused with the directories
    out->exact_ = FirstHidden(parts) < parts.size();
    out->dir_ = OpenBeneath(root->fd, parts);
  } else if (path == "/" || leaf == "." || leaf == "..") {
    out->name_ = ".";
    out->dir_ = OpenPlain(path);
  } else {
    out->name_ = leaf;
    out->dir_ = OpenPlain(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  }
  return Failed(out->dir_);
}

uint32_t OpenStoreRoot(const std::string& directory, bool followLink) {
  if (g_scopes == 0) return ERROR_INVALID_FUNCTION;
  EntryAt at;
  if (uint32_t rc = OpenEntry(directory, false, &at)) return rc;
  int flags = followLink && !at.beneath() ? kListFlags & ~O_NOFOLLOW : kListFlags;
  int fd = openat(at.dir(), at.name(), flags);
  if (fd < 0 && errno == ENOENT && at.ResolveName()) fd = openat(at.dir(), at.name(), flags);
  if (fd < 0) {
    struct stat st;
    if (errno != ENOTDIR || fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastWin32Error();
    return S_ISLNK(st.st_mode) ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY;
  }
  std::string path = Trimmed(directory);
  std::string below;
  if (CoveringRoot(path, &below) != nullptr) {
    close(fd);
    return 0;
  }
  g_roots.push_back(Root{path, fd});
  return 0;
}

bool UnderStoreRoot(const std::string& path) {
  std::string below;
  return CoveringRoot(Trimmed(path), &below) != nullptr;
}

std::string ResolvePath(const std::string& given) {
  std::string path = Trimmed(given);
  std::string below;
  const Root* root = CoveringRoot(path, &below);
  if (root == nullptr) return ResolveCase(given);
  std::vector<std::string> parts = Components(below);
  if (parts.empty()) return given;
  std::string leaf = parts.back();
  parts.pop_back();
  std::vector<std::string> used;
  int fd = WalkBeneath(root->fd, parts, &used);
  if (fd < 0) return given;
  std::string resolved = root->path;
  for (const std::string& name : used) resolved += "/" + name;
  struct stat st;
  if (FirstHidden(parts) == parts.size() && !IsHidden(leaf) && fstatat(fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
      errno == ENOENT) {
    FindCaseless(fd, leaf, &leaf);
  }
  close(fd);
  return resolved + "/" + leaf + given.substr(Trimmed(given).size());
}

int OpenBelowRoot(const std::string& given, int flags) {
  std::string path = Trimmed(given);
  std::string below;
  const Root* root = CoveringRoot(path, &below);
  if (root == nullptr || below.empty()) return -1;
  return OpenAt2(root->fd, "." + below, flags);
}

uint32_t OpenDirectoryAt(const std::string& path, int* fd) {
  *fd = OpenBelowRoot(path, kListFlags);
  if (*fd >= 0) return 0;
  EntryAt at;
  if (uint32_t rc = OpenEntry(path, true, &at)) return rc;
  *fd = openat(at.dir(), at.name(), kListFlags);
  if (*fd < 0 && IsMissing(errno) && at.ResolveName()) *fd = openat(at.dir(), at.name(), kListFlags);
  return Failed(*fd);
}

}  // namespace qvplatform
