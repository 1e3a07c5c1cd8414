#include "libqveeda/QVEFilePath.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "LibQVCCommon/QVCCodes.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/StationDir.h"

namespace {

// The path keys the resolver knows, with their file names. The path
// catalogue adds its keys here.
struct PathKey {
  const char* key;
  const char* fileName;
};
constexpr PathKey kTemplateKeys[] = {
    {"RCPHEAD", "RcpHead.edf"},
    {"RCPPRT", "RcpPrt.edf"},
};

const char* FileNameOf(const char* key) {
  for (const PathKey& k : kTemplateKeys) {
    if (std::strcmp(k.key, key) == 0) return k.fileName;
  }
  return nullptr;
}

bool IsDirectory(const CString& path) {
  qvplatform::FileStat st;
  return qvplatform::Env::Posix()->Stat(path, &st) == 0 && st.type == qvplatform::EntryType::kDirectory;
}

CString ProgramDirectory() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return CString();
  self[n] = 0;
  CString dir;
  CString name;
  QVEEngSplitFilePath(self, 1, dir, name);
  return dir;
}

}  // namespace

CString QVETemplateRoot() {
  if (const char* dir = std::getenv("QVC_TEMPLATE_DIR"); dir != nullptr && *dir != 0) return dir;
  CString installed = ProgramDirectory() + "/../share/qv-templates";
  if (IsDirectory(installed)) return installed;
  return QV_BUILD_TEMPLATE_DIR;
}

CQVEFilePath::CQVEFilePath() = default;
CQVEFilePath::~CQVEFilePath() = default;

uint32_t CQVEFilePath::InitNoProject() {
  m_strProjectTopDir.clear();
  prepared_ = true;
  return 0;
}

uint32_t CQVEFilePath::GetUDFTmplFilePath(const char* key, const char* fileName, const char* owner, CString* path) {
  if (!prepared_ || key == nullptr || owner == nullptr || path == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const char* file = fileName != nullptr ? fileName : FileNameOf(key);
  if (file == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  CString dir;
  if (std::strcmp(owner, "QVSystem") == 0) {
    dir = QVETemplateRoot();
  } else if (std::strcmp(owner, "QVUser") == 0) {
    dir = qvplatform::StationDirectory();
    QVEEngCatPath(dir, "templates");
  } else {
    return QVC_ERR_CANNOT_EXECUTE;
  }
  QVEEngCatPath(dir, owner);
  *path = QVEEngCatPath(dir, file);
  return 0;
}
