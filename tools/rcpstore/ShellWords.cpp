// Shell words as the completion script passes them and takes them back.
#include <cctype>
#include <cstring>

#include "Completion.h"

namespace rcpstore::cli {

std::string Unquoted(const std::string& word) {
  std::string out;
  char quote = 0;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    bool escapes = i + 1 < word.size() && (quote == 0 || std::strchr("$`\"\\", word[i + 1]) != nullptr);
    if (quote == '\'' && c == '\'') {
      quote = 0;
    } else if (quote == '\'') {
      out += c;
    } else if (c == '\\' && escapes) {
      out += word[++i];
    } else if (c == '"') {
      quote = quote == '"' ? 0 : '"';
    } else if (c == '\'' && quote == 0) {
      quote = '\'';
    } else {
      out += c;
    }
  }
  return out;
}

std::string ShellQuoted(const std::string& word) {
  std::string out;
  for (char c : word) {
    auto byte = static_cast<unsigned char>(c);
    bool plain = std::isalnum(byte) != 0 || byte >= 0x80 || (c != 0 && std::strchr("@%+,./:=_-", c) != nullptr);
    if (!plain) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace rcpstore::cli
