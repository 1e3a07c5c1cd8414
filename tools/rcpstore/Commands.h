// The commands of rcpstore. Each one adds its sub-command to the app; its
// callback stores the exit status.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Reads.h"

namespace CLI {
class App;
}

namespace rcpstore::cli {

void AddTreeCommand(CLI::App& app, int* exitStatus);
void AddDemoCommand(CLI::App& app, int* exitStatus);
void AddSubGroupCommand(CLI::App& app, int* exitStatus);
void AddProjectCommand(CLI::App& app, int* exitStatus);
void AddGroupCommand(CLI::App& app, int* exitStatus);
void AddLockCommand(CLI::App& app, int* exitStatus);
void AddRecipeCommands(CLI::App& app, int* exitStatus);
// unit, ls and edf.
void AddUnitCommands(CLI::App& app, int* exitStatus);
// recipe history, show, diff and restore, below the recipe command.
void AddHistoryCommands(CLI::App& recipe, int* exitStatus);
void AddLogCommand(CLI::App& app, int* exitStatus);
void AddVerifyCommand(CLI::App& app, int* exitStatus);
void AddArchiveCommands(CLI::App& app, int* exitStatus);
void AddSecurityCommand(CLI::App& app, int* exitStatus);
// group list and recipe list, below those commands.
void AddListCommands(CLI::App& app, int* exitStatus);
void AddFindCommand(CLI::App& app, int* exitStatus);
void AddBatchCommand(CLI::App& app, int* exitStatus);
// recipe sign and status, below the recipe command.
void AddSignCommands(CLI::App& app, int* exitStatus);
void AddKeyCommand(CLI::App& app, int* exitStatus);

// Every command that works on the store, with --json and --quiet: what
// rcpstore and each line of a batch run. Given the first word of a command
// line, only the commands that begin with it, when there are any: a batch
// line needs no others.
void AddStoreCommands(CLI::App& app, int* exitStatus, const std::string& command = {});
// The sub-command of app with that name, or null.
CLI::App* FindCommand(CLI::App& app, const std::string& name);
void AddPathCommand(CLI::App& app, int* exitStatus);

// Scans a project (by name or directory) and prints its tree; returns 0.
int PrintProjectTree(const std::string& project, const TreeRead& options);

}  // namespace rcpstore::cli
