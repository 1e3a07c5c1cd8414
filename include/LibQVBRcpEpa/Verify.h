// Checking a project's recipe store the way the store's own rules read it,
// and repairing what can be repaired without losing anything.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore {

// One thing found wrong. kind is a stable word ("orphanLine", ...); cause
// says it briefly. A repaired finding says what was done.
struct Finding {
  std::string path;
  std::string kind;
  std::string cause;
  bool repaired = false;
  std::string repair;
};

struct VerifyReport {
  StoreItem store;  // the project verified
  std::vector<Finding> findings;
};

// Called after each recipe group with the groups done and their number.
using VerifyProgress = std::function<void(size_t done, size_t total)>;

// Checks the store of a project (its registered name, address or directory;
// a directory holding a Recipe directory whose attribute file is lost is
// verified too). With repair, under the project lock and with the edit
// right, repairs what can be repaired without losing anything.
RCPSTORE_API VerifyReport VerifyStore(const std::string& project, bool repair, const VerifyProgress& progress = {});

}  // namespace rcpstore
