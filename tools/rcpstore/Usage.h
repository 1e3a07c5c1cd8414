// Usage errors and help: one line naming the command and what is wrong with
// its words, and `rcpstore help COMMAND`.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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

// Whether a command's argument of that name is a store thing, which an
// address may give (GROUP, RECIPE, ...).
bool NamesStoreThing(const std::string& argument);

// "rcpstore recipe copy": the words that run the command.
std::string CommandPath(const CLI::App& command);

// When a command that takes a store thing first was given an address only
// later ("recipe create 7 @Line1/1"), what to type instead ("the group comes
// first: rcpstore recipe create @Line1/1 7"); else "".
std::string OrderHint(const CLI::App& command, const std::vector<std::string>& words);

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
