// Directory listing with a callback per entry.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32Types.h"

constexpr unsigned QVEENG_LIST_FILES = 1;
constexpr unsigned QVEENG_LIST_DIRS = 2;

// The listing order: names ascending without regard to case, names that
// differ only in case in byte order.
bool QVEEngNameBefore(const std::string& a, const std::string& b);

// Called once per listed entry: entry type (1 file, 2 directory), depth (1 for
// an entry of the listed directory, one more per level below), the directory
// that holds it, its name without the extension, its extension with the dot
// (empty when none), its find data, and the caller's context. Return 1 to go
// on (and to enter a directory in a recursive listing), 0 not to enter it.
using QVEEngListCallback = int (*)(unsigned type, unsigned depth, const char* directory, const char* name,
                                   const char* extension, WIN32_FIND_DATAA* findData, void* context);

// Lists the entries that match pattern ("DIR/*", "DIR/RcpPT*.edf"; the
// wildcard part matches without regard to case) and that the selector asks
// for (bit 1 files, bit 2 directories), in ascending name order without
// regard to case. A directory's callback comes before its entries. With
// recursion, a selected directory is entered when its callback returns
// non-zero and an unselected one always; symbolic links are never followed.
// Returns 0, or the failure to read the listed directory.
uint32_t QVEEngListFile2(int recursive, const char* pattern, unsigned selector, QVEEngListCallback callback,
                         void* context);
