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

struct TreeOptions {
  bool depthOne = false;
  bool noSubGroups = false;
  bool json = false;
};

// Scans the project directory and prints its tree. Returns the exit status.
int PrintProjectTree(const std::string& projectDir, const TreeOptions& options);

}  // namespace rcpstore
