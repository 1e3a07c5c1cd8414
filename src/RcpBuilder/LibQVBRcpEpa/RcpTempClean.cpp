// Emptying the work directories of every recipe of a project that nobody
// edits, after finishing or undoing what killed creates and deletes left in
// it and recording in the history what killed changes left unrecorded.
#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/ShareMode.h"

namespace {

// The project directory, Recipe and every group directory; the recipe
// directories are cleaned while their work directories are emptied.
void CleanUpperLevels(const CString& projectDirectory, CQVERcpDirInfo* root) {
  rcphidden::CleanLeftovers(projectDirectory.c_str());
  rcphidden::CleanLeftovers(QVEEngJoinPath(projectDirectory.c_str(), "Recipe").c_str());
  CQVERcpUtil::GetDirectoryList(root, 0, 0);
  for (const auto& group : root->m_listChild) rcphidden::CleanLeftovers(group->GetFullPath().c_str());
}

// A recipe whose lock another process holds is being edited there, and its
// work files are that editor's.
bool LockedElsewhere(const CString& recipeDirectory) {
  return qvplatform::IsHeld(QVEEngJoinPath(recipeDirectory.c_str(), "RcpLock.txt"));
}

}  // namespace

// A Recipe directory that a killed in-use check left moved aside is moved
// back before the project is looked up again. The emptying is one change of
// the audit trail, named by the project.
uint32_t CQVERcpUtil::DeleteTempFile(const char* projectName) {
  return rcpaudit::Recorded("cleanTemp", nullptr, projectName, [&]() -> uint32_t {
    _QVERcpProjectInfo info{};
    if (uint32_t rc = GetProjectInfo(projectName, &info)) {
      if (info.strPath.empty()) return rc;
      rcphidden::CleanLeftovers(info.strPath.c_str());
      if (uint32_t again = GetProjectInfo(projectName, &info)) return again;
    }
    CQVERcpDirInfo root;
    root.m_nKind = QVERCP_KIND_PROJECT;
    root.m_strProject = projectName;
    QVEEngSplitFilePath(info.strPath.c_str(), 1, root.m_strParentPath, root.m_strName);
    CleanUpperLevels(info.strPath, &root);
    // A change cut short between the recipe's files and its history is recorded now.
    rcphistory::ReconcileProject(info.strPath);
    GetDirectoryList(&root, 1, 0);
    // A recipe whose work directory cannot be emptied or made does not stop the others.
    for (const auto& group : root.m_listChild) {
      for (const auto& recipe : group->m_listChild) {
        CString work = recipe->GetFullPath();
        QVEEngCatPath(work, "TEMP");
        if (rcppath::Check(work.c_str()) != 0 || LockedElsewhere(recipe->GetFullPath())) continue;
        rcphidden::CleanLeftovers(recipe->GetFullPath().c_str());
        CString everything = work;
        QVEEngDeleteRecursive(QVEEngCatPath(everything, "*").c_str(), 0, 0);
        QVEEngCreateDir(work.c_str(), 0);
      }
    }
    return 0;
  });
}

uint32_t CQVERcpUtil::CleanLeftovers(const char* directory) {
  if (directory == nullptr || *directory == 0) return QVC_ERR_CANNOT_EXECUTE;
  if (uint32_t rc = rcppath::Check(directory)) return rc;
  rcphidden::CleanLeftovers(directory);
  return 0;
}
