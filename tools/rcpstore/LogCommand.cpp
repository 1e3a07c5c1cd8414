// rcpstore log: reads back the audit trail of the station's changes to its
// stores, oldest first.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>

#include "Commands.h"
#include "Json.h"
#include "Output.h"
#include "Report.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct LogArgs {
  std::string project;
  std::string since;
  std::string user;
};

// What the entries must match.
struct Filter {
  std::optional<std::string> directory;  // the project's directory
  std::string projectName;
  std::string since;  // a prefix of an ISO 8601 UTC time, without its Z
  std::string user;
};

std::string TimeKey(std::string time) {
  if (!time.empty() && time.back() == 'Z') time.pop_back();
  return time;
}

// The project by directory, or by registered name; a name that is no longer
// registered still finds its registration lines.
Filter MakeFilter(const LogArgs& args) {
  Filter filter;
  filter.user = args.user;
  filter.since = TimeKey(args.since);
  if (args.project.empty()) return filter;
  filter.projectName = args.project;
  if (NamesDirectory(args.project)) {
    filter.directory = CleanPath(args.project);
    return filter;
  }
  try {
    filter.directory = ProjectTarget(args.project).project;
  } catch (const Failure&) {
  }
  return filter;
}

std::string Text(const Json& entry, const char* key) {
  auto it = entry.find(key);
  return it != entry.end() && it->is_string() ? JsonBytes(it->get<std::string>()) : std::string();
}

bool IsBelow(const std::string& path, const std::string& directory) {
  return path == directory || (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
                               path[directory.size()] == '/');
}

bool Matches(const Json& entry, const Filter& filter) {
  if (!filter.user.empty() && Text(entry, "user") != filter.user) return false;
  if (!filter.since.empty() && TimeKey(Text(entry, "time")) < filter.since) return false;
  if (filter.projectName.empty()) return true;
  std::string operation = Text(entry, "operation");
  bool registration = operation == "setProject" || operation == "unregisterProject";
  if (registration && Text(entry, "detail") == filter.projectName) return true;
  return filter.directory && IsBelow(Text(entry, "path"), *filter.directory);
}

// Every whole line of the trail's files that parses, oldest first.
std::vector<Json> ReadTrail(const Filter& filter) {
  std::vector<Json> entries;
  for (const std::string& file : AuditTrailFiles()) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      Json entry = Json::parse(line, nullptr, false);
      if (entry.is_object() && Matches(entry, filter)) entries.push_back(std::move(entry));
    }
  }
  return entries;
}

std::string ResultText(const Json& entry) {
  uint32_t result = entry.value("result", 0u);
  if (result == 0) return "ok";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", result);
  return text;
}

std::string LineOf(const Json& entry) {
  std::string line = Text(entry, "time") + "\t" + Text(entry, "station") + "\t" + Text(entry, "user") + "\t" +
                     std::to_string(entry.value("pid", 0)) + "\t" + Text(entry, "operation") + "\t" +
                     Text(entry, "path") + "\t" + ResultText(entry);
  std::string detail = Text(entry, "detail");
  return detail.empty() ? line : line + "\t" + detail;
}

int Log(const LogArgs& args) {
  std::vector<Json> entries = ReadTrail(MakeFilter(args));
  if (Output().json) {
    // A change of no path (an unregistration) has a null path, as everywhere.
    Json out = Json::array();
    for (Json entry : entries) {
      if (Text(entry, "path").empty()) entry["path"] = nullptr;
      out.push_back(entry);
    }
    return PrintJson(out);
  }
  for (const Json& entry : entries) PrintLine(LineOf(entry));
  return kExitOk;
}

// A UTC time in the trail's form, or a leading part of one: a day, an hour
// or a minute (2026-12-06, 2026-12-06T19, 2026-12-06T19:20), with or
// without the closing Z.
std::string CheckUtcTime(const std::string& text) {
  static const std::string kForm = "0000-00-00T00:00:00";
  std::string time = TimeKey(text);
  bool whole = time.size() == 10 || time.size() == 13 || time.size() == 16 || time.size() == 19;
  for (size_t i = 0; whole && i < time.size(); ++i) {
    whole = kForm[i] == '0' ? std::isdigit(static_cast<unsigned char>(time[i])) != 0 : time[i] == kForm[i];
  }
  return whole ? std::string() : "a UTC time such as 2026-12-06T19:20:00Z is expected";
}

}  // namespace

void AddLogCommand(CLI::App& app, int* exitStatus) {
  auto* log = app.add_subcommand("log", "Show the audit trail of changes made from this station, oldest first");
  auto args = std::make_shared<LogArgs>();
  log->add_option("--project", args->project, "Only changes to this project (directory or registered name)");
  log->add_option("--since", args->since, "Only changes at or after this UTC time (2026-12-06T19:20:00Z)")
      ->check(CLI::Validator(CheckUtcTime, "UTC"));
  log->add_option("--user", args->user, "Only changes made by this user");
  Example(*log, "rcpstore log --project Line1 --since 2026-12-06");
  log->callback([=] { *exitStatus = Run("log", [&] { return Log(*args); }); });
}

}  // namespace rcpstore::cli
