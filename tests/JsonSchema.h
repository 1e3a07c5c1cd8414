// The documented JSON schema of rcpstore, as a checker: every key has one
// type wherever it appears, every object with a "kind" has the keys of its
// kind, and no key is left undocumented.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <cctype>
#include <string>
#include <vector>

namespace qvtest {

using Check = std::function<bool(const nlohmann::json&)>;

inline bool IsText(const nlohmann::json& v) { return v.is_string(); }
inline bool IsCount(const nlohmann::json& v) { return v.is_number_unsigned(); }
// "2026-12-06T19:20:00Z"
inline bool IsIsoTime(const nlohmann::json& v) {
  static const std::string kForm = "dddd-dd-ddTdd:dd:ddZ";
  if (!v.is_string() || v.get<std::string>().size() != kForm.size()) return false;
  std::string text = v.get<std::string>();
  for (size_t i = 0; i < kForm.size(); ++i) {
    if (kForm[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != kForm[i]) return false;
  }
  return true;
}
inline bool IsFlag(const nlohmann::json& v) { return v.is_boolean(); }
inline bool IsObject(const nlohmann::json& v) { return v.is_object(); }
inline bool IsTextOrNull(const nlohmann::json& v) { return v.is_null() || v.is_string(); }
// {"create": true, ...}: rights by name, each held or not.
inline bool RightsHeld(const nlohmann::json& v) {
  return v.is_object() && std::all_of(v.begin(), v.end(), [](const nlohmann::json& e) { return e.is_boolean(); });
}
inline Check OneOf(std::vector<std::string> words) {
  return [words](const nlohmann::json& v) {
    return v.is_string() && std::find(words.begin(), words.end(), v.get<std::string>()) != words.end();
  };
}
inline Check ArrayOf(Check element) {
  return [element](const nlohmann::json& v) {
    return v.is_array() && std::all_of(v.begin(), v.end(), [&](const nlohmann::json& e) { return element(e); });
  };
}
inline bool IsAnything(const nlohmann::json&) { return true; }

inline const std::map<std::string, Check>& KeyTypes() {
  static const std::map<std::string, Check> kTypes = {
      {"kind", OneOf({"project", "group", "subGroup", "recipe", "unit", "lock", "station", "header", "procedure",
                      "file", "line"})},
      {"address", [](const nlohmann::json& v) { return v.is_null() || (v.is_string() && v.get<std::string>()[0] == '@'); }},
      {"path", [](const nlohmann::json& v) { return v.is_null() || (v.is_string() && v.get<std::string>()[0] == '/'); }},
      {"name", IsText}, {"number", IsCount}, {"group", IsCount}, {"version", [](const nlohmann::json& v) { return v.is_number_integer(); }},
      {"created", IsIsoTime}, {"updated", IsIsoTime}, {"written", IsIsoTime}, {"versionTime", IsIsoTime},
      {"title", IsText}, {"comment", IsText}, {"headerName", IsText}, {"author", IsText}, {"subGroup", IsText},
      {"status", OneOf({"checked", "unchecked"})}, {"versionMode", OneOf({"auto", "manual"})},
      {"host", IsText}, {"revision", IsText}, {"refDir", IsText}, {"servers", ArrayOf(IsText)},
      {"recipes", IsCount}, {"units", ArrayOf([](const nlohmann::json& u) { return u.is_object() && u["kind"] == "unit"; })},
      {"unitTexts", ArrayOf(IsObject)}, {"dryRun", IsFlag},
      {"children", ArrayOf([](const nlohmann::json& c) { return c.is_object(); })},
      {"held", [](const nlohmann::json& v) { return v.is_boolean(); }}, {"station", IsText},
      {"holder", [](const nlohmann::json& v) { return v.is_number_integer(); }}, {"text", IsText},
      {"unit", IsCount}, {"free", ArrayOf(IsCount)}, {"error", IsText}, {"user", IsText},
      {"identities", ArrayOf(IsText)}, {"registry", IsText},
      {"made", ArrayOf([](const nlohmann::json& c) { return c.is_object(); })},
      {"changed", ArrayOf([](const nlohmann::json& c) { return c.is_object(); })},
      {"removed", ArrayOf([](const nlohmann::json& c) { return c.is_object(); })},
      {"line", IsCount}, {"command", IsText}, {"done", IsCount},
      {"header", [](const nlohmann::json& v) { return v.is_object(); }}, {"records", ArrayOf(IsAnything)},
      {"fileKind", OneOf({"header", "unit", "other"})}, {"size", IsCount}, {"index", IsCount},
      {"offset", IsCount}, {"fields", [](const nlohmann::json& v) { return v.is_object(); }}, {"hex", IsText},
      // security, station group
      {"security", OneOf({"on", "off", "absent"})}, {"allowed", IsFlag}, {"rights", RightsHeld},
      {"run", IsFlag}, {"read", IsFlag}, {"create", IsFlag}, {"edit", IsFlag}, {"delete", IsFlag},
      {"approve", IsFlag}, {"download", IsFlag}, {"groups", ArrayOf(IsObject)}, {"exists", IsFlag}, {"members", ArrayOf(IsText)},
      {"localGroup", IsText}, {"enrolled", IsFlag},
      // verify, export, import, log
      {"found", IsCount}, {"fixed", IsCount}, {"left", IsCount}, {"findings", ArrayOf(IsObject)},
      {"finding", IsText}, {"cause", IsText}, {"repaired", IsFlag}, {"repair", IsText},
      {"archive", IsText}, {"files", IsCount}, {"bytes", IsCount}, {"skipped", ArrayOf(IsText)},
      {"time", IsIsoTime}, {"pid", IsCount}, {"operation", IsText}, {"result", IsCount}, {"detail", IsText},
      {"project", IsText},
      // path
      {"member", IsText}, {"arguments", ArrayOf(IsText)}, {"key", IsTextOrNull}, {"folderKey", IsTextOrNull}};
  return kTypes;
}

inline const std::map<std::string, std::vector<std::string>>& KindKeys() {
  static const std::vector<std::string> kThing = {"address", "path", "name"};
  static const std::map<std::string, std::vector<std::string>> kKeys = {
      {"project", kThing},
      {"group", {"address", "path", "name", "number"}},
      {"subGroup", {"address", "path", "name", "subGroup"}},
      {"recipe", {"address", "path", "name", "group", "number"}},
      {"unit", {"address", "path", "name", "number"}},
      {"header", kThing}, {"procedure", kThing}, {"file", kThing},
      {"lock", {"address", "path", "held", "station", "holder"}},
      {"station", {"path", "user", "identities", "registry"}},
      {"line", {"line", "command"}}};
  return kKeys;
}

// Checks a value and everything in it against the schema.
inline void ExpectSchema(const nlohmann::json& value, const std::string& where) {
  if (value.is_array()) {
    for (const auto& element : value) ExpectSchema(element, where);
    return;
  }
  if (!value.is_object()) return;
  for (const auto& [key, item] : value.items()) {
    auto type = KeyTypes().find(key);
    if (type == KeyTypes().end()) {
      ADD_FAILURE() << where << ": undocumented key " << key;
      continue;
    }
    EXPECT_TRUE(type->second(item)) << where << ": key " << key << " has the wrong type: " << item.dump();
    ExpectSchema(item, where);
  }
  if (!value.contains("kind")) return;
  auto keys = KindKeys().find(value["kind"].get<std::string>());
  ASSERT_NE(keys, KindKeys().end()) << where;
  for (const std::string& key : keys->second) {
    EXPECT_TRUE(value.contains(key)) << where << ": a " << keys->first << " without " << key << ": " << value.dump();
  }
}

}  // namespace qvtest
