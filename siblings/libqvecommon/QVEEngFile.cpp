#include "libqvecommon/QVEEngFile.h"

#include <fnmatch.h>

#include <algorithm>

#include <vector>

#include "LibQVCCommon/QVCError.h"
#include "libqvecommon/QVEEngList.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/DeepWalk.h"
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

// A directory of the Env seam as a handle of the deep walk.
struct SeamDirectory {
  std::unique_ptr<qvplatform::Directory> opened;
  uint32_t Read(std::vector<DirEntry>* out) { return opened->Read(out); }
  uint32_t Open(const std::string& name, SeamDirectory* out) { return opened->OpenDirectory(name, &out->opened); }
  uint32_t Id(qvplatform::DirectoryId* id) { return opened->Identity(id); }
};

// Empties an open directory, depth first, one descriptor at a time.
uint32_t RemoveBelow(std::unique_ptr<qvplatform::Directory> directory) {
  return qvplatform::WalkBelow(
      SeamDirectory{std::move(directory)},
      [](SeamDirectory& here, const DirEntry& entry) { return here.opened->Remove(entry.name, false); },
      [](SeamDirectory& parent, const std::string& name) { return parent.opened->Remove(name, true); });
}

// Removes one entry of an open directory with everything below it. A link is
// removed, never entered.
uint32_t RemoveEntry(qvplatform::Directory& directory, const DirEntry& entry) {
  bool isDirectory = entry.type == EntryType::kDirectory;
  std::unique_ptr<qvplatform::Directory> inner;
  uint32_t rc = isDirectory ? directory.OpenDirectory(entry.name, &inner) : 0;
  if (rc == 0 && inner) rc = RemoveBelow(std::move(inner));
  return rc != 0 ? rc : directory.Remove(entry.name, isDirectory);
}

// Removes a file, or a directory with everything below it; a link at the
// path is removed itself.
uint32_t RemoveTree(const std::string& path) {
  qvplatform::Env* env = CurrentEnv();
  qvplatform::FileStat st;
  if (uint32_t rc = env->StatEntry(path, &st)) return rc;
  if (st.type != EntryType::kDirectory) return env->RemoveFile(path);
  std::unique_ptr<qvplatform::Directory> directory;
  if (uint32_t rc = env->OpenDirectory(path, &directory)) return rc;
  if (uint32_t rc = RemoveBelow(std::move(directory))) return rc;
  return env->RemoveDirectory(path);
}

bool Held(const std::string& path) {
  qvplatform::FileStat st;
  if (CurrentEnv()->StatEntry(path, &st) != 0) return false;
  return st.type == EntryType::kDirectory ? qvplatform::IsAnythingBelowHeld(CurrentEnv()->Resolve(path))
                                          : qvplatform::IsHeld(path);
}

// Adds the files below an open directory; a directory below that cannot be
// read is passed over. Links are never entered.
void ListBelow(qvplatform::Directory& directory, const std::vector<DirEntry>& entries, const std::string& path,
               CStringArray& files) {
  for (const DirEntry& entry : entries) {
    std::string child = QVEEngJoinPath(path.c_str(), entry.name.c_str());
    if (entry.type == EntryType::kFile) files.push_back(child);
    std::unique_ptr<qvplatform::Directory> inner;
    std::vector<DirEntry> innerEntries;
    if (entry.type == EntryType::kDirectory && directory.OpenDirectory(entry.name, &inner) == 0 &&
        inner->Read(&innerEntries) == 0) {
      ListBelow(*inner, innerEntries, child, files);
    }
  }
}

// The entries that a pattern's last component matches in its directory, in
// ascending name order, with that directory opened (never through a link).
struct Expansion {
  CString directory;
  std::unique_ptr<qvplatform::Directory> opened;
  std::vector<DirEntry> matches;

  std::string PathOf(const DirEntry& entry) const { return QVEEngJoinPath(directory.c_str(), entry.name.c_str()); }
};

uint32_t Expand(const std::string& pattern, Expansion* out) {
  CString glob;
  if (uint32_t rc = QVEEngSplitFilePath(pattern.c_str(), 1, out->directory, glob)) return rc;
  std::vector<DirEntry> entries;
  uint32_t rc = CurrentEnv()->OpenDirectory(out->directory.empty() ? "." : out->directory, &out->opened);
  if (rc == 0) rc = out->opened->Read(&entries);
  if (rc != 0) return rc;
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return QVEEngNameBefore(a.name, b.name); });
  for (DirEntry& entry : entries) {
    if (fnmatch(glob.c_str(), entry.name.c_str(), FNM_CASEFOLD) == 0) out->matches.push_back(std::move(entry));
  }
  return 0;
}

// A link where the directory belongs does not count as the directory.
uint32_t CreateOneDir(const std::string& path) {
  uint32_t rc = CurrentEnv()->MakeDirectory(path);
  if (rc != ERROR_ALREADY_EXISTS) return rc;
  qvplatform::FileStat st;
  return CurrentEnv()->StatEntry(path, &st) == 0 && st.type == EntryType::kDirectory ? 0 : ERROR_ALREADY_EXISTS;
}

// The directories leading to a new one are the caller's path and may pass
// through links.
uint32_t CreateParents(const std::string& path) {
  CString parent;
  CString name;
  if (QVEEngSplitFilePath(path.c_str(), 1, parent, name) != 0 || parent.empty() || parent == path) return 0;
  qvplatform::FileStat st;
  if (CurrentEnv()->Stat(parent, &st) == 0) return st.type == EntryType::kDirectory ? 0 : ERROR_ALREADY_EXISTS;
  if (uint32_t rc = CreateParents(parent)) return rc;
  return CreateOneDir(parent);
}

uint32_t CreateDirWithParents(const std::string& path) {
  if (uint32_t rc = CreateParents(path)) return rc;
  return CreateOneDir(path);
}

}  // namespace

uint32_t QVEEngCreateFile(const char* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                          uint32_t flags, void* /*templateFile*/, HANDLE* handle, int report) {
  if (path == nullptr) return Reported(ERROR_INVALID_PARAMETER, report, __LINE__, "CreateFile", path);
  return Reported(CurrentEnv()->ShareOpen(path, access, shareMode, disposition, flags, handle), report, __LINE__,
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
  CString dir;
  CString last;
  QVEEngSplitFilePath(pathOrPattern, 1, dir, last);
  uint32_t rc = 0;
  if (!HasWildcard(last)) {
    rc = Held(pathOrPattern) ? ERROR_SHARING_VIOLATION : RemoveTree(pathOrPattern);
    return Reported(rc, report, __LINE__, "DeleteRecursive", pathOrPattern);
  }
  // The matches are removed relative to their opened directory.
  Expansion expansion;
  rc = Expand(pathOrPattern, &expansion);
  for (const DirEntry& entry : expansion.matches) {
    if (rc == 0 && Held(expansion.PathOf(entry))) rc = ERROR_SHARING_VIOLATION;
  }
  for (const DirEntry& entry : expansion.matches) {
    if (rc == 0) rc = RemoveEntry(*expansion.opened, entry);
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
  std::unique_ptr<qvplatform::Directory> top;
  std::vector<DirEntry> entries;
  uint32_t rc = CurrentEnv()->OpenDirectory(directory, &top);
  if (rc == 0) rc = top->Read(&entries);
  if (rc == 0) ListBelow(*top, entries, directory, files);
  return rc;
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
    if (rc != 0 || got == 0) continue;
    // A block of zeros becomes a hole: a sparse file stays sparse.
    bool zeros = std::all_of(block, block + got, [](char c) { return c == 0; });
    rc = zeros ? out.WriteHole(got) : out.WriteBinary(block, got);
  }
  if (rc == 0) rc = out.Commit(destination);
  return Reported(rc, report, __LINE__, "CopyFile", source);
}

uint32_t QVEEngListFile(const char* pattern, CStringArray& files) {
  files.clear();
  if (pattern == nullptr) return ERROR_INVALID_PARAMETER;
  Expansion expansion;
  if (uint32_t rc = Expand(pattern, &expansion)) return rc;
  for (const DirEntry& entry : expansion.matches) {
    if (entry.type == EntryType::kFile) files.push_back(expansion.PathOf(entry));
  }
  return 0;
}
