// The station: its directory and registry, who the caller is, the switch
// of the recipe access rights and the members of the station's groups.
#pragma once

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
// The name of the user who runs the caller.
RCPSTORE_API std::string CallerName();
// Points the store at a station directory (before anything else is done).
RCPSTORE_API void UseStationDirectory(const std::string& directory);

// The station's audit trail (one JSON line per change of a store), oldest
// file first: the rotated one, then the current one.
RCPSTORE_API std::vector<std::string> AuditTrailFiles();

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
