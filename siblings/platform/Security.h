// Security identifiers, access lists and security descriptors: the byte
// layouts that callers build and that the station registry reads and hands
// out, with the calls that build and walk them.
//
// A SID names one account: revision 1, the account's kind (SID_NAME_USE),
// the name's length (16 bits) and the name's bytes, padded with zeros to a
// multiple of 4 bytes. An ACL is an 8-byte header (revision, size, entry
// count) followed by its entries, each an ACE_HEADER, an access mask and the
// SID. Every size is a multiple of 4, so every entry stays aligned. All
// numbers are in the machine's byte order: these layouts live in memory only
// and are never stored.
//
// Every call checks each size it meets against the buffer it was given; a
// FALSE result leaves the reason in GetLastError().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Win32Types.h"

using ACCESS_MASK = uint32_t;
using SECURITY_INFORMATION = uint32_t;

constexpr uint32_t OWNER_SECURITY_INFORMATION = 1;
constexpr uint32_t DACL_SECURITY_INFORMATION = 4;

constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_INVALID_ACL = 1336;
constexpr uint32_t ERROR_INVALID_SID = 1337;
constexpr uint32_t ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr uint32_t ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;
constexpr uint32_t ERROR_UNKNOWN_REVISION = 1305;

constexpr BYTE SID_REVISION = 1;
// The longest account name a SID can carry, and so the largest SID.
constexpr DWORD QV_MAX_ACCOUNT_NAME = 256;
constexpr DWORD QV_MAX_SID_SIZE = 4 + QV_MAX_ACCOUNT_NAME;

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
constexpr DWORD ACL_REVISION = 2;
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;

// An allow entry; its SID starts at SidStart and runs to the entry's end.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};

enum ACL_INFORMATION_CLASS { AclRevisionInformation = 1, AclSizeInformation };
struct ACL_REVISION_INFORMATION {
  DWORD AclRevision;
};
struct ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
};

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_DEFAULTED = 0x0008;
constexpr WORD SE_SELF_RELATIVE = 0x8000;

// The self-relative form, one block: the parts follow the header at the
// given offsets (0: absent). RegGetKeySecurity hands this form out.
struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
BOOL IsValidSid(PSID sid);
// 0 for a SID that is not valid.
DWORD GetLengthSid(PSID sid);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
// Inserts length bytes of whole entries before entry startIndex (MAXDWORD:
// at the end).
BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, void* aceList, DWORD length);
BOOL GetAce(PACL acl, DWORD index, void** ace);
BOOL GetAclInformation(PACL acl, void* information, DWORD length, ACL_INFORMATION_CLASS kind);
// The absolute form only.
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl, BOOL defaulted);
// Either form.
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* acl, BOOL* defaulted);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);

namespace qvplatform {

// One allow entry as the registry keeps it: an account and its access mask.
struct AccessEntry {
  std::string account;
  uint32_t mask = 0;
};

// A key's owner and access list, or no list at all (everyone has full access).
struct KeySecurity {
  std::string owner;
  bool hasDacl = false;
  std::vector<AccessEntry> dacl;
};

// Writes the SID of an account into sid (room: *size bytes; out: the SID's
// size). ERROR_INSUFFICIENT_BUFFER when it does not fit, ERROR_INVALID_SID
// for an empty or too long name.
uint32_t MakeSid(const std::string& account, SID_NAME_USE kind, PSID sid, DWORD* size);
// The account a valid SID names.
std::string SidAccount(PSID sid);

// The owner and access list of a descriptor in either form, every part
// checked; ERROR_INVALID_SECURITY_DESCR, ERROR_INVALID_SID or
// ERROR_INVALID_ACL when one is not valid.
uint32_t ReadDescriptor(PSECURITY_DESCRIPTOR descriptor, KeySecurity* security);
// The parts named by information in self-relative form into buffer (room:
// *size bytes; out: the size needed). ERROR_INSUFFICIENT_BUFFER when it
// does not fit; ERROR_INVALID_SID or ERROR_INVALID_ACL when an account name
// or the list cannot be carried by the layouts.
uint32_t WriteDescriptor(const KeySecurity& security, SECURITY_INFORMATION information, void* buffer, DWORD* size);

}  // namespace qvplatform
