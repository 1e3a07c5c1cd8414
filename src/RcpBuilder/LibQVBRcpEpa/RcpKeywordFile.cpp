#include "RcpKeywordFile.h"

#include <cstring>

#include "LibQVCCommon/QVCCodes.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaCsv.h"

namespace rcptext {

bool ParseLine(char* piece, size_t length, KeywordLine* line, CStringArray* scratch) {
  // Cut at the line feed for the parser only; the piece is given back whole.
  char* feed = static_cast<char*>(std::memchr(piece, '\n', length));
  if (feed != nullptr) *feed = 0;
  uint32_t rc = QVEEdaCsvParseLine(piece, *scratch);
  if (feed != nullptr) *feed = '\n';
  if (rc != 0 || scratch->empty()) return false;
  line->keyword = std::move((*scratch)[0]);
  line->value = scratch->size() > 1 ? std::move((*scratch)[1]) : CString();
  return true;
}

bool LineReadsBack(const CStringArray& items) {
  for (const CString& item : items) {
    if (item.find_first_of(CString("\r\n\0", 3)) != CString::npos) return false;
  }
  CString joined;
  QVEEdaCsvMargeItem(items, joined);
  return joined.size() + 1 < kLineBuffer;
}

uint32_t ReadKeywordFile(const CString& path, const std::function<void(const KeywordLine&)>& apply) {
  QVEEngTextReader file;
  if (uint32_t rc = file.Open(path)) return rc;
  char buffer[kLineBuffer];
  KeywordLine line;
  CStringArray scratch;
  while (size_t length = file.Gets(buffer, sizeof buffer)) {
    if (ParseLine(buffer, length, &line, &scratch)) apply(line);
  }
  return file.Error();
}

uint32_t WriteKeywordFile(const CString& path, const std::vector<CStringArray>& lines) {
  for (const CStringArray& items : lines) {
    if (!LineReadsBack(items)) return QVC_ERR_CANNOT_EXECUTE;
  }
  QVEEngTextWriter file;
  if (file.Create(path + ".new") != 0) return QVC_ERR_TEXT_FILE_OPEN;
  CString joined;
  for (const CStringArray& items : lines) {
    QVEEdaCsvMargeItem(items, joined);
    file.Write(joined + "\n");
  }
  return file.Commit(path);
}

}  // namespace rcptext
