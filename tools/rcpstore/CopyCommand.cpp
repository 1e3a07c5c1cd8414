// rcpstore recipe copy and recipe move: a recipe to another number or group.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Locks.h"
#include "Output.h"
#include "Report.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct CopyArgs {
  std::string source;
  std::string group;
  unsigned number = 0;
};

// N when given; else the source's number when it is free in the group, else
// the group's lowest free number.
unsigned NumberIn(const Target& group, const Target& source, unsigned given) {
  if (given != 0) return given;
  std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
  Check(CQVERcpUtil::FindFreeRcpNo(group.group.c_str(), table.data()));
  if (table[source.recipeNo - 1] == 1) return source.recipeNo;
  for (unsigned n = 1; n <= kMaxRecipeNo; ++n) {
    if (table[n - 1] == 1) return n;
  }
  Fail("no free recipe number in the group", QVC_ERR_CANNOT_EXECUTE);
}

Target Destination(const Target& group, unsigned number) {
  return RecipeOf(group, number, group.group + QVFormat("/RCP%04u", number));
}

int Copy(const CopyArgs& args) {
  RequireRight(Right::Create);
  Target source = RecipeTarget(args.source);
  Target group = GroupTarget(args.group);
  CommandLocks locks;
  locks.LockProject(group);
  Target copy = Destination(group, NumberIn(group, source, args.number));
  uint32_t rc = CQVERcpUtil::CopyRecipe(source.recipe.c_str(), group.group.c_str(), copy.recipeNo);
  CheckAbsent(rc, LastName(copy.recipe) + " of " + Shown(group));
  ChangeReport report;
  report.Created(DescribeRecipe(copy), "copied from " + Shown(source));
  return report.Print();
}

// One rename under both projects' locks and the recipe's own; then the
// recipe leaves its old sub-group. A move cut short between the two is
// finished by its re-run, as a delete is.
int Move(const CopyArgs& args) {
  RequireRight(Right::Create);
  RequireRight(Right::Delete);
  if (!Exists(RestoredPath(args.source))) return FinishGoneRecipe(CleanPath(args.source), "move");
  Target source = RecipeTarget(args.source);
  Target group = GroupTarget(args.group);
  CommandLocks locks;
  locks.LockProject(source);
  if (group.project != source.project) locks.LockProject(group);
  locks.LockRecipe(source, LastName(source.recipe));
  Target moved = Destination(group, NumberIn(group, source, args.number));
  if (moved.recipe == source.recipe) Fail("the recipe is there already", QVC_ERR_EXISTS);
  Json before = DescribeRecipe(source);
  uint32_t rc = CQVERcpUtil::MoveRecipe(source.recipe.c_str(), group.group.c_str(), moved.recipeNo);
  CheckAbsent(rc, LastName(moved.recipe) + " of " + Shown(group));
  ForgetPlacement(source);
  ChangeReport report;
  report.Removed(before, "moved to " + Shown(moved));
  report.Created(DescribeRecipe(moved), "moved from " + Shown(source));
  return report.Print();
}

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
