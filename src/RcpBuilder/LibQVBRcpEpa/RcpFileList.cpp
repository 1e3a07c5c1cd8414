// Recipe files and tree nodes listed as file entries.
#include "LibQVBRcpEpa.h"
#include "RcpHidden.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngList.h"

namespace {

int OnListFile(unsigned type, unsigned /*depth*/, const char* directory, const char* name, const char* extension,
               WIN32_FIND_DATAA* findData, void* context) {
  if (type != QVEENG_LIST_FILES || rcphidden::IsTransient(CString(name) + extension)) return 1;
  auto entry = std::make_unique<CQVERcpFileInfo>();
  if (entry->SetRcpFileInfo(directory, name, extension, findData) == 0) {
    static_cast<CQVERcpFileInfoArray*>(context)->push_back(std::move(entry));
  }
  return 1;
}

}  // namespace

uint32_t CQVERcpUtil::GetFileList(const char* directory, CQVERcpFileInfoArray& files) {
  files.clear();
  if (uint32_t rc = rcppath::Check(directory)) return rc;
  CString pattern = CString(directory != nullptr ? directory : "") + "/*";
  QVEEngListFile2(0, pattern.c_str(), QVEENG_LIST_FILES, OnListFile, &files);
  return 0;
}

uint32_t CQVERcpUtil::GetFileList(const CQVERcpDirInfo* node, CQVERcpFileInfoArray& files) {
  if (node == nullptr) {
    files.clear();
    return 0;
  }
  if (uint32_t rc = GetFileList(node->GetFullPath().c_str(), files)) return rc;
  for (auto& file : files) {
    file->m_strProject = node->m_strProject;
    file->m_nGroupNo = node->m_nGroupNo;
    file->m_nRecipeNo = node->m_nRecipeNo;
    file->m_pDirInfo = const_cast<CQVERcpDirInfo*>(node);
  }
  return 0;
}

uint32_t CQVERcpUtil::GetDirListAsFile(const CQVERcpDirInfo* node, CQVERcpFileInfoArray& files) {
  if (node == nullptr) return 0;
  for (const auto& child : node->m_listChild) {
    auto entry = std::make_unique<CQVERcpFileInfo>();
    switch (child->m_nKind) {
      case QVERCP_KIND_RECIPE:
        entry->SetRcpFileInfo(child->GetFullPath().c_str(), "RCPHEAD", ".edf", nullptr);
        entry->m_nKind = 0xF000;
        break;
      case QVERCP_KIND_SUBGROUP:
        entry->m_nKind = 0xF001;
        break;
      case QVERCP_KIND_GROUP: {
        entry->m_nKind = 0xF002;
        _QVERcpGroupInfo info;
        GetRecipeGroupInfo(child->GetFullPath().c_str(), &info);
        entry->m_strComment = info.strComment;
        break;
      }
      case QVERCP_KIND_PROJECT:
        entry->m_nKind = 0xF003;
        break;
      default:
        continue;
    }
    entry->m_strName = child->m_strName;
    entry->m_pDirInfo = child.get();
    entry->m_strProject = child->m_strProject;
    entry->m_nGroupNo = child->m_nGroupNo;
    entry->m_nRecipeNo = child->m_nRecipeNo;
    entry->m_nFileType = 0;
    files.push_back(std::move(entry));
  }
  return 0;
}
