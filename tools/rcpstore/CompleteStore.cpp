// The store's things as completion candidates. Each level is read on its
// own (the registry's project list, a project's groups, a group's recipes or
// sub-group file, a recipe's unit files), and descriptions only for a few
// candidates. Nothing here changes the store: targets are found by listing,
// never by the checks that finish what a killed command left.
#include <algorithm>
#include <functional>
#include <optional>

#include "Completion.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Target.h"

namespace rcpstore::cli {

namespace {

// More candidates than this are listed without their descriptions, which
// would cost a file read each.
constexpr size_t kDescribedAtMost = 100;

bool Begins(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

std::optional<Target> GroupNumbered(const Target& project, unsigned groupNo) {
  for (const Target& group : GroupsOf(project)) {
    if (group.groupNo == groupNo) return group;
  }
  return std::nullopt;
}

std::optional<Target> RecipeNumbered(const Target& group, unsigned recipeNo) {
  for (const ListedRecipe& listed : RecipesOf(group)) {
    if (listed.recipe.recipeNo == recipeNo) return listed.recipe;
  }
  return std::nullopt;
}

// The project, group or recipe an address names, found by listing.
std::optional<Target> AddressTarget(const Address& address) {
  Target target = ProjectAt(PathOfAddress(Address{address.project}));
  target.projectName = address.project;
  target.registered = true;
  std::optional<Target> found = target;
  if (address.groupNo != 0) found = GroupNumbered(target, address.groupNo);
  if (found && address.recipeNo != 0) found = RecipeNumbered(*found, address.recipeNo);
  return found;
}

// A thing given by address, registered name or directory; none when it
// cannot be found or read.
std::optional<Target> Found(const std::string& given) {
  try {
    if (NamesDirectory(given) && !IsAddress(given)) return AnyTarget(given);
    return AddressTarget(ParseAddress(IsAddress(given) ? given : "@" + given));
  } catch (const Failure&) {
    return std::nullopt;
  }
}

std::optional<Target> GroupFound(const std::string& given) {
  std::optional<Target> target = Found(given.substr(0, given.find(',')));
  if (!target || target->group.empty()) return std::nullopt;
  target->recipe.clear();
  target->recipeNo = 0;
  return target;
}

// The numbered candidates that begin with the word, each one "lead" and
// its number; when few of them match, each with the description that
// describe gives for its index in numbers.
std::vector<Candidate> Numbered(const std::string& lead, const std::vector<unsigned>& numbers, const std::string& word,
                                const std::function<std::string(size_t)>& describe) {
  std::vector<Candidate> out;
  std::vector<size_t> indexes;
  for (size_t i = 0; i < numbers.size(); ++i) {
    std::string candidate = lead + std::to_string(numbers[i]);
    if (!Begins(candidate, word)) continue;
    out.push_back({candidate, ""});
    indexes.push_back(i);
  }
  if (out.size() > kDescribedAtMost || !describe) return out;
  for (size_t i = 0; i < out.size(); ++i) out[i].description = Printable(describe(indexes[i]));
  return out;
}

std::string Title(const Target& recipe) {
  try {
    return ReadRecipeHead(recipe.recipe).title;
  } catch (const Failure&) {
    return "";
  }
}

std::vector<std::string> UnitTexts(const Target& recipe) {
  try {
    return ReadRecipeHead(recipe.recipe).unitTexts;
  } catch (const Failure&) {
    return {};
  }
}

std::vector<Target> Recipes(const Target& group) {
  std::vector<Target> recipes;
  for (const ListedRecipe& listed : RecipesOf(group)) recipes.push_back(listed.recipe);
  return recipes;
}

std::vector<unsigned> NumbersOf(const std::vector<Target>& targets) {
  std::vector<unsigned> numbers;
  for (const Target& target : targets) numbers.push_back(target.recipe.empty() ? target.groupNo : target.recipeNo);
  return numbers;
}

std::vector<Candidate> RecipeCandidates(const std::string& lead, const Target& group, const std::string& word) {
  std::vector<Target> recipes = Recipes(group);
  return Numbered(lead, NumbersOf(recipes), word, [&](size_t i) { return Title(recipes[i]); });
}

std::vector<Candidate> UnitCandidates(const std::string& lead, const Target& recipe, bool free,
                                      const std::string& word) {
  std::vector<unsigned> numbers = free ? FreeNumbers(recipe) : UnitFilesOf(recipe.recipe);
  numbers.erase(std::remove(numbers.begin(), numbers.end(), 0u), numbers.end());
  std::vector<std::string> texts = free ? std::vector<std::string>{} : UnitTexts(recipe);
  return Numbered(lead, numbers, word,
                  [&](size_t i) { return numbers[i] <= texts.size() ? texts[numbers[i] - 1] : ""; });
}

std::vector<Candidate> ProjectCandidates(const std::string& word, bool deeper) {
  std::vector<Candidate> out;
  for (const std::string& name : RegisteredProjects()) {
    std::string candidate = "@" + Printable(name) + (deeper ? "/" : "");
    if (Begins(candidate, word)) out.push_back({candidate, ""});
  }
  return out;
}

// The candidates one level below the thing the address before the last
// '/' names; those that are not the last level asked for end in '/'.
std::vector<Candidate> LevelCandidates(const std::string& word, unsigned depth, bool freeUnits) {
  size_t slash = word.rfind('/');
  std::string lead = word.substr(0, slash + 1);
  Address above = ParseAddress(word.substr(0, slash));
  if (above.unitNo != 0) return {};
  unsigned level = above.recipeNo != 0 ? 3 : above.groupNo != 0 ? 2 : 1;
  std::optional<Target> target = level <= depth ? AddressTarget(above) : std::nullopt;
  if (!target) return {};
  std::vector<Candidate> out;
  if (level == 1) {
    std::vector<Target> groups = GroupsOf(*target);
    out = Numbered(lead, NumbersOf(groups), word, [&](size_t i) { return ReadGroupInfo(groups[i]).comment; });
  } else {
    out = level == 2 ? RecipeCandidates(lead, *target, word) : UnitCandidates(lead, *target, freeUnits, word);
  }
  std::string tail = level < depth ? "/" : "";
  for (Candidate& candidate : out) candidate.word += tail;
  return out;
}

}  // namespace

std::vector<Candidate> AddressCandidates(const std::string& word, unsigned depth, bool freeUnits) {
  try {
    if (word.find('/') == std::string::npos) return ProjectCandidates(word, depth > 0);
    return LevelCandidates(word, depth, freeUnits);
  } catch (const Failure&) {
    return {};
  }
}

std::vector<Candidate> RecipeNumberCandidates(const std::string& group, const std::string& word) {
  std::optional<Target> found = GroupFound(group);
  if (!found) return {};
  try {
    return RecipeCandidates(word.substr(0, word.rfind(',') + 1), *found, word);
  } catch (const Failure&) {
    return {};
  }
}

std::vector<Candidate> SubGroupCandidates(const std::string& group, const std::vector<std::string>& path,
                                          const std::string& word) {
  std::optional<Target> found = GroupFound(group);
  std::vector<Candidate> out;
  if (!found) return out;
  try {
    for (const std::string& name : SubGroupsOf(*found, path)) {
      if (Begins(name, word)) out.push_back({Printable(name), ""});
    }
  } catch (const Failure&) {
    return {};
  }
  return out;
}

std::vector<Candidate> NumberCandidates(const std::string& owner, bool existingUnits, const std::string& word) {
  std::optional<Target> found = Found(owner.substr(0, owner.find(',')));
  if (!found) return {};
  try {
    bool units = existingUnits && !found->recipe.empty();
    std::vector<unsigned> numbers = units ? UnitFilesOf(found->recipe) : FreeNumbers(*found);
    return Numbered("", numbers, word, nullptr);
  } catch (const Failure&) {
    return {};
  }
}

}  // namespace rcpstore::cli
