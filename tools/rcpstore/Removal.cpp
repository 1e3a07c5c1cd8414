#include "Removal.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "Output.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcpstore {

void AddRemovalOptions(CLI::App& command, RemovalOptions& options, bool askYes) {
  command.add_flag("--dry-run", options.dryRun, "List what would be removed and change nothing");
  if (askYes) command.add_flag("--yes", options.yes, "Remove it with everything stored in it");
}

int PrintRemoval(const std::string& path) {
  std::vector<std::string> paths{path};
  std::error_code error;
  std::filesystem::recursive_directory_iterator walk(path, error);
  for (; !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
    paths.push_back(walk->path().string());
  }
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

}  // namespace rcpstore
