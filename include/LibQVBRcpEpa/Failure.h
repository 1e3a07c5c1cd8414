// Why a store operation cannot go on: the cause in words and the result
// code. Every function of the store's API that checks, locks or changes
// something throws it; nothing is left half done when it is thrown. The
// cause is printable as it stands: a text from disk or from another user in
// it (a path, a sub-group name, a lock holder's text) is escaped with
// Printable where the cause is made, so that a wrapping cause never escapes
// it twice.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/ResultCodes.h"

namespace rcpstore {

struct RCPSTORE_API Failure : std::exception {
  Failure(std::string causeText, uint32_t resultCode) : cause(std::move(causeText)), code(resultCode) {}
  const char* what() const noexcept override { return cause.c_str(); }

  std::string cause;
  uint32_t code;
};

// A short meaning of a result code ("access denied", "locked by another process").
RCPSTORE_API std::string CodeMeaning(uint32_t code);

[[noreturn]] RCPSTORE_API void Fail(const std::string& cause, uint32_t code);
// Fails with the code's meaning (or the given cause) when rc is not 0.
RCPSTORE_API void Check(uint32_t rc);
RCPSTORE_API void Check(uint32_t rc, const std::string& cause);
// The result of a duplicate check: "<name> already exists" when it found one.
RCPSTORE_API void CheckAbsent(uint32_t rc, const std::string& name);

}  // namespace rcpstore
