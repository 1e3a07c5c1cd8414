#include "platform/AppendLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/StationDir.h"

namespace qvplatform {

AppendLog::AppendLog(std::string name, int64_t maxBytes) : name_(std::move(name)), maxBytes_(maxBytes) {}

AppendLog::~AppendLog() {
  if (fd_ >= 0) close(fd_);
}

std::string AppendLog::Path() {
  std::string dir = StationDirectory();
  return dir.empty() ? std::string() : dir + "/" + name_;
}

bool AppendLog::EnsureOpen(const std::string& path) {
  if (fd_ >= 0 && path == path_) return true;
  if (fd_ >= 0) close(fd_);
  path_ = path;
  fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ >= 0) ShareStationFile(fd_);
  struct stat st;
  size_ = (fd_ >= 0 && fstat(fd_, &st) == 0) ? st.st_size : 0;
  written_ = 0;
  return fd_ >= 0;
}

// Several processes append to one log; the size is read again from the file
// before a rotation so that only one of them rotates.
void AppendLog::RotateIfFull() {
  if (size_ + written_ < maxBytes_) return;
  struct stat st;
  if (fstat(fd_, &st) != 0) return;
  size_ = st.st_size;
  written_ = 0;
  struct stat onDisk;
  bool stillCurrent = stat(path_.c_str(), &onDisk) == 0 && onDisk.st_ino == st.st_ino;
  if (stillCurrent && size_ >= maxBytes_) rename(path_.c_str(), (path_ + ".1").c_str());
  if (!stillCurrent || size_ >= maxBytes_) {
    close(fd_);
    fd_ = -1;
    EnsureOpen(path_);
  }
}

bool AppendLog::Append(const std::string& line) {
  std::string path = Path();
  if (path.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!EnsureOpen(path)) return false;
  RotateIfFull();
  if (fd_ < 0) return false;
  std::string text = line + "\n";
  ssize_t w;
  do {
    w = write(fd_, text.data(), text.size());
  } while (w < 0 && errno == EINTR);
  if (w > 0) written_ += w;
  return w == static_cast<ssize_t>(text.size());
}

}  // namespace qvplatform
