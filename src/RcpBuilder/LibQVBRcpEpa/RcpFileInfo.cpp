// One entry of a file list: a recipe data file or a tree node shown as one.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "LibQVBRcpEpa.h"
#include "RcpHeaderCache.h"
#include "RcpUserBlock.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngAlloc.h"

namespace {

constexpr char kSource[] = "RcpFileInfo";
constexpr uint16_t kMsgInternal = 9168;

int32_t FileTypeOf(const CString& extension) {
  struct Type {
    const char* extension;
    int32_t type;
  };
  static const Type kTypes[] = {{".edf", 1}, {".sva", 2}, {".csv", 3}, {".s", 5}};
  for (const Type& t : kTypes) {
    if (strcasecmp(extension.c_str(), t.extension) == 0) return t.type;
  }
  return 0;
}

uint32_t DirectoryKind(int32_t nodeKind) {
  switch (nodeKind) {
    case QVERCP_KIND_RECIPE: return 0xF000;
    case QVERCP_KIND_SUBGROUP: return 0xF001;
    case QVERCP_KIND_GROUP: return 0xF002;
    case QVERCP_KIND_PROJECT: return 0xF003;
    default: return 0;
  }
}


}  // namespace

CQVERcpFileInfo::CQVERcpFileInfo() { QVCTime(&m_tCreated); }

CQVERcpFileInfo::CQVERcpFileInfo(const CQVERcpFileInfo& other) : CObject() { CopyData(other); }

CQVERcpFileInfo::~CQVERcpFileInfo() { ReleaseUserBlock(); }

CQVERcpFileInfo CQVERcpFileInfo::operator=(const CQVERcpFileInfo& other) {
  CopyData(other);
  return *this;
}

int CQVERcpFileInfo::operator==(const CQVERcpFileInfo& o) const {
  bool same = m_nKind == o.m_nKind && m_nFileType == o.m_nFileType && m_strProject == o.m_strProject &&
              m_nGroupNo == o.m_nGroupNo && m_nRecipeNo == o.m_nRecipeNo && m_strTitle == o.m_strTitle &&
              m_nUnitNo == o.m_nUnitNo && m_strDir == o.m_strDir && m_strName == o.m_strName &&
              m_strExt == o.m_strExt && m_strComment == o.m_strComment && m_tModified == o.m_tModified &&
              m_dwUserParam == o.m_dwUserParam && rcpblock::Same(m_pUserBlock, m_nUserBlockSize, o.m_pUserBlock, o.m_nUserBlockSize);
  return same ? 1 : 0;
}

int CQVERcpFileInfo::operator!=(const CQVERcpFileInfo& other) const { return *this == other ? 0 : 1; }

// Copying from itself keeps the node as it is, user block included.
void CQVERcpFileInfo::CopyData(const CQVERcpFileInfo& o) {
  if (&o == this) return;
  m_nKind = o.m_nKind;
  m_nFileType = o.m_nFileType;
  m_strProject = o.m_strProject;
  m_nGroupNo = o.m_nGroupNo;
  m_nRecipeNo = o.m_nRecipeNo;
  m_strTitle = o.m_strTitle;
  m_nUnitNo = o.m_nUnitNo;
  m_strDir = o.m_strDir;
  m_strName = o.m_strName;
  m_strExt = o.m_strExt;
  m_strComment = o.m_strComment;
  m_tModified = o.m_tModified;
  m_tCreated = o.m_tCreated;
  m_dwUserData = o.m_dwUserData;
  m_pDirInfo = o.m_pDirInfo;
  m_dwUserParam = o.m_dwUserParam;
  ReleaseUserBlock();
}

void CQVERcpFileInfo::CopyData(const CQVERcpDirInfo& node) {
  m_nKind = DirectoryKind(node.m_nKind);
  m_strName = node.m_strName;
  m_strExt.clear();
  m_strProject = node.m_strProject;
  m_nGroupNo = node.m_nGroupNo;
  m_nRecipeNo = node.m_nRecipeNo;
  m_nFileType = 0;
  ReleaseUserBlock();
  m_dwUserParam = node.m_dwUserParam;
}

CString CQVERcpFileInfo::GetFileName() const { return m_strName + m_strExt; }

CString CQVERcpFileInfo::GetFullPath() const { return m_strDir + GetFileName(); }

uint32_t CQVERcpFileInfo::SetRcpFileInfo(const char* directory, const char* name, const char* extension,
                                         const WIN32_FIND_DATAA* findData) {
  const CString dir = directory != nullptr ? directory : "";
  m_strDir = dir;
  if (m_strDir.empty() || m_strDir.back() != '/') m_strDir += '/';
  m_strName = name != nullptr ? name : "";
  m_strExt = extension != nullptr ? extension : "";
  if (findData != nullptr) m_tModified = findData->ftLastWriteTime;
  m_nFileType = FileTypeOf(m_strExt);
  if (m_nFileType == 0) {
    _QVCSetError(kMsgInternal, kSource, __LINE__, QVERCP_ERR_INVALID_NAME, "Invalid Extention");
    return QVERCP_ERR_INVALID_NAME;
  }
  _QVERcpFileDetailInfo record;
  if (uint32_t rc = CQVERcpUtil::GetRcpFileInfo(GetFullPath().c_str(), &m_nKind, &record)) return rc;
  m_tModified = record.tUpdated;
  m_strTitle = record.strTitle;
  if (m_nFileType != 1) return 0;
  RcpHeaderCache& cache = RcpThreadHeaderCache();
  if (m_nKind == QVERCP_FILE_HEADER) {
    cache.record = record;
    cache.directory = dir;
    m_strComment = record.strComment;
  } else if (m_nKind == QVERCP_FILE_UNIT) {
    int number = 0;
    m_nUnitNo = std::sscanf(QVUpperAscii(m_strName).c_str(), "RCPPT%d", &number) == 1 ? number : 0;
    if (cache.directory == dir) {
      m_strTitle = cache.record.strTitle;
      if (m_nUnitNo >= 1 && m_nUnitNo <= QVERCP_UNITS) m_strComment = cache.record.strUnitComment[m_nUnitNo - 1];
    }
  }
  return 0;
}

CString CQVERcpFileInfo::GetDispName(unsigned mode) {
  if (mode == 1) return GetFileName();
  if (mode != 0) return CString();
  if (m_nFileType != 1) return GetFileName();
  return QVFormat("PJT:%s Gr:RG%02d Rcp:RCP%04d File:%s", m_strProject.c_str(), m_nGroupNo, m_nRecipeNo,
                  GetFileName().c_str());
}

void CQVERcpFileInfo::ReleaseUserBlock() {
  __QVEEngFree(m_pUserBlock, kSource, __LINE__);
  m_pUserBlock = nullptr;
  m_nUserBlockSize = 0;
}
