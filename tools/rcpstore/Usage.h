// Usage errors and help: one line naming the command and what is wrong with
// its words, and `rcpstore help COMMAND`.
#pragma once

#include <cstddef>
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

// The texts a command stores are checked before anything runs (Texts.cpp).
// A usage error for the option when the store's check found a problem with it.
void Refuse(const std::string& option, const std::string& problem);
// The text when it fits in limit bytes; otherwise, with truncate, its longest
// beginning that fits and ends at a UTF-8 character boundary, else refused.
std::string Fitted(const std::string& option, const std::string& text, size_t limit, bool truncate);

// Adds a sub-command with its help and an example of its use under the help.
CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& help, const char* example);

// Prints help or the version (exit 0), or the usage error (exit 2).
int ReportUsageError(CLI::App& app, const CLI::ParseError& error, int argc, char** argv);

// rcpstore help [COMMAND...]: the help of a command.
void AddHelpCommand(CLI::App& app, int* exitStatus);

// The reference documents made from the commands themselves, so that they
// never disagree with them: the man page rcpstore(1) in roff, and a bash
// completion script, which asks rcpstore for its candidates (Completion.h).
std::string ManPage(CLI::App& app);
std::string BashCompletion();

}  // namespace rcpstore::cli
