// A program built against the installed library: it creates a project with
// one recipe (from the installed system templates) in the directory it is
// given, prints the template it used, and fails when something is missing.
#include <cstdio>
#include <string>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCMessage.h"
#include "QVEEdaClasses.h"
#include "libqveeda/QVEFilePath.h"

int main(int argc, char** argv) {
  if (argc != 2) return 1;
  // The library's frame has put the message catalogue on the chain.
  if (QVCLoadString(QVC_MSG_LOCKED_BY).empty()) return 2;
  CQVEFilePath resolver;
  resolver.InitNoProject();
  CString head;
  if (resolver.GetTmplRcpPath("QVSystem", "RCPHEAD", &head) != 0) return 3;
  CQVEEdaUIntArray numbers;
  numbers.Insert(7);
  if (numbers.Insert(3) != 1 || numbers[0] != 3) return 4;

  const std::string parent = argv[1];
  const std::string project = parent + "/Plant";
  if (CQVERcpUtil::CreateProject("Plant", parent.c_str()) != 0) return 5;
  if (CQVERcpUtil::CreateRecipeGroup(project.c_str(), 1) != 0) return 6;
  if (CQVERcpUtil::CreateRecipe("R1", (project + "/Recipe/RG01").c_str(), 1, nullptr) != 0) return 7;
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = parent;
  root.m_strName = "Plant";
  root.m_strProject = "Plant";
  if (CQVERcpUtil::GetDirectoryList(&root, 1, 1) != 0 || root.m_listChild.size() != 1) return 8;
  std::printf("%s\n", head.c_str());
  return 0;
}
