// The comma-separated line parser and joiner, and the check that decides
// whether a line reads back as written.
//
// The input is taken twice: as one line to parse, and as items split at
// zero bytes to join. Parsing what was joined must give back the items;
// joining what was parsed and parsing again must give the same items.
#include <cstring>

#include "FuzzSupport.h"
#include "RcpKeywordFile.h"
#include "libqveeda/QVEEdaCsv.h"

namespace {

using qvfuzz::Require;

CStringArray SplitAtZeros(const uint8_t* data, size_t size) {
  CStringArray items;
  if (size == 0) return items;
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  for (;;) {
    const char* zero = static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
    items.emplace_back(p, zero != nullptr ? zero : end);
    if (zero == nullptr) return items;
    p = zero + 1;
  }
}

void JoinedItemsParseBack(const CStringArray& items) {
  CString joined;
  QVEEdaCsvMargeItem(items, joined);
  CStringArray back;
  Require(QVEEdaCsvParseLine(joined.c_str(), back) == 0, "joined items do not parse");
  Require(back == items, "join then parse changes the items");
}

void ParsedLineSurvivesAJoin(const uint8_t* data, size_t size) {
  CString line(reinterpret_cast<const char*>(data), size);
  CStringArray items;
  uint32_t rc = QVEEdaCsvParseLine(line.c_str(), items);
  Require(rc == 0 || items.empty(), "a failed parse leaves items");
  if (rc == 0) JoinedItemsParseBack(items);
}

// A keyword line the writers accept comes back through the line buffer as
// its keyword and value.
void AcceptedLineReadsBack(const CStringArray& items) {
  if (items.size() != 2 || !rcptext::LineReadsBack(items)) return;
  CString joined;
  QVEEdaCsvMargeItem(items, joined);
  Require(joined.find_first_of("\r\n") == CString::npos, "an accepted line holds a line break");
  Require(joined.size() + 1 < rcptext::kLineBuffer, "an accepted line is too long");
  char buffer[rcptext::kLineBuffer];
  std::memcpy(buffer, joined.data(), joined.size());
  buffer[joined.size()] = '\n';
  buffer[joined.size() + 1] = 0;
  rcptext::KeywordLine line;
  CStringArray scratch;
  Require(rcptext::ParseLine(buffer, joined.size() + 1, &line, &scratch), "an accepted line does not parse");
  Require(line.keyword == items[0] && line.value == items[1], "an accepted line reads back otherwise");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParsedLineSurvivesAJoin(data, size);
  CStringArray items = SplitAtZeros(data, size);
  JoinedItemsParseBack(items);
  AcceptedLineReadsBack(items);
  return 0;
}
