// The recipe access rights as the command line names them, and the check
// that every command which creates, edits or deletes recipes makes first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
const std::vector<Right>& AllRights();
// "run", "read", "create", "edit", "delete", "approve", "download".
const char* RightName(Right right);
std::vector<std::string> RightNames();
// The right of a name as RightName gives it; false for another word.
bool RightNamed(const std::string& name, Right* right);

// Whether the user who runs the command holds the right (always, while
// security is off or not set up).
bool HoldsRight(Right right);

// Opens and closes the security branch: 0, or why it cannot be opened
// (ERROR_FILE_NOT_FOUND when security was never switched on).
uint32_t OpenSecurityBranch();

// Fails, saying why, when the station's registry cannot be opened.
void RequireStationRegistry();

// Fails with access denied, naming the right and the user, when the user
// who runs the command does not hold the right.
void RequireRight(Right right);

}  // namespace rcpstore
