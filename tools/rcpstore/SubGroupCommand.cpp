// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
// Every edit runs under the project lock and is checked against the group's
// arrangement first, so that each refusal says what is wrong.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Texts.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct SubGroupArgs {
  std::string groupDir;
  std::string newName;
  std::string recipes;
  std::vector<std::string> more;  // further recipes of take
  SubGroupPath path;
};

// The recipe numbers of a list; a malformed one is a usage error.
std::vector<unsigned> RecipeNumbers(const std::string& given) {
  try {
    return RecipeNumbersGiven(given);
  } catch (const Failure& failure) {
    throw CLI::ValidationError("RECIPE", failure.cause);
  }
}

void CheckPath(const SubGroupPath& path) {
  for (const std::string& name : path) Refuse("NAME", SubGroupNameProblem(name));
}

int Edited(const std::string& what, const SubGroupArgs& args, const std::function<ChangeReport()>& edit) {
  return Run(what + " " + args.groupDir, [&] { return PrintChanges(edit()); });
}

CLI::App* AddPathCommand(CLI::App& parent, const char* name, const char* help, SubGroupArgs& args) {
  auto* cmd = parent.add_subcommand(name, help);
  cmd->add_option("GROUP", args.groupDir, kGroupHelp)->required();
  return cmd;
}

}  // namespace

void AddSubGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("subgroup", "Arrange the recipes of a group in nested sub-groups");
  group->require_subcommand(1);
  auto args = std::make_shared<SubGroupArgs>();
  const char* pathHelp = "Sub-group path, top level first";
  const char* recipesHelp = "Recipe numbers or directory names of the group, comma-separated: 1,2,RCP0007";

  auto* add = AddPathCommand(*group, "add", "Add an empty sub-group (the last NAME) inside the others", *args);
  add->add_option("NAME", args->path, pathHelp)->required();
  Example(*add, "rcpstore subgroup add @Line1/1 Trials Night");
  add->callback([=] {
    CheckPath(args->path);
    *exitStatus = Edited("subgroup add", *args, [&] { return AddSubGroup(args->groupDir, args->path); });
  });

  auto* remove = AddPathCommand(*group, "remove", "Remove a sub-group; its recipes move up", *args);
  remove->add_option("NAME", args->path, pathHelp)->required();
  Example(*remove, "rcpstore subgroup remove @Line1/1 Trials Night");
  remove->callback([=] {
    *exitStatus = Edited("subgroup remove", *args, [&] { return RemoveSubGroup(args->groupDir, args->path); });
  });

  auto* rename = AddPathCommand(*group, "rename", "Give a sub-group a new name", *args);
  rename->add_option("NEW_NAME", args->newName, "The new name")->required();
  rename->add_option("NAME", args->path, pathHelp)->required();
  Example(*rename, "rcpstore subgroup rename @Line1/1 Day Trials Night");
  rename->callback([=] {
    Refuse("NEW_NAME", SubGroupNameProblem(args->newName));
    *exitStatus = Edited("subgroup rename", *args,
                         [&] { return RenameSubGroup(args->groupDir, args->path, args->newName); });
  });

  auto* put = AddPathCommand(*group, "put", "Put recipes of the group that are in no sub-group into a sub-group", *args);
  put->add_option("RECIPES", args->recipes, recipesHelp)->required();
  put->add_option("NAME", args->path, pathHelp)->required();
  Example(*put, "rcpstore subgroup put @Line1/1 3,4,12 Trials");
  put->callback([=] {
    std::vector<unsigned> numbers = RecipeNumbers(args->recipes);
    *exitStatus = Edited("subgroup put", *args, [&] { return PutInSubGroup(args->groupDir, numbers, args->path); });
  });

  auto* take = AddPathCommand(*group, "take", "Take recipes out of whatever sub-groups hold them", *args);
  take->add_option("RECIPES", args->more, "Recipe numbers or directory names of the group")->required();
  Example(*take, "rcpstore subgroup take @Line1/1 3 4 RCP0012");
  take->callback([=] {
    std::vector<unsigned> numbers;
    for (const std::string& given : args->more) {
      for (unsigned number : RecipeNumbers(given)) numbers.push_back(number);
    }
    *exitStatus = Edited("subgroup take", *args, [&] { return TakeOutOfSubGroups(args->groupDir, numbers); });
  });

  auto* move = group->add_subcommand(
      "move", "Move recipes into a sub-group (no NAME: to the group's top level), wherever they were, in one step");
  Example(*move, "rcpstore subgroup move @Line1/1/12,13,20 Trials Night");
  move->add_option("RECIPES", args->recipes, "A recipe (@PROJECT/G/R or its directory), then more of its group: ,N")
      ->required();
  move->add_option("NAME", args->path, pathHelp);
  move->callback([=] {
    *exitStatus = Run("subgroup move " + args->recipes, [&] {
      GroupRecipes given = RecipesGiven(args->recipes);
      return PrintChanges(MoveToSubGroup(given.group, given.numbers, args->path));
    });
  });
}

}  // namespace rcpstore::cli
