#include "libqvecommon/QVEEngFile.h"

#include <fnmatch.h>

#include <algorithm>

#include <vector>

#include "LibQVCCommon/QVCError.h"
#include "libqvecommon/QVEEngList.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/FileApi.h"
#include "platform/ShareMode.h"

namespace {

constexpr char kSource[] = "QVEEngFile";
constexpr uint16_t kMsgFile = 9168;

using qvplatform::CurrentEnv;
using qvplatform::DirEntry;
using qvplatform::EntryType;

uint32_t Reported(uint32_t rc, int report, int line, const char* what, const char* path) {
  if (rc != 0 && (report & 1) != 0) {
    CString text = CString(what) + " " + (path != nullptr ? path : "");
    _QVCSetError(kMsgFile, kSource, line, rc, text.c_str());
  }
  return rc;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

uint32_t RemoveTree(const std::string& path) {
  qvplatform::Env* env = CurrentEnv();
  qvplatform::FileStat st;
  if (uint32_t rc = env->Stat(path, &st)) return rc;
  if (st.type != EntryType::kDirectory) return env->RemoveFile(path);
  std::vector<DirEntry> entries;
  if (uint32_t rc = env->ReadDirectory(path, &entries)) return rc;
  for (const DirEntry& entry : entries) {
    std::string child = QVEEngJoinPath(path.c_str(), entry.name.c_str());
    uint32_t rc = entry.type == EntryType::kDirectory ? RemoveTree(child) : env->RemoveFile(child);
    if (rc != 0) return rc;
  }
  return env->RemoveDirectory(path);
}

bool Held(const std::string& path) {
  qvplatform::FileStat st;
  if (CurrentEnv()->Stat(path, &st) != 0) return false;
  return st.type == EntryType::kDirectory ? qvplatform::IsAnythingBelowHeld(CurrentEnv()->Resolve(path))
                                          : qvplatform::IsHeld(path);
}

// The paths that a pattern's last component matches in its directory, in
// ascending name order.
uint32_t Expand(const std::string& pattern, std::vector<std::string>* paths, bool filesOnly = false) {
  CString dir;
  CString glob;
  if (uint32_t rc = QVEEngSplitFilePath(pattern.c_str(), 1, dir, glob)) return rc;
  std::vector<DirEntry> entries;
  if (uint32_t rc = CurrentEnv()->ReadDirectory(dir.empty() ? "." : dir, &entries)) return rc;
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return QVEEngNameBefore(a.name, b.name); });
  for (const DirEntry& entry : entries) {
    if (filesOnly && entry.type != EntryType::kFile) continue;
    if (fnmatch(glob.c_str(), entry.name.c_str(), FNM_CASEFOLD) == 0) paths->push_back(QVEEngJoinPath(dir.c_str(), entry.name.c_str()));
  }
  return 0;
}

uint32_t CreateOneDir(const std::string& path) {
  uint32_t rc = CurrentEnv()->MakeDirectory(path);
  if (rc != ERROR_ALREADY_EXISTS) return rc;
  qvplatform::FileStat st;
  return CurrentEnv()->Stat(path, &st) == 0 && st.type == EntryType::kDirectory ? 0 : ERROR_ALREADY_EXISTS;
}

uint32_t CreateDirWithParents(const std::string& path) {
  qvplatform::FileStat st;
  if (CurrentEnv()->Stat(path, &st) == 0) return st.type == EntryType::kDirectory ? 0 : ERROR_ALREADY_EXISTS;
  CString parent;
  CString name;
  if (QVEEngSplitFilePath(path.c_str(), 1, parent, name) == 0 && !parent.empty() && parent != path) {
    if (uint32_t rc = CreateDirWithParents(parent)) return rc;
  }
  return CreateOneDir(path);
}

}  // namespace

uint32_t QVEEngCreateFile(const char* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                          uint32_t flags, void* /*templateFile*/, HANDLE* handle, int report) {
  if (path == nullptr) return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "CreateFile", path);
  return Reported(qvplatform::ShareOpen(path, access, shareMode, disposition, flags, handle), report, __LINE__,
                  "CreateFile", path);
}

uint32_t QVEEngCloseFile(HANDLE handle, int report) {
  return Reported(qvplatform::ShareClose(handle), report, __LINE__, "CloseFile", "");
}

uint32_t QVEEngCreateDir(const char* path, int report) {
  if (path == nullptr || *path == 0) return Reported(ERROR_INVALID_NAME, report, __LINE__, "CreateDir", path);
  return Reported(CreateOneDir(path), report, __LINE__, "CreateDir", path);
}

uint32_t QVEEngCreateDir2(const char* path, int report) {
  if (path == nullptr || *path == 0) return Reported(ERROR_INVALID_NAME, report, __LINE__, "CreateDir2", path);
  return Reported(CreateDirWithParents(path), report, __LINE__, "CreateDir2", path);
}

uint32_t QVEEngDeleteFile(const char* path, int report, int /*flag*/) {
  if (path == nullptr) return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "DeleteFile", path);
  uint32_t rc = qvplatform::IsHeld(path) ? ERROR_SHARING_VIOLATION : CurrentEnv()->RemoveFile(path);
  return Reported(rc, report, __LINE__, "DeleteFile", path);
}

uint32_t QVEEngDeleteRecursive(const char* pathOrPattern, int report, int /*flag*/) {
  if (pathOrPattern == nullptr || *pathOrPattern == 0) {
    return Reported(ERROR_INVALID_NAME, report, __LINE__, "DeleteRecursive", pathOrPattern);
  }
  std::vector<std::string> targets;
  CString dir;
  CString last;
  QVEEngSplitFilePath(pathOrPattern, 1, dir, last);
  uint32_t rc = HasWildcard(last) ? Expand(pathOrPattern, &targets) : 0;
  if (!HasWildcard(last)) targets.push_back(pathOrPattern);
  for (const std::string& target : targets) {
    if (rc == 0 && Held(target)) rc = ERROR_SHARING_VIOLATION;
  }
  for (const std::string& target : targets) {
    if (rc == 0) rc = RemoveTree(target);
  }
  return Reported(rc, report, __LINE__, "DeleteRecursive", pathOrPattern);
}

uint32_t QVEEngRenameFile(const char* from, const char* to, int report) {
  if (from == nullptr || to == nullptr) return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "RenameFile", from);
  return Reported(qvplatform::MoveExclusive(from, to), report, __LINE__, "RenameFile", from);
}

uint32_t QVEEngRenameDir(const char* from, const char* to, int report) {
  if (from == nullptr || to == nullptr) return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "RenameDir", from);
  return Reported(qvplatform::MoveExclusive(from, to), report, __LINE__, "RenameDir", from);
}

uint32_t QVEEngListFileRecursive(const char* directory, CStringArray& files) {
  files.clear();
  if (directory == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> pending{directory};
  bool first = true;
  while (!pending.empty()) {
    std::string dir = pending.back();
    pending.pop_back();
    std::vector<DirEntry> entries;
    uint32_t rc = CurrentEnv()->ReadDirectory(dir, &entries);
    if (rc != 0 && first) return rc;
    first = false;
    for (const DirEntry& entry : entries) {
      if (entry.type == EntryType::kDirectory) pending.push_back(QVEEngJoinPath(dir.c_str(), entry.name.c_str()));
      if (entry.type == EntryType::kFile) files.push_back(QVEEngJoinPath(dir.c_str(), entry.name.c_str()));
    }
  }
  return 0;
}

uint32_t QVEEngCopyFile(const char* source, const char* destination, int /*replace*/, int report) {
  if (source == nullptr || destination == nullptr) {
    return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "CopyFile", source);
  }
  std::unique_ptr<qvplatform::ReadableFile> in;
  uint32_t rc = CurrentEnv()->OpenForRead(source, &in);
  QVEEngTextWriter out;
  if (rc == 0) rc = out.Create(std::string(destination) + ".new");
  char block[64 * 1024];
  for (size_t got = 1; rc == 0 && got > 0;) {
    rc = in->Read(block, sizeof block, &got);
    if (rc == 0 && got > 0) rc = out.WriteBinary(block, got);
  }
  if (rc == 0) rc = out.Commit(destination);
  return Reported(rc, report, __LINE__, "CopyFile", source);
}

uint32_t QVEEngListFile(const char* pattern, CStringArray& files) {
  files.clear();
  if (pattern == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> paths;
  if (uint32_t rc = Expand(pattern, &paths, true)) return rc;
  files.assign(paths.begin(), paths.end());
  return 0;
}
