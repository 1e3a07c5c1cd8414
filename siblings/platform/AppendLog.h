// A line log in the station directory that rotates at a fixed size, so that
// it can never fill the disk. Appending never throws and never waits; a line
// that cannot be written is dropped, and the caller learns it from the
// result. Each line is written whole in one write, on a line of its own; a
// line that a full disk cuts short is taken out again.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace qvplatform {

class AppendLog {
 public:
  // name: the file name inside the station directory.
  AppendLog(std::string name, int64_t maxBytes);
  ~AppendLog();
  AppendLog(const AppendLog&) = delete;
  AppendLog& operator=(const AppendLog&) = delete;

  // Appends the line and a line feed in one write; false when the line was
  // not written whole.
  bool Append(const std::string& line);
  // Appends the line that compose makes of the log's last line (the rotated
  // file's last line while the log is empty; "" when both are), under the
  // log's lock, so that no other process appends between the read and the
  // write; lines chained this way follow each other. The lock is waited for
  // a little longer than for a plain line, never for ever: a line whose
  // lock could not be had is written all the same.
  bool AppendAfter(const std::function<std::string(const std::string& last)>& compose);
  // The log's last line as AppendAfter gives it to compose.
  std::string LastLine();
  // The path of the current log file (empty when the station has none).
  std::string Path();

 private:
  // Appends the line compose makes, under the log's lock (waited for at most
  // lockTries times).
  bool AppendComposed(const std::function<std::string()>& compose, int lockTries);
  bool EnsureOpen(const std::string& path);
  bool EndsLine();
  bool LockFile(int tries);
  std::string LastLineLocked();
  bool WriteWhole(const std::string& text, bool locked);
  // Rotates a full log; the caller holds the log's lock.
  void RotateIfFull();
  bool CopyTo(const std::string& path, int64_t size);

  const std::string name_;
  const int64_t maxBytes_;
  std::mutex mutex_;
  std::string path_;
  int fd_ = -1;
};

}  // namespace qvplatform
