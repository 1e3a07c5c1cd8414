// rcpstore: every operation of the recipe store from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "Output.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "platform/StationDir.h"

int main(int argc, char** argv) {
  // The message buffer's lines are the user's: they go to stderr.
  QVEEngSetMsgBufObserver([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  CLI::App app{"rcpstore - the recipe store of the batch-recipe engineering tools"};
  app.require_subcommand(1);
  app.add_option_function<std::string>(
         "--station", [](const std::string& dir) { qvplatform::SetStationDirectory(dir); },
         "Station directory for this call (default: $QVC_STATION_DIR)")
      ->check(CLI::ExistingDirectory | CLI::NonexistentPath);
  int exitStatus = rcpstore::kExitOk;
  rcpstore::AddTreeCommand(app, &exitStatus);
  rcpstore::AddDemoCommand(app, &exitStatus);
  rcpstore::AddSubGroupCommand(app, &exitStatus);
  rcpstore::AddProjectCommand(app, &exitStatus);
  rcpstore::AddGroupCommand(app, &exitStatus);
  rcpstore::AddLockCommand(app, &exitStatus);
  rcpstore::AddRecipeCommands(app, &exitStatus);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? rcpstore::kExitOk : rcpstore::kExitUsage;
  }
  return exitStatus;
}
