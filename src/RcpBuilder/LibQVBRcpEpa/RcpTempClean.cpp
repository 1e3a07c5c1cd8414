// Emptying the work directories of every recipe of a project.
#include "LibQVBRcpEpa.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"

uint32_t CQVERcpUtil::DeleteTempFile(const char* projectName) {
  _QVERcpProjectInfo info{};
  if (uint32_t rc = GetProjectInfo(projectName, &info)) return rc;
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strProject = projectName;
  QVEEngSplitFilePath(info.strPath.c_str(), 1, root.m_strParentPath, root.m_strName);
  GetDirectoryList(&root, 1, 0);
  // A recipe whose work directory cannot be emptied or made does not stop the others.
  for (const auto& group : root.m_listChild) {
    for (const auto& recipe : group->m_listChild) {
      CString work = recipe->GetFullPath();
      QVEEngCatPath(work, "TEMP");
      CString everything = work;
      QVEEngDeleteRecursive(QVEEngCatPath(everything, "*").c_str(), 0, 0);
      QVEEngCreateDir(work.c_str(), 0);
    }
  }
  return 0;
}
