#include <cstdio>
#include <ctime>

#include "LibQVBRcpEpa/JsonText.h"
#include "Output.h"

namespace rcpstore::cli {

Json JsonText(const std::string& text) { return Json(JsonEscaped(text)); }

std::string JsonBytes(const std::string& jsonText) { return JsonUnescaped(jsonText); }

Json JsonTexts(const std::vector<std::string>& texts) {
  Json array = Json::array();
  for (const std::string& text : texts) array.push_back(JsonText(text));
  return array;
}

int PrintJson(const Json& value) {
  std::printf("%s\n", value.dump().c_str());
  return 0;
}

std::string IsoTime(int32_t seconds) {
  std::time_t when = seconds;
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

Json AddressJson(const Target& target) {
  std::string address = AddressOf(target);
  return address.empty() ? Json(nullptr) : JsonText(address);
}

namespace {

Json PlainJson(const StoreItem& item) {
  const Target& target = item.target;
  Json json{{"kind", item.kind == StoreItem::Kind::kProject ? "project" : item.kind == StoreItem::Kind::kGroup ? "group" : "recipe"},
            {"address", AddressJson(target)}, {"path", JsonText(PathOf(target))}, {"name", JsonText(item.name)}};
  if (item.kind == StoreItem::Kind::kRecipe) json["group"] = target.groupNo;
  if (item.kind != StoreItem::Kind::kProject) json["number"] = target.recipe.empty() ? target.groupNo : target.recipeNo;
  return json;
}

Json ProjectJson(const StoreItem& item) {
  const ProjectInfo& info = item.project;
  Json json = PlainJson(item);
  json.update(Json{{"status", info.checked ? "checked" : "unchecked"},
                   {"comment", JsonText(info.comment)},
                   {"host", JsonText(info.host)},
                   {"revision", JsonText(info.revision)},
                   {"refDir", JsonText(info.refDir)},
                   {"versionMode", info.autoVersion ? "auto" : "manual"}});
  return json;
}

Json GroupJson(const StoreItem& item) {
  Json json = PlainJson(item);
  json["comment"] = JsonText(item.group.comment);
  json["servers"] = JsonTexts(item.group.servers);
  json["recipes"] = item.recipes;
  return json;
}

Json UnitJson(const StoreItem& item) {
  std::string address = AddressOf(item.target);
  unsigned unitNo = item.unitNo;
  return Json{{"kind", "unit"},
              {"address", address.empty() || unitNo == 0 ? Json(nullptr)
                                                         : JsonText(address + "/" + std::to_string(unitNo))},
              {"path", JsonText(item.target.recipe + "/" + item.name)},
              {"name", JsonText(item.name)},
              {"number", unitNo}};
}

// The unit texts the header holds, whether or not the unit's file exists.
Json UnitTextsJson(const RecipeHead& head) {
  Json texts = Json::array();
  for (size_t i = 0; i < head.unitTexts.size(); ++i) {
    if (!head.unitTexts[i].empty()) texts.push_back(Json{{"number", i + 1}, {"text", JsonText(head.unitTexts[i])}});
  }
  return texts;
}

Json RecipeJson(const StoreItem& item) {
  const RecipeHead& head = item.head;
  Json units = Json::array();
  for (unsigned unitNo : item.units) {
    Json unit = UnitJson(UnitItem(item.target, unitNo));
    unit["text"] = JsonText(unitNo == 0 || unitNo > head.unitTexts.size() ? "" : head.unitTexts[unitNo - 1]);
    units.push_back(unit);
  }
  Json json = PlainJson(item);
  json.update(Json{{"headerName", JsonText(head.headerName)},
                   {"title", JsonText(head.title)},
                   {"comment", JsonText(head.comment)},
                   {"author", JsonText(head.author)},
                   {"version", head.version},
                   {"created", IsoTime(head.created)},
                   {"updated", IsoTime(head.updated)},
                   {"subGroup", JsonText(item.subGroup)},
                   {"units", units},
                   {"unitTexts", UnitTextsJson(head)}});
  return json;
}

Json SubGroupJson(const StoreItem& item) {
  return Json{{"kind", "subGroup"}, {"address", AddressJson(item.target)}, {"path", JsonText(item.target.group)},
              {"name", JsonText(item.name)}, {"subGroup", JsonText(item.subGroup)}};
}

}  // namespace

Json ItemJson(const StoreItem& item) {
  Json json;
  switch (item.kind) {
    case StoreItem::Kind::kUnit: json = UnitJson(item); break;
    case StoreItem::Kind::kSubGroup: json = SubGroupJson(item); break;
    case StoreItem::Kind::kGroup: json = item.described ? GroupJson(item) : PlainJson(item); break;
    case StoreItem::Kind::kRecipe: json = item.described ? RecipeJson(item) : PlainJson(item); break;
    case StoreItem::Kind::kProject: json = item.described ? ProjectJson(item) : PlainJson(item); break;
  }
  if (!item.error.empty()) json["error"] = JsonText(item.error);
  return json;
}

int PrintFree(const Target& owner, unsigned size) {
  std::vector<unsigned> free = FreeNumbers(owner);
  if (free.empty()) Fail("no free number: all " + std::to_string(size) + " are in use", QVC_ERR_CANNOT_EXECUTE);
  if (Output().json) {
    return PrintJson(Json{{"address", AddressJson(owner)}, {"path", JsonText(PathOf(owner))}, {"free", free}});
  }
  std::string out;
  for (size_t i = 0; i < free.size(); ++i) {
    size_t end = i;
    while (end + 1 < free.size() && free[end + 1] == free[end] + 1) ++end;
    out += (out.empty() ? "" : " ") + std::to_string(free[i]) + (end > i ? "-" + std::to_string(free[end]) : "");
    i = end;
  }
  return PrintLine(out);
}

}  // namespace rcpstore::cli
