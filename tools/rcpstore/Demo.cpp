// rcpstore demo: lays out a small demo project and prints its tree.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcpstore::cli {

namespace {

struct DemoGroup {
  unsigned number;
  const char* name;
  const char* comment;
  CStringArray servers;
  int recipes;
};

const DemoGroup kGroups[] = {{1, "RG01", "Production recipes", {"BATCH01", "BATCH02"}, 5},
                             {2, "RG02", "Trial recipes", {"BATCH03"}, 3}};

struct Placement {
  const char* group;
  const char* recipe;  // empty: a sub-group only
  CStringArray path;
};

// RG01: Mixing (with a nested Heating) and Packing; RG02: Trials.
const Placement kPlacements[] = {
    {"RG01", "", {"Packing"}},
    {"RG01", "", {"Mixing"}},
    {"RG01", "", {"Mixing", "Heating"}},
    {"RG01", "RCP0001", {"Mixing"}},
    {"RG01", "RCP0002", {"Mixing", "Heating"}},
    {"RG01", "RCP0004", {"Packing"}},
    {"RG02", "", {"Trials"}},
    {"RG02", "RCP0002", {"Trials"}},
};

uint32_t MakeDirectory(CString path, const char* name) {
  QVEEngCatPath(path, name);
  uint32_t rc = qvplatform::CurrentEnv()->MakeDirectory(path);
  return rc == ERROR_ALREADY_EXISTS ? 0 : rc;
}

// A recipe with its header texts, a procedure file, two unit recipes and
// its work directory.
uint32_t CreateRecipe(const CString& groupDir, unsigned group, unsigned number) {
  CString recipeDir = groupDir;
  QVEEngCatPath(recipeDir, QVFormat("RCP%04u", number).c_str());
  CString name = QVFormat("R%02u%04u", group, number);
  if (uint32_t rc = CQVERcpUtil::CreateRecipe(name.c_str(), groupDir.c_str(), number, nullptr)) return rc;
  _QVERcpFileDetailInfo info;
  uint32_t recipeNo = 0;
  if (uint32_t rc = CQVERcpUtil::GetRcpInfo(recipeDir.c_str(), &recipeNo, &info)) return rc;
  info.strTitle = QVFormat("Batch %u-%u", group, number);
  info.strComment = QVFormat("Demo recipe %u of group %u", number, group);
  info.strUnitComment[0] = "Mixer";
  info.strUnitComment[1] = "Filler";
  if (uint32_t rc = CQVERcpUtil::SetRcpInfo(recipeDir.c_str(), &info)) return rc;
  for (unsigned unit : {0u, 1u, 2u}) {
    if (uint32_t rc = CQVERcpUtil::CreateUnitRecipe(name.c_str(), recipeDir.c_str(), unit, nullptr)) return rc;
  }
  return MakeDirectory(recipeDir, "TEMP");
}

uint32_t CreateGroups(const std::string& dir, const CString& recipeDir) {
  for (const DemoGroup& group : kGroups) {
    CString groupDir = recipeDir;
    QVEEngCatPath(groupDir, group.name);
    if (uint32_t rc = CQVERcpUtil::CreateRecipeGroup(dir.c_str(), group.number)) return rc;
    _QVERcpGroupInfo info{group.comment, group.servers};
    if (uint32_t rc = CQVERcpUtil::SetRecipeGroupInfo(groupDir.c_str(), &info)) return rc;
    for (int i = 1; i <= group.recipes; ++i) {
      if (uint32_t rc = CreateRecipe(groupDir, group.number, static_cast<unsigned>(i))) return rc;
    }
  }
  return 0;
}

uint32_t ArrangeSubGroups(const CString& recipeDir) {
  for (const Placement& place : kPlacements) {
    CString groupDir = recipeDir;
    QVEEngCatPath(groupDir, place.group);
    CQVERcpDirInfo recipe;
    recipe.m_strName = place.recipe;
    uint32_t rc = recipe.m_strName.empty()
                      ? CQVERcpUtil::InsertSubGroup(groupDir.c_str(), place.path)
                      : CQVERcpUtil::InsertItemToSubGroup(groupDir.c_str(), place.path, &recipe);
    if (rc != 0) return rc;
  }
  return 0;
}

// Creates the project directory and registers it as "Demo".
uint32_t CreateProject(const std::string& dir) {
  CString parent;
  CString name;
  if (uint32_t rc = QVEEngSplitFilePath(dir.c_str(), 1, parent, name)) return rc;
  if (uint32_t rc = CQVERcpUtil::CreateProject(name.c_str(), parent.c_str())) return rc;
  _QVERcpProjectInfo info{};
  info.strPath = dir;
  info.nStatus = 1;
  info.strComment = "Demo project";
  info.nVersionMode = 1;
  return CQVERcpUtil::SetProjectInfo("Demo", &info, 1);
}

int RunDemo(const std::string& given) {
  RequireRight(Right::Create);
  std::string dir = CleanPath(given);
  CString recipeDir = dir + "/Recipe";
  if (Exists(recipeDir)) Fail(recipeDir + " exists; choose another directory", QVC_ERR_EXISTS);
  Check(CreateProject(dir));
  Check(CreateGroups(dir, recipeDir));
  Check(ArrangeSubGroups(recipeDir));
  return PrintProjectTree("Demo", TreeRead{});
}

}  // namespace

void AddDemoCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = app.add_subcommand("demo", "Create a demo project and print its recipe tree");
  auto dir = std::make_shared<std::string>("./rcpstore-demo");
  cmd->add_option("DIR", *dir, "Directory of the demo project")->capture_default_str();
  Example(*cmd, "rcpstore demo ./demo && rcpstore tree @Demo");
  cmd->callback([=] { *exitStatus = Run("demo " + *dir, [&] { return RunDemo(*dir); }); });
}

}  // namespace rcpstore::cli
