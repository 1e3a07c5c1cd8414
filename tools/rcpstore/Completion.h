// Completion of rcpstore command lines in the shell. The completion script
// (rcpstore help --bash-completion) hands the words of the line up to the
// cursor to `rcpstore __complete WORDS...`, which prints what the last word
// may become: taken from the commands themselves and, for the things of the
// store, read from the store without changing anything.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace rcpstore::cli {

extern const char kCompleteCommand[];

// Prints the candidates for the last of the words (as the shell has them,
// quotes included), one a line: the word quoted for the shell, then a tab
// and a printable description when there is one. A line "\tfiles\tLEAD" or
// "\tdirectories\tLEAD" asks the shell for the paths that follow LEAD in the
// word instead. Prints nothing when it cannot tell; returns 0.
int PrintCompletions(CLI::App& app, const std::vector<std::string>& words);

struct Candidate {
  std::string word;         // unquoted
  std::string description;  // "" when there is none
};

// The store's things a word may become, each filtered to the words that
// begin with the one given, and with descriptions read for a few only.
// An address down to depth 0 (project) to 3 (unit recipe); at the unit
// level the free numbers when freeUnits, else the unit files there.
std::vector<Candidate> AddressCandidates(const std::string& word, unsigned depth, bool freeUnits);
// The recipe numbers of a group (given by address, registered name or
// directory; a recipe stands for its group) after the word's last comma.
std::vector<Candidate> RecipeNumberCandidates(const std::string& group, const std::string& word);
// The names of the sub-groups inside the one at path in a group.
std::vector<Candidate> SubGroupCandidates(const std::string& group, const std::vector<std::string>& path,
                                          const std::string& word);
// The numbers free below an owner (project: groups, group: recipes, recipe:
// units), or with existingUnits the unit files of a recipe.
std::vector<Candidate> NumberCandidates(const std::string& owner, bool existingUnits, const std::string& word);

// A shell word without its quoting: '...', "..." and backslashes.
std::string Unquoted(const std::string& word);
// A word quoted for the shell with backslashes where it needs them.
std::string ShellQuoted(const std::string& word);

}  // namespace rcpstore::cli
