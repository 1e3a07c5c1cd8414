// Listings as the family's file views show them: free numbers, and a
// recipe's files or a node's children as file entries.
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"
#include "RcpListed.h"
#include "RcpSubGroupLine.h"

namespace rcpstore {

namespace {

// The kinds a child node's entry has in a listing as files.
constexpr uint32_t kRecipeEntry = 0xF000;
constexpr uint32_t kSubGroupEntry = 0xF001;
constexpr uint32_t kGroupEntry = 0xF002;
constexpr uint32_t kProjectEntry = 0xF003;

const char* EntryKind(const CQVERcpFileInfo& f) {
  switch (f.m_nKind) {
    case QVERCP_FILE_HEADER: return "header";
    case QVERCP_FILE_UNIT: return f.m_nUnitNo == 0 ? "procedure" : "unit";
    case kRecipeEntry: return "recipe";
    case kSubGroupEntry: return "subGroup";
    case kGroupEntry: return "group";
    case kProjectEntry: return "project";
    default: return "file";
  }
}

StoreItem ItemOfEntry(const Target& listed, const CQVERcpFileInfo& f) {
  const CQVERcpDirInfo* node = f.m_pDirInfo;
  switch (f.m_nKind) {
    case kRecipeEntry: return PlainItem(RecipeOf(listed, static_cast<unsigned>(f.m_nRecipeNo), node->GetFullPath()));
    case kGroupEntry: return PlainItem(GroupOf(listed, static_cast<unsigned>(f.m_nGroupNo), node->GetFullPath()));
    case kSubGroupEntry: {
      StoreItem item = SubGroupItem(listed, {});
      item.name = node->m_strName;
      item.subGroup = rcpsubgroup::PathOf(node);
      return item;
    }
    default: return UnitItem(listed, static_cast<unsigned>(f.m_nUnitNo));
  }
}

}  // namespace

std::vector<unsigned> FreeNumbers(const Target& owner) {
  std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
  size_t size = QVERCP_RECIPE_TABLE;
  if (owner.group.empty()) {
    size = QVERCP_GROUP_TABLE;
    Check(CQVERcpUtil::FindFreeRcpGroupNo(owner.project.c_str(), table.data()));
  } else if (owner.recipe.empty()) {
    Check(CQVERcpUtil::FindFreeRcpNo(owner.group.c_str(), table.data()));
  } else {
    size = QVERCP_UNITS;
    Check(CQVERcpUtil::FindFreeUnitNo(owner.recipe.c_str(), table.data()));
  }
  std::vector<unsigned> free;
  for (size_t i = 0; i < size; ++i) {
    if (table[i] == 1) free.push_back(static_cast<unsigned>(i + 1));
  }
  return free;
}

std::vector<FileEntry> ListEntries(const Target& target, bool children) {
  CQVERcpFileInfoArray files;
  CQVERcpDirInfo node = ScanNode(target);
  if (children || target.recipe.empty()) {
    CQVERcpUtil::GetDirectoryList(&node, 0, 0);
    if (node.m_nKind == QVERCP_KIND_GROUP) rcpsubgroup::ReadLayout(node.GetFullPath(), &node);
    CQVERcpUtil::GetDirListAsFile(&node, files);
  } else {
    Check(CQVERcpUtil::GetFileList(target.recipe.c_str(), files));
  }
  std::vector<FileEntry> entries;
  for (const auto& file : files) {
    const CQVERcpFileInfo& f = *file;
    FileEntry entry{EntryKind(f), {}, f.GetFullPath(), f.GetFileName(), f.m_strTitle, f.m_strComment,
                    static_cast<int32_t>(f.m_tModified), static_cast<unsigned>(f.m_nUnitNo)};
    bool thing = f.m_nKind == kRecipeEntry || f.m_nKind == kGroupEntry || f.m_nKind == kSubGroupEntry ||
                 (f.m_nKind == QVERCP_FILE_UNIT && f.m_nUnitNo != 0);
    if (thing) entry.item = ItemOfEntry(target, f);
    entry.item.target = thing ? entry.item.target : target;
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace rcpstore
