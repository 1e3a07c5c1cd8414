// Projects: the project list in the station registry and the project
// attribute file RcpPJTAttr.txt in the project's Recipe directory.
#include <algorithm>
#include <vector>

#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "RcpCheck.h"
#include "RcpHidden.h"
#include "RcpKeywordFile.h"
#include "RcpProjectFile.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"

namespace {

constexpr char kSource[] = "RcpUtilProject";
constexpr uint16_t kMsgInternal = 9168;
constexpr char kAttrFile[] = "RcpPJTAttr.txt";
constexpr char kProjectLockFile[] = "RcpPjtLock.txt";
constexpr char kRevision[] = "R3.00.00";
constexpr char kProjectList[] = "Project List";
constexpr int kListedProjects = 20;
constexpr size_t kMaxProjectName = 64;
constexpr uint32_t kNameBuffer = 512;
constexpr uint32_t kPathBuffer = 4096;

CString ProjectKey(const char* projectName) { return CString("Batch\\") + kProjectList + "\\" + projectName + "\\"; }

// A project name is one registry key name: not empty, no separator.
bool ValidProjectName(const char* name) { return name != nullptr && *name != 0 && CString(name).find('\\') == CString::npos; }

// A new project name is also one directory name beside others: at most 64
// bytes, no separator or control character, and not starting with a dot
// (which rules out "." and "..", and the store's hidden work names).
bool AcceptableNewProjectName(const char* name) {
  if (!ValidProjectName(name) || name[0] == '.') return false;
  size_t length = 0;
  for (const char* c = name; *c != 0; ++c, ++length) {
    auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte == 0x7F || byte == '/' || length >= kMaxProjectName) return false;
  }
  return true;
}

CString RecipeDirectory(const CString& projectDirectory) {
  CString path = projectDirectory;
  return QVEEngCatPath(path, "Recipe");
}

// Writes RcpPJTAttr.txt into the directory. An invalid status is refused
// before the old file is touched.
uint32_t WriteProjectAttrFile(const CString& directory, const _QVERcpProjectInfo& info) {
  if (info.nStatus != 1 && info.nStatus != 2) return QVC_ERR_CANNOT_EXECUTE;
  return rcptext::WriteKeywordFile(QVEEngJoinPath(directory.c_str(), kAttrFile), rcpproject::AttributeLines(info));
}

// The parent of a project is the caller's choice and may itself be a link
// to a directory (a linked home directory); only a missing one is made.
uint32_t MakeParent(const char* parentDirectory) {
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->Stat(parentDirectory, &st) == 0 && st.type == qvplatform::EntryType::kDirectory) {
    return 0;
  }
  return QVEEngCreateDir2(parentDirectory, 1);
}

_QVERcpProjectInfo NewProjectInfo() {
  _QVERcpProjectInfo info{};
  info.nStatus = 1;
  info.nVersionMode = 0;
  return info;
}

// Builds parent/name under a hidden name: with recipeInside a project
// directory holding Recipe, otherwise the Recipe directory itself, each with
// the default attribute file.
uint32_t BuildHidden(const CString& parent, const char* name, bool recipeInside) {
  rcphidden::HiddenBuild build(parent, name);
  if (uint32_t rc = build.Begin()) return rc;
  CString recipe = recipeInside ? RecipeDirectory(build.Path()) : build.Path();
  if (recipeInside) {
    if (uint32_t rc = QVEEngCreateDir(recipe.c_str(), 1)) return rc;
  }
  if (uint32_t rc = WriteProjectAttrFile(recipe, NewProjectInfo())) return rc;
  return build.Finish();
}

}  // namespace

void rcpproject::ApplyAttributeLine(const rcptext::KeywordLine& line, _QVERcpProjectInfo* info) {
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

std::vector<CStringArray> rcpproject::AttributeLines(const _QVERcpProjectInfo& info) {
  return {{"REVISION", kRevision},
          {"STATUS", info.nStatus == 1 ? "C" : "U"},
          {"COMMENT", info.strComment},
          {"PJTHOST", info.strPjtHost},
          {"REFPJTDIR", info.strRefPjtDir},
          {"VERSION", info.nVersionMode != 0 ? "AUT" : "MAN"}};
}

namespace {

// Whether a project directory holds anything but its lock file and an
// empty ETC: the engineering project's own files and directories, links and
// FIFOs included. A directory that is gone holds nothing; one that cannot
// be listed counts as holding something.
bool HoldsOthers(const char* projectDirectory) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::vector<qvplatform::DirEntry> entries;
  if (uint32_t rc = env->ReadDirectory(projectDirectory, &entries)) {
    return rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND;
  }
  return std::any_of(entries.begin(), entries.end(), [&](const qvplatform::DirEntry& entry) {
    if (entry.name == kProjectLockFile) return false;
    std::vector<qvplatform::DirEntry> etc;
    return entry.name != "ETC" || entry.type != qvplatform::EntryType::kDirectory ||
           env->ReadDirectory(QVEEngJoinPath(projectDirectory, "ETC"), &etc) != 0 || !etc.empty();
  });
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
    if (rc == ERROR_MORE_DATA) continue;  // a name no project can have does not hide the others
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
  const char* path = info != nullptr ? info->strPath.c_str() : nullptr;
  return rcpaudit::Recorded("setProject", path, projectName, [&]() -> uint32_t {
    if (!AcceptableNewProjectName(projectName) || info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
    if (writeFile == 1) {
      if (uint32_t rc = rcppath::Check(RecipeDirectory(info->strPath).c_str(), kAttrFile)) return rc;
      if (uint32_t rc = WriteProjectAttrFile(RecipeDirectory(info->strPath), *info)) return rc;
    }
    return QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, ProjectKey(projectName).c_str(), "Path",
                                      info->strPath.c_str(), 1);
  });
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
  uint32_t rc = rcpproject::ReadAttributes(info->strPath, info);
  if (rc != 0) _QVCSetError(kMsgInternal, kSource, __LINE__, rc, "catnot open RcpPjtAttr.txt");
  return rc;
}

// A registration that has committed but not finished holds the attributes in force.
uint32_t rcpproject::ReadAttributes(const CString& projectDirectory, _QVERcpProjectInfo* info) {
  CString attrFile = QVEEngJoinPath(RecipeDirectory(projectDirectory).c_str(), kAttrFile);
  CString inForce = CommittedRegistration(projectDirectory);
  if (inForce.empty()) inForce = attrFile;
  if (uint32_t rc = rcppath::Check(inForce.c_str())) return rc;
  return rcptext::ReadKeywordFile(inForce, [&](const rcptext::KeywordLine& line) { ApplyAttributeLine(line, info); });
}

CString rcpproject::RegisteredDirectory(const CString& name) {
  char path[kPathBuffer];
  uint32_t size = sizeof path;
  if (!ValidProjectName(name.c_str()) ||
      QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, ProjectKey(name.c_str()).c_str(), "Path", "",
                                 path, &size) != 0) {
    return {};
  }
  return path;
}

uint32_t CQVERcpUtil::DeleteProjectInfo(const char* projectName) {
  return rcpaudit::Recorded("unregisterProject", nullptr, projectName, [&]() -> uint32_t {
    if (!ValidProjectName(projectName)) return QVC_ERR_CANNOT_EXECUTE;
    HKEY key = nullptr;
    if (uint32_t rc = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", kProjectList, 1, &key)) return rc;
    LONG rc = RegDeleteKeyA(key, projectName);
    QVCCloseRegistry(key);
    return static_cast<uint32_t>(rc);
  });
}

uint32_t CQVERcpUtil::GetProjectList(CStringArray& projects) {
  projects.clear();
  return EnumProjectKeys(HKEY_LOCAL_MACHINE, kProjectList, projects);
}

// A new project directory is built whole (Recipe and its attribute file)
// under a hidden name; in an existing project directory the Recipe
// directory is; an existing Recipe directory is used and gets the default
// attributes. A link or a file in place of either directory is refused,
// so that nothing is written outside the parent.
uint32_t CQVERcpUtil::CreateProject(const char* name, const char* parentDirectory) {
  return rcpaudit::Recorded("createProject", QVEEngJoinPath(parentDirectory, name).c_str(), [&]() -> uint32_t {
    if (!AcceptableNewProjectName(name) || parentDirectory == nullptr || *parentDirectory == 0) {
      return QVC_ERR_CANNOT_EXECUTE;
    }
    if (uint32_t rc = MakeParent(parentDirectory)) return rc;
    rcphidden::CleanLeftovers(parentDirectory);
    CString project = QVEEngJoinPath(parentDirectory, name);
    qvplatform::EntryType type = qvplatform::EntryType::kOther;
    if (!rcpcheck::ListedType(project, &type)) return BuildHidden(parentDirectory, name, true);
    if (type != qvplatform::EntryType::kDirectory) return ERROR_ALREADY_EXISTS;
    rcphidden::CleanLeftovers(project.c_str());
    CString recipe = RecipeDirectory(project);
    if (!rcpcheck::ListedType(recipe, &type)) return BuildHidden(project, "Recipe", false);
    if (type != qvplatform::EntryType::kDirectory) return ERROR_ALREADY_EXISTS;
    return WriteProjectAttrFile(recipe, NewProjectInfo());
  });
}

// A Recipe directory that is already gone (a delete killed after removing
// it) does not keep the rest of the project from being deleted.
uint32_t CQVERcpUtil::DeleteProject(const char* projectDirectory) {
  return rcpaudit::Recorded("deleteProject", projectDirectory, [&]() -> uint32_t {
    if (projectDirectory == nullptr || *projectDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
    if (uint32_t rc = rcppath::Check(projectDirectory, "Recipe")) return rc;
    if (uint32_t rc = rcppath::Check(projectDirectory, "ETC/RcpFda.l")) return rc;
    rcphidden::CleanLeftoversBeside(projectDirectory);
    rcphidden::CleanLeftovers(projectDirectory);
    CString recipe = RecipeDirectory(projectDirectory);
    uint32_t rc = DirAccessCheck(recipe.c_str());
    if (rc == 0) rc = rcphidden::DeleteViaTrash(recipe);
    if (rc != 0 && rc != ERROR_FILE_NOT_FOUND) return rc;
    CString lockList = projectDirectory;
    QVEEngCatPath(lockList, "ETC");
    QVEEngDeleteFile(QVEEngCatPath(lockList, "RcpFda.l").c_str(), 0, 0);
    // The directory goes in one step with its lock file (the deleting
    // caller's own) when nothing else is left in it.
    return HoldsOthers(projectDirectory) ? 0 : rcphidden::DeleteViaTrash(projectDirectory);
  });
}
