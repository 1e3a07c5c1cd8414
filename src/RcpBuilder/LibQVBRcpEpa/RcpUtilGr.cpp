// Recipe groups: numbered directories RGnn below a project's Recipe
// directory, each with its attribute file RcpGrAttr.txt.
#include "LibQVBRcpEpa.h"
#include "RcpCheck.h"
#include "RcpKeywordFile.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

constexpr char kSource[] = "RcpUtilGr";
constexpr char kAttrFile[] = "RcpGrAttr.txt";

CString GroupDirectory(const char* projectDirectory, unsigned groupNo) {
  CString path = projectDirectory != nullptr ? projectDirectory : "";
  QVEEngCatPath(path, "Recipe");
  return QVEEngCatPath(path, QVFormat("RG%02u", groupNo).c_str());
}

CStringArray KeywordItems(const char* keyword, const CString& value) {
  return value.empty() ? CStringArray{keyword} : CStringArray{keyword, value};
}

uint32_t WriteGroupAttrFile(const char* directory, const CString& comment, const CString& server1,
                            const CString& server2) {
  return rcptext::WriteKeywordFile(QVEEngJoinPath(directory, kAttrFile),
                                   {KeywordItems("COMMENT", comment), KeywordItems("SERVER", server1),
                                    KeywordItems("SERVER", server2)});
}

// A third or later "SERVER" line overwrites the second server.
uint32_t ReadGroupAttrFile(const char* directory, CString& comment, CString& server1, CString& server2) {
  int servers = 0;
  uint32_t rc = rcptext::ReadKeywordFile(QVEEngJoinPath(directory, kAttrFile), [&](const rcptext::KeywordLine& line) {
    if (line.keyword == "COMMENT") {
      comment = line.value;
    } else if (line.keyword == "SERVER") {
      (servers++ == 0 ? server1 : server2) = line.value;
    }
  });
  return rc == 0 ? 0 : QVC_ERR_TEXT_FILE_OPEN;
}

}  // namespace

uint32_t CQVERcpUtil::FindFreeRcpGroupNo(const char* projectDirectory, int32_t* table) {
  if (table == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  for (int i = 0; i < QVERCP_GROUP_TABLE; ++i) table[i] = 1;
  CQVERcpDirInfo project;
  project.m_nKind = QVERCP_KIND_PROJECT;
  QVEEngSplitFilePath(projectDirectory, 1, project.m_strParentPath, project.m_strName);
  if (uint32_t rc = GetDirectoryList(&project, 0, 1)) return rc;
  // Groups numbered outside the table (RG00, RG17 and up) have no entry.
  for (const auto& child : project.m_listChild) {
    int32_t number = child->m_nGroupNo;
    if (child->m_nKind == QVERCP_KIND_GROUP && number >= 1 && number <= QVERCP_GROUP_TABLE) table[number - 1] = 0;
  }
  return 0;
}

uint32_t CQVERcpUtil::CheckRcpGroupDuplicate(const char* projectDirectory, unsigned groupNo) {
  return rcpcheck::Duplicate(GroupDirectory(projectDirectory, groupNo), true, kSource, "CheckRcpDuplicate()");
}

// An existing group is never overwritten: its attributes stay as they are.
uint32_t CQVERcpUtil::CreateRecipeGroup(const char* projectDirectory, unsigned groupNo) {
  CString group = GroupDirectory(projectDirectory, groupNo);
  if (rcpcheck::Exists(group, true)) return QVC_ERR_EXISTS;
  if (uint32_t rc = QVEEngCreateDir(group.c_str(), 1)) return rc;
  return WriteGroupAttrFile(group.c_str(), "", "", "");
}

uint32_t CQVERcpUtil::DeleteRecipeGroup(const char* groupDirectory) {
  if (groupDirectory == nullptr || *groupDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
  if (uint32_t rc = DirAccessCheck(groupDirectory)) return rc;
  return QVEEngDeleteRecursive(groupDirectory, 1, 0);
}

uint32_t CQVERcpUtil::GetRecipeGroupInfo(const char* groupDirectory, _QVERcpGroupInfo* info) {
  if (info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  CString server1;
  CString server2;
  if (uint32_t rc = ReadGroupAttrFile(groupDirectory, info->strComment, server1, server2)) return rc;
  info->astrServer.clear();
  for (const CString& server : {server1, server2}) {
    if (!server.empty()) info->astrServer.push_back(server);
  }
  return 0;
}

// The file is replaced in one step, so a failed write leaves the old one.
// Missing server entries are written as empty values.
uint32_t CQVERcpUtil::SetRecipeGroupInfo(const char* groupDirectory, const _QVERcpGroupInfo* info) {
  if (info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const CStringArray& servers = info->astrServer;
  return WriteGroupAttrFile(groupDirectory, info->strComment, servers.size() > 0 ? servers[0] : CString(),
                            servers.size() > 1 ? servers[1] : CString());
}
