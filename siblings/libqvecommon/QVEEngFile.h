// Files and directories of the engineering tools. The report flag 1 makes a
// failure leave a failure record; 0 keeps it silent.
#pragma once

#include <cstdint>

#include "QVFramework.h"
#include "platform/Win32Types.h"

// Opens or creates a file or directory with the platform's access, share
// mode and creation disposition (share modes emulated, see ShareMode.h). A
// directory opens only with FILE_FLAG_BACKUP_SEMANTICS.
uint32_t QVEEngCreateFile(const char* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                          uint32_t flags, void* templateFile, HANDLE* handle, int report);
uint32_t QVEEngCloseFile(HANDLE handle, int report);

// 0 when the directory exists afterwards (a link to one does not count).
uint32_t QVEEngCreateDir(const char* path, int report);
// The same, creating missing parents too.
uint32_t QVEEngCreateDir2(const char* path, int report);

// Deletes one file; refuses (32) one that is held.
uint32_t QVEEngDeleteFile(const char* path, int report, int flag);
// Deletes a file or a directory with everything below it, or everything that
// a wildcard pattern in the last component matches (without regard to
// case). Refuses (32), deleting nothing, when a file below is held. A link
// met on the way, or named by the path, is removed itself, never entered.
uint32_t QVEEngDeleteRecursive(const char* pathOrPattern, int report, int flag);

// Renames to a name that does not exist yet; refuses (32) a held file, or a
// directory below which a file is held.
uint32_t QVEEngRenameFile(const char* from, const char* to, int report);
uint32_t QVEEngRenameDir(const char* from, const char* to, int report);

// The full paths of every file below the directory (links not entered).
uint32_t QVEEngListFileRecursive(const char* directory, CStringArray& files);

// Copies a file, replacing the destination in one durable step (flags: 1, 1).
uint32_t QVEEngCopyFile(const char* source, const char* destination, int replace, int report);

// The full paths of the files that a wildcard pattern's last component
// matches (without regard to case), in ascending name order.
uint32_t QVEEngListFile(const char* pattern, CStringArray& files);
