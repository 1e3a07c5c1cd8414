// The family's clock: signed 32-bit calendar seconds.
#pragma once

#include <cstdint>

// The current time; also stored through t when it is not null.
int32_t QVCTime(int32_t* t);
