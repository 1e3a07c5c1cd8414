// The platform's file move and its last-error code.
#pragma once

#include <string>

#include "platform/Win32Types.h"

// Moves a file or directory to a new name that does not exist yet. Refuses
// (sharing violation) to move a file that is held, or a directory below which
// a file is held. FALSE on failure, with the reason in GetLastError().
BOOL MoveFileA(const char* from, const char* to);

DWORD GetLastError();
void SetLastError(DWORD code);

namespace qvplatform {
// The same move, returning its result code.
uint32_t MoveExclusive(const std::string& from, const std::string& to);
}  // namespace qvplatform
