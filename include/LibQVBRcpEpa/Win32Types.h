// The platform's type names that the family's public classes carry in their
// members and arguments: handles, directory entries, security descriptors
// and registry keys. The platform layer declares its calls on these types;
// a program that uses the classes needs only the names.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using BOOL = int;
using WCHAR = wchar_t;

constexpr uint32_t MAX_PATH = 260;

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

// A security identifier and an access list, in the layouts the platform's
// security calls build and walk.
using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;
struct ACL;
using PACL = ACL*;

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
};

// The absolute form of a security descriptor: the parts are pointers to the
// caller's buffers.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
};

struct SECURITY_ATTRIBUTES {
  DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
  PSECURITY_DESCRIPTOR lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = 0;
};

// An open key of the station registry.
struct RegKeyHandle;
using HKEY = RegKeyHandle*;
