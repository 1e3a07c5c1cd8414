// Recipe groups: numbered directories RGnn below a project's Recipe
// directory, each with its attribute file RcpGrAttr.txt.
#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "RcpCheck.h"
#include "RcpGroupBuild.h"
#include "RcpHidden.h"
#include "RcpKeywordFile.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

constexpr char kSource[] = "RcpUtilGr";
constexpr char kAttrFile[] = "RcpGrAttr.txt";

CString RecipeRoot(const char* projectDirectory) {
  CString path = projectDirectory != nullptr ? projectDirectory : "";
  return QVEEngCatPath(path, "Recipe");
}

CString GroupName(unsigned groupNo) { return QVFormat("RG%02u", groupNo); }

CStringArray KeywordItems(const char* keyword, const CString& value) {
  return value.empty() ? CStringArray{keyword} : CStringArray{keyword, value};
}

uint32_t WriteGroupAttrFile(const char* directory, const CString& comment, const CString& server1,
                            const CString& server2) {
  return rcptext::WriteKeywordFile(QVEEngJoinPath(directory, kAttrFile),
                                   {KeywordItems("COMMENT", comment), KeywordItems("SERVER", server1),
                                    KeywordItems("SERVER", server2)});
}

// The comment and the first two servers; the file holds no more.
uint32_t WriteGroupAttributes(const char* directory, const _QVERcpGroupInfo& info) {
  const CStringArray& servers = info.astrServer;
  return WriteGroupAttrFile(directory, info.strComment, servers.size() > 0 ? servers[0] : CString(),
                            servers.size() > 1 ? servers[1] : CString());
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
  if (uint32_t rc = rcppath::Check(projectDirectory, "Recipe")) return rc;
  rcphidden::CleanLeftovers(RecipeRoot(projectDirectory).c_str());
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
  if (uint32_t rc = rcppath::Check(projectDirectory, "Recipe")) return rc;
  CString recipe = RecipeRoot(projectDirectory);
  rcphidden::CleanLeftovers(recipe.c_str());
  return rcpcheck::Duplicate(QVEEngJoinPath(recipe.c_str(), GroupName(groupNo).c_str()), true, kSource,
                             "CheckRcpDuplicate()");
}

// The group is built complete under a hidden name, its attribute file
// included, and then appears in one step; an existing group is never
// overwritten.
uint32_t rcpgroup::CreateWithAttributes(const char* projectDirectory, unsigned groupNo, const _QVERcpGroupInfo& info) {
  CString group = QVEEngJoinPath(RecipeRoot(projectDirectory).c_str(), GroupName(groupNo).c_str());
  return rcpaudit::Recorded("createGroup", group.c_str(), [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(projectDirectory, "Recipe")) return rc;
    CString recipe = RecipeRoot(projectDirectory);
    rcphidden::CleanLeftovers(recipe.c_str());
    CString name = GroupName(groupNo);
    if (rcpcheck::Exists(QVEEngJoinPath(recipe.c_str(), name.c_str()), true)) return QVC_ERR_EXISTS;
    rcphidden::HiddenBuild build(recipe, name.c_str());
    if (uint32_t rc = build.Begin()) return rc;
    if (uint32_t rc = WriteGroupAttributes(build.Path().c_str(), info)) return rc;
    return build.Finish();
  });
}

uint32_t CQVERcpUtil::CreateRecipeGroup(const char* projectDirectory, unsigned groupNo) {
  return rcpgroup::CreateWithAttributes(projectDirectory, groupNo, _QVERcpGroupInfo{});
}

uint32_t CQVERcpUtil::DeleteRecipeGroup(const char* groupDirectory) {
  return rcpaudit::Recorded("deleteGroup", groupDirectory, [&]() -> uint32_t {
    if (groupDirectory == nullptr || *groupDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
    if (uint32_t rc = rcppath::Check(groupDirectory)) return rc;
    rcphidden::CleanLeftoversBeside(groupDirectory);
    if (uint32_t rc = DirAccessCheck(groupDirectory)) return rc;
    return rcphidden::DeleteViaTrash(groupDirectory);
  });
}

uint32_t CQVERcpUtil::GetRecipeGroupInfo(const char* groupDirectory, _QVERcpGroupInfo* info) {
  if (uint32_t rc = rcppath::Check(groupDirectory, kAttrFile)) return rc;
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
  return rcpaudit::Recorded("setGroup", groupDirectory, [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, kAttrFile)) return rc;
    if (info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
    return WriteGroupAttributes(groupDirectory, *info);
  });
}
