// What the command line prints: failures, JSON text, code meanings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rcpstore {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A short meaning of a result code.
std::string CodeMeaning(uint32_t code);

// Why a command cannot go on: the cause in words and the result code. Thrown
// by the checks and operations of a command and reported by Run.
struct Failure {
  std::string cause;
  uint32_t code;
};

[[noreturn]] void Fail(const std::string& cause, uint32_t code);
// Fails with the code's meaning (or the given cause) when rc is not 0.
void Check(uint32_t rc);
void Check(uint32_t rc, const std::string& cause);

// The result of a duplicate check: "<name> already exists" when it found one.
void CheckAbsent(uint32_t rc, const std::string& name);

// Prints "rcpstore: <what>: <cause> (error 0x%08X)" to stderr; returns 1.
int ReportFailure(const std::string& what, const Failure& failure);

// Runs the body of a command; a Failure is reported against what and gives 1.
int Run(const std::string& what, const std::function<int()>& body);

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

// Prints the free numbers of a free-number table ("1-3 5 7-1000" with
// ranges, else "1 2 3 5"), or a JSON array. A full table is a failure.
int PrintFree(const int32_t* table, int size, bool json, bool ranges);

// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);

}  // namespace rcpstore
