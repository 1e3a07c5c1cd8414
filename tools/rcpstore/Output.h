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

// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);

}  // namespace rcpstore
