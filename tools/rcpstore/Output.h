// What the command line prints: failures, JSON text, code meanings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Failure.h"

namespace rcpstore::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Prints "rcpstore: <what>: <cause> (error 0x%08X)" to stderr; returns 1.
int ReportFailure(const std::string& what, const Failure& failure);

// Runs the body of a command; a Failure is reported against what and gives 1.
int Run(const std::string& what, const std::function<int()>& body);

// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);

}  // namespace rcpstore::cli
