// One node of the recipe tree.
#include <cstdio>
#include <cstring>

#include "LibQVBRcpEpa.h"
#include "RcpUserBlock.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngAlloc.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

constexpr char kSource[] = "RcpDirInfo";
constexpr uint16_t kMsgInternal = 9168;


bool SameKeys(const CQVERcpDirInfo& a, const CQVERcpDirInfo& b) {
  switch (a.m_nKind) {
    case QVERCP_KIND_PROJECT:
      return a.m_strProject == b.m_strProject;
    case QVERCP_KIND_GROUP:
      return a.m_nGroupNo == b.m_nGroupNo && a.m_strProject == b.m_strProject;
    case QVERCP_KIND_SUBGROUP:
      return a.m_strProject == b.m_strProject && a.m_strSubGroup == b.m_strSubGroup;
    case QVERCP_KIND_RECIPE:
      return a.m_nRecipeNo == b.m_nRecipeNo && a.m_nGroupNo == b.m_nGroupNo && a.m_strProject == b.m_strProject;
    default:
      return true;
  }
}

}  // namespace

CQVERcpDirInfo::CQVERcpDirInfo() { QVCTime(&m_tCreated); }

CQVERcpDirInfo::CQVERcpDirInfo(const CQVERcpDirInfo& other) : CObject() {
  CopyData(other);
  AppendCopiesOf(other.m_listChild);
}

CQVERcpDirInfo::~CQVERcpDirInfo() {
  m_listChild.clear();
  ReleaseUserBlock();
}

CQVERcpDirInfo CQVERcpDirInfo::operator=(const CQVERcpDirInfo& other) {
  CopyData(other);
  AppendCopiesOf(other.m_listChild);
  return *this;
}

int CQVERcpDirInfo::operator==(const CQVERcpDirInfo& other) const {
  if (m_nKind != other.m_nKind || !SameKeys(*this, other)) return 0;
  return rcpblock::Same(m_pUserBlock, m_nUserBlockSize, other.m_pUserBlock, other.m_nUserBlockSize) ? 1 : 0;
}

int CQVERcpDirInfo::operator!=(const CQVERcpDirInfo& other) const { return *this == other ? 0 : 1; }

// Copying from itself keeps the node as it is, user block included.
void CQVERcpDirInfo::CopyData(const CQVERcpDirInfo& other) {
  if (&other == this) return;
  m_nKind = other.m_nKind;
  m_strProject = other.m_strProject;
  m_nGroupNo = other.m_nGroupNo;
  m_nRecipeNo = other.m_nRecipeNo;
  m_strParentPath = other.m_strParentPath;
  m_strName = other.m_strName;
  m_strSubGroup = other.m_strSubGroup;
  m_dwUserData = other.m_dwUserData;
  m_tCreated = other.m_tCreated;
  ReleaseUserBlock();
}

// The copies are made before any is appended, so that a node assigned to
// itself (or to one of its ancestors' copies) appends each child once.
void CQVERcpDirInfo::AppendCopiesOf(const ChildList& children) {
  ChildList copies;
  for (const auto& child : children) copies.push_back(std::make_unique<CQVERcpDirInfo>(*child));
  for (auto& copy : copies) copy->m_pParent = this;
  m_listChild.splice(m_listChild.end(), copies);
}

uint32_t CQVERcpDirInfo::AddChild(CQVERcpDirInfo* child) {
  m_listChild.emplace_back(child);
  child->m_strProject = m_strProject;
  CString path = GetFullPath();
  if (m_nKind == QVERCP_KIND_PROJECT) QVEEngCatPath(path, "Recipe");
  QVEEngCatPath(path, "");
  child->m_strParentPath = path;
  child->m_pParent = this;
  child->m_nGroupNo = m_nGroupNo;
  child->m_strSubGroup = m_strSubGroup;
  return 0;
}

std::unique_ptr<CQVERcpDirInfo> CQVERcpDirInfo::DetachChild(const CQVERcpDirInfo* child) {
  for (auto it = m_listChild.begin(); it != m_listChild.end(); ++it) {
    if (it->get() != child) continue;
    std::unique_ptr<CQVERcpDirInfo> out = std::move(*it);
    m_listChild.erase(it);
    return out;
  }
  return nullptr;
}

CString CQVERcpDirInfo::GetFullPath() const {
  CString path = m_strParentPath;
  if (m_nKind != QVERCP_KIND_SUBGROUP) QVEEngCatPath(path, m_strName.c_str());
  return path;
}

uint32_t CQVERcpDirInfo::SetFullPath(const char* path) {
  CString directory;
  CString name;
  uint32_t rc = QVEEngSplitFilePath(path, 1, directory, name);
  if (rc != 0) return rc;
  return SetRcpDirInfo(directory.c_str(), name.c_str());
}

uint32_t CQVERcpDirInfo::SetRcpDirInfo(const char* parentPath, const char* name) {
  if (parentPath != nullptr) m_strParentPath = parentPath;
  CString upper = QVUpperAscii(name != nullptr ? name : "");
  m_strName = upper;
  int number = 0;
  if (std::sscanf(upper.c_str(), "RCP%4d", &number) == 1) {
    m_nKind = QVERCP_KIND_RECIPE;
    m_nRecipeNo = number;
    return 0;
  }
  if (std::sscanf(upper.c_str(), "RG%2d", &number) == 1) {
    m_nKind = QVERCP_KIND_GROUP;
    m_nGroupNo = number;
    return 0;
  }
  m_nKind = QVERCP_KIND_NONE;
  _QVCSetError(kMsgInternal, kSource, __LINE__, QVERCP_ERR_INVALID_NAME, "Invalid Directory");
  return QVERCP_ERR_INVALID_NAME;
}

CQVERcpDirInfo* CQVERcpDirInfo::Search(const CQVERcpDirInfo* target) {
  if (*target == *this) return this;
  if (m_strProject != target->m_strProject) return nullptr;
  for (auto& child : m_listChild) {
    if (CQVERcpDirInfo* found = child->Search(target)) return found;
  }
  return nullptr;
}

CString CQVERcpDirInfo::GetDispName(unsigned mode) {
  if (mode == 1) return m_strName;
  if (mode != 0) return CString();
  const char* project = m_strProject.c_str();
  const char* sub = m_strSubGroup.c_str();
  switch (m_nKind) {
    case QVERCP_KIND_PROJECT:
      return QVFormat("Pjt:%s", project);
    case QVERCP_KIND_GROUP:
      return QVFormat("Pjt:%s Gr:RG%02d", project, m_nGroupNo);
    case QVERCP_KIND_SUBGROUP:
      return QVFormat("Pjt:%s Gr:RG%02d Sub:%s", project, m_nGroupNo, sub);
    case QVERCP_KIND_RECIPE:
      if (m_strSubGroup.empty()) return QVFormat("PJT:%s Gr:RG%02d Rcp:RCP%04d", project, m_nGroupNo, m_nRecipeNo);
      return QVFormat("PJT:%s Gr:RG%02d Sub:%s Rcp:RCP%04d", project, m_nGroupNo, sub, m_nRecipeNo);
    default:
      return m_strName;
  }
}

void CQVERcpDirInfo::ReleaseUserBlock() {
  __QVEEngFree(m_pUserBlock, kSource, __LINE__);
  m_pUserBlock = nullptr;
  m_nUserBlockSize = 0;
}
