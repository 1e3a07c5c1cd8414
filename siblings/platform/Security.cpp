#include "platform/Security.h"

#include <cstring>

#include "platform/FileApi.h"

namespace {

constexpr DWORD kSidHeader = 4;
constexpr DWORD kAclHeader = sizeof(ACL);
constexpr DWORD kAceHeader = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
constexpr DWORD kMaxAclSize = 0xFFFF;

BOOL Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

DWORD RoundUp4(DWORD n) { return (n + 3) & ~DWORD{3}; }

WORD NameLength(const BYTE* sid) {
  WORD length;
  std::memcpy(&length, sid + 2, sizeof length);
  return length;
}

// The SID's size when its header is valid, else 0. The header alone decides
// the size; the bytes it covers are the caller's to provide.
DWORD SidSize(const void* sid) {
  if (sid == nullptr) return 0;
  const auto* bytes = static_cast<const BYTE*>(sid);
  WORD length = NameLength(bytes);
  if (bytes[0] != SID_REVISION || length == 0 || length > QV_MAX_ACCOUNT_NAME) return 0;
  if (bytes[1] < SidTypeUser || bytes[1] > SidTypeUnknown) return 0;
  return kSidHeader + RoundUp4(length);
}

// The SID of a well-formed entry of size bytes, else 0: the entry must be an
// allow entry whose SID fills it exactly.
bool ValidAce(const BYTE* ace, DWORD room) {
  if (room < kAceHeader + kSidHeader) return false;
  ACE_HEADER header;
  std::memcpy(&header, ace, sizeof header);
  if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || header.AceSize < kAceHeader + kSidHeader ||
      header.AceSize > room || header.AceSize % 4 != 0) {
    return false;
  }
  return SidSize(ace + kAceHeader) == header.AceSize - kAceHeader;
}

WORD AceSizeAt(const BYTE* ace) {
  ACE_HEADER header;
  std::memcpy(&header, ace, sizeof header);
  return header.AceSize;
}

// The bytes in use of a valid list, else 0.
DWORD BytesInUse(const ACL* acl) {
  if (acl == nullptr || acl->AclRevision != ACL_REVISION || acl->AclSize < kAclHeader) return 0;
  const auto* bytes = reinterpret_cast<const BYTE*>(acl);
  DWORD used = kAclHeader;
  for (WORD i = 0; i < acl->AceCount; ++i) {
    if (!ValidAce(bytes + used, acl->AclSize - used)) return 0;
    used += AceSizeAt(bytes + used);
  }
  return used;
}

// The offset of entry index (index == count: the end) of a valid list.
DWORD OffsetOf(const ACL* acl, DWORD index) {
  const auto* bytes = reinterpret_cast<const BYTE*>(acl);
  DWORD offset = kAclHeader;
  for (DWORD i = 0; i < index; ++i) offset += AceSizeAt(bytes + offset);
  return offset;
}

// Counts the whole entries of a list of entries, 0 when it is not one.
DWORD CountEntries(const BYTE* list, DWORD length) {
  DWORD count = 0;
  for (DWORD offset = 0; offset < length; ++count) {
    if (!ValidAce(list + offset, length - offset)) return 0;
    offset += AceSizeAt(list + offset);
  }
  return count;
}

// The descriptor's owner and list, whichever its form.
bool PartsOf(const void* descriptor, PSID* owner, PACL* dacl, WORD* control) {
  if (descriptor == nullptr) return false;
  // Both forms begin with the revision and the control bits.
  BYTE revision;
  std::memcpy(&revision, descriptor, sizeof revision);
  std::memcpy(control, static_cast<const BYTE*>(descriptor) + 2, sizeof *control);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return false;
  if ((*control & SE_SELF_RELATIVE) == 0) {
    const auto* absolute = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    *owner = absolute->Owner;
    *dacl = absolute->Dacl;
    return true;
  }
  SECURITY_DESCRIPTOR_RELATIVE relative;
  std::memcpy(&relative, descriptor, sizeof relative);
  auto* base = const_cast<BYTE*>(static_cast<const BYTE*>(descriptor));
  *owner = relative.Owner != 0 ? base + relative.Owner : nullptr;
  *dacl = relative.Dacl != 0 ? reinterpret_cast<PACL>(base + relative.Dacl) : nullptr;
  return true;
}

}  // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (descriptor == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  *static_cast<SECURITY_DESCRIPTOR*>(descriptor) = SECURITY_DESCRIPTOR{static_cast<BYTE>(revision), 0, 0,
                                                                        nullptr, nullptr, nullptr, nullptr};
  return 1;
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  if (acl == nullptr || length < kAclHeader || length > kMaxAclSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (revision != ACL_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  *acl = ACL{static_cast<BYTE>(revision), 0, static_cast<WORD>(length), 0, 0};
  return 1;
}

BOOL IsValidSid(PSID sid) { return SidSize(sid) != 0 ? 1 : 0; }

DWORD GetLengthSid(PSID sid) { return SidSize(sid); }

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  if (revision != ACL_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  DWORD used = BytesInUse(acl);
  if (used == 0) return Fail(ERROR_INVALID_ACL);
  DWORD sidSize = SidSize(sid);
  if (sidSize == 0) return Fail(ERROR_INVALID_SID);
  DWORD aceSize = kAceHeader + sidSize;
  if (aceSize > acl->AclSize - used || acl->AceCount == 0xFFFF) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  BYTE* ace = reinterpret_cast<BYTE*>(acl) + used;
  ACE_HEADER header{ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(aceSize)};
  std::memcpy(ace, &header, sizeof header);
  std::memcpy(ace + sizeof header, &mask, sizeof mask);
  std::memcpy(ace + kAceHeader, sid, sidSize);
  ++acl->AceCount;
  return 1;
}

BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, void* aceList, DWORD length) {
  if (revision != ACL_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  DWORD used = BytesInUse(acl);
  if (used == 0) return Fail(ERROR_INVALID_ACL);
  if (aceList == nullptr || length == 0) return Fail(ERROR_INVALID_PARAMETER);
  DWORD added = CountEntries(static_cast<const BYTE*>(aceList), length);
  if (added == 0) return Fail(ERROR_INVALID_PARAMETER);
  if (length > acl->AclSize - used || acl->AceCount + added > 0xFFFF) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  DWORD index = startIndex > acl->AceCount ? acl->AceCount : startIndex;
  BYTE* at = reinterpret_cast<BYTE*>(acl) + OffsetOf(acl, index);
  std::memmove(at + length, at, used - (at - reinterpret_cast<BYTE*>(acl)));
  std::memmove(at, aceList, length);
  acl->AceCount = static_cast<WORD>(acl->AceCount + added);
  return 1;
}

BOOL GetAce(PACL acl, DWORD index, void** ace) {
  if (ace == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (BytesInUse(acl) == 0) return Fail(ERROR_INVALID_ACL);
  if (index >= acl->AceCount) return Fail(ERROR_INVALID_PARAMETER);
  *ace = reinterpret_cast<BYTE*>(acl) + OffsetOf(acl, index);
  return 1;
}

BOOL GetAclInformation(PACL acl, void* information, DWORD length, ACL_INFORMATION_CLASS kind) {
  DWORD used = BytesInUse(acl);
  if (used == 0) return Fail(ERROR_INVALID_ACL);
  if (information == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (kind == AclSizeInformation) {
    if (length < sizeof(ACL_SIZE_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    ACL_SIZE_INFORMATION size{acl->AceCount, used, acl->AclSize - used};
    std::memcpy(information, &size, sizeof size);
    return 1;
  }
  if (kind == AclRevisionInformation) {
    if (length < sizeof(ACL_REVISION_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    ACL_REVISION_INFORMATION revision{acl->AclRevision};
    std::memcpy(information, &revision, sizeof revision);
    return 1;
  }
  return Fail(ERROR_INVALID_PARAMETER);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl, BOOL defaulted) {
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION || (sd->Control & SE_SELF_RELATIVE) != 0) {
    return Fail(ERROR_INVALID_SECURITY_DESCR);
  }
  sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  if (present) sd->Control |= SE_DACL_PRESENT;
  if (present && defaulted) sd->Control |= SE_DACL_DEFAULTED;
  sd->Dacl = present ? acl : nullptr;
  return 1;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* acl, BOOL* defaulted) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  WORD control = 0;
  if (present == nullptr || acl == nullptr || defaulted == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!PartsOf(descriptor, &owner, &dacl, &control)) return Fail(ERROR_INVALID_SECURITY_DESCR);
  *present = (control & SE_DACL_PRESENT) != 0 ? 1 : 0;
  *acl = *present ? dacl : nullptr;
  *defaulted = *present && (control & SE_DACL_DEFAULTED) != 0 ? 1 : 0;
  return 1;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  qvplatform::KeySecurity ignored;
  return qvplatform::ReadDescriptor(descriptor, &ignored) == 0 ? 1 : 0;
}

namespace qvplatform {

uint32_t MakeSid(const std::string& account, SID_NAME_USE kind, PSID sid, DWORD* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (account.empty() || account.size() > QV_MAX_ACCOUNT_NAME) return ERROR_INVALID_SID;
  const DWORD needed = kSidHeader + RoundUp4(static_cast<DWORD>(account.size()));
  const DWORD room = *size;
  *size = needed;
  if (sid == nullptr || room < needed) return ERROR_INSUFFICIENT_BUFFER;
  auto* bytes = static_cast<BYTE*>(sid);
  std::memset(bytes, 0, needed);
  bytes[0] = SID_REVISION;
  bytes[1] = static_cast<BYTE>(kind);
  const WORD length = static_cast<WORD>(account.size());
  std::memcpy(bytes + 2, &length, sizeof length);
  std::memcpy(bytes + kSidHeader, account.data(), account.size());
  return 0;
}

std::string SidAccount(PSID sid) {
  if (SidSize(sid) == 0) return std::string();
  const auto* bytes = static_cast<const BYTE*>(sid);
  return std::string(reinterpret_cast<const char*>(bytes + kSidHeader), NameLength(bytes));
}

uint32_t ReadDescriptor(PSECURITY_DESCRIPTOR descriptor, KeySecurity* security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  WORD control = 0;
  if (security == nullptr || !PartsOf(descriptor, &owner, &dacl, &control)) return ERROR_INVALID_SECURITY_DESCR;
  if (owner != nullptr && SidSize(owner) == 0) return ERROR_INVALID_SID;
  KeySecurity read;
  read.owner = owner != nullptr ? SidAccount(owner) : std::string();
  read.hasDacl = (control & SE_DACL_PRESENT) != 0 && dacl != nullptr;
  if (read.hasDacl) {
    if (BytesInUse(dacl) == 0) return ERROR_INVALID_ACL;
    const auto* bytes = reinterpret_cast<const BYTE*>(dacl);
    for (WORD i = 0; i < dacl->AceCount; ++i) {
      const BYTE* ace = bytes + OffsetOf(dacl, i);
      AccessEntry entry;
      std::memcpy(&entry.mask, ace + sizeof(ACE_HEADER), sizeof entry.mask);
      entry.account = SidAccount(const_cast<BYTE*>(ace + kAceHeader));
      read.dacl.push_back(std::move(entry));
    }
  }
  *security = std::move(read);
  return 0;
}

uint32_t WriteDescriptor(const KeySecurity& security, SECURITY_INFORMATION information, void* buffer, DWORD* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  const bool withOwner = (information & OWNER_SECURITY_INFORMATION) != 0 && !security.owner.empty();
  const bool withDacl = (information & DACL_SECURITY_INFORMATION) != 0 && security.hasDacl;
  DWORD ownerSize = 0;
  if (withOwner && MakeSid(security.owner, SidTypeUnknown, nullptr, &ownerSize) != ERROR_INSUFFICIENT_BUFFER) {
    return ERROR_INVALID_SID;
  }
  DWORD aclSize = kAclHeader;
  for (const AccessEntry& entry : security.dacl) {
    DWORD sidSize = 0;
    if (MakeSid(entry.account, SidTypeUnknown, nullptr, &sidSize) != ERROR_INSUFFICIENT_BUFFER) return ERROR_INVALID_SID;
    aclSize += kAceHeader + sidSize;
  }
  if (withDacl && (aclSize > kMaxAclSize || security.dacl.size() > 0xFFFF)) return ERROR_INVALID_ACL;
  const DWORD header = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
  const DWORD needed = header + ownerSize + (withDacl ? aclSize : 0);
  const DWORD room = *size;
  *size = needed;
  if (buffer == nullptr || room < needed) return ERROR_INSUFFICIENT_BUFFER;
  auto* bytes = static_cast<BYTE*>(buffer);
  std::memset(bytes, 0, needed);
  SECURITY_DESCRIPTOR_RELATIVE relative{static_cast<BYTE>(SECURITY_DESCRIPTOR_REVISION), 0, SE_SELF_RELATIVE, 0, 0,
                                        0, 0};
  if (withOwner) {
    relative.Owner = header;
    DWORD sidRoom = ownerSize;
    MakeSid(security.owner, SidTypeUnknown, bytes + header, &sidRoom);
  }
  if (withDacl) {
    relative.Control |= SE_DACL_PRESENT;
    relative.Dacl = header + ownerSize;
    auto* acl = reinterpret_cast<PACL>(bytes + relative.Dacl);
    InitializeAcl(acl, aclSize, ACL_REVISION);
    for (const AccessEntry& entry : security.dacl) {
      BYTE sid[QV_MAX_SID_SIZE];
      DWORD sidRoom = sizeof sid;
      MakeSid(entry.account, SidTypeUnknown, sid, &sidRoom);
      AddAccessAllowedAce(acl, ACL_REVISION, entry.mask, sid);
    }
  }
  std::memcpy(bytes, &relative, sizeof relative);
  return 0;
}

}  // namespace qvplatform
