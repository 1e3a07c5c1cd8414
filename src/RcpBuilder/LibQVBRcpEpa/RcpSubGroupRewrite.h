// One rewrite of a recipe group's sub-group file: the file is streamed into
// its work copy, which then takes the file's place in one durable step.
// Until then the old arrangement is in force, and a failed edit leaves it
// whole. Shared by the sub-group editors and the store's repair.
#pragma once

#include "LibQVCCommon/QVCCodes.h"
#include "QVFramework.h"
#include "RcpSubGroupLine.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaCsv.h"
#include "platform/Win32Types.h"

namespace rcpsubgroup {

// A file line as read, with its parse.
struct Piece {
  char text[kLineBuffer];
  size_t length = 0;
  bool parsed = false;
  Line line;
};

// The work copy and the sub-group file of one edit.
class Rewrite {
 public:
  explicit Rewrite(const char* groupDirectory)
      : path_(QVEEngJoinPath(groupDirectory, kFileName)),
        workPath_(QVEEngJoinPath(groupDirectory, kWorkFileName)) {}

  // Creates the work copy and opens the sub-group file. With missingIsEmpty
  // a group without the file reads as an empty one.
  uint32_t Begin(bool missingIsEmpty) {
    missingIsEmpty_ = missingIsEmpty;
    // Another editor of the file is at work: the caller may try again.
    if (uint32_t rc = work_.Create(workPath_)) return rc == ERROR_SHARING_VIOLATION ? rc : QVC_ERR_TEXT_FILE_OPEN;
    return OpenSource();
  }

  // Ends the edit before anything is rewritten.
  uint32_t Refuse() {
    uint32_t rc = work_.Abandon();
    return rc != 0 && rc != ERROR_FILE_NOT_FOUND ? rc : QVC_ERR_CANNOT_EXECUTE;
  }

  // Reads the sub-group file again from its first line, for the writing pass.
  // A checking pass that could not read the file to its end ends the edit.
  uint32_t Rewind() {
    if (uint32_t readFailure = sourceOpen_ ? source_.Error() : 0) {
      work_.Abandon();
      return readFailure;
    }
    return OpenSource();
  }

  bool Next(Piece* piece) {
    if (!sourceOpen_) return false;
    piece->length = source_.Gets(piece->text, sizeof piece->text);
    if (piece->length == 0) return false;
    piece->parsed = ParseLine(piece->text, piece->length, &piece->line, &scratch_);
    return true;
  }

  // A kept last line without its line feed gets one before a written line,
  // so that the two never run together; a piece of a longer line does not.
  void Keep(const Piece& piece) {
    work_.Write(piece.text, piece.length);
    lineOpen_ = piece.text[piece.length - 1] != '\n' && piece.length + 1 < kLineBuffer;
  }

  void Write(const CString& text) {
    if (lineOpen_) work_.Write("\n", 1);
    lineOpen_ = false;
    work_.Write(text);
  }

  // Puts the work copy in place of the sub-group file; a file that could not
  // be read to its end is never replaced.
  uint32_t Finish(uint32_t result) {
    uint32_t readFailure = sourceOpen_ ? source_.Error() : 0;
    if (readFailure != 0) {
      work_.Abandon();
      return readFailure;
    }
    uint32_t rc = work_.Commit(path_);
    return rc != 0 ? rc : result;
  }

 private:
  uint32_t OpenSource() {
    uint32_t rc = source_.Open(path_);
    sourceOpen_ = rc == 0;
    if (rc == 0 || (missingIsEmpty_ && (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND))) return 0;
    work_.Abandon();
    return QVC_ERR_TEXT_FILE_OPEN;
  }

  CString path_;
  CString workPath_;
  QVEEngTextWriter work_;
  QVEEngTextReader source_;
  bool sourceOpen_ = false;
  bool lineOpen_ = false;
  bool missingIsEmpty_ = false;
  CStringArray scratch_;
};

inline void WriteItemLine(const char* keyword, const CString& name, Rewrite& file) {
  CString joined;
  QVEEdaCsvMargeItem(CStringArray{keyword, name}, joined);
  file.Write(joined + "\n");
}

}  // namespace rcpsubgroup
