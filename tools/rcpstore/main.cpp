// rcpstore: every operation of the recipe store from the command line.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "Completion.h"
#include "LibQVBRcpEpa/Station.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

// The command files and the first words of the commands each one adds. The
// list and station group commands join the group, recipe and station
// commands, so they follow.
struct CommandFile {
  std::vector<std::string> words;
  void (*add)(CLI::App&, int*);
};

const std::vector<CommandFile>& CommandFiles() {
  static const std::vector<CommandFile> files{
      {{"tree"}, AddTreeCommand},
      {{"demo"}, AddDemoCommand},
      {{"subgroup"}, AddSubGroupCommand},
      {{"project", "station"}, AddProjectCommand},
      {{"group"}, AddGroupCommand},
      {{"lock", "clean-temp"}, AddLockCommand},
      {{"recipe"}, AddRecipeCommands},
      {{"unit", "ls", "edf"}, AddUnitCommands},
      {{"group", "recipe"}, AddListCommands},
      {{"find"}, AddFindCommand},
      {{"recipe"}, AddSignCommands},
      {{"key"}, AddKeyCommand},
      {{"batch"}, AddBatchCommand},
      {{"log"}, AddLogCommand},
      {{"verify"}, AddVerifyCommand},
      {{"export", "import"}, AddArchiveCommands},
      {{"security", "station"}, AddSecurityCommand},
      {{"path"}, AddPathCommand},
  };
  return files;
}

bool Adds(const CommandFile& file, const std::string& command) {
  return std::find(file.words.begin(), file.words.end(), command) != file.words.end();
}

}  // namespace

void AddStoreCommands(CLI::App& app, int* exitStatus, const std::string& command) {
  const auto& files = CommandFiles();
  bool known = std::any_of(files.begin(), files.end(), [&](const CommandFile& file) { return Adds(file, command); });
  for (const CommandFile& file : files) {
    if (!known || Adds(file, command)) file.add(app, exitStatus);
  }
  AddOutputFlags(app);
}

CLI::App* FindCommand(CLI::App& app, const std::string& name) {
  auto found = app.get_subcommands([&](CLI::App* command) { return command->get_name() == name; });
  return found.empty() ? nullptr : found.front();
}

}  // namespace rcpstore::cli

int main(int argc, char** argv) {
  // The message buffer's lines are the user's: they go to stderr.
  rcpstore::OnStoreMessage([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  CLI::App app{"rcpstore - the recipe store of the batch-recipe engineering tools", "rcpstore"};
  app.require_subcommand(1);
  // Options of rcpstore itself (--station) are accepted after a command too.
  app.fallthrough();
  app.set_version_flag("--version", "rcpstore " RCPSTORE_VERSION);
  app.add_option_function<std::string>(
         "--station", [](const std::string& dir) { rcpstore::UseStationDirectory(dir); },
         "Station directory for this call, an existing directory (default: $QVC_STATION_DIR, else the "
         "computer's station, /var/lib/qv-station)");
  app.footer(rcpstore::cli::kNamingRule);
  int exitStatus = rcpstore::cli::kExitOk;
  rcpstore::cli::AddStoreCommands(app, &exitStatus);
  rcpstore::cli::AddHelpCommand(app, &exitStatus);
  // The shell's completion asks through a command of its own, not listed.
  if (argc > 1 && std::strcmp(argv[1], rcpstore::cli::kCompleteCommand) == 0) {
    return rcpstore::cli::PrintCompletions(app, std::vector<std::string>(argv + 2, argv + argc));
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return rcpstore::cli::ReportUsageError(app, e, argc, argv);
  }
  return exitStatus;
}
