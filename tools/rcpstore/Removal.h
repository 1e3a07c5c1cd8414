// What every delete command shares: --dry-run lists what would go, and a
// directory that holds stored items goes only with --yes.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace rcpstore::cli {

struct RemovalOptions {
  bool dryRun = false;
  bool yes = false;
};

// Adds --dry-run (and, when askYes, --yes) to a delete command.
void AddRemovalOptions(CLI::App& command, RemovalOptions& options, bool askYes);

// Prints the path and everything below it (links are listed, not entered).
int PrintRemoval(const std::string& path);

// Refuses to remove a directory that holds count items of the kind named,
// unless --yes was given.
void RequireYes(const RemovalOptions& options, size_t count, const std::string& items);

}  // namespace rcpstore::cli
