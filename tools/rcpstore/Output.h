// What the command line prints: failures, JSON text, code meanings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rcpstore {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A short meaning of a result code.
std::string CodeMeaning(uint32_t code);

// Prints "rcpstore: <what>: error 0x%08X: <meaning>" to stderr; returns 1.
int ReportFailure(const std::string& what, uint32_t code);

// The exit status of an operation's result: 0, or 1 with the failure printed.
int ExitFor(const std::string& what, uint32_t code);

// Appends text as a JSON string literal. Bytes that are not UTF-8 are taken
// as Latin-1, so that any stored name gives valid JSON.
void AppendJsonString(std::string& out, const std::string& text);

}  // namespace rcpstore

namespace rcpstore {

// Builds one JSON object, field by field.
class JsonObject {
 public:
  JsonObject& Field(const char* key, const std::string& value);
  JsonObject& Field(const char* key, const char* value) { return Field(key, std::string(value)); }
  JsonObject& Field(const char* key, int64_t value);
  JsonObject& Field(const char* key, bool value);
  JsonObject& Field(const char* key, const std::vector<std::string>& values);
  JsonObject& Raw(const char* key, const std::string& json);
  std::string Text() const { return text_ + "}"; }

 private:
  void Key(const char* key);
  std::string text_ = "{";
};

// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);

}  // namespace rcpstore
