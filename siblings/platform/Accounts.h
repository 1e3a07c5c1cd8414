// Accounts of the station: OS users from the system's user database, local
// groups (with "Administrators") from the station registry, and "Everyone".
#pragma once

#include <cstdint>

#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/Win32Types.h"

using UINT = unsigned;
using NET_API_STATUS = DWORD;

constexpr NET_API_STATUS NERR_Success = 0;
constexpr NET_API_STATUS ERROR_BAD_NETPATH = 53;
constexpr NET_API_STATUS ERROR_INVALID_LEVEL = 124;
constexpr NET_API_STATUS NERR_UserExists = 2224;
constexpr DWORD LOCALGROUP_NAME_PARMNUM = 1;
constexpr DWORD LOCALGROUP_COMMENT_PARMNUM = 5;

// Looks an account up on this computer (systemName null or its name). The
// SID goes into sid (room: *cbSid bytes) and the domain, NUL-terminated, into
// domain (room: *cchDomain characters): this computer's name for users and
// local groups, "BUILTIN" for Administrators, empty for Everyone. On success
// *cbSid is the SID's size and *cchDomain the domain's length. When either
// does not fit: FALSE, ERROR_INSUFFICIENT_BUFFER, and both sizes say what is
// needed (the domain's with its NUL). An unknown account: FALSE,
// ERROR_NONE_MAPPED, the sizes untouched. When the station registry cannot
// be read: FALSE with its code, and both sizes 0.
BOOL LookupAccountNameA(const char* systemName, const char* accountName, PSID sid, DWORD* cbSid, char* domain,
                        DWORD* cchDomain, SID_NAME_USE* use);

struct LOCALGROUP_INFO_0 {
  WCHAR* lgrpi0_name;
};
struct LOCALGROUP_INFO_1 {
  WCHAR* lgrpi1_name;
  WCHAR* lgrpi1_comment;
};

// Creates a local group (information level 0 or 1) on this computer
// (serverName null; another computer is ERROR_BAD_NETPATH). Administrators only. ERROR_ALIAS_EXISTS when a group or
// well-known account has the name, NERR_UserExists when a user has it;
// ERROR_INVALID_PARAMETER (and the field in *parmErr) for a name that is
// empty, too long or holds a control character or a backslash, or a comment
// over 255 characters.
NET_API_STATUS NetLocalGroupAdd(const WCHAR* serverName, DWORD level, BYTE* buf, DWORD* parmErr);

// The station's code page is taken byte for byte: each byte becomes the wide
// character of the same value, so that names convert back unchanged.
constexpr UINT CP_ACP = 0;
// srcLength -1: up to and with the NUL. Returns the characters written, or
// with dstLength 0 the characters needed; 0 and ERROR_INSUFFICIENT_BUFFER
// when they do not fit.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, WCHAR* dst, int dstLength);
