// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"

namespace rcpstore {

namespace {

struct SubGroupArgs {
  std::string groupDir;
  std::string newName;
  std::string recipe;
  std::vector<std::string> path;
};

CQVERcpDirInfo RecipeNamed(const std::string& name) {
  CQVERcpDirInfo recipe;
  recipe.SetRcpDirInfo(nullptr, name.c_str());
  return recipe;
}


CLI::App* AddPathCommand(CLI::App& parent, const char* name, const char* help, SubGroupArgs& args) {
  auto* cmd = parent.add_subcommand(name, help);
  cmd->add_option("GROUP_DIR", args.groupDir, "Recipe group directory (RGnn)")->required();
  return cmd;
}

}  // namespace

void AddSubGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("subgroup", "Edit the sub-groups of a recipe group");
  group->require_subcommand(1);
  auto args = std::make_shared<SubGroupArgs>();
  const char* pathHelp = "Sub-group path, top level first";

  auto* add = AddPathCommand(*group, "add", "Add an empty sub-group (the last NAME) inside the others", *args);
  add->add_option("NAME", args->path, pathHelp)->required();
  add->callback([=] {
    *exitStatus = ExitFor("subgroup add", CQVERcpUtil::InsertSubGroup(args->groupDir.c_str(), args->path));
  });

  auto* remove = AddPathCommand(*group, "remove", "Remove a sub-group; its recipes move up", *args);
  remove->add_option("NAME", args->path, pathHelp)->required();
  remove->callback([=] {
    *exitStatus = ExitFor("subgroup remove", CQVERcpUtil::DeleteSubGroup(args->groupDir.c_str(), args->path));
  });

  auto* rename = AddPathCommand(*group, "rename", "Give a sub-group a new name", *args);
  rename->add_option("NEW_NAME", args->newName, "The new name")->required();
  rename->add_option("NAME", args->path, pathHelp)->required();
  rename->callback([=] {
    *exitStatus = ExitFor("subgroup rename", CQVERcpUtil::RenameSubGroup(args->groupDir.c_str(),
                                                                        args->newName.c_str(), args->path));
  });

  auto* put = AddPathCommand(*group, "put", "Put a recipe into a sub-group", *args);
  put->add_option("RECIPE", args->recipe, "Recipe directory name, e.g. RCP0001")->required();
  put->add_option("NAME", args->path, pathHelp)->required();
  put->callback([=] {
    CQVERcpDirInfo recipe = RecipeNamed(args->recipe);
    *exitStatus =
        ExitFor("subgroup put", CQVERcpUtil::InsertItemToSubGroup(args->groupDir.c_str(), args->path, &recipe));
  });

  auto* take = AddPathCommand(*group, "take", "Take a recipe out of whatever sub-group holds it", *args);
  take->add_option("RECIPE", args->recipe, "Recipe directory name, e.g. RCP0001")->required();
  take->callback([=] {
    CQVERcpDirInfo recipe = RecipeNamed(args->recipe);
    *exitStatus =
        ExitFor("subgroup take", CQVERcpUtil::DeleteItemFromSubGroup(args->groupDir.c_str(), args->path, &recipe));
  });
}

}  // namespace rcpstore
