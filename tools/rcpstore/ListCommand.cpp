// rcpstore group list, recipe list and find: what a project holds, with the
// titles, versions and times of its recipes, read in one process.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa/Reads.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

std::string RecipeLine(const StoreItem& recipe) {
  const RecipeHead& head = recipe.head;
  return NameOf(recipe.target) + "  " + head.title + "  v" + std::to_string(head.version) + "  " +
         IsoTime(head.updated) + (recipe.subGroup.empty() ? "" : "  " + recipe.subGroup + "/") +
         (recipe.error.empty() ? "" : "  (" + recipe.error + ")");
}

// Prints the recipes of the target that pass the filter.
int PrintRecipes(const std::string& given, const RecipeFilter& filter) {
  Json recipes = Json::array();
  std::string text;
  for (const StoreItem& recipe : FindRecipes(given, filter)) {
    if (Output().json) recipes.push_back(ItemJson(recipe));
    if (!Output().json) text += RecipeLine(recipe) + "\n";
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
  auto filter = std::make_shared<RecipeFilter>();

  if (CLI::App* group = FindCommand(app, "group")) {
    auto* groups = group->add_subcommand("list", "List the recipe groups of a project");
    Example(*groups, "rcpstore group list @Line1");
    groups->add_option("PROJECT", *given, kProjectHelp)->required();
    groups->callback([=] { *exitStatus = Run("group list " + *given, [&] { return PrintGroups(*given); }); });
  }
  if (CLI::App* recipe = FindCommand(app, "recipe")) {
    auto* recipes = recipe->add_subcommand(
        "list", "List the recipes of a group or project: address, title, version, time, sub-group");
    Example(*recipes, "rcpstore recipe list @Line1/1");
    recipes->add_option("TARGET", *given, "Recipe group (@PROJECT/G or its directory) or project")->required();
    recipes->callback([=] { *exitStatus = Run("recipe list " + *given, [&] { return PrintRecipes(*given, {}); }); });
  }

  auto* find = app.add_subcommand("find", "Find the recipes of a project or group by title, comment or sub-group");
  Example(*find, "rcpstore find @Line1 --title 'Mix*' --sub-group Trials");
  find->add_option("TARGET", *given, "Project or recipe group")->required();
  find->add_option("--title", filter->title, "Title pattern (shell glob: * ? [...])");
  find->add_option("--comment", filter->comment, "Comment pattern (shell glob)");
  find->add_option("--sub-group", filter->subGroup, "Sub-group path (A/B, glob), the recipes in it or below it");
  find->callback([=] { *exitStatus = Run("find " + *given, [&] { return PrintRecipes(*given, *filter); }); });
}

}  // namespace rcpstore::cli
