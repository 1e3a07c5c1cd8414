// Tests of files and directories that change nothing: can they be opened,
// and is anything holding them (moved to another name and back).
#include "RcpCheck.h"

#include <strings.h>

#include <vector>

#include "LibQVBRcpEpa.h"
#include "RcpHidden.h"
#include "RcpStorePath.h"
#include "LibQVCCommon/QVCError.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/FileApi.h"
#include "platform/Win32Types.h"

namespace {

constexpr uint32_t kNormalFile = FILE_ATTRIBUTE_NORMAL;

uint32_t OpenAndClose(const char* path, unsigned long access, unsigned long shareMode, uint32_t flags) {
  if (uint32_t rc = rcppath::Check(path)) return rc;
  HANDLE handle = INVALID_HANDLE_VALUE;
  uint32_t rc = QVEEngCreateFile(path, static_cast<uint32_t>(access), static_cast<uint32_t>(shareMode),
                                 OPEN_EXISTING, flags, nullptr, &handle, 0);
  if (rc == 0) QVEEngCloseFile(handle, 0);
  return rc;
}

// Moves the name aside with move (which refuses when something is held) and
// back at once, never over a name that appeared meanwhile. The move back
// does not look for held files again: the name must not stay away longer
// than needed.
uint32_t MoveAsideAndBack(const char* path, uint32_t (*move)(const CString&, const CString&)) {
  if (path == nullptr || *path == 0) return ERROR_INVALID_PARAMETER;
  if (uint32_t rc = rcppath::Check(path)) return rc;
  qvplatform::Env* env = qvplatform::CurrentEnv();
  CString original = env->Resolve(path);
  CString aside = rcphidden::CheckName(original);
  if (uint32_t rc = move(original, aside)) return rc;
  return env->RenameNoReplace(aside, original);
}

}  // namespace

namespace rcpcheck {

// A name missing under every case is answered by one look-up; the open
// would only search the directory again to fail the same way.
bool Exists(const CString& path, bool directory) {
  qvplatform::FileStat st;
  uint32_t rc = qvplatform::CurrentEnv()->StatEntry(path, &st);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return false;
  return (directory ? CQVERcpUtil::CheckDirFile(path.c_str(), kReadAccess, kShareReadWrite)
                    : CQVERcpUtil::CheckFile(path.c_str(), kReadAccess, kShareReadWrite)) == 0;
}

uint32_t Duplicate(const CString& path, bool directory, const char* source, const char* text) {
  constexpr uint16_t kMsgInternal = 9168;
  if (!Exists(path, directory)) return 0;
  _QVCSetError(kMsgInternal, source, __LINE__, QVC_ERR_EXISTS, text);
  return QVC_ERR_EXISTS;
}

bool ListedType(const CString& path, qvplatform::EntryType* type) {
  CString directory;
  CString name;
  std::vector<qvplatform::DirEntry> entries;
  if (QVEEngSplitFilePath(path.c_str(), 1, directory, name) != 0 ||
      qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) {
    return false;
  }
  for (const qvplatform::DirEntry& entry : entries) {
    if (strcasecmp(entry.name.c_str(), name.c_str()) != 0) continue;
    *type = entry.type;
    return true;
  }
  return false;
}

}  // namespace rcpcheck

uint32_t CQVERcpUtil::CheckFile(const char* path, unsigned long access, unsigned long shareMode) {
  return OpenAndClose(path, access, shareMode, kNormalFile);
}

uint32_t CQVERcpUtil::CheckDirFile(const char* path, unsigned long access, unsigned long shareMode) {
  return OpenAndClose(path, access, shareMode, FILE_FLAG_BACKUP_SEMANTICS);
}

uint32_t CQVERcpUtil::DirAccessCheck(const char* directory) {
  return MoveAsideAndBack(directory, [](const CString& from, const CString& to) {
    return QVEEngRenameDir(from.c_str(), to.c_str(), 1);
  });
}

uint32_t CQVERcpUtil::FileAccessCheck(const char* file) {
  return MoveAsideAndBack(file, [](const CString& from, const CString& to) {
    return MoveFileA(from.c_str(), to.c_str()) ? 0u : GetLastError();
  });
}
