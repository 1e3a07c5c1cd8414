// Result codes of the family's common layer.
#pragma once

#include <cstdint>

constexpr uint32_t QVC_ERR_ACCOUNT = 0x20000004;          // account, access list or local group
constexpr uint32_t QVC_ERR_EXISTS = 0x20000106;           // the item to be created exists
constexpr uint32_t QVC_ERR_TEXT_FILE_OPEN = 0x20000107;   // a text file cannot be opened
constexpr uint32_t QVC_ERR_CANNOT_EXECUTE = 0x2000010a;   // a request that cannot be carried out
constexpr uint32_t QVC_ERR_REGISTRY_CREATE = 0x2000010d;  // a registry key cannot be created
constexpr uint32_t QVC_ERR_NOT_FOUND = 0x20000116;        // a sub-group or item was not found
