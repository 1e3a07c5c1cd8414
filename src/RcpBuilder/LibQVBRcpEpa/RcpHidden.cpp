#include "RcpHidden.h"

#include <unistd.h>

#include <cctype>
#include <random>
#include <vector>

#include "RcpStorePath.h"
#include "LibQVCCommon/QVCCodes.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace {

using qvplatform::CurrentEnv;
using rcppath::NumberedName;

constexpr size_t kCheckDigits = 10;
constexpr char kHoldSuffix[] = ".hold";
constexpr size_t kHoldLength = sizeof kHoldSuffix - 1;
constexpr char kBuildMark[] = ".new-";
constexpr char kTrashMark[] = ".trash-";

enum class Hidden { kNone, kBuild, kHold, kTrash };

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool AllOf(const std::string& text, int (*test)(int)) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (test(c) == 0) return false;
  }
  return true;
}

// ".NAME<mark>PID-RAND": a non-empty NAME, decimal PID, hexadecimal RAND.
bool HasMark(const std::string& name, const std::string& mark) {
  size_t at = name.rfind(mark);
  if (name.empty() || name[0] != '.' || at == std::string::npos || at < 2) return false;
  std::string tail = name.substr(at + mark.size());
  size_t dash = tail.find('-');
  if (dash == std::string::npos) return false;
  return AllOf(tail.substr(0, dash), isdigit) && AllOf(tail.substr(dash + 1), isxdigit);
}

Hidden HiddenKind(const std::string& name) {
  if (HasMark(name, kBuildMark)) return Hidden::kBuild;
  if (EndsWith(name, kHoldSuffix) && HasMark(name.substr(0, name.size() - kHoldLength), kBuildMark)) {
    return Hidden::kHold;
  }
  if (HasMark(name, kTrashMark)) return Hidden::kTrash;
  return Hidden::kNone;
}

// The names that the in-use check moves aside: groups, recipes, the Recipe
// directory and the unit and procedure files.
bool IsCheckedName(const std::string& name) {
  std::string upper = QVUpperAscii(name);
  return upper == "RECIPE" || upper == "RCPRP.EDF" || NumberedName(upper, "RG", 2, "") ||
         NumberedName(upper, "RCP", 4, "") || NumberedName(upper, "RCPPT", 2, ".EDF");
}

// The work copies of the store's files, left by a killed writer.
bool IsWorkFile(const std::string& name) {
  std::string upper = QVUpperAscii(name);
  if (upper == "RCPSUBGROUPWORK.TXT") return true;
  if (upper.size() <= 4 || !EndsWith(upper, ".NEW")) return false;
  std::string file = upper.substr(0, upper.size() - 4);
  return file == "RCPHEAD.EDF" || file == "RCPRP.EDF" || file == "RCPGRATTR.TXT" || file == "RCPPJTATTR.TXT" ||
         file == ".RCPPJTATTR.TXT.REGISTER" || NumberedName(file, "RCPPT", 2, ".EDF");
}

// NAME for a name left by an in-use check (NAME and ten digits), else empty.
std::string CheckedOriginal(const std::string& name) {
  if (name.size() <= kCheckDigits || !AllOf(name.substr(name.size() - kCheckDigits), isdigit)) return {};
  std::string original = name.substr(0, name.size() - kCheckDigits);
  return IsCheckedName(original) ? original : std::string();
}

}  // namespace

namespace rcphidden {

CString HiddenName(const CString& directory, const CString& name, const char* mark) {
  static thread_local std::mt19937 random{std::random_device{}()};
  CString hidden = QVFormat(".%s%s%d-%08x", name.c_str(), mark, static_cast<int>(getpid()),
                            static_cast<unsigned>(random()));
  return QVEEngJoinPath(directory.c_str(), hidden.c_str());
}

}  // namespace rcphidden

namespace {

using rcphidden::HiddenName;

bool Exists(const CString& path) {
  qvplatform::FileStat st;
  return CurrentEnv()->Stat(path, &st) == 0;
}

// Whether a leftover of this kind and entry type is to be removed now. The
// builder takes its hold before it makes the build directory and lets go of
// it only after the directory is gone, so a build is stale exactly when its
// hold file is there and nobody holds it; a hold file alone is stale when
// nobody holds it (a hold file that a builder is just taking could be
// removed, but then its build, lacking a hold file, is never touched).
bool IsStale(Hidden kind, qvplatform::EntryType type, const CString& path) {
  switch (kind) {
    case Hidden::kTrash:
      return type == qvplatform::EntryType::kDirectory;
    case Hidden::kBuild:
      return type == qvplatform::EntryType::kDirectory && Exists(path + kHoldSuffix) &&
             !qvplatform::IsHeld(path + kHoldSuffix);
    case Hidden::kHold:
      return type == qvplatform::EntryType::kFile && !Exists(path.substr(0, path.size() - kHoldLength));
    default:
      return false;
  }
}

bool IsNotFound(uint32_t rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

}  // namespace

namespace rcphidden {

bool IsTransient(const std::string& entryName) {
  return (!entryName.empty() && entryName[0] == '.') || !CheckedOriginal(entryName).empty();
}

bool IsWorkCopy(const std::string& entryName) { return IsWorkFile(entryName); }

CString CheckName(const CString& path) {
  CString name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name + QVFormat("%010d", static_cast<int>(QVCTime(nullptr)));
}

// The name alone settles most entries (every recipe and group), so the path
// is only made for the few that need a look at the disk.
Leftover StaleLeftover(const CString& directory, const qvplatform::DirEntry& entry) {
  Hidden kind = HiddenKind(entry.name);
  bool workFile = kind == Hidden::kNone && entry.type == qvplatform::EntryType::kFile && IsWorkFile(entry.name);
  if (kind == Hidden::kNone && !workFile) {
    return CheckedOriginal(entry.name).empty() ? Leftover::kNone : Leftover::kCheckName;
  }
  CString path = QVEEngJoinPath(directory.c_str(), entry.name.c_str());
  switch (kind) {
    case Hidden::kHold:
      return IsStale(Hidden::kHold, entry.type, path) ? Leftover::kHold : Leftover::kNone;
    case Hidden::kBuild:
      return IsStale(Hidden::kBuild, entry.type, path) ? Leftover::kBuild : Leftover::kNone;
    case Hidden::kTrash:
      return IsStale(Hidden::kTrash, entry.type, path) ? Leftover::kTrash : Leftover::kNone;
    case Hidden::kNone:
      break;
  }
  return qvplatform::IsHeld(path) ? Leftover::kNone : Leftover::kWorkCopy;
}

// Only the store's own directories and files are removed; a link never.
void CleanLeftovers(const char* directory) {
  qvplatform::Env* env = CurrentEnv();
  std::vector<qvplatform::DirEntry> entries;
  if (directory == nullptr || CleanEachDirectoryOnce::Cleaned(directory)) return;
  if (env->ReadDirectory(directory, &entries) != 0) return;
  CleanEachDirectoryOnce::RecordCleaned(directory);
  for (const qvplatform::DirEntry& entry : entries) {
    Leftover kind = StaleLeftover(directory, entry);
    if (kind == Leftover::kNone) continue;
    CString path = QVEEngJoinPath(directory, entry.name.c_str());
    switch (kind) {
      case Leftover::kHold:
      case Leftover::kWorkCopy:
        env->RemoveUnheld(path);
        break;
      case Leftover::kBuild:
        QVEEngDeleteRecursive(path.c_str(), 0, 0);
        env->RemoveUnheld(path + kHoldSuffix);
        break;
      case Leftover::kTrash:
        QVEEngDeleteRecursive(path.c_str(), 0, 0);
        break;
      case Leftover::kCheckName:
        env->RenameNoReplace(path, QVEEngJoinPath(directory, CheckedOriginal(entry.name).c_str()));
        break;
      case Leftover::kNone:
        break;
    }
  }
}

namespace {
thread_local CleanEachDirectoryOnce* g_cleanOnce = nullptr;

// "RG01" and "RG01/" are one directory; other spellings only cost a second clean.
std::string CleanKey(const std::string& directory) {
  size_t end = directory.find_last_not_of('/');
  return end == std::string::npos ? directory : directory.substr(0, end + 1);
}
}  // namespace

CleanEachDirectoryOnce::CleanEachDirectoryOnce() : outer_(g_cleanOnce) { g_cleanOnce = this; }

CleanEachDirectoryOnce::~CleanEachDirectoryOnce() { g_cleanOnce = outer_; }

bool CleanEachDirectoryOnce::Cleaned(const std::string& directory) {
  return g_cleanOnce != nullptr && g_cleanOnce->cleaned_.count(CleanKey(directory)) != 0;
}

void CleanEachDirectoryOnce::RecordCleaned(const std::string& directory) {
  if (g_cleanOnce != nullptr) g_cleanOnce->cleaned_.insert(CleanKey(directory));
}

void CleanLeftoversBeside(const CString& path) {
  CString directory;
  CString name;
  if (QVEEngSplitFilePath(path.c_str(), 1, directory, name) == 0) CleanLeftovers(directory.c_str());
}

uint32_t DeleteViaTrash(const CString& path) {
  CString directory;
  CString name;
  if (uint32_t rc = QVEEngSplitFilePath(path.c_str(), 1, directory, name)) return rc;
  qvplatform::Env* env = CurrentEnv();
  CString trash = HiddenName(directory, name, kTrashMark);
  if (uint32_t rc = env->RenameNoReplace(path, trash)) return rc;
  if (uint32_t rc = env->SyncDirectory(directory)) return rc;
  // Another station's clean-up may remove the trash at the same time.
  uint32_t rc = QVEEngDeleteRecursive(trash.c_str(), 1, 0);
  return IsNotFound(rc) ? 0 : rc;
}

HiddenBuild::HiddenBuild(const CString& parent, const char* name)
    : parent_(parent),
      name_(name),
      target_(QVEEngJoinPath(parent.c_str(), name)),
      build_(HiddenName(parent, name, kBuildMark)) {}

// The hold file goes before the hold, so that it is never seen unheld.
HiddenBuild::~HiddenBuild() {
  if (begun_) QVEEngDeleteRecursive(build_.c_str(), 0, 0);
  if (hold_ == INVALID_HANDLE_VALUE) return;
  CurrentEnv()->RemoveFile(build_ + kHoldSuffix);
  QVEEngCloseFile(hold_, 0);
}

// The hold comes first, so that no clean-up ever sees the build unheld.
uint32_t HiddenBuild::Begin() {
  if (uint32_t rc = QVEEngCreateFile((build_ + kHoldSuffix).c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr, &hold_, 0)) {
    return rc;
  }
  if (uint32_t rc = CurrentEnv()->MakeDirectory(build_)) return rc;
  begun_ = true;
  return 0;
}

uint32_t HiddenBuild::Finish() {
  qvplatform::Env* env = CurrentEnv();
  uint32_t rc = env->RenameNoReplace(build_, target_);
  if (rc == ERROR_ALREADY_EXISTS || rc == ERROR_DIR_NOT_EMPTY) return QVC_ERR_EXISTS;
  if (rc != 0) return rc;
  begun_ = false;
  return env->SyncDirectory(parent_);
}

uint32_t HiddenBuild::FinishFile() {
  qvplatform::Env* env = CurrentEnv();
  if (uint32_t rc = env->Rename(QVEEngJoinPath(build_.c_str(), name_.c_str()), target_)) return rc;
  return env->SyncDirectory(parent_);
}

}  // namespace rcphidden
