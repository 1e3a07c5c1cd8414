#include "Removal.h"

#include <CLI/CLI.hpp>

#include "Output.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore::cli {

void AddRemovalOptions(CLI::App& command, RemovalOptions& options, bool askYes) {
  command.add_flag("--dry-run", options.dryRun, "List what would be removed and change nothing");
  if (askYes) command.add_flag("--yes", options.yes, "Remove it with everything stored in it");
}

int PrintRemoval(const std::string& path) {
  for (const std::string& p : RemovalListing(path)) PrintLine("would remove " + p);
  return kExitOk;
}

void RequireYes(const RemovalOptions& options, size_t count, const std::string& items) {
  if (count == 0 || options.yes) return;
  Fail("it holds " + std::to_string(count) + " " + items + "; --yes removes them with it (--dry-run lists them)",
       ERROR_DIR_NOT_EMPTY);
}

}  // namespace rcpstore::cli
