#include "LibQVBRcpEpa/Texts.h"

#include "RcpKeywordFile.h"
#include "libqveeda/QVEEdaCsv.h"

namespace rcpstore {

std::string OneLineProblem(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return "line breaks and control characters cannot be stored";
  }
  // Joined as a line of a store file is, behind the longest keyword.
  CString line;
  QVEEdaCsvMargeItem(CStringArray{"REFPJTDIR", text}, line);
  if (line.size() + 2 < rcptext::kLineBuffer) return "";
  return "too long to be read back as one line (a stored line holds at most " +
         std::to_string(rcptext::kLineBuffer - 1) + " bytes)";
}

}  // namespace rcpstore
