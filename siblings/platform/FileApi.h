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

// Reads and writes through a handle of the share-mode emulation, at its
// current position.
BOOL WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written, void* overlapped);
BOOL ReadFile(HANDLE handle, void* data, DWORD size, DWORD* read, void* overlapped);
// The file's size (low 32 bits; the high ones through high when not null).
DWORD GetFileSize(HANDLE handle, DWORD* high);
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
DWORD SetFilePointer(HANDLE handle, int32_t distance, int32_t* high, DWORD method);
// Cuts the file at the current position.
BOOL SetEndOfFile(HANDLE handle);
