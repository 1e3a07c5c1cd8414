#include "libqveeda/QVEFilePath.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "LibQVCCommon/QVCCodes.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqveeda/QVEFilePathKeys.h"
#include "platform/Env.h"
#include "platform/StationDir.h"
#include "platform/Win32Types.h"

enum class QVEPathWant : int { kFolder, kFileOrFolder, kFile };

namespace {

using qveeda::PathRule;

bool IsDirectory(const CString& path) {
  qvplatform::FileStat st;
  return qvplatform::Env::Posix()->Stat(path, &st) == 0 && st.type == qvplatform::EntryType::kDirectory;
}

CString DirectoryOf(const char* file) {
  CString dir;
  CString name;
  QVEEngSplitFilePath(file, 1, dir, name);
  return dir;
}

// The path relative to dir, each leading "../" taking off one of dir's
// components, so that the result holds no "..".
CString Beside(CString dir, const char* relative) {
  while (std::strncmp(relative, "../", 3) == 0 && !dir.empty()) {
    dir = DirectoryOf(dir.c_str());
    relative += 3;
  }
  return QVEEngCatPath(dir, relative);
}

CString ProgramDirectory() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return CString();
  self[n] = 0;
  return DirectoryOf(self);
}

// The directory of the object file this code was loaded from: the shared
// library when it is one, else the program. Asked with this function's own
// address, which a host cannot interpose.
CString ModuleDirectory() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) == 0 || info.dli_fname == nullptr) return CString();
  return DirectoryOf(info.dli_fname);
}

// One component of a path: not empty, no separator, not "." or "..", so
// that no name given to the resolver can lead outside its tree.
bool IsPlainName(const char* name) {
  return *name != 0 && std::strchr(name, '/') == nullptr && std::strcmp(name, ".") != 0 &&
         std::strcmp(name, "..") != 0;
}

// The text with each run of '#' replaced by the number, zero-padded to the
// run's width. A text with a run needs a number from 1 up.
uint32_t PlaceNumber(const char* text, unsigned number, CString* out) {
  out->clear();
  for (const char* p = text; *p != 0;) {
    if (*p != '#') {
      *out += *p++;
      continue;
    }
    if (number == 0) return QVC_ERR_CANNOT_EXECUTE;
    int width = 0;
    for (; *p == '#'; ++p) ++width;
    *out += QVFormat("%0*u", width, number);
  }
  return 0;
}

using Want = QVEPathWant;

// base / the rule's folder / the file (fileName, else the rule's own file).
// A file asked of a folder key without a file name is an unknown key.
uint32_t Compose(CString base, const PathRule& rule, const char* fileName, unsigned number, Want want,
                 CString* path) {
  CString part;
  if (uint32_t rc = PlaceNumber(rule.folder, number, &part)) return rc;
  if (!part.empty()) QVEEngCatPath(base, part.c_str());
  if (want != Want::kFolder) {
    if (fileName != nullptr) {
      if (!IsPlainName(fileName)) return ERROR_INVALID_NAME;
      QVEEngCatPath(base, fileName);
    } else if (rule.file != nullptr) {
      if (uint32_t rc = PlaceNumber(rule.file, number, &part)) return rc;
      QVEEngCatPath(base, part.c_str());
    } else if (want == Want::kFile) {
      return QVEEDA_ERR_UNKNOWN_KEY;
    }
  }
  *path = base;
  return 0;
}

uint32_t RuleIn(const char* key, unsigned scope, const PathRule** rule) {
  if (key == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  *rule = qveeda::FindPathRule(key);
  return *rule != nullptr && ((*rule)->scopes & scope) != 0 ? 0 : QVEEDA_ERR_UNKNOWN_KEY;
}

uint32_t OwnerDirectory(const char* owner, CString* dir) {
  if (owner == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  if (std::strcmp(owner, "QVSystem") == 0) {
    *dir = QVETemplateRoot();
  } else if (std::strcmp(owner, "QVUser") == 0) {
    *dir = qvplatform::StationDirectory();
    if (dir->empty()) return ERROR_PATH_NOT_FOUND;  // no station: never a path relative to here
    QVEEngCatPath(*dir, "templates");
  } else {
    return QVC_ERR_CANNOT_EXECUTE;
  }
  QVEEngCatPath(*dir, owner);
  return 0;
}

}  // namespace

namespace {

// Where the templates were installed with the library or the program, else
// the build's own.
CString InstalledTemplateRoot() {
  for (const CString& installed : {Beside(ModuleDirectory(), QV_DATA_FROM_LIBDIR "/qv-templates"),
                                   Beside(ProgramDirectory(), "../share/qv-templates")}) {
    if (IsDirectory(installed)) return installed;
  }
  return QV_BUILD_TEMPLATE_DIR;
}

}  // namespace

CString QVETemplateRoot() {
  if (const char* dir = std::getenv("QVC_TEMPLATE_DIR"); dir != nullptr && *dir != 0) return dir;
  // The installation does not move while the process runs: looked up once.
  static const CString installed = InstalledTemplateRoot();
  return installed;
}

CQVEFilePath::CQVEFilePath() = default;
CQVEFilePath::~CQVEFilePath() = default;

uint32_t CQVEFilePath::Init(const char* projectTopDir) {
  if (projectTopDir == nullptr || *projectTopDir == 0) return QVC_ERR_CANNOT_EXECUTE;
  if (!IsDirectory(projectTopDir)) return ERROR_PATH_NOT_FOUND;
  m_strProjectTopDir = projectTopDir;
  while (m_strProjectTopDir.size() > 1 && m_strProjectTopDir.back() == '/') m_strProjectTopDir.pop_back();
  prepared_ = true;
  return 0;
}

uint32_t CQVEFilePath::InitNoProject() {
  m_strProjectTopDir.clear();
  prepared_ = true;
  return 0;
}

uint32_t CQVEFilePath::GetTmplFilePath(const char* key, const char* name, CString* path) {
  return TemplatePath(0, key, name, "QVSystem", Want::kFile, path);
}

uint32_t CQVEFilePath::GetUDFTmplFolderPath(const char* key, const char* owner, CString* path) {
  return TemplatePath(0, key, nullptr, owner, Want::kFolder, path);
}

uint32_t CQVEFilePath::GetUDFTmplFilePath(const char* key, const char* fileName, const char* owner, CString* path) {
  return TemplatePath(0, key, fileName, owner, Want::kFile, path);
}

uint32_t CQVEFilePath::GetUDFTmplFilePath1(unsigned number, const char* key, const char* fileName, const char* owner,
                                           CString* path) {
  return TemplatePath(number, key, fileName, owner, Want::kFile, path);
}

uint32_t CQVEFilePath::GetSystemFilePath(const char* key, CString* path) {
  return ProjectPath(nullptr, 0, key, nullptr, Want::kFile, path);
}

uint32_t CQVEFilePath::GetSystemFolderPath(const char* key, CString* path) {
  return ProjectPath(nullptr, 0, key, nullptr, Want::kFolder, path);
}

uint32_t CQVEFilePath::GetFCSFilePath(const char* station, const char* key, CString* path) {
  if (station == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  return ProjectPath(station, 0, key, nullptr, Want::kFileOrFolder, path);
}

uint32_t CQVEFilePath::GetFCSFilePath(const char* station, const char* fileName, const char* key, CString* path) {
  if (station == nullptr || fileName == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  return ProjectPath(station, 0, key, fileName, Want::kFile, path);
}

uint32_t CQVEFilePath::GetHISFilePath(const char* station, const char* key, CString* path) {
  if (station == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  return ProjectPath(station, 0, key, nullptr, Want::kFile, path);
}

uint32_t CQVEFilePath::GetSTNFolderPath(const char* station, const char* folderKey, CString* path) {
  if (station == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  return ProjectPath(station, 0, folderKey, nullptr, Want::kFolder, path);
}

uint32_t CQVEFilePath::GetSTNFilePath(const char* station, const char* folderKey, const char* fileName,
                                      CString* path) {
  if (station == nullptr || fileName == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  return ProjectPath(station, 0, folderKey, fileName, Want::kFile, path);
}

uint32_t CQVEFilePath::GetPath(const char* station, unsigned number1, unsigned /*number2*/, unsigned /*number3*/,
                               const char* key, const char* fileName, CString* path) {
  return ProjectPath(station, number1, key, fileName, Want::kFileOrFolder, path);
}

uint32_t CQVEFilePath::TemplatePath(unsigned number, const char* key, const char* fileName, const char* owner,
                                    Want want, CString* path) const {
  if (!prepared_ || path == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const PathRule* rule = nullptr;
  CString dir;
  if (uint32_t rc = RuleIn(key, qveeda::kInTemplateSet, &rule)) return rc;
  if (uint32_t rc = OwnerDirectory(owner, &dir)) return rc;
  return Compose(dir, *rule, fileName, number, want, path);
}

// A path in the project's top directory, or in a station's folder of it
// (named as the station) when station is not null.
uint32_t CQVEFilePath::ProjectPath(const char* station, unsigned number, const char* key, const char* fileName,
                                   Want want, CString* path) const {
  if (!prepared_ || path == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const PathRule* rule = nullptr;
  if (uint32_t rc = RuleIn(key, station != nullptr ? qveeda::kInStation : qveeda::kInProject, &rule)) return rc;
  if (m_strProjectTopDir.empty()) return QVEEDA_ERR_NO_PROJECT;
  CString dir = m_strProjectTopDir;
  if (station != nullptr) {
    if (!IsPlainName(station)) return ERROR_INVALID_NAME;
    QVEEngCatPath(dir, station);
  }
  return Compose(dir, *rule, fileName, number, want, path);
}

uint32_t CQVEFilePath::GetStnNo(const char* station, uint8_t& number) {
  number = 0;
  if (station == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const size_t length = std::strlen(station);
  if (length < 4) return QVC_ERR_CANNOT_EXECUTE;
  const char* digits = station + length - 4;
  for (int i = 0; i < 4; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return QVC_ERR_CANNOT_EXECUTE;
  }
  const int value = (digits[2] - '0') * 10 + (digits[3] - '0');
  if (value < 1 || value > 64) return QVC_ERR_CANNOT_EXECUTE;
  number = static_cast<uint8_t>(value);
  return 0;
}
