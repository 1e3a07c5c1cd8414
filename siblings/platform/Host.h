// The identity of this computer.
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace qvplatform {
// The host name, at most 255 characters; "localhost" when it has none.
std::string ComputerName();
}  // namespace qvplatform

// Stores the computer name in buf (size in: the buffer's size; out: the
// name's length). FALSE with ERROR_BUFFER_OVERFLOW when it does not fit.
BOOL GetComputerNameA(char* buf, DWORD* size);

// Stores the logon name of the current user in buf (size in: the buffer's
// size; out: the name's length with its terminating zero).
BOOL GetUserNameA(char* buf, DWORD* size);
