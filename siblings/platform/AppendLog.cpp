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

// The station directory is every user's: a log that is a link, a FIFO or
// anything but a regular file is never opened or waited on, and only a log
// this process has just made is given the station's shared mode.
bool AppendLog::EnsureOpen(const std::string& path) {
  if (fd_ >= 0 && path == path_) return true;
  if (fd_ >= 0) close(fd_);
  path_ = path;
  const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  fd_ = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
  bool made = fd_ >= 0;
  if (!made && errno == EEXIST) fd_ = open(path.c_str(), flags);
  struct stat st;
  if (fd_ >= 0 && (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) return false;
  if (made) ShareStationFile(fd_);
  size_ = st.st_size;
  written_ = 0;
  return true;
}

// A line that a full disk or a killed writer cut short gets a line feed of
// its own, so that the next line is never glued to its stump.
bool AppendLog::EndsLine() {
  struct stat st;
  char last = '\n';
  if (fstat(fd_, &st) != 0 || st.st_size == 0) return true;
  return pread(fd_, &last, 1, st.st_size - 1) == 1 && last == '\n';
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
  bool stillCurrent = lstat(path_.c_str(), &onDisk) == 0 && onDisk.st_ino == st.st_ino;
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
  std::string text = (EndsLine() ? "" : "\n") + line + "\n";
  ssize_t w;
  do {
    w = write(fd_, text.data(), text.size());
  } while (w < 0 && errno == EINTR);
  if (w > 0) written_ += w;
  return w == static_cast<ssize_t>(text.size());
}

}  // namespace qvplatform
