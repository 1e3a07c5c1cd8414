// Tests of files and directories that change nothing: can they be opened,
// and is anything holding them (moved to another name and back).
#include "RcpCheck.h"

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngFile.h"
#include "platform/FileApi.h"

namespace {

constexpr uint32_t kNormalFile = FILE_ATTRIBUTE_NORMAL;

uint32_t OpenAndClose(const char* path, unsigned long access, unsigned long shareMode, uint32_t flags) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  uint32_t rc = QVEEngCreateFile(path, static_cast<uint32_t>(access), static_cast<uint32_t>(shareMode),
                                 OPEN_EXISTING, flags, nullptr, &handle, 0);
  if (rc == 0) QVEEngCloseFile(handle, 0);
  return rc;
}

// The path without trailing separators, followed by the current time.
CString TemporaryName(const char* path) {
  CString name = path != nullptr ? path : "";
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name + std::to_string(QVCTime(nullptr));
}

}  // namespace

namespace rcpcheck {

bool Exists(const CString& path, bool directory) {
  return (directory ? CQVERcpUtil::CheckDirFile(path.c_str(), kReadAccess, kShareReadWrite)
                    : CQVERcpUtil::CheckFile(path.c_str(), kReadAccess, kShareReadWrite)) == 0;
}

uint32_t Duplicate(const CString& path, bool directory, const char* source, const char* text) {
  constexpr uint16_t kMsgInternal = 9168;
  if (!Exists(path, directory)) return 0;
  _QVCSetError(kMsgInternal, source, __LINE__, QVC_ERR_EXISTS, text);
  return QVC_ERR_EXISTS;
}

}  // namespace rcpcheck

uint32_t CQVERcpUtil::CheckFile(const char* path, unsigned long access, unsigned long shareMode) {
  return OpenAndClose(path, access, shareMode, kNormalFile);
}

uint32_t CQVERcpUtil::CheckDirFile(const char* path, unsigned long access, unsigned long shareMode) {
  return OpenAndClose(path, access, shareMode, FILE_FLAG_BACKUP_SEMANTICS);
}

uint32_t CQVERcpUtil::DirAccessCheck(const char* directory) {
  CString temporary = TemporaryName(directory);
  if (uint32_t rc = QVEEngRenameDir(directory, temporary.c_str(), 1)) return rc;
  return QVEEngRenameDir(temporary.c_str(), directory, 1);
}

uint32_t CQVERcpUtil::FileAccessCheck(const char* file) {
  CString temporary = TemporaryName(file);
  if (MoveFileA(file, temporary.c_str()) && MoveFileA(temporary.c_str(), file)) return 0;
  return GetLastError();
}
