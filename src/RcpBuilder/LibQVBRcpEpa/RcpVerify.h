// Checks a project's recipe store the way the store's own rules read it, and
// repairs what can be repaired without losing anything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Verify.h"

namespace rcpverify {

using Finding = rcpstore::Finding;

struct Options {
  // Repairs what can be repaired without losing anything. The caller holds
  // the project lock (so its lock file is the caller's and is not checked).
  bool repair = false;
  // Called after each recipe group with the groups done and their number.
  std::function<void(size_t done, size_t total)> progress;
};

// Checks the store of the project directory and appends what it finds.
// Returns 0, or the failure that kept the store from being read at all.
uint32_t Verify(const std::string& projectDirectory, const Options& options, std::vector<Finding>* findings);

// Checks the lock file and removes it when no process holds it (the project
// lock file that refused a repair its lock); true when it was removed.
bool RepairStaleLock(const std::string& projectDirectory, const std::string& lockFile, std::vector<Finding>* findings);

// Checks the history below a Recipe directory: objects, version logs, and
// recipes whose files their log does not record (a repair records them).
void VerifyHistory(const std::string& recipeRoot, bool repair, std::vector<Finding>* findings);

// Checks a Recipe directory on its own, without repairs: a store that is
// being restored under a hidden name, before it is put in place.
void VerifyRecipeDirectory(const std::string& recipeDirectory, std::vector<Finding>* findings);

}  // namespace rcpverify
