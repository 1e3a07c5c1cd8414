#include "libqveeda/QVEEdaCsv.h"

#include <cstring>

#include "LibQVCCommon/QVCCodes.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool NeedsQuotes(const CString& item, bool only) {
  if (item.empty()) return only;
  if (IsBlank(item.front()) || IsBlank(item.back())) return true;
  return item.find_first_of(",\"\r\n") != CString::npos;
}

// Reads a quoted item starting after its opening quote. Text between the
// closing quote and the next comma is kept as it stands.
bool ParseQuoted(const char*& p, CString& item) {
  for (;;) {
    if (*p == 0) return false;
    if (*p == '"') {
      if (p[1] == '"') {
        item += '"';
        p += 2;
        continue;
      }
      ++p;
      break;
    }
    item += *p++;
  }
  while (*p != 0 && *p != ',') item += *p++;
  return true;
}

}  // namespace

uint32_t QVEEdaCsvParseLine(const char* line, CStringArray& items) {
  items.clear();
  if (line == nullptr || *line == 0) return 0;
  const char* p = line;
  for (;;) {
    CString item;
    if (*p == '"') {
      ++p;
      if (!ParseQuoted(p, item)) {
        items.clear();
        return QVC_ERR_CANNOT_EXECUTE;
      }
    } else {
      const char* comma = std::strchr(p, ',');
      size_t n = comma != nullptr ? static_cast<size_t>(comma - p) : std::strlen(p);
      item.assign(p, n);
      p += n;
    }
    items.push_back(std::move(item));
    if (*p != ',') return 0;
    ++p;
  }
}

uint32_t QVEEdaCsvMargeItem(const CStringArray& items, CString& line) {
  line.clear();
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) line += ',';
    const CString& item = items[i];
    if (!NeedsQuotes(item, items.size() == 1)) {
      line += item;
      continue;
    }
    line += '"';
    for (char c : item) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return 0;
}
