// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
// Every edit runs under the project lock and is checked against the group's
// arrangement first, so that each refusal says what is wrong.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct SubGroupArgs {
  std::string groupDir;
  std::string recipes;
  std::vector<std::string> more;  // further recipes of take
  SubGroupPath path;
  DeleteOptions removal{false, false};  // remove: --dry-run, --yes
};

// The recipe numbers of a list; a malformed one is a usage error.
std::vector<unsigned> RecipeNumbers(const std::string& given) {
  try {
    return RecipeNumbersGiven(given);
  } catch (const Failure& failure) {
    throw CLI::ValidationError("RECIPE", failure.cause);
  }
}

// A sub-command of subgroup that edits a group: GROUP, then its own arguments.
CLI::App* AddEditCommand(CLI::App& parent, const char* name, const char* help, const char* example,
                         SubGroupArgs& args) {
  auto* cmd = AddCommand(parent, name, help, example);
  cmd->add_option("GROUP", args.groupDir, kGroupHelp)->required();
  return cmd;
}

// Removes a sub-group; one that holds recipes needs --yes.
int Remove(const SubGroupArgs& args) {
  ChangeReport report;
  try {
    report = RemoveSubGroup(args.groupDir, args.path, args.removal);
  } catch (const Failure& failure) {
    if (failure.code != ERROR_DIR_NOT_EMPTY) throw;
    Fail(failure.cause + "; --yes removes it all the same (--dry-run lists them)", failure.code);
  }
  return PrintChanges(report, args.removal.dryRun);
}

}  // namespace

void AddSubGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("subgroup", "Arrange the recipes of a group in nested sub-groups");
  group->require_subcommand(1);
  auto args = std::make_shared<SubGroupArgs>();
  const char* pathHelp = "Sub-group path, top level first";
  const char* recipesHelp = "Recipe numbers or directory names of the group, comma-separated: 1,2,RCP0007";

  auto* add = AddEditCommand(*group, "add", "Add an empty sub-group (the last NAME) inside the others",
                             "rcpstore subgroup add @Line1/1 Trials Night", *args);
  add->add_option("NAME", args->path, pathHelp)->required();
  Runs(*add, exitStatus, [=] {
    for (const std::string& name : args->path) Refuse("NAME", SubGroupNameProblem(name));
    return PrintChanges(AddSubGroup(args->groupDir, args->path));
  });

  auto* remove = AddEditCommand(
      *group, "remove", "Remove a sub-group; its recipes, at any depth, move up (one that holds any needs --yes)",
      "rcpstore subgroup remove @Line1/1 Trials Night --dry-run", *args);
  remove->add_option("NAME", args->path, pathHelp)->required();
  remove->add_flag("--dry-run", args->removal.dryRun, "Show what would be removed and where its recipes would go");
  remove->add_flag("--yes", args->removal.withContents, "Remove it even when it holds recipes");
  Runs(*remove, exitStatus, [=] { return Remove(*args); });

  // Old name first, then the new one, as mv takes them.
  auto* rename = AddEditCommand(*group, "rename", "Give a sub-group (the path, top level first) a new name (the last word)",
                                "rcpstore subgroup rename @Line1/1 Trials Night Day", *args);
  rename->add_option("NAME", args->path, "Sub-group path, top level first, then the new name")->required()->expected(2, -1);
  Runs(*rename, exitStatus, [=] {
    std::vector<std::string> path(args->path.begin(), args->path.end() - 1);
    const std::string& newName = args->path.back();
    Refuse("NAME", SubGroupNameProblem(newName));
    return PrintChanges(RenameSubGroup(args->groupDir, path, newName));
  });

  auto* put = AddEditCommand(*group, "put", "Put recipes of the group that are in no sub-group into a sub-group",
                             "rcpstore subgroup put @Line1/1 3,4,12 Trials", *args);
  put->add_option("RECIPES", args->recipes, recipesHelp)->required();
  put->add_option("NAME", args->path, pathHelp)->required();
  Runs(*put, exitStatus,
       [=] { return PrintChanges(PutInSubGroup(args->groupDir, RecipeNumbers(args->recipes), args->path)); });

  auto* take = AddEditCommand(*group, "take", "Take recipes out of whatever sub-groups hold them",
                              "rcpstore subgroup take @Line1/1 3 4 RCP0012", *args);
  take->add_option("RECIPES", args->more, "Recipe numbers or directory names of the group")->required();
  Runs(*take, exitStatus, [=] {
    std::vector<unsigned> numbers;
    for (const std::string& given : args->more) {
      for (unsigned number : RecipeNumbers(given)) numbers.push_back(number);
    }
    return PrintChanges(TakeOutOfSubGroups(args->groupDir, numbers));
  });

  auto* move =
      AddCommand(*group, "move",
                 "Move recipes into a sub-group (no NAME: to the group's top level), wherever they were, in one step",
                 "rcpstore subgroup move @Line1/1/12,13,20 Trials Night");
  move->add_option("RECIPES", args->recipes, "A recipe (@PROJECT/G/R or its directory), then more of its group: ,N")
      ->required();
  move->add_option("NAME", args->path, pathHelp);
  Runs(*move, exitStatus, [=] {
    GroupRecipes given = RecipesGiven(args->recipes);
    return PrintChanges(MoveToSubGroup(given.group, given.numbers, args->path));
  });
}

}  // namespace rcpstore::cli
