// Building the recipe tree from the directories of the store.
#include <strings.h>

#include <vector>

#include "LibQVBRcpEpa.h"
#include "RcpHidden.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngList.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

// Entry 0 is the node being scanned; entry d the directory node accepted last
// at depth d, the parent of the entries at depth d+1.
struct ScanContext {
  std::vector<CQVERcpDirInfo*> byDepth;
};

// Work in progress (hidden builds and trash, names moved aside by an in-use
// check) is neither listed nor entered.
int OnListDir(unsigned type, unsigned depth, const char* directory, const char* name, const char* extension,
              WIN32_FIND_DATAA* /*findData*/, void* context) {
  if (type != QVEENG_LIST_DIRS) return 1;
  if (rcphidden::IsTransient(CString(name) + extension)) return 0;
  auto* scan = static_cast<ScanContext*>(context);
  if (depth == 0 || depth > scan->byDepth.size()) return 0;
  CQVERcpDirInfo* parent = scan->byDepth[depth - 1];
  auto* node = new CQVERcpDirInfo();
  parent->AddChild(node);
  if (node->SetRcpDirInfo(directory, name) != 0) {
    parent->DetachChild(node);  // destroyed with the returned owner
    return 0;
  }
  scan->byDepth.resize(depth + 1);
  scan->byDepth[depth] = node;
  return 1;
}

bool SubGroupPathsEqual(const CString& a, const CString& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

uint32_t CQVERcpUtil::GetDirectoryList(CQVERcpDirInfo* node, int recursive, int readSubGroups) {
  if (node == nullptr) return 0;
  node->m_listChild.clear();
  switch (node->m_nKind) {
    case QVERCP_KIND_PROJECT:
    case QVERCP_KIND_GROUP:
      return GetDirectoryListUpperRcpGroup(node, recursive, readSubGroups);
    case QVERCP_KIND_SUBGROUP:
      return GetDirectoryListUnderSubGroup(node, recursive, readSubGroups);
    default:
      return 0;
  }
}

uint32_t CQVERcpUtil::GetDirectoryListUpperRcpGroup(CQVERcpDirInfo* node, int recursive, int readSubGroups) {
  if (node == nullptr) return 0;
  ScanContext scan{{node}};
  CString pattern = node->GetFullPath();
  if (node->m_nKind == QVERCP_KIND_PROJECT) QVEEngCatPath(pattern, "Recipe");
  if (uint32_t rc = rcppath::Check(pattern.c_str())) return rc;
  QVEEngCatPath(pattern, "*");
  QVEEngListFile2(recursive, pattern.c_str(), QVEENG_LIST_DIRS, OnListDir, &scan);
  if (readSubGroups == 0) return 0;
  if (node->m_nKind == QVERCP_KIND_GROUP) {
    ReadSubGroupFile(node->GetFullPath().c_str(), node);
  } else if (node->m_nKind == QVERCP_KIND_PROJECT && recursive != 0) {
    for (auto& child : node->m_listChild) ReadSubGroupFile(child->GetFullPath().c_str(), child.get());
  }
  return 0;
}

uint32_t CQVERcpUtil::GetDirectoryListUnderSubGroup(CQVERcpDirInfo* node, int recursive, int /*unused*/) {
  if (node == nullptr) return 0;
  CQVERcpDirInfo group;
  group.CopyData(*node);
  group.SetFullPath(node->GetFullPath().c_str());
  group.m_nKind = QVERCP_KIND_GROUP;
  group.m_strSubGroup.clear();
  if (uint32_t rc = GetDirectoryListUpperRcpGroup(&group, recursive, 1)) return rc;
  CQVERcpDirInfo* found = FindSubGroup(&group, node->m_strSubGroup);
  if (found == nullptr) return 0;
  uint32_t userData = node->m_dwUserData;
  *node = *found;
  node->m_dwUserData = userData;
  return 0;
}

CQVERcpDirInfo* CQVERcpUtil::FindSubGroup(CQVERcpDirInfo* root, const CString& subGroupPath) {
  if (root == nullptr) return nullptr;
  if (SubGroupPathsEqual(root->m_strSubGroup, subGroupPath)) return root;
  for (auto& child : root->m_listChild) {
    if (CQVERcpDirInfo* found = FindSubGroup(child.get(), subGroupPath)) return found;
  }
  return nullptr;
}
