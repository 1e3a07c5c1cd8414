#include "Texts.h"

#include <CLI/CLI.hpp>

#include "LibQVBRcpEpa/Texts.h"

namespace rcpstore::cli {

namespace {

constexpr size_t kFileNameBytes = 255;

[[noreturn]] void Refuse(const std::string& option, const std::string& why) { throw CLI::ValidationError(option, why); }

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string Fitted(const std::string& option, const std::string& text, size_t limit, bool truncate) {
  if (text.size() <= limit) return text;
  if (!truncate) {
    Refuse(option, std::to_string(text.size()) + " bytes, at most " + std::to_string(limit) +
                       " bytes are stored (--truncate cuts it)");
  }
  size_t cut = limit;
  while (cut > 0 && IsContinuationByte(text[cut])) --cut;
  return text.substr(0, cut);
}

void CheckOneLine(const std::string& option, const std::string& text) {
  std::string problem = OneLineProblem(text);
  if (!problem.empty()) Refuse(option, problem);
}

void CheckSubGroupName(const std::string& option, const std::string& name) {
  if (name.empty()) Refuse(option, "a sub-group name is not empty");
  if (name.find('/') != std::string::npos) Refuse(option, "a sub-group name holds no '/'");
  CheckOneLine(option, name);
}

void CheckProjectName(const std::string& option, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
    Refuse(option, "a project name is one directory name: not empty, not . or .., no '/' or '\\'");
  }
  if (HasControlCharacter(name)) Refuse(option, "a project name holds no control characters");
  if (name.size() > kFileNameBytes) Refuse(option, "at most " + std::to_string(kFileNameBytes) + " bytes");
}

}  // namespace rcpstore::cli
