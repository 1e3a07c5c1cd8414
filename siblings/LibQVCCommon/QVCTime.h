// The family's clock: signed 32-bit calendar seconds.
#pragma once

#include <cstdint>

// The current time; also stored through t when it is not null.
int32_t QVCTime(int32_t* t);

namespace qvcommon::testing {
// Makes QVCTime answer the given time until called with nullptr, so that
// tests can compare the files an operation writes byte for byte. For tests
// only.
void FreezeClock(const int32_t* at);
}  // namespace qvcommon::testing
