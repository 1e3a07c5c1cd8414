// The station: its directory and registry, who the caller is, the switch
// of the recipe access rights and the members of the station's groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Rights.h"

namespace rcpstore {

struct StationInfo {
  std::string directory;
  std::string registry;
  std::string user;                     // the caller
  std::vector<std::string> identities;  // the caller's user and group names
};

// Fails when no station directory can be used.
RCPSTORE_API StationInfo ReadStationInfo();
// Fails with ERROR_PATH_NOT_FOUND when the station directory in use does not
// exist, naming the path looked for, what chose it and how to make it. A
// station is never made on first use: only SetUpStation makes one.
RCPSTORE_API void RequireStation();
// Fails with ERROR_FILE_NOT_FOUND: no project is registered under the name
// at the station in use (named), or there is no station (RequireStation).
[[noreturn]] RCPSTORE_API void FailUnregistered(const std::string& name, const std::string& hint = {});
// Sets the station up for its users, making what is missing (the station
// directory itself too, never its parents): in a shared
// station, the directory sticky (3770) so that no user removes or replaces
// another's file; the registry writable by the station's owner only, which
// alone makes its rights and groups binding; the shared registry of the
// project list and the logs writable by the station's users; the user
// template set writable by the station's owner only. Run by root or the
// station's owner; again on a station set up already, it changes nothing.
// Returns each change made.
RCPSTORE_API std::vector<std::string> SetUpStation();

// The name of the user who runs the caller.
RCPSTORE_API std::string CallerName();
// Points the store at a station directory (before anything else is done).
RCPSTORE_API void UseStationDirectory(const std::string& directory);

// One change as the audit trail records it; texts as they were written.
struct AuditEntry {
  std::string time;  // ISO 8601 UTC: 2026-12-06T19:20:00Z
  std::string station;
  std::string user;
  long pid = 0;
  std::string operation;
  std::string path;  // "" for a change of no path (an unregistration)
  uint32_t result = 0;
  std::string detail;
  std::string project;  // the identity of the project directory it was made in, "DEV:INO"; "" on older lines
};

// Which changes a reader of the trail wants; what is empty matches all.
struct AuditFilter {
  std::string project{};  // registered name (with or without @) or directory: its changes and registrations
  std::string since{};    // changes at or after this time (any form TrailTime takes)
  std::string user{};
  std::string until{};  // changes before this time
  size_t last = 0;      // only the last so many of those that match; 0 for all
};

// The moment a reader of the trail names, in the trail's form
// (2026-12-07T01:41:00Z): a local time, "2026-12-07 02:41" (seconds
// optional), or the start of a local day, "2026-12-07"; a UTC time with
// its T, "2026-12-07T01:41:00Z" (Z optional) or a leading part down to the
// hour; "today" or "yesterday" (their local midnights); or "N minutes ago"
// (seconds, hours, days, weeks) counted back from now. Fails as a usage
// error naming the forms when the text is none of these.
RCPSTORE_API std::string TrailTime(const std::string& text, std::time_t now);
// "" when TrailTime takes the text; else what is expected.
RCPSTORE_API std::string TrailTimeProblem(const std::string& text);
// A time of the trail in local time, "2026-12-07 02:41:00"; a text that is
// no such time is given back as it is.
RCPSTORE_API std::string LocalTime(const std::string& trailTime);

// The changes of the trail that match, oldest first. Lines that do not
// parse (cut by a crash, edited by hand) are left out. A project name that
// is neither registered nor named by any registration in the trail fails,
// naming the station.
RCPSTORE_API std::vector<AuditEntry> ReadAuditTrail(const AuditFilter& filter);

// Where the lines the store's operations report as they run go (a file
// skipped, a leftover cleared); by default nowhere.
RCPSTORE_API void OnStoreMessage(const std::function<void(const std::string&)>& observer);

enum class SecurityStatus { kOn, kOff, kAbsent };  // absent: never switched on here
RCPSTORE_API SecurityStatus ReadSecurityStatus();
// Switches the recipe access rights on or off; the station's administrators only.
RCPSTORE_API void SwitchSecurity(bool on);
// Whether the caller holds every right at once.
RCPSTORE_API bool HoldsRights(const std::vector<Right>& rights);

// A recipe-security group of the station (RcpSec1 ...).
struct SecurityGroup {
  std::string name;
  bool exists = false;  // created when security was first switched on
  std::string comment;
  std::vector<std::string> members;
};
RCPSTORE_API std::vector<SecurityGroup> ReadSecurityGroups();
// Enrols a user in a local group of the station, or takes one out; the
// station's administrators only.
RCPSTORE_API void ChangeGroupMember(const std::string& group, const std::string& user, bool add);

}  // namespace rcpstore
