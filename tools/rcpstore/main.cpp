// rcpstore: every operation of the recipe store from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "Output.h"
#include "Usage.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "platform/StationDir.h"

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
  rcpstore::AddTreeCommand(app, &exitStatus);
  rcpstore::AddDemoCommand(app, &exitStatus);
  rcpstore::AddSubGroupCommand(app, &exitStatus);
  rcpstore::AddProjectCommand(app, &exitStatus);
  rcpstore::AddGroupCommand(app, &exitStatus);
  rcpstore::AddLockCommand(app, &exitStatus);
  rcpstore::AddRecipeCommands(app, &exitStatus);
  rcpstore::AddPathCommand(app, &exitStatus);
  rcpstore::AddHelpCommand(app, &exitStatus);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return rcpstore::ReportUsageError(app, e, argc, argv);
  }
  return exitStatus;
}
