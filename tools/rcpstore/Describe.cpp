#include "Describe.h"

#include <ctime>

#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "Report.h"

namespace rcpstore::cli {

std::string IsoTime(int32_t seconds) {
  std::time_t when = seconds;
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
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

Json GroupJson(const Target& group) { return GroupJson(group, ReadGroupInfo(group), RecipesOf(group).size()); }

Json GroupJson(const Target& group, const GroupInfo& info, size_t recipes) {
  Json servers = Json::array();
  for (const std::string& server : info.servers) servers.push_back(JsonText(server));
  return Json{{"kind", "group"},
              {"address", AddressJson(group)},
              {"path", JsonText(group.group)},
              {"name", JsonText(LastName(group.group))},
              {"number", group.groupNo},
              {"comment", JsonText(info.comment)},
              {"servers", servers},
              {"recipes", recipes}};
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

}  // namespace rcpstore::cli
