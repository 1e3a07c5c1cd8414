// The one table that turns errno values into the platform's error codes.
#pragma once

#include <cstdint>

namespace qvplatform {

uint32_t Win32FromErrno(int err);

// The errno value of the calling thread, mapped.
uint32_t LastWin32Error();

}  // namespace qvplatform
