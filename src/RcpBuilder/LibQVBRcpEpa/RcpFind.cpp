// The recipes of a project or group that a search asks for, described.
#include <fnmatch.h>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore {

namespace {

bool Matches(const std::optional<std::string>& glob, const std::string& text) {
  return !glob || fnmatch(glob->c_str(), text.c_str(), 0) == 0;
}

// A recipe is in the sub-group PATH when PATH (a glob) names its sub-group
// or one that holds it.
bool InSubGroup(const std::optional<std::string>& glob, const std::string& subGroup) {
  if (!glob) return true;
  for (size_t end = subGroup.find('/'); end != std::string::npos; end = subGroup.find('/', end + 1)) {
    if (fnmatch(glob->c_str(), subGroup.substr(0, end).c_str(), FNM_PATHNAME) == 0) return true;
  }
  return !subGroup.empty() && fnmatch(glob->c_str(), subGroup.c_str(), FNM_PATHNAME) == 0;
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
  for (const Target& group : GroupsOf(Covered(given))) {
    for (const ListedRecipe& listed : RecipesOf(group)) {
      if (!InSubGroup(filter.subGroup, listed.subGroup)) continue;
      StoreItem recipe = RecipeItem(listed.recipe, listed.subGroup);
      if (Matches(filter.title, recipe.head.title) && Matches(filter.comment, recipe.head.comment)) {
        found.push_back(std::move(recipe));
      }
    }
  }
  return found;
}

}  // namespace rcpstore
