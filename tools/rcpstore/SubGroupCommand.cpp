// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
// Every edit runs under the project lock and is checked against the group's
// arrangement first, so that each refusal says what is wrong.
#include <strings.h>

#include <CLI/CLI.hpp>
#include <algorithm>

#include "Commands.h"
#include "Output.h"
#include "LibQVBRcpEpa/Target.h"
#include "Texts.h"
#include "Report.h"
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

// A recipe of the group by number or directory name RCPnnnn.
unsigned RecipeNumber(const std::string& given) {
  std::string digits = given.size() > 3 && strncasecmp(given.c_str(), "RCP", 3) == 0 ? given.substr(3) : given;
  bool numeric = !digits.empty() && digits.size() <= 4 && digits.find_first_not_of("0123456789") == std::string::npos;
  unsigned number = numeric ? static_cast<unsigned>(std::stoul(digits)) : 0;
  if (number < 1 || number > kMaxRecipeNo) {
    throw CLI::ValidationError("RECIPE", "a recipe number 1 to 1000 or its directory name RCPnnnn, not " + given);
  }
  return number;
}

bool IsRecipeNumber(const std::string& text) {
  try {
    RecipeNumber(text);
    return true;
  } catch (const CLI::ValidationError&) {
    return false;
  }
}

// "12,13,RCP0020": recipes of one group by number or directory name.
std::vector<unsigned> RecipeNumbers(const std::string& given) {
  std::vector<unsigned> numbers;
  for (size_t at = 0, end = 0; at <= given.size(); at = end + 1) {
    end = std::min(given.find(',', at), given.size());
    numbers.push_back(RecipeNumber(given.substr(at, end - at)));
  }
  return numbers;
}

// "RECIPE[,N...]": a recipe by address or directory, then more of its group
// by number. The group comes back in *group.
std::vector<unsigned> RecipesGiven(const std::string& given, Target* group) {
  size_t cut = given.size();
  for (size_t comma = given.rfind(','); comma != std::string::npos && IsRecipeNumber(given.substr(comma + 1, cut - comma - 1));
       comma = comma == 0 ? std::string::npos : given.rfind(',', comma - 1)) {
    cut = comma;
  }
  Target first = RecipeTarget(given.substr(0, cut));
  *group = first;
  std::vector<unsigned> numbers{first.recipeNo};
  if (cut < given.size()) {
    for (unsigned number : RecipeNumbers(given.substr(cut + 1))) numbers.push_back(number);
  }
  return numbers;
}

void CheckPath(const SubGroupPath& path) {
  for (const std::string& name : path) CheckSubGroupName("NAME", name);
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
    CheckSubGroupName("NEW_NAME", args->newName);
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
  move->add_option("RECIPES", args->recipes, "A recipe (@PROJECT/G/R or its directory), then more of its group: ,N")
      ->required();
  move->add_option("NAME", args->path, pathHelp);
  Example(*move, "rcpstore subgroup move @Line1/1/12,13,20 Trials Night");
  move->callback([=] {
    *exitStatus = Run("subgroup move " + args->recipes, [&] {
      Target group;
      std::vector<unsigned> numbers = RecipesGiven(args->recipes, &group);
      group.recipe.clear();
      group.recipeNo = 0;
      std::string address = AddressOf(group);
      return PrintChanges(MoveToSubGroup(address.empty() ? group.group : address, numbers, args->path));
    });
  });
}

}  // namespace rcpstore::cli
