#include "RcpJsonText.h"

#include "LibQVBRcpEpa/JsonText.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr char kHex[] = "0123456789abcdef";

void AppendHex(std::string& out, const char* prefix, unsigned char byte) {
  out += prefix;
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

void AppendAscii(std::string& out, char c) {
  if (c == '"' || c == '\\') {
    out += '\\';
    out += c;
  } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
    AppendHex(out, "\\u00", static_cast<unsigned char>(c));
  } else {
    out += c;
  }
}

}  // namespace

namespace rcpjson {

size_t Utf8Length(const unsigned char* p, size_t n) {
  if (p[0] < 0x80) return 1;
  size_t len = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 && p[0] <= 0xEF ? 3 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : 0;
  if (len == 0 || len > n) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points above U+10FFFF are invalid.
  if (len == 3 && ((p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xED && p[1] >= 0xA0))) return 0;
  if (len == 4 && ((p[0] == 0xF0 && p[1] < 0x90) || (p[0] == 0xF4 && p[1] >= 0x90))) return 0;
  return len;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0, n = text.size(); i < n;) {
    size_t len = Utf8Length(p + i, n - i);
    if (len == 0) {
      AppendHex(out, "\\u0000", p[i++]);
    } else if (len == 1) {
      AppendAscii(out, text[i++]);
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out + "\"";
}

}  // namespace rcpjson

namespace rcpstore {

std::string JsonEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    size_t len = rcpjson::Utf8Length(p + i, n - i);
    if (len == 0) {
      out += '\0';
      out += kHex[p[i] >> 4];
      out += kHex[p[i] & 0x0F];
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string JsonUnescaped(const std::string& jsonText) {
  std::string out;
  out.reserve(jsonText.size());
  for (size_t i = 0; i < jsonText.size(); ++i) {
    int hi = i + 2 < jsonText.size() ? HexValue(jsonText[i + 1]) : -1;
    int lo = i + 2 < jsonText.size() ? HexValue(jsonText[i + 2]) : -1;
    if (jsonText[i] == '\0' && hi >= 0 && lo >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += jsonText[i];
    }
  }
  return out;
}

}  // namespace rcpstore
