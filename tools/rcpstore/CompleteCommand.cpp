// rcpstore __complete WORDS...: what the last word of a command line may
// become. The words before it are walked through the commands as the parser
// would take them, which tells whether the word is a command word, an option,
// an option's value or which argument of its command; the argument's name and
// help tell what it names.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "Completion.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

const char kCompleteCommand[] = "__complete";

namespace {

// Where the last word falls: in which command, and the words before it.
struct Place {
  CLI::App* command = nullptr;
  const CLI::Option* option = nullptr;                            // the option whose value the word is
  std::vector<std::pair<const CLI::Option*, std::string>> given;  // the arguments before it, with theirs
  bool dashes = false;                                            // after "--": no options
};

// What an argument or an option's value names.
enum class Wanted {
  kNothing,
  kProject,       // a project: its address, else its directory
  kGroup,         // a group, likewise
  kRecipe,        // a recipe, likewise
  kUnit,          // a unit recipe that exists, by address, or its recipe
  kNewUnit,       // a unit recipe to make
  kRecipes,       // a recipe, then more numbers of its group: @P/G/R,N,N
  kGroupRecipes,  // numbers of the group given first: N,N
  kSubGroup,      // one name of a sub-group path
  kNumber,        // the number of a thing to make in the thing before (to delete, for units)
  kFile,
  kDirectory,
  kCommandWords,  // the words of a command, for help
};

using Lines = std::vector<Candidate>;

const CLI::Option* OptionNamed(CLI::App* command, const std::string& name) {
  for (CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    if (const CLI::Option* option = at->get_option_no_throw(name)) return option;
  }
  return nullptr;
}

bool TakesValue(const CLI::Option& option) { return option.get_type_size_max() > 0; }

std::vector<const CLI::Option*> Arguments(const CLI::App& command) {
  return command.get_options([](const CLI::Option* option) { return option->get_positional(); });
}

// The argument that the next word fills, after the given ones.
const CLI::Option* NextArgument(const CLI::App& command, size_t given) {
  for (const CLI::Option* argument : Arguments(command)) {
    auto room = static_cast<size_t>(argument->get_items_expected_max());
    if (given < room) return argument;
    given -= room;
  }
  return nullptr;
}

// An option's value before the last word: the station chosen on the line
// is the one read.
void TakeValue(const CLI::Option& option, const std::string& value) {
  if (option.check_lname("station")) UseStationDirectory(value);
}

// Takes one word before the last: an option, its value, a command word or
// an argument.
void Take(const std::string& word, Place* place) {
  if (place->option != nullptr) {
    TakeValue(*place->option, word);
    place->option = nullptr;
  } else if (!place->dashes && word == "--") {
    place->dashes = true;
  } else if (!place->dashes && word.size() > 1 && word[0] == '-') {
    size_t equals = word.find('=');
    const CLI::Option* option = OptionNamed(place->command, word.substr(0, equals));
    if (option == nullptr || !TakesValue(*option)) return;
    if (equals == std::string::npos) {
      place->option = option;
    } else {
      TakeValue(*option, word.substr(equals + 1));
    }
  } else if (CLI::App* sub = place->given.empty() ? FindCommand(*place->command, word) : nullptr) {
    place->command = sub;
  } else {
    place->given.emplace_back(NextArgument(*place->command, place->given.size()), word);
  }
}

Wanted ByName(const CLI::App& command, const CLI::Option& argument, const std::string& help) {
  const std::string name = argument.get_name();
  if (name == "PROJECT") return Wanted::kProject;
  if (name == "TARGET") {
    bool recipe = help.rfind("Recipe,", 0) == 0 || help.rfind("Recipe (", 0) == 0;
    return recipe ? Wanted::kRecipe : Wanted::kGroup;
  }
  if (name == "RECIPES") {
    auto arguments = Arguments(command);
    return arguments.front()->get_name() == "GROUP" ? Wanted::kGroupRecipes : Wanted::kRecipes;
  }
  if (name == "NAME" && help.rfind("Sub-group path", 0) == 0) return Wanted::kSubGroup;
  if (name == "N") return Wanted::kNumber;
  if (name == "DIR" || name == "PARENT_DIR") return Wanted::kDirectory;
  if (name == "FILE" || name == "ARCHIVE") return Wanted::kFile;
  if (name == "COMMAND" && command.get_name() == "help") return Wanted::kCommandWords;
  return Wanted::kNothing;
}

// What an argument names: the arguments that name store things share their
// help texts; the others are known by their names.
Wanted WantedBy(const CLI::App& command, const CLI::Option& argument) {
  const std::string& help = argument.get_description();
  if (help == kProjectHelp) return Wanted::kProject;
  if (help == kGroupHelp) return Wanted::kGroup;
  if (help == kRecipeHelp) return Wanted::kRecipe;
  if (help == kUnitHelp) return command.get_name() == "create" ? Wanted::kNewUnit : Wanted::kUnit;
  return ByName(command, argument, help);
}

Wanted WantedByOption(const CLI::Option& option) {
  if (option.check_lname("station") || option.check_lname("ref-dir")) return Wanted::kDirectory;
  if (option.check_lname("template")) return Wanted::kFile;
  if (option.check_lname("project")) return Wanted::kProject;
  return Wanted::kNothing;
}

Lines Matching(const Lines& all, const std::string& word) {
  Lines out;
  for (const Candidate& candidate : all) {
    if (candidate.word.compare(0, word.size(), word) == 0) out.push_back(candidate);
  }
  return out;
}

Lines CommandWords(const CLI::App& command) {
  Lines out;
  for (const CLI::App* sub : command.get_subcommands({})) out.push_back({sub->get_name(), sub->get_description()});
  return out;
}

// The long options of the command and of the commands above it, which
// they accept too.
Lines OptionWords(CLI::App* command) {
  Lines out;
  for (CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    for (const CLI::Option* option : at->get_options()) {
      for (const std::string& name : option->get_lnames()) {
        bool listed = std::any_of(out.begin(), out.end(), [&](const Candidate& c) { return c.word == "--" + name; });
        if (!listed) out.push_back({"--" + name, option->get_description()});
      }
    }
  }
  return out;
}

// The sub-group path given so far, and the group it is in: the command's
// first argument, a group or a recipe of it.
Lines SubGroupWords(const Place& place, const CLI::Option* argument, const std::string& group,
                    const std::string& word) {
  std::vector<std::string> path;
  for (const auto& [taker, given] : place.given) {
    if (taker == argument) path.push_back(given);
  }
  return SubGroupCandidates(group, path, word);
}

Lines HelpWords(CLI::App& app, const Place& place) {
  CLI::App* at = &app;
  for (const auto& given : place.given) {
    at = FindCommand(*at, given.second);
    if (at == nullptr) return {};
  }
  return CommandWords(*at);
}

// Paths are the shell's to complete: a line without a word asks for them
// ("files" or "directories"); what precedes the path in the word follows.
Lines Paths(const char* kind) { return {{"", std::string(kind) + "\t"}}; }

// A thing of the store: an address, else its directory.
Lines StoreWords(unsigned depth, bool freeUnits, const std::string& word) {
  if (!word.empty() && !IsAddress(word)) return Paths("directories");
  Lines out = AddressCandidates(word, depth, freeUnits);
  return out.empty() && word.empty() ? Paths("directories") : out;
}

Lines Candidates(CLI::App& app, const Place& place, Wanted wanted, const CLI::Option* argument,
                 const std::string& word) {
  const std::string first = place.given.empty() ? "" : place.given.front().second;
  const std::string last = place.given.empty() ? "" : place.given.back().second;
  switch (wanted) {
    case Wanted::kProject:
      return StoreWords(0, false, word);
    case Wanted::kGroup:
      return StoreWords(1, false, word);
    case Wanted::kRecipe:
      return StoreWords(2, false, word);
    case Wanted::kUnit:
      return StoreWords(3, false, word);
    case Wanted::kNewUnit:
      return StoreWords(3, true, word);
    case Wanted::kRecipes:
      return word.find(',') == std::string::npos ? StoreWords(2, false, word) : RecipeNumberCandidates(word, word);
    case Wanted::kGroupRecipes:
      return RecipeNumberCandidates(first, word);
    case Wanted::kSubGroup:
      return SubGroupWords(place, argument, first, word);
    case Wanted::kNumber:
      return NumberCandidates(last, place.command->get_name() == "delete", word);
    case Wanted::kFile:
      return IsAddress(word) ? AddressCandidates(word, 3, false) : Paths("files");
    case Wanted::kDirectory:
      return Paths("directories");
    case Wanted::kCommandWords:
      return Matching(HelpWords(app, place), word);
    case Wanted::kNothing:
      break;
  }
  return {};
}

// The last word: an option, an option's value, a command word or an argument.
Lines Complete(CLI::App& app, const Place& place, const std::string& word) {
  if (place.option != nullptr) return Candidates(app, place, WantedByOption(*place.option), nullptr, word);
  if (!place.dashes && word.size() > 0 && word[0] == '-') {
    size_t equals = word.find('=');
    if (equals == std::string::npos) return Matching(OptionWords(place.command), word);
    const CLI::Option* option = OptionNamed(place.command, word.substr(0, equals));
    if (option == nullptr) return {};
    Lines out = Candidates(app, place, WantedByOption(*option), nullptr, word.substr(equals + 1));
    for (Candidate& candidate : out) {
      if (candidate.word.empty())
        candidate.description += word.substr(0, equals + 1);  // a path asked for
      else
        candidate.word = word.substr(0, equals + 1) + candidate.word;
    }
    return out;
  }
  if (place.given.empty() && !place.command->get_subcommands({}).empty()) {
    return Matching(CommandWords(*place.command), word);
  }
  const CLI::Option* argument = NextArgument(*place.command, place.given.size());
  if (argument == nullptr || place.dashes) return {};
  return Candidates(app, place, WantedBy(*place.command, *argument), argument, word);
}

void Print(const Lines& lines) {
  for (const Candidate& line : lines) {
    std::string text = line.word.empty() ? "\t" + line.description
                                         : ShellQuoted(line.word) +
                                               (line.description.empty() ? "" : "\t" + Printable(line.description));
    std::printf("%s\n", text.c_str());
  }
}

}  // namespace

int PrintCompletions(CLI::App& app, const std::vector<std::string>& words) {
  try {
    OnStoreMessage([](const std::string&) {});
    OpenedProjects opened;
    Place place;
    place.command = &app;
    for (size_t i = 0; i + 1 < words.size(); ++i) Take(Unquoted(words[i]), &place);
    Print(Complete(app, place, words.empty() ? "" : Unquoted(words.back())));
  } catch (...) {
    // A line that cannot be completed completes to nothing.
  }
  return kExitOk;
}

}  // namespace rcpstore::cli
