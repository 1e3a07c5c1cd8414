#include "Usage.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "Output.h"

namespace rcpstore::cli {

const char kNamingRule[] =
    "Store addresses: @PROJECT, @PROJECT/G, @PROJECT/G/R, @PROJECT/G/R/U (registered project name, group 1-16,\n"
    "recipe 1-1000, unit 1-32); an argument starting with '@' is always an address. Things may also be given\n"
    "by their directories; a project by its registered name, or by its directory when the argument contains\n"
    "a '/' (./NAME for a directory here, ./@NAME for one whose name starts with '@').\n"
    "Every command takes --json (docs/json.md) and --quiet.\n"
    "Exit status: 0 success, 1 the command failed or was refused, 2 usage error.";

const char kProjectHelp[] = "Project: @NAME or its registered NAME, or its directory (with a '/')";
const char kGroupHelp[] = "Recipe group: @PROJECT/G, or its directory (RGnn)";
const char kRecipeHelp[] = "Recipe: @PROJECT/G/R, or its directory (RCPnnnn)";
const char kUnitHelp[] = "Recipe (@PROJECT/G/R or its directory) followed by N, or a unit address @PROJECT/G/R/U";

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& help, const char* example) {
  CLI::App* command = parent.add_subcommand(name, help);
  command->footer(std::string("Example: ") + example);
  return command;
}

namespace {

// The command words the user gave that name sub-commands, from the top, and
// the sub-command they lead to.
CLI::App* Deepest(CLI::App& app, const std::vector<std::string>& words, std::string* path, size_t* used) {
  CLI::App* at = &app;
  *used = 0;
  for (const std::string& word : words) {
    CLI::App* next = nullptr;
    try {
      next = at->get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
      break;
    }
    at = next;
    *path += (path->empty() ? "" : " ") + word;
    ++*used;
  }
  return at;
}

// The words of the command line that are not options of rcpstore itself.
std::vector<std::string> CommandWords(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--station") {
      ++i;
    } else if (word.rfind("--station=", 0) != 0) {
      words.push_back(word);
    }
  }
  return words;
}

std::string Cause(CLI::App& at, const CLI::ParseError& error, const std::vector<std::string>& rest) {
  if (at.get_require_subcommand_min() > 0 && at.get_subcommands().empty()) {
    if (!rest.empty() && rest.front().front() != '-') return "unknown command '" + rest.front() + "'";
    std::string names;
    for (const CLI::App* sub : at.get_subcommands({})) names += (names.empty() ? "" : ", ") + sub->get_name();
    return "a command is required: " + names;
  }
  std::string text = error.what();
  const std::string extras = "The following argument was not expected: ";
  const std::string extrasMany = "The following arguments were not expected: ";
  if (text.rfind(extras, 0) == 0) return "unknown option or argument: " + text.substr(extras.size());
  if (text.rfind(extrasMany, 0) == 0) return "unknown options or arguments: " + text.substr(extrasMany.size());
  return text;
}

}  // namespace

int ReportUsageError(CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  if (error.get_exit_code() == 0) return app.exit(error) == 0 ? kExitOk : kExitUsage;
  std::vector<std::string> words = CommandWords(argc, argv);
  std::string path;
  size_t used = 0;
  CLI::App* at = Deepest(app, words, &path, &used);
  std::vector<std::string> rest(words.begin() + static_cast<long>(used), words.end());
  std::string cause = Cause(*at, error, rest);
  std::string prefix = path.empty() ? "rcpstore: " : "rcpstore: " + path + ": ";
  std::string help = path.empty() ? "rcpstore --help" : "rcpstore help " + path;
  std::fprintf(stderr, "%s%s (%s)\n", prefix.c_str(), cause.c_str(), help.c_str());
  return kExitUsage;
}

void AddHelpCommand(CLI::App& app, int* exitStatus) {
  auto words = std::make_shared<std::vector<std::string>>();
  auto* help =
      AddCommand(app, "help", "Show the help of a command: rcpstore help recipe set", "rcpstore help recipe set");
  help->add_option("COMMAND", *words, "Command words");
  auto man = std::make_shared<bool>(false);
  auto completion = std::make_shared<bool>(false);
  help->add_flag("--man", *man, "Print the man page rcpstore(1) in roff");
  help->add_flag("--bash-completion", *completion, "Print the bash completion script");
  help->callback([&app, words, exitStatus, man, completion] {
    std::string text;
    if (*man || *completion) {
      text = *man ? ManPage(app) : BashCompletion();
    } else {
      std::string path;
      size_t used = 0;
      CLI::App* at = Deepest(app, *words, &path, &used);
      if (used < words->size()) throw CLI::ValidationError("unknown command '" + (*words)[used] + "'");
      text = at->help();
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    *exitStatus = kExitOk;
  });
}

}  // namespace rcpstore::cli
