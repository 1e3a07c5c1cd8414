// rcpstore: every operation of the recipe store from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "Output.h"
#include "Report.h"
#include "Usage.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "platform/StationDir.h"

namespace rcpstore {

void AddStoreCommands(CLI::App& app, int* exitStatus) {
  AddTreeCommand(app, exitStatus);
  AddDemoCommand(app, exitStatus);
  AddSubGroupCommand(app, exitStatus);
  AddProjectCommand(app, exitStatus);
  AddGroupCommand(app, exitStatus);
  AddLockCommand(app, exitStatus);
  AddRecipeCommands(app, exitStatus);
  AddListCommands(app, exitStatus);
  AddCopyCommands(app, exitStatus);
  AddBatchCommand(app, exitStatus);
  AddLogCommand(app, exitStatus);
  AddVerifyCommand(app, exitStatus);
  AddArchiveCommands(app, exitStatus);
  AddSecurityCommand(app, exitStatus);
  AddPathCommand(app, exitStatus);
  AddOutputFlags(app);
}

}  // namespace rcpstore

int main(int argc, char** argv) {
  // The message buffer's lines are the user's: they go to stderr.
  QVEEngSetMsgBufObserver([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  CLI::App app{"rcpstore - the recipe store of the batch-recipe engineering tools"};
  app.require_subcommand(1);
  // Options of rcpstore itself (--station) are accepted after a command too.
  app.fallthrough();
  app.set_version_flag("--version", "rcpstore " RCPSTORE_VERSION);
  app.add_option_function<std::string>(
         "--station", [](const std::string& dir) { qvplatform::SetStationDirectory(dir); },
         "Station directory for this call (default: $QVC_STATION_DIR)")
      ->check(CLI::ExistingDirectory | CLI::NonexistentPath);
  app.footer(rcpstore::kNamingRule);
  int exitStatus = rcpstore::kExitOk;
  rcpstore::AddStoreCommands(app, &exitStatus);
  rcpstore::AddHelpCommand(app, &exitStatus);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return rcpstore::ReportUsageError(app, e, argc, argv);
  }
  return exitStatus;
}
