// Existence and duplicate tests shared by the group and recipe operations.
#pragma once

#include <cstdint>

#include "QVFramework.h"
#include "platform/Env.h"

namespace rcpcheck {

// The access and sharing with which the store tests that something exists.
constexpr unsigned long kReadAccess = 0x80000000;
constexpr unsigned long kShareReadWrite = 3;

// True when the file (or, with directory, the directory) can be opened.
bool Exists(const CString& path, bool directory);

// 0 when nothing exists at path; otherwise records text (message 9168, the
// source file name given) and returns 0x20000106.
uint32_t Duplicate(const CString& path, bool directory, const char* source, const char* text);

// What its directory lists at path, matched without regard to case: a link
// is kOther and never followed. False when nothing stands there.
bool ListedType(const CString& path, qvplatform::EntryType* type);

}  // namespace rcpcheck
