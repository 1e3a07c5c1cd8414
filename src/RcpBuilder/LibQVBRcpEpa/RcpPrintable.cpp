#include "LibQVBRcpEpa/Printable.h"

#include "RcpJsonText.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscape(std::string& out, const char* prefix, unsigned char value) {
  out += prefix;
  out += kHex[value >> 4];
  out += kHex[value & 0x0F];
}

bool IsC0OrDel(unsigned char c) { return c < 0x20 || c == 0x7F; }

// U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
bool IsC1(const unsigned char* p, size_t len) { return len == 2 && p[0] == 0xC2 && p[1] < 0xA0; }

}  // namespace

namespace rcpstore {

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0, n = text.size(); i < n;) {
    size_t len = rcpjson::Utf8Length(p + i, n - i);
    if (len == 0 || (len == 1 && IsC0OrDel(p[i]))) {
      AppendEscape(out, "\\x", p[i]);
      len = 1;
    } else if (IsC1(p + i, len)) {
      AppendEscape(out, "\\u00", p[i + 1]);
    } else if (p[i] == '\\') {
      out += "\\\\";
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out;
}

}  // namespace rcpstore
