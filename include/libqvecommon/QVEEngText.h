// Text files as the original platform's text mode reads and writes them:
// CR LF on disk, a single line feed in the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "LibQVBRcpEpa/Win32Types.h"

namespace qvplatform {
class ReadableFile;
class WritableFile;
}  // namespace qvplatform

// Reads lines the way a 1024-byte line buffer does: a line of up to size-2
// characters arrives whole with its line feed; a longer one arrives in pieces
// of at most size-1 characters. A CR before an LF is dropped.
class QVEEngTextReader {
 public:
  QVEEngTextReader();
  ~QVEEngTextReader();
  QVEEngTextReader(const QVEEngTextReader&) = delete;
  QVEEngTextReader& operator=(const QVEEngTextReader&) = delete;

  uint32_t Open(const std::string& path);
  // Stores the next line or piece in buf, NUL-terminated, and returns its
  // length (bytes, which may include NULs from the file); 0 at the end of
  // the file or on a read failure, which Error() then reports.
  size_t Gets(char* buf, size_t size);
  uint32_t Error() const { return error_; }

 private:
  bool Fill();
  int Next();  // the next byte after CR LF translation, or -1

  std::unique_ptr<qvplatform::ReadableFile> file_;
  std::unique_ptr<char[]> block_;
  size_t pos_ = 0;
  size_t len_ = 0;
  bool end_ = false;
  uint32_t error_ = 0;
};

// Writes a text file to a work path and puts it in place of the target in
// one step: flushed to disk, renamed over the target, directory flushed.
// Until Commit the target keeps its old content; when any step up to the
// rename fails the work file is removed and the target stays whole. A failed
// flush of the directory after the rename is returned with the new content
// in place.
//
// The work file is held exclusively (share modes) from Create to the end of
// the edit, so a second editor of the same target is refused (sharing
// violation, 32) instead of destroying the first one's copy. An editor that
// reads the target to rewrite it calls Create before reading, so that edits
// follow one another and none is lost.
class QVEEngTextWriter {
 public:
  QVEEngTextWriter();
  ~QVEEngTextWriter();  // abandons an uncommitted work file
  QVEEngTextWriter(const QVEEngTextWriter&) = delete;
  QVEEngTextWriter& operator=(const QVEEngTextWriter&) = delete;

  // Creates the work file afresh and holds it. A work file that another editor
  // holds is left alone (32); one that nobody holds was left by an editor that
  // died and is replaced. Never writes through a link.
  uint32_t Create(const std::string& workPath);
  // Creates and holds the work file as Create does, but opens it for
  // writing only when the first byte is written or Commit is called: a
  // hold that is mostly given up unwritten costs no more than the hold.
  uint32_t Hold(const std::string& workPath);
  // Appends text, each line feed written as CR LF. A failure sticks: later
  // writes do nothing and Commit reports it.
  uint32_t Write(const char* data, size_t n);
  uint32_t Write(const std::string& text) { return Write(text.data(), text.size()); }
  // Appends bytes as they are.
  uint32_t WriteBinary(const char* data, size_t n);
  // Appends n zero bytes as a hole, so that a sparse file copied stays sparse.
  uint32_t WriteHole(size_t n);
  uint32_t Commit(const std::string& targetPath);
  // Closes and removes the work file, if it is still this writer's own.
  // Returns the removal's result.
  uint32_t Abandon();

 private:
  uint32_t Flush();
  uint32_t OpenHeld();
  // 0 when the work file is open for writing (opened now when only held).
  uint32_t Ready();
  void ReleaseHold();

  std::unique_ptr<qvplatform::WritableFile> file_;
  HANDLE hold_ = INVALID_HANDLE_VALUE;
  std::string workPath_;
  std::string buffer_;
  uint32_t error_ = 0;
};
