// Projects: the project list in the station registry and the project
// attribute file RcpPJTAttr.txt in the project's Recipe directory.
#include <vector>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "RcpKeywordFile.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

constexpr char kSource[] = "RcpUtilProject";
constexpr uint16_t kMsgInternal = 9168;
constexpr char kAttrFile[] = "RcpPJTAttr.txt";
constexpr char kRevision[] = "R3.00.00";
constexpr char kProjectList[] = "Project List";
constexpr int kListedProjects = 20;
constexpr uint32_t kNameBuffer = 512;
constexpr uint32_t kPathBuffer = 4096;

CString ProjectKey(const char* projectName) { return CString("Batch\\") + kProjectList + "\\" + projectName + "\\"; }

// A project name is one registry key name: not empty, no separator.
bool ValidProjectName(const char* name) { return name != nullptr && *name != 0 && CString(name).find('\\') == CString::npos; }

CString RecipeDirectory(const CString& projectDirectory) {
  CString path = projectDirectory;
  return QVEEngCatPath(path, "Recipe");
}

// Writes RcpPJTAttr.txt into the directory. An invalid status is refused
// before the old file is touched.
uint32_t WriteProjectAttrFile(const CString& directory, const _QVERcpProjectInfo& info) {
  if (info.nStatus != 1 && info.nStatus != 2) return QVC_ERR_CANNOT_EXECUTE;
  return rcptext::WriteKeywordFile(QVEEngJoinPath(directory.c_str(), kAttrFile),
                                   {{"REVISION", kRevision},
                                    {"STATUS", info.nStatus == 1 ? "C" : "U"},
                                    {"COMMENT", info.strComment},
                                    {"PJTHOST", info.strPjtHost},
                                    {"REFPJTDIR", info.strRefPjtDir},
                                    {"VERSION", info.nVersionMode != 0 ? "AUT" : "MAN"}});
}

void ApplyProjectLine(const rcptext::KeywordLine& line, _QVERcpProjectInfo* info) {
  if (line.keyword == "STATUS") {
    info->nStatus = line.value == "C" ? 1 : 2;
  } else if (line.keyword == "COMMENT") {
    info->strComment = line.value;
  } else if (line.keyword == "PJTHOST") {
    info->strPjtHost = line.value;
  } else if (line.keyword == "REVISION") {
    info->strRevision = line.value;
  } else if (line.keyword == "REFPJTDIR") {
    info->strRefPjtDir = line.value;
  } else if (line.keyword == "VERSION") {
    info->nVersionMode = line.value == "AUT" ? 1 : 0;
  }
}

// The names of the first sub-keys of Batch\<subKey>, in enumeration order.
uint32_t EnumProjectKeys(HKEY root, const char* subKey, CStringArray& names) {
  names.clear();
  HKEY key = nullptr;
  if (uint32_t rc = QVCOpenRegistry(root, QVC_COMPONENT_ENG, "Batch", subKey, 0, &key)) return rc;
  uint32_t result = 0;
  for (DWORD index = 0; index < kListedProjects; ++index) {
    char name[kNameBuffer];
    LONG rc = RegEnumKeyA(key, index, name, sizeof name);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != 0) {
      result = static_cast<uint32_t>(rc);
      break;
    }
    names.push_back(name);
  }
  RegCloseKey(key);
  return result;
}

}  // namespace

uint32_t CQVERcpUtil::SetProjectInfo(const char* projectName, const _QVERcpProjectInfo* info, int writeFile) {
  if (!ValidProjectName(projectName) || info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  if (writeFile == 1) {
    if (uint32_t rc = WriteProjectAttrFile(RecipeDirectory(info->strPath), *info)) return rc;
  }
  return QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, ProjectKey(projectName).c_str(), "Path",
                                    info->strPath.c_str(), 1);
}

uint32_t CQVERcpUtil::GetProjectInfo(const char* projectName, _QVERcpProjectInfo* info) {
  if (!ValidProjectName(projectName) || info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  char path[kPathBuffer];
  uint32_t size = sizeof path;
  if (uint32_t rc = QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, ProjectKey(projectName).c_str(),
                                               "Path", "", path, &size)) {
    return rc;
  }
  info->strPath = path;
  CString attrFile = QVEEngJoinPath(RecipeDirectory(info->strPath).c_str(), kAttrFile);
  uint32_t rc = rcptext::ReadKeywordFile(attrFile, [&](const rcptext::KeywordLine& line) { ApplyProjectLine(line, info); });
  if (rc != 0) _QVCSetError(kMsgInternal, kSource, __LINE__, rc, "catnot open RcpPjtAttr.txt");
  return rc;
}

uint32_t CQVERcpUtil::DeleteProjectInfo(const char* projectName) {
  if (!ValidProjectName(projectName)) return QVC_ERR_CANNOT_EXECUTE;
  HKEY key = nullptr;
  if (uint32_t rc = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", kProjectList, 1, &key)) return rc;
  LONG rc = RegDeleteKeyA(key, projectName);
  QVCCloseRegistry(key);
  return static_cast<uint32_t>(rc);
}

uint32_t CQVERcpUtil::GetProjectList(CStringArray& projects) {
  projects.clear();
  return EnumProjectKeys(HKEY_LOCAL_MACHINE, kProjectList, projects);
}

uint32_t CQVERcpUtil::CreateProject(const char* name, const char* parentDirectory) {
  if (name == nullptr || *name == 0 || parentDirectory == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  CString project = parentDirectory;
  QVEEngCatPath(project, name);
  QVEEngCreateDir2(project.c_str(), 1);
  CString recipe = RecipeDirectory(project);
  QVEEngCreateDir(recipe.c_str(), 1);
  _QVERcpProjectInfo info{};
  info.nStatus = 1;
  info.nVersionMode = 0;
  return WriteProjectAttrFile(recipe, info);
}

uint32_t CQVERcpUtil::DeleteProject(const char* projectDirectory) {
  if (projectDirectory == nullptr || *projectDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
  CString recipe = RecipeDirectory(projectDirectory);
  if (uint32_t rc = DirAccessCheck(recipe.c_str())) return rc;
  if (uint32_t rc = QVEEngDeleteRecursive(recipe.c_str(), 1, 0)) return rc;
  CString lockList = projectDirectory;
  QVEEngCatPath(lockList, "ETC");
  QVEEngDeleteFile(QVEEngCatPath(lockList, "RcpFda.l").c_str(), 0, 0);
  CStringArray left;
  if (QVEEngListFileRecursive(projectDirectory, left) == 0 && !left.empty()) return 0;
  return QVEEngDeleteRecursive(projectDirectory, 1, 0);
}
