// The locks a changing command holds while it runs. Structural changes (what
// a project, group or sub-group file holds) take the project lock; changes
// inside one recipe take that recipe's lock, and removing a recipe takes
// both. A lock held by another station or process refuses the command.
//
// `rcpstore lock ... -- COMMAND` hands its locks down: the child inherits the
// lock files' descriptors and finds their numbers in RCPSTORE_LOCK_FDS. A
// descriptor counts only when it refers to the lock file itself and carries
// its hold; the variable alone proves nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Target.h"

class CQVERcpLock;

namespace rcpstore {

constexpr char kLockFdsVariable[] = "RCPSTORE_LOCK_FDS";

// While one lives (a batch runs), the project locks that commands take are
// kept until it ends instead of being released with each command: one lock
// per project for the whole batch.
class RCPSTORE_API KeptProjectLocks {
 public:
  KeptProjectLocks();
  ~KeptProjectLocks();  // releases the kept locks
  KeptProjectLocks(const KeptProjectLocks&) = delete;
  KeptProjectLocks& operator=(const KeptProjectLocks&) = delete;
};

class RCPSTORE_API CommandLocks {
 public:
  CommandLocks();
  ~CommandLocks();
  CommandLocks(const CommandLocks&) = delete;
  CommandLocks& operator=(const CommandLocks&) = delete;

  void LockProject(const Target& target);
  void LockRecipe(const Target& target, const std::string& name);
  // Releases the locks this command took (not the handed-down ones).
  void ReleaseAll();

  // The lock file of the last lock taken or adopted.
  const std::string& lastLockFile() const { return lastLockFile_; }
  // Runs the command (found on PATH) as the holder of these locks, which it
  // finds through kLockFdsVariable, and gives its exit status (128 + the
  // signal when killed). A command that cannot be started fails.
  int RunHolding(const std::vector<std::string>& command) const;

 private:
  // The descriptors a child must inherit to act as the holder: "3,5".
  std::string HandDown() const;
  // Makes the handed-down descriptors survive exec (in the child, before it).
  void KeepAcrossExec() const;
  // False when the lock was handed down rather than taken here.
  bool Take(const std::string& lockFile, const std::function<uint32_t(CQVERcpLock&, std::string*)>& lock);
  // Hands the lock taken last to the KeptProjectLocks alive, if any.
  void KeepLast(const std::string& lockFile);
  bool Adopted(const std::string& lockFile);

  std::vector<int> inherited_;  // descriptors named by the parent, not yet verified
  std::vector<int> held_;       // descriptors whose holds are this command's
  std::vector<std::unique_ptr<CQVERcpLock>> taken_;
  std::string lastLockFile_;
};

// A project's or recipe's lock as it stands now. Who holds it is what the
// lock file says, read only while a hold is on it; a lock file of an older
// station names no user, process or label.
struct LockState {
  Target target;
  std::string file;
  bool held = false;
  std::string station;
  int holder = 0;  // the holder number, the low 16 bits of its process id
  std::string user;
  long process = 0;
  std::string label;  // the name the lock was taken under
};

// The lock of a recipe, or of a project (by name, address or directory); a
// recipe group has no lock of its own.
RCPSTORE_API LockState ReadLockState(const std::string& given);

}  // namespace rcpstore
