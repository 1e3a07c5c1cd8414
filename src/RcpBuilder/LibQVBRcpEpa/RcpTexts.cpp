#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpKeywordFile.h"
#include "libqveeda/QVEEdaCsv.h"

namespace rcpstore {

namespace {

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

constexpr char kControlProblem[] = "line breaks and control characters cannot be stored";

}  // namespace

std::string OneLineProblem(const std::string& text) {
  if (HasControlCharacter(text)) return kControlProblem;
  // Joined as a line of a store file is, behind the longest keyword.
  CString line;
  QVEEdaCsvMargeItem(CStringArray{"REFPJTDIR", text}, line);
  if (line.size() + 2 < rcptext::kLineBuffer) return "";
  return "too long to be read back as one line (a stored line holds at most " +
         std::to_string(rcptext::kLineBuffer - 1) + " bytes)";
}

std::string WidthProblem(const std::string& text, size_t limit) {
  if (HasControlCharacter(text)) return kControlProblem;
  if (text.size() <= limit) return "";
  return std::to_string(text.size()) + " bytes, at most " + std::to_string(limit) + " bytes are stored";
}

std::string FittingBeginning(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::string SubGroupNameProblem(const std::string& name) {
  if (name.empty()) return "a sub-group name is not empty";
  if (name.find('/') != std::string::npos) return "a sub-group name holds no '/'";
  return OneLineProblem(name);
}

std::string ProjectNameProblem(const std::string& name) {
  constexpr size_t kFileNameBytes = 255;
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
    return "a project name is one directory name: not empty, not . or .., no '/' or '\\'";
  }
  if (HasControlCharacter(name)) return "a project name holds no control characters";
  return name.size() > kFileNameBytes ? "at most " + std::to_string(kFileNameBytes) + " bytes" : "";
}

void RequireNoProblem(const std::string& what, const std::string& problem) {
  if (!problem.empty()) Fail(what + ": " + problem, ERROR_INVALID_PARAMETER);
}

}  // namespace rcpstore
