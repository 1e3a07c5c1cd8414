// The directories a thread works beneath. A path is only a string until it
// is used, and between a check and an act anyone who may write a directory
// on the way can swap a component for a link. So a command opens its project
// directory once, as a store root, and while the root lives every path below
// it is reached from that open descriptor: no component below the root is
// ever a link, and nothing resolves above it. A path that no root covers is
// the caller's own and is reached as the system resolves it.
//
// Every file-system call of the platform layer names its entry through
// OpenEntry, so the Env, the share-mode emulation and the in-use probes all
// work beneath the same roots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvplatform {

// Keeps the roots opened on this thread while it lives. Scopes nest; a root
// serves everything the thread does until the scope that opened it ends.
class StoreRootScope {
 public:
  StoreRootScope();
  ~StoreRootScope();  // closes the roots opened in it
  StoreRootScope(const StoreRootScope&) = delete;
  StoreRootScope& operator=(const StoreRootScope&) = delete;

 private:
  size_t mark_;  // the roots opened before this scope
};

// Opens a directory as a root of the innermost scope of this thread. The
// directory must be itself a directory, not a link to one (ERROR_CANT_ACCESS_FILE,
// unless followLink: a directory outside any store that the user names, such
// as an export's destination) and not a file (ERROR_DIRECTORY); a directory
// that a living root covers already is reached beneath it and opens nothing
// new. Without a scope, ERROR_INVALID_FUNCTION.
uint32_t OpenStoreRoot(const std::string& directory, bool followLink = false);

// True when a living root of this thread is the path or lies above it.
bool UnderStoreRoot(const std::string& path);

// An entry named by a path, as an open directory and a name in it. The name
// is the path's last component as given, or the name found without regard
// to ASCII case when the given one is missing (see ResolveName).
class EntryAt {
 public:
  EntryAt() = default;
  ~EntryAt();
  EntryAt(const EntryAt&) = delete;
  EntryAt& operator=(const EntryAt&) = delete;

  int dir() const { return dir_; }
  const char* name() const { return name_.c_str(); }
  const std::string& nameString() const { return name_; }
  // True when the directory was reached beneath a store root.
  bool beneath() const { return beneath_; }
  // Replaces a missing name by the entry whose name equals it without
  // regard to ASCII case; names that begin with a dot are the store's own
  // and stay as they are, as do names below one (beneath a store root).
  // True when the name changed.
  bool ResolveName();

 private:
  friend uint32_t OpenEntry(const std::string&, bool, EntryAt*);
  int dir_ = -1;
  std::string name_;
  bool beneath_ = false;
  bool exact_ = false;  // the name lies below a hidden name
};

// Opens the directory that holds path's last component (trailing
// separators dropped), beneath the root that covers the path, else as the
// caller's path; a missing component of the directories is looked up
// without regard to case. With itself true, a path that is a root is given
// as the root and ".", so that the root can be listed, flushed and read;
// otherwise as its parent and its name, so that it can be renamed or
// removed.
uint32_t OpenEntry(const std::string& path, bool itself, EntryAt* out);

// The path with each existing component as it is named on disk.
std::string ResolvePath(const std::string& path);

// Opens what path names below a store root in one call, with flags (the
// entry itself: never through a link); -1 when no root covers the path, or
// when that open fails, in which case the caller takes the way through
// OpenEntry, which looks a missing name up without regard to case and gives
// the failure its code.
int OpenBelowRoot(const std::string& path, int flags);

// Opens what path names as a directory, itself (never through a link at any
// component below a root), for reading its entries; a component missing
// under its case is looked up as OpenEntry does. fd is the caller's to close.
uint32_t OpenDirectoryAt(const std::string& path, int* fd);

}  // namespace qvplatform
