// The platform's handle and directory-entry names (the error codes are
// the store's result codes), as the
// family's callers know them.
#pragma once

#include <cstdint>
#include <cstddef>

#include "LibQVBRcpEpa/ResultCodes.h"

using DWORD = uint32_t;
using BOOL = int;

constexpr uint32_t MAX_PATH = 260;

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

// One directory entry as a listing reports it. Directory entries carry the
// attributes and the name only; file entries also the last-write time and size.
struct WIN32_FIND_DATAA {
  uint32_t dwFileAttributes = 0;
  int32_t ftLastWriteTime = 0;  // calendar seconds
  uint64_t nFileSize = 0;
  char cFileName[MAX_PATH] = {};
};

// An open file or directory of the share-mode emulation.
using HANDLE = void*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

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
