// rcpstore group list, recipe list and find: what a project holds, with the
// titles, versions and times of its recipes, read in one process.
#include <fnmatch.h>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa/Reads.h"
#include "Output.h"
#include "Report.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct Filter {
  std::optional<std::string> title;
  std::optional<std::string> comment;
  std::optional<std::string> subGroup;
};

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

// The project or group a listing covers.
Target Covered(const std::string& given) {
  Target target = NamesDirectory(given) ? AnyTarget(given) : ProjectTarget(given);
  if (!target.recipe.empty()) Fail("a project or a recipe group is expected, not a recipe", QVERCP_ERR_INVALID_NAME);
  return target;
}

std::string RecipeLine(const ListedRecipe& listed, const RecipeHead& head) {
  return NameOf(listed.recipe) + "  " + head.title + "  v" + std::to_string(head.version) + "  " +
         IsoTime(head.updated) + (listed.subGroup.empty() ? "" : "  " + listed.subGroup + "/");
}

// Prints the recipes of the target that pass the filter.
int PrintRecipes(const std::string& given, const Filter& filter) {
  Target target = Covered(given);
  Json recipes = Json::array();
  std::string text;
  for (const Target& group : GroupsOf(target)) {
    for (const ListedRecipe& listed : RecipesOf(group)) {
      StoreItem recipe = RecipeItem(listed.recipe, listed.subGroup);
      const RecipeHead& head = recipe.head;
      Json item = ItemJson(recipe);
      if (!Matches(filter.title, head.title) || !Matches(filter.comment, head.comment) ||
          !InSubGroup(filter.subGroup, listed.subGroup)) {
        continue;
      }
      if (Output().json) {
        recipes.push_back(item);
      } else {
        text += RecipeLine(listed, head) + (item.contains("error") ? "  (" + JsonBytes(item["error"]) + ")" : "") + "\n";
      }
    }
  }
  if (Output().json) return PrintJson(recipes);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitOk;
}

int PrintGroups(const std::string& given) {
  Target project = ProjectTarget(given);
  Json groups = Json::array();
  for (const Target& group : GroupsOf(project)) {
    Json item = ItemJson(GroupItem(group));
    groups.push_back(item);
    if (Output().json) continue;
    PrintLine(NameOf(group) + "  " + item["recipes"].dump() + " recipes" +
              (item["comment"] == "" ? "" : "  " + JsonBytes(item["comment"].get<std::string>())));
  }
  return Output().json ? PrintJson(groups) : kExitOk;
}

}  // namespace

void AddListCommands(CLI::App& app, int* exitStatus) {
  auto given = std::make_shared<std::string>();
  auto filter = std::make_shared<Filter>();

  if (CLI::App* group = FindCommand(app, "group")) {
    auto* groups = group->add_subcommand("list", "List the recipe groups of a project");
    groups->add_option("PROJECT", *given, kProjectHelp)->required();
    Example(*groups, "rcpstore group list @Line1");
    groups->callback([=] { *exitStatus = Run("group list " + *given, [&] { return PrintGroups(*given); }); });
  }
  if (CLI::App* recipe = FindCommand(app, "recipe")) {
    auto* recipes = recipe->add_subcommand(
        "list", "List the recipes of a group or project: address, title, version, time, sub-group");
    recipes->add_option("TARGET", *given, "Recipe group (@PROJECT/G or its directory) or project")->required();
    Example(*recipes, "rcpstore recipe list @Line1/1");
    recipes->callback([=] { *exitStatus = Run("recipe list " + *given, [&] { return PrintRecipes(*given, {}); }); });
  }

  auto* find = app.add_subcommand("find", "Find the recipes of a project or group by title, comment or sub-group");
  find->add_option("TARGET", *given, "Project or recipe group")->required();
  find->add_option("--title", filter->title, "Title pattern (shell glob: * ? [...])");
  find->add_option("--comment", filter->comment, "Comment pattern (shell glob)");
  find->add_option("--sub-group", filter->subGroup, "Sub-group path (A/B, glob), the recipes in it or below it");
  Example(*find, "rcpstore find @Line1 --title 'Mix*' --sub-group Trials");
  find->callback([=] { *exitStatus = Run("find " + *given, [&] { return PrintRecipes(*given, *filter); }); });
}

}  // namespace rcpstore::cli
