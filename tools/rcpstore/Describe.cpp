#include "Describe.h"

#include <strings.h>

#include <ctime>

#include "LibQVBRcpEpa.h"
#include "Listing.h"
#include "Output.h"
#include "RcpRecipeHead.h"
#include "Report.h"
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

}  // namespace

RecipeHead ReadRecipeHead(const std::string& recipeDir) {
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  std::string path = recipeDir + "/RcpHead.edf";
  Check(map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0), "cannot read the recipe header " + path);
  const uint8_t* main = Record(header, "MRCB", 0, kMainRecordSize);
  if (QVEEdaGetU32(header->bytes, QVEEDA_OFF_KIND) != QVERCP_FILE_HEADER || main == nullptr) {
    Fail(path + " is not a whole recipe header", kDamaged);
  }
  RecipeHead head;
  head.headerName = QVEEdaGetText(header->bytes, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH);
  head.updated = static_cast<int32_t>(QVEEdaGetU32(header->bytes, QVEEDA_OFF_UPDATED));
  head.title = QVEEdaGetText(main, kTitle, kTitleWidth);
  head.comment = QVEEdaGetText(main, kComment, kCommentWidth);
  head.author = QVEEdaGetText(main, kAuthor, kAuthorWidth);
  head.created = static_cast<int32_t>(QVEEdaGetU32(main, kCreated));
  head.version = std::strtoll(QVEEdaGetText(main, kVersion, kVersionWidth).c_str(), nullptr, 10);
  for (unsigned i = 0; i < kMaxUnitNo; ++i) {
    if (const uint8_t* unit = Record(header, "URCB", i, kUnitRecordSize)) {
      head.unitTexts[i] = QVEEdaGetText(unit, kUnitText, kUnitTextWidth);
    }
  }
  return head;
}

std::string IsoTime(int32_t seconds) {
  std::time_t when = seconds;
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string PathOf(const Target& target) {
  return target.recipe.empty() ? target.group.empty() ? target.project : target.group : target.recipe;
}

std::string Shown(const Target& target) {
  std::string address = AddressOf(target);
  return address.empty() ? PathOf(target) : address;
}

Json AddressJson(const Target& target) {
  std::string address = AddressOf(target);
  return address.empty() ? Json(nullptr) : JsonText(address);
}

Json BasicJson(const Target& target) {
  if (target.group.empty()) {
    return Json{{"kind", "project"}, {"address", AddressJson(target)}, {"path", JsonText(target.project)},
                {"name", JsonText(target.projectName)}};
  }
  Json item{{"kind", target.recipe.empty() ? "group" : "recipe"}, {"address", AddressJson(target)},
            {"path", JsonText(PathOf(target))}, {"name", JsonText(LastName(PathOf(target)))}};
  if (!target.recipe.empty()) item["group"] = target.groupNo;
  item["number"] = target.recipe.empty() ? target.groupNo : target.recipeNo;
  return item;
}

Json ProjectJson(const std::string& name, const _QVERcpProjectInfo& info) {
  Target target;
  target.projectName = name;
  target.registered = true;
  return Json{{"kind", "project"},
              {"address", AddressJson(target)},
              {"path", JsonText(info.strPath)},
              {"name", JsonText(name)},
              {"status", info.nStatus == 1 ? "checked" : "unchecked"},
              {"comment", JsonText(info.strComment)},
              {"host", JsonText(info.strPjtHost)},
              {"revision", JsonText(info.strRevision)},
              {"refDir", JsonText(info.strRefPjtDir)},
              {"versionMode", info.nVersionMode != 0 ? "auto" : "manual"}};
}

Json GroupJson(const Target& group) {
  _QVERcpGroupInfo info;
  // A group whose attribute file cannot be read is still listed, without them.
  CQVERcpUtil::GetRecipeGroupInfo(group.group.c_str(), &info);
  Json servers = Json::array();
  for (const std::string& server : info.astrServer) servers.push_back(JsonText(server));
  return Json{{"kind", "group"},
              {"address", AddressJson(group)},
              {"path", JsonText(group.group)},
              {"name", JsonText(LastName(group.group))},
              {"number", group.groupNo},
              {"comment", JsonText(info.strComment)},
              {"servers", servers},
              {"recipes", RecipesOf(group).size()}};
}

Json UnitJson(const Target& recipe, unsigned unitNo) {
  std::string address = AddressOf(recipe);
  return Json{{"kind", "unit"},
              {"address", address.empty() || unitNo == 0 ? Json(nullptr)
                                                         : JsonText(address + "/" + std::to_string(unitNo))},
              {"path", JsonText(recipe.recipe + "/" + UnitFileName(unitNo))},
              {"name", UnitFileName(unitNo)},
              {"number", unitNo}};
}

Json RecipeJson(const Target& recipe, const RecipeHead& head, const std::string& subGroup) {
  std::vector<unsigned> files = UnitFilesOf(recipe.recipe);
  Json units = Json::array();
  for (unsigned unitNo : files) {
    Json unit = UnitJson(recipe, unitNo);
    unit["text"] = JsonText(unitNo == 0 ? "" : head.unitTexts[unitNo - 1]);
    units.push_back(unit);
  }
  return Json{{"kind", "recipe"},
              {"address", AddressJson(recipe)},
              {"path", JsonText(recipe.recipe)},
              {"name", JsonText(LastName(recipe.recipe))},
              {"group", recipe.groupNo},
              {"number", recipe.recipeNo},
              {"headerName", JsonText(head.headerName)},
              {"title", JsonText(head.title)},
              {"comment", JsonText(head.comment)},
              {"author", JsonText(head.author)},
              {"version", head.version},
              {"created", IsoTime(head.created)},
              {"updated", IsoTime(head.updated)},
              {"subGroup", JsonText(subGroup)},
              {"units", units}};
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

Json DescribeRecipe(const Target& recipe) {
  return RecipeJson(recipe, ReadRecipeHead(recipe.recipe), SubGroupOf(recipe));
}

Json ListedRecipeJson(const Target& recipe, const std::string& subGroup, RecipeHead* head) {
  try {
    *head = ReadRecipeHead(recipe.recipe);
  } catch (const Failure& failure) {
    *head = RecipeHead();
    Json item = RecipeJson(recipe, *head, subGroup);
    item["error"] = JsonText(failure.cause);
    return item;
  }
  return RecipeJson(recipe, *head, subGroup);
}

int PrintFree(const Target& owner, const int32_t* table, int size, bool ranges) {
  std::vector<int> free;
  for (int i = 0; i < size; ++i) {
    if (table[i] == 1) free.push_back(i + 1);
  }
  if (free.empty()) Fail("no free number: all " + std::to_string(size) + " are in use", QVC_ERR_CANNOT_EXECUTE);
  if (Output().json) {
    return PrintJson(Json{{"address", AddressJson(owner)}, {"path", JsonText(PathOf(owner))}, {"free", free}});
  }
  std::string out;
  for (size_t i = 0; i < free.size(); ++i) {
    size_t end = i;
    while (ranges && end + 1 < free.size() && free[end + 1] == free[end] + 1) ++end;
    out += (out.empty() ? "" : " ") + std::to_string(free[i]) + (end > i ? "-" + std::to_string(free[end]) : "");
    i = end;
  }
  return PrintLine(out);
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

}  // namespace rcpstore
