// The recipes of a project or group that a search asks for, described.
#include <fnmatch.h>
#include <locale.h>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore {

namespace {

// Matches by UTF-8 characters whatever the process's locale is, so that
// case folds beyond ASCII; where C.UTF-8 is missing, by the process's locale.
bool Glob(const std::string& glob, const std::string& text, int flags) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  locale_t previous = utf8 != nullptr ? uselocale(utf8) : nullptr;
  bool matches = fnmatch(glob.c_str(), text.c_str(), flags) == 0;
  if (previous != nullptr) uselocale(previous);
  return matches;
}

bool Matches(const std::optional<std::string>& glob, const std::string& text, int flags) {
  return !glob || Glob(*glob, text, flags);
}

// A recipe is in the sub-group PATH when PATH (a glob) names its sub-group
// or one that holds it.
bool InSubGroup(const std::optional<std::string>& glob, const std::string& subGroup, int flags) {
  if (!glob) return true;
  for (size_t end = subGroup.find('/'); end != std::string::npos; end = subGroup.find('/', end + 1)) {
    if (Glob(*glob, subGroup.substr(0, end), flags | FNM_PATHNAME)) return true;
  }
  return !subGroup.empty() && Glob(*glob, subGroup, flags | FNM_PATHNAME);
}

// The project or group a search covers.
Target Covered(const std::string& given) {
  Target target = NamesDirectory(given) ? AnyTarget(given) : ProjectTarget(given);
  if (!target.recipe.empty()) Fail("a project or a recipe group is expected, not a recipe", QVERCP_ERR_INVALID_NAME);
  return target;
}

}  // namespace

std::vector<StoreItem> FindRecipes(const std::string& given, const RecipeFilter& filter) {
  std::vector<StoreItem> found;
  int flags = filter.ignoreCase ? FNM_CASEFOLD : 0;
  for (const Target& group : GroupsOf(Covered(given))) {
    for (const ListedRecipe& listed : RecipesOf(group)) {
      if (!InSubGroup(filter.subGroup, listed.subGroup, flags)) continue;
      StoreItem recipe = RecipeItem(listed.recipe, listed.subGroup);
      if (Matches(filter.title, recipe.head.title, flags) && Matches(filter.comment, recipe.head.comment, flags)) {
        found.push_back(std::move(recipe));
      }
    }
  }
  return found;
}

}  // namespace rcpstore
