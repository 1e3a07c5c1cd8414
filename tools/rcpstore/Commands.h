// The commands of rcpstore. Each one adds its sub-command to the app; its
// callback stores the exit status.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace rcpstore {

void AddTreeCommand(CLI::App& app, int* exitStatus);
void AddDemoCommand(CLI::App& app, int* exitStatus);
void AddSubGroupCommand(CLI::App& app, int* exitStatus);
void AddProjectCommand(CLI::App& app, int* exitStatus);
void AddGroupCommand(CLI::App& app, int* exitStatus);
void AddLockCommand(CLI::App& app, int* exitStatus);
void AddRecipeCommands(CLI::App& app, int* exitStatus);
void AddPathCommand(CLI::App& app, int* exitStatus);

struct TreeOptions {
  bool depthOne = false;
  bool noSubGroups = false;
  bool json = false;
};

// Scans a project (by name or directory) and prints its tree; returns 0.
int PrintProjectTree(const std::string& project, const TreeOptions& options);

struct Target;
// Removes a removed recipe's line from its group's sub-group file; false
// when no line named it.
bool ForgetPlacement(const Target& recipe);

}  // namespace rcpstore
