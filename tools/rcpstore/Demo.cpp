// rcpstore demo: lays out a small demo project and prints its tree.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Output.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct DemoGroup {
  unsigned number;
  const char* comment;
  std::vector<std::string> servers;
  unsigned recipes;
};

const DemoGroup kGroups[] = {{1, "Production recipes", {"BATCH01", "BATCH02"}, 5}, {2, "Trial recipes", {"BATCH03"}, 3}};

struct Placement {
  unsigned group;
  unsigned recipe;  // 0: a sub-group only
  SubGroupPath path;
};

// Group 1: Mixing (with a nested Heating) and Packing; group 2: Trials.
const Placement kPlacements[] = {
    {1, 0, {"Packing"}}, {1, 0, {"Mixing"}}, {1, 0, {"Mixing", "Heating"}}, {1, 1, {"Mixing"}},
    {1, 2, {"Mixing", "Heating"}}, {1, 4, {"Packing"}}, {2, 0, {"Trials"}}, {2, 2, {"Trials"}},
};

std::string At(unsigned group, unsigned recipe = 0) {
  return "@Demo/" + std::to_string(group) + (recipe == 0 ? "" : "/" + std::to_string(recipe));
}

// A recipe with its header texts, a procedure file, two unit recipes and
// its work directory.
void MakeRecipe(unsigned group, unsigned number) {
  char name[16];
  std::snprintf(name, sizeof name, "R%02u%04u", group, number);
  CreateRecipe(At(group), number, name);
  RecipeTexts texts;
  texts.title = "Batch " + std::to_string(group) + "-" + std::to_string(number);
  texts.comment = "Demo recipe " + std::to_string(number) + " of group " + std::to_string(group);
  texts.units = {{1, "Mixer"}, {2, "Filler"}};
  SetRecipeTexts(At(group, number), texts);
  for (unsigned unit : {0u, 1u, 2u}) CreateUnit(At(group, number), unit, name);
  MakeWorkDirectory(At(group, number));
}

int RunDemo(const std::string& given) {
  RequireRight(Right::Create);
  std::string dir = CleanPath(given);
  if (Exists(dir + "/Recipe")) Fail(dir + "/Recipe exists; choose another directory", QVC_ERR_EXISTS);
  // The demo's name goes to the newest demo, if the caller may re-point it.
  RequireNameMayLeadTo("Demo", dir, true);
  CreateProject(LastName(dir), Parent(dir));
  ProjectAttributes attributes;
  attributes.comment = "Demo project";
  attributes.autoVersion = true;
  attributes.replace = true;
  RegisterProject("Demo", dir, attributes);
  for (const DemoGroup& group : kGroups) {
    CreateGroup("@Demo", group.number, GroupAttributes{group.comment, group.servers});
    for (unsigned n = 1; n <= group.recipes; ++n) MakeRecipe(group.number, n);
  }
  for (const Placement& place : kPlacements) {
    if (place.recipe == 0) AddSubGroup(At(place.group), place.path);
    if (place.recipe != 0) MoveToSubGroup(At(place.group), {place.recipe}, place.path);
  }
  return PrintProjectTree("Demo", TreeRead{});
}

}  // namespace

void AddDemoCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = AddCommand(app, "demo", "Create a demo project and print its recipe tree",
                         "rcpstore demo ./demo && rcpstore tree @Demo");
  auto dir = std::make_shared<std::string>("./rcpstore-demo");
  cmd->add_option("DIR", *dir, "Directory of the demo project")->capture_default_str();
  cmd->callback([=] { *exitStatus = Run("demo " + *dir, [&] { return RunDemo(*dir); }); });
}

}  // namespace rcpstore::cli
