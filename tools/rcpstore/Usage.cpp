#include "Usage.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Target.h"
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

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// " (did you mean X?)" for the candidate nearest to what was typed: a few
// letters off, or one it begins (-V for --version); else "".
std::string DidYouMean(const std::string& typed, const std::vector<std::string>& candidates) {
  auto bare = [](const std::string& word) { return Lower(word.substr(word.find_first_not_of('-'))); };
  if (typed.find_first_not_of('-') == std::string::npos) return "";
  const std::string given = bare(typed);
  std::string best;
  size_t bestDistance = std::max<size_t>(2, given.size() / 3) + 1;
  for (const std::string& candidate : candidates) {
    const std::string name = bare(candidate);
    size_t distance = name.rfind(given, 0) == 0 ? 1 : EditDistance(given, name);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best.empty() ? "" : " (did you mean " + best + "?)";
}

std::vector<std::string> CommandNames(const CLI::App& at) {
  std::vector<std::string> names;
  for (const CLI::App* sub : at.get_subcommands({})) names.push_back(sub->get_name());
  return names;
}

// The long options of a command and of the commands above it, which it
// accepts too.
std::vector<std::string> OptionNames(const CLI::App* at) {
  std::vector<std::string> names;
  for (; at != nullptr; at = at->get_parent()) {
    for (const CLI::Option* option : at->get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    }
  }
  return names;
}

// The parser's own wording for a bad value ("N: Value 17 not in range 1 to
// 16", "RIGHT: runn not in {run,read}"), said as the user's slip.
std::string ValueProblem(const std::string& text) {
  const size_t colon = text.find(": ");
  if (colon == std::string::npos) return text;
  const std::string name = text.substr(0, colon);
  const std::string rest = text.substr(colon + 2);
  const std::string value = "Value ";
  const size_t range = rest.rfind(" not in range ");
  const size_t to = rest.rfind(" to ");
  if (rest.rfind(value, 0) == 0 && range != std::string::npos && to != std::string::npos && to > range) {
    return name + " must be a number from " + rest.substr(range + 14, to - range - 14) + " to " + rest.substr(to + 4) +
           ", not '" + rest.substr(value.size(), range - value.size()) + "'";
  }
  const size_t member = rest.rfind(" not in {");
  if (member == std::string::npos || rest.back() != '}') return text;
  const std::string given = rest.substr(0, member);
  std::vector<std::string> allowed;
  std::istringstream list(rest.substr(member + 9, rest.size() - member - 10));
  for (std::string word; std::getline(list, word, ',');) allowed.push_back(word);
  return name + " must be one of " + Joined(allowed) + ", not '" + given + "'" + DidYouMean(given, allowed);
}

std::string Cause(CLI::App& at, const CLI::ParseError& error, const std::vector<std::string>& rest) {
  if (at.get_require_subcommand_min() > 0 && at.get_subcommands().empty()) {
    if (!rest.empty() && rest.front().front() == '-') {
      return "unknown option '" + rest.front() + "'" + DidYouMean(rest.front(), OptionNames(&at));
    }
    if (!rest.empty()) return "unknown command '" + rest.front() + "'" + DidYouMean(rest.front(), CommandNames(at));
    return "a command is required: " + Joined(CommandNames(at));
  }
  std::string text = error.what();
  for (const char* extras : {"The following argument was not expected: ", "The following arguments were not expected: "}) {
    if (text.rfind(extras, 0) != 0) continue;
    std::string words = text.substr(std::string(extras).size());
    std::string hint;
    std::istringstream split(words);
    for (std::string word; hint.empty() && split >> word;) {
      if (word.front() == '-') hint = DidYouMean(word, OptionNames(&at));
    }
    return "unknown option or argument: " + words + hint;
  }
  return ValueProblem(text);
}

// The words of a command line that fill its positional arguments: neither
// options nor the values they take.
std::vector<std::string> PositionalWords(const CLI::App& at, const std::vector<std::string>& rest) {
  std::vector<std::string> words;
  for (size_t i = 0; i < rest.size(); ++i) {
    const std::string& word = rest[i];
    if (word.empty() || word.front() != '-' || word == "-") {
      words.push_back(word);
      continue;
    }
    if (word.find('=') != std::string::npos) continue;
    const CLI::Option* option = at.get_option_no_throw(word);
    if (option != nullptr && option->get_expected_min() > 0) ++i;
  }
  return words;
}

}  // namespace

bool NamesStoreThing(const std::string& argument) {
  static const char* const kinds[] = {"PROJECT", "GROUP", "DEST_GROUP", "RECIPE", "RECIPES", "TARGET", "SRC"};
  return std::find(std::begin(kinds), std::end(kinds), argument) != std::end(kinds);
}

std::string CommandPath(const CLI::App& command) {
  std::string path = command.get_name();
  for (const CLI::App* up = command.get_parent(); up != nullptr; up = up->get_parent()) {
    if (!up->get_name().empty()) path = up->get_name() + " " + path;
  }
  return path;
}

std::string OrderHint(const CLI::App& command, const std::vector<std::string>& words) {
  auto positionals = command.get_options([](const CLI::Option* option) { return option->get_positional(); });
  if (positionals.empty() || words.size() < 2 || !NamesStoreThing(positionals.front()->get_name())) return "";
  const std::string& first = words.front();
  if (IsAddress(first) || first.find('/') != std::string::npos || first == "." || first == "..") return "";
  auto address = std::find_if(words.begin() + 1, words.end(), IsAddress);
  if (address == words.end()) return "";
  std::string fixed = CommandPath(command) + " " + *address;
  for (auto word = words.begin(); word != words.end(); ++word) {
    if (word != address) fixed += " " + *word;
  }
  std::string thing = Lower(positionals.front()->get_name());
  if (thing.back() == 's') thing.pop_back();  // "recipes": the first of them
  return "the " + thing + " comes first: " + fixed;
}

int ReportUsageError(CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  if (error.get_exit_code() == 0) return app.exit(error) == 0 ? kExitOk : kExitUsage;
  std::vector<std::string> words = CommandWords(argc, argv);
  std::string path;
  size_t used = 0;
  CLI::App* at = Deepest(app, words, &path, &used);
  std::vector<std::string> rest(words.begin() + static_cast<long>(used), words.end());
  std::string cause = OrderHint(*at, PositionalWords(*at, rest));
  if (cause.empty()) cause = Cause(*at, error, rest);
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
      if (used < words->size()) {
        throw CLI::ValidationError("unknown command '" + (*words)[used] + "'" +
                                   DidYouMean((*words)[used], CommandNames(*at)));
      }
      text = at->get_parent() == nullptr ? at->help() : at->help(CommandPath(*at->get_parent()));
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    *exitStatus = kExitOk;
  });
}

}  // namespace rcpstore::cli
