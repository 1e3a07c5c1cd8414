// The audit trail read back: the station's changes to its stores, oldest
// first, as far as they match what the reader asks for. Lines that are cut
// or do not parse (a crash while one was written, a hand edit) are skipped.
#include <ctime>
#include <functional>
#include <nlohmann/json.hpp>
#include <string_view>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/JsonText.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpAudit.h"
#include "RcpStorePath.h"
#include "platform/Env.h"
#include "platform/StationDir.h"

namespace rcpstore {

namespace {

using Json = nlohmann::json;

// What the entries must match.
struct Match {
  std::optional<std::string> directory;  // the project's directory, or a directory in it
  std::string identity;                  // of the directory's project, when it is there
  std::string below;                     // the directory within its project ("" for the project)
  std::string projectName;               // the registered name, without its @
  bool known = true;                     // the project is there, or was registered once
  std::string since;                     // times in the trail's form, without their Z
  std::string until;
  std::string user;
};

std::string TimeKey(std::string time) {
  if (!time.empty() && time.back() == 'Z') time.pop_back();
  return time;
}

std::string TimeKeyOf(const char* what, const std::string& given, std::time_t now) {
  if (given.empty()) return "";
  RequireNoProblem(what, TrailTimeProblem(given));
  return TimeKey(TrailTime(given, now));
}

// The path within its project directory: "" for the project itself.
std::string WithinProject(const std::string& path) { return path.substr(rcppath::ProjectOf(path).size()); }

void MatchDirectory(const std::string& directory, Match* match) {
  match->directory = directory;
  match->identity = rcpaudit::ProjectIdentity(directory);
  match->below = WithinProject(directory);
}

// The project by directory, or by registered name; a name that is no longer
// registered still finds its registration lines.
Match MatchOf(const AuditFilter& filter) {
  std::time_t now = std::time(nullptr);
  Match match;
  match.since = TimeKeyOf("since", filter.since, now);
  match.until = TimeKeyOf("until", filter.until, now);
  match.user = filter.user;
  if (filter.project.empty()) return match;
  if (NamesDirectory(filter.project)) {
    MatchDirectory(CleanPath(filter.project), &match);
    return match;
  }
  match.projectName = filter.project[0] == '@' ? filter.project.substr(1) : filter.project;
  try {
    MatchDirectory(ProjectTarget(filter.project).project, &match);
  } catch (const Failure&) {
    match.known = false;
  }
  return match;
}

std::string Text(const Json& line, const char* key) {
  auto it = line.find(key);
  return it != line.end() && it->is_string() ? JsonUnescaped(it->get<std::string>()) : std::string();
}

bool IsBelow(const std::string& path, const std::string& directory) {
  return path == directory || (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
                               path[directory.size()] == '/');
}

AuditEntry EntryOf(const Json& line) {
  auto number = [&](const char* key) {
    auto it = line.find(key);
    return it != line.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
  };
  return {Text(line, "time"),
          Text(line, "station"),
          Text(line, "user"),
          static_cast<long>(number("pid")),
          Text(line, "operation"),
          Text(line, "path"),
          static_cast<uint32_t>(number("result")),
          Text(line, "detail"),
          Text(line, "project")};
}

// A line written with its project's identity is matched by it; an older
// line by the path as it was written.
bool InDirectory(const AuditEntry& entry, const Match& match) {
  if (!entry.project.empty() && !match.identity.empty()) {
    return entry.project == match.identity && IsBelow(WithinProject(entry.path), match.below);
  }
  return match.directory && IsBelow(entry.path, *match.directory);
}

bool IsRegistrationOf(const AuditEntry& entry, const Match& match) {
  bool registration = entry.operation == "setProject" || entry.operation == "unregisterProject";
  return registration && !match.projectName.empty() && entry.detail == match.projectName;
}

bool Matches(const AuditEntry& entry, const Match& match) {
  if (!match.user.empty() && entry.user != match.user) return false;
  std::string time = TimeKey(entry.time);
  if (!match.since.empty() && time < match.since) return false;
  if (!match.until.empty() && time >= match.until) return false;
  if (!match.directory && match.projectName.empty()) return true;
  return IsRegistrationOf(entry, match) || InDirectory(entry, match);
}

}  // namespace

std::vector<AuditEntry> ReadAuditTrail(const AuditFilter& filter) {
  RequireStation();
  Match match = MatchOf(filter);
  std::vector<AuditEntry> entries;
  for (const std::string& file : rcpaudit::TrailFiles()) {
    rcpaudit::EachLine(file, [&](std::string_view text) {
      Json line = Json::parse(text, nullptr, false);
      if (!line.is_object()) return;
      AuditEntry entry = EntryOf(line);
      match.known = match.known || IsRegistrationOf(entry, match);
      if (Matches(entry, match)) entries.push_back(std::move(entry));
    });
  }
  if (!match.known) {
    Fail("no project " + Printable(match.projectName) + " is registered on the station " +
             Printable(qvplatform::StationDirectory()) + ", and its audit trail names none",
         ERROR_FILE_NOT_FOUND);
  }
  if (filter.last != 0 && entries.size() > filter.last) {
    entries.erase(entries.begin(), entries.end() - static_cast<std::ptrdiff_t>(filter.last));
  }
  return entries;
}

}  // namespace rcpstore
