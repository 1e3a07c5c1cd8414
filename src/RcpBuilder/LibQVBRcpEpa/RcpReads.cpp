// What the store holds, read for callers: recipe headers, group attributes,
// unit files, the listings of groups and recipes, and the items that
// describe them.
#include "LibQVBRcpEpa/Reads.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "RcpListed.h"
#include "RcpRecipeHead.h"
#include "RcpSubGroupLine.h"
#include "libqveeda/QVEEdaFile.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

using namespace rcprecipe;  // the fields of the header records
constexpr uint32_t kDamaged = 1392;  // the file is damaged or not of the expected format

const uint8_t* Record(_QVEEdtFileHeader* header, const char* name, uint32_t index, uint32_t minSize) {
  void* record = nullptr;
  uint32_t size = 0;
  if (QVEEdaEdtFindData(header, name, index, &record, &size) != 0 || size < minSize) return nullptr;
  return static_cast<const uint8_t*>(record);
}

// The number of a unit recipe file name (0 for the procedure file), or -1.
int UnitNumberOf(const std::string& name) {
  if (strcasecmp(name.c_str(), "RcpRP.edf") == 0) return 0;
  unsigned number = 0;
  char tail[8] = {};
  if (name.size() != 11 || strncasecmp(name.c_str(), "RcpPT", 5) != 0) return -1;
  if (std::sscanf(name.c_str() + 5, "%2u%7s", &number, tail) != 2 || strcasecmp(tail, ".edf") != 0) return -1;
  return number >= 1 && number <= kMaxUnitNo ? static_cast<int>(number) : -1;
}

void CollectRecipes(const Target& group, const CQVERcpDirInfo& node, std::vector<ListedRecipe>* out) {
  for (const auto& child : node.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_SUBGROUP) CollectRecipes(group, *child, out);
    if (child->m_nKind != QVERCP_KIND_RECIPE || !Listed(*child)) continue;
    out->push_back({TargetOfNode(group, *child), rcpsubgroup::PathOf(&node)});
  }
}

// Every entry below a directory of the store; links are listed, not entered.
void ListBelow(const std::string& directory, std::vector<std::string>* paths) {
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return;
  for (const qvplatform::DirEntry& entry : entries) {
    std::string child = directory + "/" + entry.name;
    paths->push_back(child);
    if (entry.type == qvplatform::EntryType::kDirectory) ListBelow(child, paths);
  }
}

}  // namespace

std::vector<std::string> RemovalListing(const std::string& path) {
  std::vector<std::string> paths{path};
  ListBelow(path, &paths);
  std::sort(paths.begin() + 1, paths.end());
  return paths;
}

size_t CountDirectories(const std::string& directory) {
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return 0;
  return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const qvplatform::DirEntry& entry) {
    return entry.type == qvplatform::EntryType::kDirectory && entry.name.front() != '.';
  }));
}

RecipeHead ReadRecipeHead(const std::string& recipeDir) {
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  std::string path = recipeDir + "/RcpHead.edf";
  Check(map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0), "cannot read the recipe header " + Printable(path));
  const uint8_t* main = Record(header, "MRCB", 0, kMainRecordSize);
  if (QVEEdaGetU32(header->bytes, QVEEDA_OFF_KIND) != QVERCP_FILE_HEADER || main == nullptr) {
    Fail(Printable(path) + " is not a whole recipe header", kDamaged);
  }
  RecipeHead head;
  head.headerName = QVEEdaGetText(header->bytes, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH);
  head.updated = static_cast<int32_t>(QVEEdaGetU32(header->bytes, QVEEDA_OFF_UPDATED));
  head.title = QVEEdaGetText(main, kTitle, kTitleWidth);
  head.comment = QVEEdaGetText(main, kComment, kCommentWidth);
  head.author = QVEEdaGetText(main, kAuthor, kAuthorWidth);
  head.created = static_cast<int32_t>(QVEEdaGetU32(main, kCreated));
  head.version = std::strtoll(QVEEdaGetText(main, kVersion, kVersionWidth).c_str(), nullptr, 10);
  head.unitTexts.resize(kMaxUnitNo);
  for (unsigned i = 0; i < kMaxUnitNo; ++i) {
    if (const uint8_t* unit = Record(header, "URCB", i, kUnitRecordSize)) {
      head.unitTexts[i] = QVEEdaGetText(unit, kUnitText, kUnitTextWidth);
    }
  }
  return head;
}

std::string PathOf(const Target& target) {
  return target.recipe.empty() ? target.group.empty() ? target.project : target.group : target.recipe;
}

std::string NameOf(const Target& target) {
  std::string address = AddressOf(target);
  return address.empty() ? PathOf(target) : address;
}

GroupInfo ReadGroupInfo(const Target& group, uint32_t* rc) {
  _QVERcpGroupInfo info;
  GroupInfo read;
  uint32_t result = CQVERcpUtil::GetRecipeGroupInfo(group.group.c_str(), &info);
  if (rc != nullptr) *rc = result;
  read.comment = info.strComment;
  read.servers.assign(info.astrServer.begin(), info.astrServer.end());
  return read;
}

std::vector<unsigned> UnitFilesOf(const std::string& recipeDir) {
  std::vector<qvplatform::DirEntry> entries;
  qvplatform::CurrentEnv()->ReadDirectory(recipeDir, &entries);
  std::vector<bool> present(kMaxUnitNo + 1, false);
  for (const qvplatform::DirEntry& entry : entries) {
    int number = UnitNumberOf(entry.name);
    if (number >= 0 && entry.type == qvplatform::EntryType::kFile) present[static_cast<size_t>(number)] = true;
  }
  std::vector<unsigned> numbers;
  for (unsigned i = 0; i <= kMaxUnitNo; ++i) {
    if (present[i]) numbers.push_back(i);
  }
  return numbers;
}

std::string UnitFileName(unsigned unitNo) {
  return unitNo == 0 ? std::string("RcpRP.edf") : QVFormat("RcpPT%02u.edf", unitNo);
}

std::string SubGroupOf(const Target& recipe) {
  for (const ListedRecipe& listed : RecipesOf(recipe)) {
    if (listed.recipe.recipeNo == recipe.recipeNo) return listed.subGroup;
  }
  return "";
}

std::vector<std::string> SubGroupsOf(const Target& group, const std::vector<std::string>& path) {
  CQVERcpDirInfo node = ScanNode(group);
  rcpsubgroup::ReadLayout(node.GetFullPath(), &node);
  const CQVERcpDirInfo* at = &node;
  for (const std::string& name : path) {
    auto found = std::find_if(at->m_listChild.begin(), at->m_listChild.end(), [&](const auto& child) {
      return child->m_nKind == QVERCP_KIND_SUBGROUP && child->m_strName == name;
    });
    if (found == at->m_listChild.end()) return {};
    at = found->get();
  }
  std::vector<std::string> names;
  for (const auto& child : at->m_listChild) {
    if (child->m_nKind == QVERCP_KIND_SUBGROUP) names.push_back(child->m_strName);
  }
  return names;
}

Target GroupOf(const Target& project, unsigned groupNo, const std::string& directory) {
  Target group = project;
  group.groupNo = groupNo;
  group.group = directory;
  return group;
}

Target RecipeOf(const Target& group, unsigned recipeNo, const std::string& directory) {
  Target recipe = group;
  recipe.recipeNo = recipeNo;
  recipe.recipe = directory;
  return recipe;
}

CQVERcpDirInfo ScanNode(const Target& target) {
  CQVERcpDirInfo node;
  if (!target.group.empty()) {
    node.SetFullPath((target.recipe.empty() ? target.group : target.recipe).c_str());
  } else {
    node.m_strParentPath = Parent(target.project);
    node.m_strName = LastName(target.project);
    node.m_nKind = QVERCP_KIND_PROJECT;
  }
  node.m_strProject = target.projectName;
  return node;
}

bool Listed(const CQVERcpDirInfo& node) {
  if (node.m_nKind == QVERCP_KIND_RECIPE) return RecipeNumberOf(node.m_strName) != 0;
  if (node.m_nKind != QVERCP_KIND_GROUP) return true;
  return node.m_strName.size() == 4 && node.m_nGroupNo >= 1 && node.m_nGroupNo <= static_cast<int32_t>(kMaxGroupNo);
}

Target TargetOfNode(const Target& parent, const CQVERcpDirInfo& node) {
  if (node.m_nKind == QVERCP_KIND_GROUP) {
    return GroupOf(parent, static_cast<unsigned>(node.m_nGroupNo), node.GetFullPath());
  }
  return RecipeOf(parent, static_cast<unsigned>(node.m_nRecipeNo), node.GetFullPath());
}

std::vector<Target> GroupsOf(const Target& target) {
  if (!target.group.empty()) return {target};
  CQVERcpDirInfo project = ScanNode(target);
  CQVERcpUtil::GetDirectoryList(&project, 0, 0);
  std::vector<Target> groups;
  for (const auto& child : project.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_GROUP && Listed(*child)) groups.push_back(TargetOfNode(target, *child));
  }
  std::sort(groups.begin(), groups.end(), [](const Target& a, const Target& b) { return a.groupNo < b.groupNo; });
  return groups;
}

std::vector<ListedRecipe> RecipesOf(const Target& group) {
  CQVERcpDirInfo node = ScanNode(group);
  CQVERcpUtil::GetDirectoryList(&node, 0, 0);
  if (node.m_nKind == QVERCP_KIND_GROUP) rcpsubgroup::ReadLayout(node.GetFullPath(), &node);
  std::vector<ListedRecipe> recipes;
  CollectRecipes(group, node, &recipes);
  std::sort(recipes.begin(), recipes.end(),
            [](const ListedRecipe& a, const ListedRecipe& b) { return a.recipe.recipeNo < b.recipe.recipeNo; });
  return recipes;
}

StoreItem PlainItem(const Target& target) {
  StoreItem item;
  item.target = target;
  if (target.group.empty()) {
    item.name = target.projectName;
    return item;
  }
  item.kind = target.recipe.empty() ? StoreItem::Kind::kGroup : StoreItem::Kind::kRecipe;
  item.name = LastName(PathOf(target));
  return item;
}

StoreItem RecipeItem(const Target& recipe) { return RecipeItem(recipe, SubGroupOf(recipe)); }

StoreItem RecipeItem(const Target& recipe, const std::string& subGroup) {
  StoreItem item = PlainItem(recipe);
  item.subGroup = subGroup;
  item.described = true;
  try {
    item.head = ReadRecipeHead(recipe.recipe);
  } catch (const Failure& failure) {
    item.error = failure.cause;
    item.errorCode = failure.code;
  }
  item.units = UnitFilesOf(recipe.recipe);
  return item;
}

StoreItem GroupItem(const Target& group) { return GroupItem(group, RecipesOf(group).size()); }

StoreItem GroupItem(const Target& group, size_t recipes) {
  StoreItem item = PlainItem(group);
  item.described = true;
  item.group = ReadGroupInfo(group);
  item.recipes = recipes;
  return item;
}

StoreItem UnitItem(const Target& recipe, unsigned unitNo) {
  StoreItem item;
  item.kind = StoreItem::Kind::kUnit;
  item.target = recipe;
  item.unitNo = unitNo;
  item.name = UnitFileName(unitNo);
  return item;
}

StoreItem SubGroupItem(const Target& group, const std::vector<std::string>& path) {
  StoreItem item;
  item.kind = StoreItem::Kind::kSubGroup;
  item.target = group;
  item.name = path.empty() ? "" : path.back();
  for (const std::string& name : path) item.subGroup += (item.subGroup.empty() ? "" : "/") + name;
  return item;
}

}  // namespace rcpstore
