// rcpstore recipe copy and recipe move: a recipe to another number or group.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Output.h"
#include "Report.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct CopyArgs {
  std::string source;
  std::string group;
  unsigned number = 0;
};

int Copy(const CopyArgs& args) { return PrintChanges(CopyRecipe(args.source, args.group, args.number)); }

int Move(const CopyArgs& args) { return PrintChanges(MoveRecipe(args.source, args.group, args.number)); }

void AddCopyCommand(CLI::App& recipe, const char* name, const char* help, const char* example,
                    const std::shared_ptr<CopyArgs>& args, int* exitStatus, int (*body)(const CopyArgs&)) {
  auto* cmd = recipe.add_subcommand(name, help);
  cmd->add_option("SRC", args->source, kRecipeHelp)->required();
  cmd->add_option("DEST_GROUP", args->group, kGroupHelp)->required();
  cmd->add_option("N", args->number, "Recipe number in DEST_GROUP (default: SRC's number if free, else the lowest free)")
      ->check(CLI::Range(1u, kMaxRecipeNo));
  Example(*cmd, example);
  std::string what = std::string("recipe ") + name + " ";
  cmd->callback([=] { *exitStatus = Run(what + args->source, [&] { return body(*args); }); });
}

}  // namespace

void AddCopyCommands(CLI::App& app, int* exitStatus) {
  auto args = std::make_shared<CopyArgs>();
  CLI::App& recipe = *app.get_subcommand("recipe");
  AddCopyCommand(recipe, "copy",
                 "Copy a recipe's data files to a new recipe: created now by you, version reset, not in a sub-group",
                 "rcpstore recipe copy @Line1/1/12 @Line1/2 40", args, exitStatus, Copy);
  AddCopyCommand(recipe, "move", "Move a recipe to another number or group as it is, out of its sub-group",
                 "rcpstore recipe move @Line1/1/12 @Line1/2", args, exitStatus, Move);
}

}  // namespace rcpstore::cli
