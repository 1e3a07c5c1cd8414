// Checks on open descriptors that the Env and the share-mode emulation share:
// what an open name turned out to be, and what a directory holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace qvplatform {

// The entry type of a stat mode.
EntryType TypeFromMode(unsigned mode);

// Keeps fd when it is a regular file, giving its size when asked; otherwise
// closes it and fails with ERROR_ACCESS_DENIED (a directory) or
// ERROR_CANT_ACCESS_FILE (anything else).
uint32_t RequireRegular(int fd, uint64_t* size = nullptr);

// Reads the entries of a directory opened and not read yet, each with the type
// of the entry itself (a link is kOther). fd stays open.
uint32_t ListEntries(int fd, std::vector<DirEntry>* out);

// The device and inode of what fd has open.
uint32_t IdentityOf(int fd, DirectoryId* id);

// An open directory as a handle of the deep walk (DeepWalk.h): one
// descriptor, closed with the handle.
class DirHandle {
 public:
  DirHandle() = default;
  explicit DirHandle(int fd) : fd_(fd) {}
  DirHandle(DirHandle&& other) noexcept : fd_(other.Release()) {}
  DirHandle& operator=(DirHandle&& other) noexcept;
  ~DirHandle();

  int fd() const { return fd_; }
  uint32_t Read(std::vector<DirEntry>* out) { return ListEntries(fd_, out); }
  // Opens a directory in this one, never through a link.
  uint32_t Open(const std::string& name, DirHandle* out);
  uint32_t Id(DirectoryId* id) { return IdentityOf(fd_, id); }

 private:
  int Release();
  int fd_ = -1;
};

// True when the name in the directory (AT_FDCWD for the working one) is,
// itself, the file that fd has open.
bool NamesFile(int dirFd, const std::string& name, int fd);

}  // namespace qvplatform
