// The store's small text files: one keyword and one value per line, as
// comma-separated items, read through a 1024-byte line buffer.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "QVFramework.h"

namespace rcptext {

// Lines are read through a buffer of this size (longer lines arrive in pieces).
constexpr size_t kLineBuffer = 1024;

// A line's keyword (item 1) and value (item 2, empty when missing).
struct KeywordLine {
  CString keyword;
  CString value;
};

// Parses one line or piece as read (cut at its first line feed; the piece is
// unchanged afterwards). False when it does not parse or yields no item.
bool ParseLine(char* piece, size_t length, KeywordLine* line, CStringArray* scratch);

// True when the items, joined as one line, read back as exactly these items:
// no item holds a line break or a zero byte, and the line (with its line
// feed) fits the line buffer whole. Writers refuse anything else before they
// touch a file.
bool LineReadsBack(const CStringArray& items);

// Hands every parsed line of the file to apply. The open's failure code when
// the file cannot be opened; a read failure part way is returned too.
uint32_t ReadKeywordFile(const CString& path, const std::function<void(const KeywordLine&)>& apply);

// Replaces the file durably with the lines, each the items joined as one
// comma-separated line. 0x2000010a, before anything is touched, when a line
// would not read back as written (see LineReadsBack); 0x20000107 when the
// new file cannot be created;
// otherwise the failure of the write or of the replacement, the old file
// staying whole.
uint32_t WriteKeywordFile(const CString& path, const std::vector<CStringArray>& lines);

}  // namespace rcptext
