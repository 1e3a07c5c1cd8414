// Path helpers of the engineering tools.
#pragma once

#include <cstdint>

#include "QVFramework.h"

// Joins name to path with exactly one '/', leaving the result in path and
// returning it. An empty name leaves the path ending in one '/'; a name
// joined to an empty path is the name alone.
CString QVEEngCatPath(CString& path, const char* name);

// The path (null: empty) joined with name as QVEEngCatPath joins them; the
// path itself is left as it is.
CString QVEEngJoinPath(const char* path, const char* name);

// Mode 1: the directory part and the last component of path (trailing
// separators ignored). 0 on success; ERROR_INVALID_NAME for a path with no
// component, ERROR_INVALID_PARAMETER for another mode.
uint32_t QVEEngSplitFilePath(const char* path, int mode, CString& directory, CString& name);
