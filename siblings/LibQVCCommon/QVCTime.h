// The family's clock: signed 32-bit calendar seconds.
#pragma once

#include <cstdint>
#include <string>

// The current time; also stored through t when it is not null.
int32_t QVCTime(int32_t* t);

// The current time in UTC as ISO 8601 text ("2026-12-06T19:20:00Z").
std::string QVCUtcNow();

namespace qvcommon::testing {
// Makes QVCTime answer the given time until called with nullptr, so that
// tests can compare the files an operation writes byte for byte. For tests
// only.
void FreezeClock(const int32_t* at);
}  // namespace qvcommon::testing
