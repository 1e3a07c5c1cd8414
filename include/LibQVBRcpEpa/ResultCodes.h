// The result codes of the store: 0 for success, the system's error codes
// as the family's callers know them, and the codes of the family's common
// layer and of the store itself. Every Failure carries one.
#pragma once

#include <cstdint>

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_WRITE_PROTECT = 19;
constexpr uint32_t ERROR_WRITE_FAULT = 29;
constexpr uint32_t ERROR_READ_FAULT = 30;
constexpr uint32_t ERROR_GEN_FAILURE = 31;
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t ERROR_DIRECTORY = 267;
constexpr uint32_t ERROR_CANT_ACCESS_FILE = 1920;

// The family's common layer.
constexpr uint32_t QVC_ERR_ACCOUNT = 0x20000004;          // account, access list or local group
constexpr uint32_t QVC_ERR_EXISTS = 0x20000106;           // the item to be created exists
constexpr uint32_t QVC_ERR_TEXT_FILE_OPEN = 0x20000107;   // a text file cannot be opened
constexpr uint32_t QVC_ERR_CANNOT_EXECUTE = 0x2000010a;   // a request that cannot be carried out
constexpr uint32_t QVC_ERR_REGISTRY_CREATE = 0x2000010d;  // a registry key cannot be created
constexpr uint32_t QVC_ERR_NOT_FOUND = 0x20000116;        // a sub-group or item was not found

// Result codes of the recipe store.
constexpr uint32_t QVERCP_ERR_INVALID_NAME = 0x20200001;  // invalid directory name or file extension
constexpr uint32_t QVERCP_ERR_LOCKED = 0x20200003;        // lock held by another station
constexpr uint32_t QVERCP_ERR_NOT_LOCKED = 0x20200005;    // unlock without a lock
constexpr uint32_t QVERCP_ERR_ALREADY_LOCKED = 0x20200006;  // the lock object already holds a lock
