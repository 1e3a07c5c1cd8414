#include "Report.h"

#include <CLI/CLI.hpp>

#include "Describe.h"
#include "Output.h"

namespace rcpstore::cli {

namespace {

constexpr const char* kVerbs[] = {"created", "changed", "removed"};
constexpr const char* kJsonKeys[] = {"made", "changed", "removed"};

std::string Text(const Json& value) { return value.is_string() ? JsonBytes(value.get<std::string>()) : ""; }

}  // namespace

OutputOptions& Output() {
  static OutputOptions options;
  return options;
}

void AddOutputFlags(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({})) {
    if (!command->get_subcommands({}).empty()) {
      AddOutputFlags(*command);
      continue;
    }
    command->add_flag("--json", Output().json, "Print JSON (see docs/json.md)");
    command->add_flag("-q,--quiet", Output().quiet, "Print no success line and no progress");
  }
}

std::string ShownName(const Json& item) {
  std::string address = Text(item.value("address", Json()));
  return address.empty() ? Text(item.value("path", Json())) : address;
}

int Report::Print() const {
  if (Output().json) {
    Json out = {{"made", Json::array()}, {"changed", Json::array()}, {"removed", Json::array()}};
    for (const Entry& entry : entries_) out[kJsonKeys[entry.verb]].push_back(entry.item);
    return PrintJson(out);
  }
  if (Output().quiet) return kExitOk;
  for (const Entry& entry : entries_) {
    std::string kind = Text(entry.item["kind"]);
    std::string what = kind == "subGroup" ? "sub-group " + Text(entry.item["subGroup"]) + " in " + ShownName(entry.item)
                                          : kind + " " + ShownName(entry.item);
    std::string line = std::string(kVerbs[entry.verb]) + " " + what;
    PrintLine(entry.detail.empty() ? line : line + ": " + entry.detail);
  }
  return kExitOk;
}

int PrintChanges(const ChangeReport& changes) {
  Report report;
  for (const Change& change : changes) {
    Json item = ItemJson(change.item);
    switch (change.verb) {
      case Change::Verb::kMade: report.Created(item, change.detail); break;
      case Change::Verb::kChanged: report.Changed(item, change.detail); break;
      case Change::Verb::kRemoved: report.Removed(item, change.detail); break;
    }
  }
  return report.Print();
}

}  // namespace rcpstore::cli
