// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
// Every edit runs under the project lock and is checked against the group's
// arrangement first, so that each refusal says what is wrong.
#include <strings.h>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Locks.h"
#include "Output.h"
#include "Rights.h"
#include "Target.h"
#include "Texts.h"

namespace rcpstore {

namespace {

struct SubGroupArgs {
  std::string groupDir;
  std::string newName;
  std::string recipe;
  std::vector<std::string> path;
};

std::string Joined(const CStringArray& path, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < path.size(); ++i) text += (i > 0 ? "/" : "") + path[i];
  return text;
}

// The group's sub-groups and the recipes placed in them, as read now.
class Arrangement {
 public:
  explicit Arrangement(const Target& target) {
    group_.SetFullPath(target.group.c_str());
    group_.m_strProject = target.projectName;
    CQVERcpUtil::GetDirectoryList(&group_, 0, 1);
  }

  // The sub-group made of the first count names of the path (count 0: the group).
  const CQVERcpDirInfo* SubGroup(const CStringArray& path, size_t count) {
    return count == 0 ? &group_ : CQVERcpUtil::FindSubGroup(&group_, Joined(path, count));
  }

  void RequireSubGroup(const CStringArray& path, size_t count) {
    if (SubGroup(path, count) == nullptr) Fail("no sub-group " + Joined(path, count), QVC_ERR_NOT_FOUND);
  }

  // The sub-group that holds the recipe, or null when it is in none.
  const CQVERcpDirInfo* PlaceOf(const std::string& recipe) { return PlaceOf(group_, recipe); }

 private:
  static const CQVERcpDirInfo* PlaceOf(const CQVERcpDirInfo& node, const std::string& recipe) {
    for (const auto& child : node.m_listChild) {
      if (child->m_nKind == QVERCP_KIND_RECIPE && child->m_strName == recipe) {
        return node.m_nKind == QVERCP_KIND_SUBGROUP ? &node : nullptr;
      }
      if (const CQVERcpDirInfo* found = PlaceOf(*child, recipe)) return found;
    }
    return nullptr;
  }

  CQVERcpDirInfo group_;
};

// A recipe of the group by number or directory name: its name "RCPnnnn".
std::string RecipeName(const std::string& given) {
  std::string digits = given.size() > 3 && strncasecmp(given.c_str(), "RCP", 3) == 0 ? given.substr(3) : given;
  bool numeric = !digits.empty() && digits.size() <= 4 && digits.find_first_not_of("0123456789") == std::string::npos;
  unsigned number = numeric ? static_cast<unsigned>(std::stoul(digits)) : 0;
  if (number < 1 || number > kMaxRecipeNo) {
    throw CLI::ValidationError("RECIPE", "a recipe number 1 to 1000 or its directory name RCPnnnn, not " + given);
  }
  return QVFormat("RCP%04u", number);
}

CQVERcpDirInfo RecipeNode(const std::string& name) {
  CQVERcpDirInfo recipe;
  recipe.SetRcpDirInfo(nullptr, name.c_str());
  return recipe;
}

// Runs an edit of the group's arrangement under the project lock.
int Edit(const std::string& what, const SubGroupArgs& args, const std::function<void(const Target&)>& edit) {
  return Run(what + " " + args.groupDir, [&] {
    RequireRight(Right::Edit);
    Target target = GroupTarget(args.groupDir);
    CommandLocks locks;
    locks.LockProject(target);
    edit(target);
    return kExitOk;
  });
}

void CheckPath(const CStringArray& path) {
  for (const std::string& name : path) CheckSubGroupName("NAME", name);
}

void Add(const Target& target, const CStringArray& path) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size() - 1);
  if (arrangement.SubGroup(path, path.size()) != nullptr) {
    Fail("sub-group " + Joined(path, path.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::InsertSubGroup(target.group.c_str(), path));
}

void Remove(const Target& target, const CStringArray& path) {
  Arrangement(target).RequireSubGroup(path, path.size());
  Check(CQVERcpUtil::DeleteSubGroup(target.group.c_str(), path));
}

void Rename(const Target& target, const std::string& newName, const CStringArray& path) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size());
  CStringArray renamed = path;
  renamed.back() = newName;
  if (arrangement.SubGroup(renamed, renamed.size()) != nullptr) {
    Fail("sub-group " + Joined(renamed, renamed.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::RenameSubGroup(target.group.c_str(), newName.c_str(), path));
}

void Put(const Target& target, const std::string& recipe, const CStringArray& path) {
  if (!Exists(target.group + "/" + recipe + "/RcpHead.edf")) {
    Fail(recipe + " is not a recipe of this group", ERROR_PATH_NOT_FOUND);
  }
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size());
  if (const CQVERcpDirInfo* place = arrangement.PlaceOf(recipe)) {
    Fail(recipe + " is already in sub-group " + place->m_strSubGroup + " (take it out first)", QVC_ERR_EXISTS);
  }
  CQVERcpDirInfo node = RecipeNode(recipe);
  uint32_t rc = CQVERcpUtil::InsertItemToSubGroup(target.group.c_str(), path, &node);
  if (rc == QVC_ERR_CANNOT_EXECUTE) Fail("the sub-group file already names " + recipe, rc);
  Check(rc);
}

// Removes the recipe's line from the sub-group file; a group without the file
// names no recipe either (QVC_ERR_NOT_FOUND).
uint32_t RemoveNodeLine(const std::string& group, const std::string& recipe) {
  CQVERcpDirInfo node = RecipeNode(recipe);
  uint32_t rc = CQVERcpUtil::DeleteItemFromSubGroup(group.c_str(), CStringArray{}, &node);
  return rc == QVC_ERR_TEXT_FILE_OPEN && !Exists(group + "/RcpSubGroup.txt") ? QVC_ERR_NOT_FOUND : rc;
}

void Take(const Target& target, const std::string& recipe) {
  uint32_t rc = RemoveNodeLine(target.group, recipe);
  if (rc == QVC_ERR_NOT_FOUND) Fail(recipe + " is in no sub-group", rc);
  Check(rc);
}

CLI::App* AddPathCommand(CLI::App& parent, const char* name, const char* help, SubGroupArgs& args) {
  auto* cmd = parent.add_subcommand(name, help);
  cmd->add_option("GROUP_DIR", args.groupDir, "Recipe group directory (RGnn)")->required();
  return cmd;
}

}  // namespace

// Removes a recipe's line from its group's sub-group file, if it has one.
bool ForgetPlacement(const Target& target) {
  uint32_t rc = RemoveNodeLine(target.group, QVFormat("RCP%04u", target.recipeNo));
  if (rc == QVC_ERR_NOT_FOUND) return false;
  Check(rc, "the recipe is gone, but its line in the sub-group file stays: " + CodeMeaning(rc) +
                " (a re-run of the delete removes it)");
  return true;
}

void AddSubGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("subgroup", "Edit the sub-groups of a recipe group");
  group->require_subcommand(1);
  auto args = std::make_shared<SubGroupArgs>();
  const char* pathHelp = "Sub-group path, top level first";

  auto* add = AddPathCommand(*group, "add", "Add an empty sub-group (the last NAME) inside the others", *args);
  add->add_option("NAME", args->path, pathHelp)->required();
  add->callback([=] {
    CheckPath(args->path);
    *exitStatus = Edit("subgroup add", *args, [&](const Target& target) { Add(target, args->path); });
  });

  auto* remove = AddPathCommand(*group, "remove", "Remove a sub-group; its recipes move up", *args);
  remove->add_option("NAME", args->path, pathHelp)->required();
  remove->callback([=] {
    *exitStatus = Edit("subgroup remove", *args, [&](const Target& target) { Remove(target, args->path); });
  });

  auto* rename = AddPathCommand(*group, "rename", "Give a sub-group a new name", *args);
  rename->add_option("NEW_NAME", args->newName, "The new name")->required();
  rename->add_option("NAME", args->path, pathHelp)->required();
  rename->callback([=] {
    CheckSubGroupName("NEW_NAME", args->newName);
    *exitStatus = Edit("subgroup rename", *args,
                       [&](const Target& target) { Rename(target, args->newName, args->path); });
  });

  auto* put = AddPathCommand(*group, "put", "Put a recipe of the group into a sub-group", *args);
  put->add_option("RECIPE", args->recipe, "Recipe number or directory name, e.g. 1 or RCP0001")->required();
  put->add_option("NAME", args->path, pathHelp)->required();
  put->callback([=] {
    std::string recipe = RecipeName(args->recipe);
    *exitStatus = Edit("subgroup put", *args, [&](const Target& target) { Put(target, recipe, args->path); });
  });

  auto* take = AddPathCommand(*group, "take", "Take a recipe out of whatever sub-group holds it", *args);
  take->add_option("RECIPE", args->recipe, "Recipe number or directory name, e.g. 1 or RCP0001")->required();
  take->callback([=] {
    std::string recipe = RecipeName(args->recipe);
    *exitStatus = Edit("subgroup take", *args, [&](const Target& target) { Take(target, recipe); });
  });
}

}  // namespace rcpstore
