#include "Removal.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <vector>

#include "Output.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcpstore::cli {

void AddRemovalOptions(CLI::App& command, RemovalOptions& options, bool askYes) {
  command.add_flag("--dry-run", options.dryRun, "List what would be removed and change nothing");
  if (askYes) command.add_flag("--yes", options.yes, "Remove it with everything stored in it");
}

namespace {

// Every entry below a directory of the store; links are listed, not entered.
void ListBelow(const std::string& directory, std::vector<std::string>* paths) {
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return;
  for (const qvplatform::DirEntry& entry : entries) {
    std::string child = directory + "/" + entry.name;
    paths->push_back(child);
    if (entry.type == qvplatform::EntryType::kDirectory) ListBelow(child, paths);
  }
}

}  // namespace

int PrintRemoval(const std::string& path) {
  std::vector<std::string> paths{path};
  ListBelow(path, &paths);
  std::sort(paths.begin() + 1, paths.end());
  for (const std::string& p : paths) PrintLine("would remove " + p);
  return kExitOk;
}

size_t CountDirectories(const std::string& directory) {
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return 0;
  return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const qvplatform::DirEntry& entry) {
    return entry.type == qvplatform::EntryType::kDirectory && entry.name.front() != '.';
  }));
}

void RequireYes(const RemovalOptions& options, size_t count, const std::string& items) {
  if (count == 0 || options.yes) return;
  Fail("it holds " + std::to_string(count) + " " + items + "; --yes removes them with it (--dry-run lists them)",
       ERROR_DIR_NOT_EMPTY);
}

}  // namespace rcpstore::cli
