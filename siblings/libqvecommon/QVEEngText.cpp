#include "libqvecommon/QVEEngText.h"

#include <algorithm>
#include <cstring>

#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"
#include "platform/Win32Types.h"

namespace {

constexpr size_t kBlock = 64 * 1024;

}  // namespace

QVEEngTextReader::QVEEngTextReader() = default;
QVEEngTextReader::~QVEEngTextReader() = default;

uint32_t QVEEngTextReader::Open(const std::string& path) {
  file_.reset();
  pos_ = len_ = 0;
  end_ = false;
  error_ = qvplatform::CurrentEnv()->OpenForRead(path, &file_);
  if (error_ == 0 && !block_) block_ = std::make_unique<char[]>(kBlock);
  return error_;
}

bool QVEEngTextReader::Fill() {
  if (end_ || !file_) return false;
  size_t got = 0;
  uint32_t rc = file_->Read(block_.get(), kBlock, &got);
  if (rc != 0) error_ = rc;
  if (rc != 0 || got == 0) {
    end_ = true;
    return false;
  }
  pos_ = 0;
  len_ = got;
  return true;
}

int QVEEngTextReader::Next() {
  if (pos_ == len_ && !Fill()) return -1;
  char c = block_[pos_++];
  if (c == '\r') {
    if (pos_ == len_ && !Fill()) return '\r';
    if (block_[pos_] == '\n') {
      ++pos_;
      return '\n';
    }
  }
  return static_cast<unsigned char>(c);
}

size_t QVEEngTextReader::Gets(char* buf, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  while (n < size - 1) {
    if (pos_ == len_ && !Fill()) break;
    // Copies the run of plain bytes up to the next CR or LF in one step.
    const char* start = block_.get() + pos_;
    size_t room = std::min(size - 1 - n, len_ - pos_);
    size_t run = 0;
    while (run < room && start[run] != '\r' && start[run] != '\n') ++run;
    std::memcpy(buf + n, start, run);
    n += run;
    pos_ += run;
    if (run == room) continue;
    int c = Next();
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buf[n] = 0;
  return n;
}

QVEEngTextWriter::QVEEngTextWriter() = default;

QVEEngTextWriter::~QVEEngTextWriter() {
  if (file_ || hold_ != INVALID_HANDLE_VALUE) Abandon();
}

uint32_t QVEEngTextWriter::Create(const std::string& workPath) {
  uint32_t rc = Hold(workPath);
  return rc != 0 ? rc : OpenHeld();
}

uint32_t QVEEngTextWriter::Hold(const std::string& workPath) {
  if (file_ || hold_ != INVALID_HANDLE_VALUE) Abandon();
  workPath_ = workPath;
  buffer_.clear();
  uint32_t rc = qvplatform::CurrentEnv()->ShareCreateHeld(workPath, &hold_);
  if (rc != 0) Abandon();
  error_ = rc;
  return rc;
}

uint32_t QVEEngTextWriter::OpenHeld() {
  uint32_t rc = qvplatform::CurrentEnv()->CreateForWrite(workPath_, &file_);
  if (rc == 0 && !qvplatform::ShareNames(hold_, workPath_)) rc = ERROR_SHARING_VIOLATION;
  if (rc != 0) Abandon();
  error_ = rc;
  return rc;
}

uint32_t QVEEngTextWriter::Ready() {
  if (error_ == 0 && !file_ && hold_ != INVALID_HANDLE_VALUE) return OpenHeld();
  return error_ != 0 ? error_ : file_ ? 0 : ERROR_INVALID_HANDLE;
}

uint32_t QVEEngTextWriter::Write(const char* data, size_t n) {
  if (uint32_t rc = Ready()) return rc;
  for (const char* end = data + n; data < end;) {
    const char* feed = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
    if (feed == nullptr) {
      buffer_.append(data, end);
      break;
    }
    buffer_.append(data, feed);
    buffer_ += "\r\n";
    data = feed + 1;
  }
  return buffer_.size() >= kBlock ? Flush() : 0;
}

uint32_t QVEEngTextWriter::WriteBinary(const char* data, size_t n) {
  if (uint32_t rc = Ready()) return rc;
  buffer_.append(data, n);
  return buffer_.size() >= kBlock ? Flush() : 0;
}

uint32_t QVEEngTextWriter::WriteHole(size_t n) {
  if (uint32_t rc = Ready()) return rc;
  if (Flush() == 0) error_ = file_->AppendHole(n);
  return error_;
}

uint32_t QVEEngTextWriter::Flush() {
  if (error_ == 0 && !buffer_.empty()) error_ = file_->Append(buffer_.data(), buffer_.size());
  buffer_.clear();
  return error_;
}

uint32_t QVEEngTextWriter::Commit(const std::string& targetPath) {
  uint32_t rc = Ready();
  if (rc == 0) rc = Flush();
  if (rc == 0) rc = file_->Sync();
  if (rc == 0) rc = file_->Close();
  // The rename moves whatever the work name holds; it must still be this
  // edit's own file.
  if (rc == 0 && !qvplatform::ShareNames(hold_, workPath_)) rc = ERROR_SHARING_VIOLATION;
  qvplatform::Env* env = qvplatform::CurrentEnv();
  if (rc == 0) rc = env->Rename(workPath_, targetPath);
  if (rc != 0) {
    Abandon();
    return rc;
  }
  file_.reset();
  ReleaseHold();
  // The new content is in place; a failed flush of the directory is still
  // reported, since the rename may not survive a crash.
  CString directory;
  CString name;
  if (uint32_t split = QVEEngSplitFilePath(targetPath.c_str(), 1, directory, name)) return split;
  return env->SyncDirectory(directory);
}

uint32_t QVEEngTextWriter::Abandon() {
  file_.reset();
  buffer_.clear();
  if (hold_ == INVALID_HANDLE_VALUE) return 0;
  uint32_t rc = qvplatform::ShareNames(hold_, workPath_) ? qvplatform::CurrentEnv()->RemoveFile(workPath_) : 0;
  ReleaseHold();
  return rc;
}

void QVEEngTextWriter::ReleaseHold() {
  qvplatform::ShareClose(hold_);
  hold_ = INVALID_HANDLE_VALUE;
}
