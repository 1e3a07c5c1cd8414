// Usage errors and help: one line naming the command and what is wrong with
// its words, and `rcpstore help COMMAND`.
#pragma once

#include <string>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace rcpstore::cli {

// How commands name projects, groups and recipes; shown under the help.
extern const char kNamingRule[];

// The help of the arguments that name store things.
extern const char kProjectHelp[];
extern const char kGroupHelp[];
extern const char kRecipeHelp[];
extern const char kUnitHelp[];

// Shows an example under a command's help.
void Example(CLI::App& command, const char* example);

// Prints help or the version (exit 0), or the usage error (exit 2).
int ReportUsageError(CLI::App& app, const CLI::ParseError& error, int argc, char** argv);

// rcpstore help [COMMAND...]: the help of a command.
void AddHelpCommand(CLI::App& app, int* exitStatus);

// The reference documents made from the commands themselves, so that they
// never disagree with them: the man page rcpstore(1) in roff, and a bash
// completion script (command words, options, the addresses of the
// registered projects, and file names).
std::string ManPage(CLI::App& app);
std::string BashCompletion(CLI::App& app);

}  // namespace rcpstore::cli
