#include "platform/AppendLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/StationDir.h"

namespace qvplatform {

namespace {

// Writers hold the log's lock for one write: a holder that keeps it longer
// than this is not waited for.
constexpr int kLockTries = 20;
// A chained line needs the line before it: it waits up to two seconds.
constexpr int kChainLockTries = 400;
constexpr long kLockPauseNs = 5 * 1000 * 1000;
// The last line is looked for in this many bytes at the end at most.
constexpr off_t kLongestLine = 1 << 20;

// The last line of an open file: the bytes after the last line feed when
// the file ends in a stump, else those between the last two line feeds.
std::string LastLineOf(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return "";
  off_t end = st.st_size;
  char last = 0;
  if (pread(fd, &last, 1, end - 1) != 1) return "";
  if (last == '\n') --end;
  std::string line;
  char block[4096];
  for (off_t at = end; at > 0 && end - at < kLongestLine;) {
    off_t start = at > static_cast<off_t>(sizeof block) ? at - static_cast<off_t>(sizeof block) : 0;
    ssize_t got = pread(fd, block, static_cast<size_t>(at - start), start);
    if (got != at - start) return "";
    std::string_view part(block, static_cast<size_t>(got));
    size_t feed = part.rfind('\n');
    if (feed != std::string_view::npos) return std::string(part.substr(feed + 1)) + line;
    line.insert(0, part);
    at = start;
  }
  return line;
}

// Cuts the file to size; a cut that fails leaves the file as it was.
void TruncateTo(int fd, off_t size) {
  if (ftruncate(fd, size) != 0) return;
}

// The last line of the rotated file, which is never followed nor waited on.
std::string LastLineAt(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  std::string line = LastLineOf(fd);
  close(fd);
  return line;
}

}  // namespace

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

// Several processes append to one log. In a shared station no user may
// rename another's file, so the full log is copied to its ".1" file and
// emptied in place, by the appender that holds the log's lock and finds it
// full: the size is the file's own, whatever the other writers added.
void AppendLog::RotateIfFull() {
  struct stat st;
  if (fstat(fd_, &st) != 0 || st.st_size < maxBytes_) return;
  if (CopyTo(path_ + ".1", st.st_size)) TruncateTo(fd_, 0);
}

// Copies the first size bytes of the log over the file at path, which is
// never followed nor waited on, nor anything but a regular file.
bool AppendLog::CopyTo(const std::string& path, int64_t size) {
  const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int out = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
  if (out >= 0) ShareStationFile(out);
  if (out < 0 && errno == EEXIST) out = open(path.c_str(), flags);
  struct stat st;
  bool ok = out >= 0 && fstat(out, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(out, 0) == 0;
  for (off_t at = 0; ok && at < size;) {
    ssize_t n = copy_file_range(fd_, &at, out, nullptr, static_cast<size_t>(size - at), 0);
    ok = n > 0;
  }
  if (out >= 0) close(out);
  return ok;
}

// Takes the log's lock among processes, waiting a little at most: a process
// that keeps it (a stopped writer, a user's own program) never stops a
// change, whose line is then written without it.
bool AppendLog::LockFile(int tries) {
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec pause = {0, kLockPauseNs};
    nanosleep(&pause, nullptr);
  }
  return false;
}

// Writes text at the end in one write. A line cut short (a full disk) is
// cut off again under the lock, so that the log holds it whole or not at
// all; without the lock another process may have appended behind it, and
// the stump stays for the next line to begin after it on a fresh line.
bool AppendLog::WriteWhole(const std::string& text, bool locked) {
  struct stat before;
  if (fstat(fd_, &before) != 0) return false;
  ssize_t w;
  do {
    w = write(fd_, text.data(), text.size());
  } while (w < 0 && errno == EINTR);
  if (w == static_cast<ssize_t>(text.size())) return true;
  if (w > 0 && locked) TruncateTo(fd_, before.st_size);
  return false;
}

bool AppendLog::Append(const std::string& line) {
  return AppendComposed([&] { return line; }, kLockTries);
}

std::string AppendLog::LastLineLocked() {
  struct stat st;
  if (fstat(fd_, &st) == 0 && st.st_size > 0) return LastLineOf(fd_);
  return LastLineAt(path_ + ".1");
}

bool AppendLog::AppendAfter(const std::function<std::string(const std::string& last)>& compose) {
  return AppendComposed([&] { return compose(LastLineLocked()); }, kChainLockTries);
}

bool AppendLog::AppendComposed(const std::function<std::string()>& compose, int lockTries) {
  std::string path = Path();
  if (path.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!EnsureOpen(path)) return false;
  bool locked = LockFile(lockTries);
  if (locked) RotateIfFull();
  bool whole = WriteWhole((EndsLine() ? "" : "\n") + compose() + "\n", locked);
  if (locked) flock(fd_, LOCK_UN);
  return whole;
}

std::string AppendLog::LastLine() {
  std::string path = Path();
  if (path.empty()) return "";
  std::lock_guard<std::mutex> lock(mutex_);
  if (!EnsureOpen(path)) return "";
  bool locked = LockFile(kChainLockTries);
  std::string line = LastLineLocked();
  if (locked) flock(fd_, LOCK_UN);
  return line;
}

}  // namespace qvplatform
