// rcpstore group list, recipe list and find: what a project holds, with the
// titles, versions and times of its recipes, read in one process.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa/Reads.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

std::string RecipeLine(const StoreItem& recipe) {
  const RecipeHead& head = recipe.head;
  return Printable(NameOf(recipe.target)) + "  " + Printable(head.title) + "  v" + std::to_string(head.version) + "  " +
         IsoTime(head.updated) + (recipe.subGroup.empty() ? "" : "  " + Printable(recipe.subGroup) + "/") +
         (recipe.error.empty() ? "" : "  (" + recipe.error + ")");
}

Json GroupEntryJson(const Target& group) { return ItemJson(GroupItem(group)); }

std::string GroupLine(const Target& target) {
  StoreItem group = GroupItem(target);
  const std::string& comment = group.group.comment;
  return Printable(NameOf(target)) + "  " + std::to_string(group.recipes) + " recipes" +
         (comment.empty() ? "" : "  " + Printable(comment));
}

// What a search asked, as the user gave it: "title 'Mix*', comment 'x'".
std::string Searched(const RecipeFilter& filter) {
  std::vector<std::string> asked;
  if (filter.title) asked.push_back("title '" + Printable(*filter.title) + "'");
  if (filter.comment) asked.push_back("comment '" + Printable(*filter.comment) + "'");
  if (filter.subGroup) asked.push_back("sub-group '" + Printable(*filter.subGroup) + "'");
  std::string text = Joined(asked, "any title", ", ");
  return filter.ignoreCase ? text + " (ignoring case)" : text;
}

// Prints the recipes found; none found gives 1 and, in text, says so on stderr.
int Find(const std::string& given, const RecipeFilter& filter) {
  std::vector<StoreItem> found = FindRecipes(given, filter);
  PrintList(found, ItemJson, RecipeLine);
  if (!found.empty()) return kExitOk;
  if (!Output().json) {
    std::fprintf(stderr, "rcpstore: find %s: no recipe matches %s\n", Printable(given).c_str(),
                 Searched(filter).c_str());
  }
  return kExitFailure;
}

}  // namespace

void AddListCommands(CLI::App& app, int* exitStatus) {
  auto given = std::make_shared<std::string>();

  if (CLI::App* group = FindCommand(app, "group")) {
    auto* groups = AddCommand(*group, "list", "List the recipe groups of a project", "rcpstore group list @Line1");
    groups->add_option("PROJECT", *given, kProjectHelp)->required();
    Runs(*groups, exitStatus, [=] { return PrintList(GroupsOf(ProjectTarget(*given)), GroupEntryJson, GroupLine); });
  }
  if (CLI::App* recipe = FindCommand(app, "recipe")) {
    auto* recipes =
        AddCommand(*recipe, "list", "List the recipes of a group or project: address, title, version, time, sub-group",
                   "rcpstore recipe list @Line1/1");
    recipes->add_option("TARGET", *given, "Recipe group (@PROJECT/G or its directory) or project")->required();
    Runs(*recipes, exitStatus, [=] { return PrintList(FindRecipes(*given), ItemJson, RecipeLine); });
  }
}

void AddFindCommand(CLI::App& app, int* exitStatus) {
  auto given = std::make_shared<std::string>();
  auto filter = std::make_shared<RecipeFilter>();
  auto* find = AddCommand(app, "find", "Find the recipes of a project or group by title, comment or sub-group",
                          "rcpstore find @Line1 --title 'Mix*' --sub-group Trials");
  find->add_option("TARGET", *given, "Project or recipe group")->required();
  find->add_option("--title", filter->title, "Title pattern (shell glob: * ? [...])");
  find->add_option("--comment", filter->comment, "Comment pattern (shell glob)");
  find->add_option("--sub-group", filter->subGroup, "Sub-group path (A/B, glob), the recipes in it or below it");
  find->add_flag("-i,--ignore-case", filter->ignoreCase, "Match letters in either case (ASCII and most alphabets)");
  find->footer(find->get_footer() +
               "\nExit status: 0 when a recipe matches, 1 when none does or on failure, 2 usage error.");
  Runs(*find, exitStatus, [=] { return Find(*given, *filter); });
}

}  // namespace rcpstore::cli
