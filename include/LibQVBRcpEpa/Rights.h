// The recipe access rights as the command line names them, and the check
// that every command which creates, edits or deletes recipes makes first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

enum class Right : unsigned {
  Run = 0x01,
  Read = 0x02,
  Create = 0x04,
  Edit = 0x08,
  Delete = 0x10,
  Approve = 0x20,
  Download = 0x40,
};

// Every right, in the store's order.
RCPSTORE_API const std::vector<Right>& AllRights();
// "run", "read", "create", "edit", "delete", "approve", "download".
RCPSTORE_API const char* RightName(Right right);
RCPSTORE_API std::vector<std::string> RightNames();
// The right of a name as RightName gives it; false for another word.
RCPSTORE_API bool RightNamed(const std::string& name, Right* right);

// Whether the user who runs the command holds the right (always, while
// security is off or not set up).
RCPSTORE_API bool HoldsRight(Right right);

// Opens and closes the security branch: 0, or why it cannot be opened
// (ERROR_FILE_NOT_FOUND when security was never switched on).
RCPSTORE_API uint32_t OpenSecurityBranch();

// Fails, saying why, when the station's registry cannot be opened.
RCPSTORE_API void RequireStationRegistry();

// Fails with access denied, naming the right and the user, when the user
// who runs the command does not hold the right.
RCPSTORE_API void RequireRight(Right right);

// Fails with access denied, naming the user, when the user who runs the
// command does not administer the station.
RCPSTORE_API void RequireAdministrator();
// The same while security is on, saying what only an administrator may do
// ("re-point a registered name"); a station whose security switch cannot be
// read counts as on.
RCPSTORE_API void RequireAdministratorWhileSecured(const std::string& what);

}  // namespace rcpstore
