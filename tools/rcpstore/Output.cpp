#include "Output.h"

#include <cstdio>

#include "LibQVBRcpEpa.h"
#include "platform/Win32Types.h"

namespace rcpstore {

namespace {

struct Meaning {
  uint32_t code;
  const char* text;
};

constexpr Meaning kMeanings[] = {
    {QVERCP_ERR_INVALID_NAME, "invalid directory name or file extension"},
    {QVERCP_ERR_LOCKED, "locked by another station"},
    {QVERCP_ERR_NOT_LOCKED, "not locked"},
    {QVERCP_ERR_ALREADY_LOCKED, "already locked by this object"},
    {QVC_ERR_ACCOUNT, "account, access list or local group operation failed"},
    {QVC_ERR_EXISTS, "already exists"},
    {QVC_ERR_TEXT_FILE_OPEN, "text file cannot be opened"},
    {QVC_ERR_CANNOT_EXECUTE, "request cannot be carried out"},
    {QVC_ERR_REGISTRY_CREATE, "registry key cannot be created"},
    {QVC_ERR_NOT_FOUND, "sub-group or item not found"},
    {ERROR_FILE_NOT_FOUND, "file not found"},
    {ERROR_PATH_NOT_FOUND, "path not found"},
    {ERROR_TOO_MANY_OPEN_FILES, "too many open files"},
    {ERROR_ACCESS_DENIED, "access denied"},
    {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {ERROR_GEN_FAILURE, "input/output failure"},
    {ERROR_SHARING_VIOLATION, "in use by another process"},
    {ERROR_NOT_SUPPORTED, "not supported"},
    {ERROR_INVALID_PARAMETER, "invalid parameter"},
    {ERROR_DISK_FULL, "disk full"},
    {ERROR_INVALID_NAME, "invalid name"},
    {ERROR_DIR_NOT_EMPTY, "directory not empty"},
    {ERROR_ALREADY_EXISTS, "already exists"},
    {ERROR_FILENAME_EXCED_RANGE, "name too long"},
    {ERROR_DIRECTORY, "not a directory"},
    {1392, "the file is damaged or not of the expected format"},
};

// Length of the UTF-8 sequence at p (at most n bytes), or 0 when invalid.
size_t Utf8Length(const unsigned char* p, size_t n) {
  size_t len = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : 0;
  if (len == 0 || len > n) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

std::string CodeMeaning(uint32_t code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  return "failure";
}

void Fail(const std::string& cause, uint32_t code) { throw Failure{cause, code}; }

void Check(uint32_t rc) {
  if (rc != 0) Fail(CodeMeaning(rc), rc);
}

void Check(uint32_t rc, const std::string& cause) {
  if (rc != 0) Fail(cause, rc);
}

void CheckAbsent(uint32_t rc, const std::string& name) {
  if (rc == QVC_ERR_EXISTS) Fail(name + " already exists", rc);
  Check(rc);
}

int ReportFailure(const std::string& what, const Failure& failure) {
  std::fprintf(stderr, "rcpstore: %s: %s (error 0x%08X)\n", what.c_str(), failure.cause.c_str(), failure.code);
  return kExitFailure;
}

int Run(const std::string& what, const std::function<int()>& body) {
  try {
    return body();
  } catch (const Failure& failure) {
    std::fflush(stdout);
    return ReportFailure(what, failure);
  }
}

void AppendJsonString(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c >= 0x80) {
      size_t len = Utf8Length(p + i, n - i);
      if (len > 0) {
        out.append(text, i, len);
        i += len;
        continue;
      }
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

}  // namespace rcpstore

namespace rcpstore {

void JsonObject::Key(const char* key) {
  if (text_.size() > 1) text_ += ',';
  AppendJsonString(text_, key);
  text_ += ':';
}

JsonObject& JsonObject::Field(const char* key, const std::string& value) {
  Key(key);
  AppendJsonString(text_, value);
  return *this;
}

JsonObject& JsonObject::Field(const char* key, int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Field(const char* key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Field(const char* key, const std::vector<std::string>& values) {
  Key(key);
  text_ += '[';
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) text_ += ',';
    AppendJsonString(text_, values[i]);
  }
  text_ += ']';
  return *this;
}

JsonObject& JsonObject::Raw(const char* key, const std::string& json) {
  Key(key);
  text_ += json;
  return *this;
}

int PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return kExitOk;
}

}  // namespace rcpstore

namespace rcpstore {

int PrintFree(const int32_t* table, int size, bool json, bool ranges) {
  std::vector<int> free;
  for (int i = 0; i < size; ++i) {
    if (table[i] == 1) free.push_back(i + 1);
  }
  if (free.empty()) Fail("no free number: all " + std::to_string(size) + " are in use", QVC_ERR_CANNOT_EXECUTE);
  std::string out = json ? "[" : "";
  for (size_t i = 0; i < free.size(); ++i) {
    if (json) {
      out += (i > 0 ? "," : "") + std::to_string(free[i]);
      continue;
    }
    size_t end = i;
    while (ranges && end + 1 < free.size() && free[end + 1] == free[end] + 1) ++end;
    out += (out.empty() ? "" : " ") + std::to_string(free[i]) + (end > i ? "-" + std::to_string(free[end]) : "");
    i = end;
  }
  return PrintLine(json ? out + "]" : out);
}

}  // namespace rcpstore
