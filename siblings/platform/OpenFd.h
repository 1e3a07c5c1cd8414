// A file descriptor that closes itself: for the few platform files that work
// on raw descriptors below the Env seam.
#pragma once

#include <unistd.h>

namespace qvplatform {

class OpenFd {
 public:
  explicit OpenFd(int fd) : fd_(fd) {}
  ~OpenFd() {
    if (fd_ >= 0) close(fd_);
  }
  OpenFd(const OpenFd&) = delete;
  OpenFd& operator=(const OpenFd&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace qvplatform
