#include "Json.h"

#include <cstdio>

#include "RcpJsonText.h"

namespace rcpstore::cli {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

Json JsonText(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
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
  return Json(out);
}

std::string JsonBytes(const std::string& jsonText) {
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

int PrintJson(const Json& value) {
  std::printf("%s\n", value.dump().c_str());
  return 0;
}

}  // namespace rcpstore::cli
