// The platform's file constants (attributes, share modes, dispositions) over
// its type names (LibQVBRcpEpa/Win32Types.h); the error codes are the store's
// result codes.
#pragma once

#include <cstdint>
#include <cstddef>

#include "LibQVBRcpEpa/ResultCodes.h"
#include "LibQVBRcpEpa/Win32Types.h"

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

constexpr uint32_t FILE_SHARE_READ = 0x1;
constexpr uint32_t FILE_SHARE_WRITE = 0x2;
constexpr uint32_t FILE_SHARE_DELETE = 0x4;
constexpr uint32_t FILE_GENERIC_READ_ACCESS = 0x80000000;   // GENERIC_READ
constexpr uint32_t FILE_GENERIC_WRITE_ACCESS = 0x40000000;  // GENERIC_WRITE
constexpr uint32_t CREATE_NEW = 1;
constexpr uint32_t CREATE_ALWAYS = 2;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t TRUNCATE_EXISTING = 5;
constexpr uint32_t FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
