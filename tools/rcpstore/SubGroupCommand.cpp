// rcpstore subgroup: arrange the recipes of a group into nested sub-groups.
// Every edit runs under the project lock and is checked against the group's
// arrangement first, so that each refusal says what is wrong.
#include <strings.h>

#include <CLI/CLI.hpp>
#include <algorithm>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Locks.h"
#include "Output.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Target.h"
#include "Texts.h"
#include "Describe.h"
#include "LibQVBRcpEpa/Reads.h"
#include "Report.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct SubGroupArgs {
  std::string groupDir;
  std::string newName;
  std::string recipes;
  std::vector<std::string> more;  // further recipes of take
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

bool IsRecipeNumber(const std::string& text) {
  try {
    RecipeName(text);
    return true;
  } catch (const CLI::ValidationError&) {
    return false;
  }
}

// "12,13,RCP0020": recipes of one group by number or directory name.
std::vector<std::string> RecipeNames(const std::string& given) {
  std::vector<std::string> names;
  for (size_t at = 0, end = 0; at <= given.size(); at = end + 1) {
    end = std::min(given.find(',', at), given.size());
    std::string name = RecipeName(given.substr(at, end - at));
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

// "RECIPE[,N...]": a recipe by address or directory, then more of its group
// by number. The group comes back in *group.
std::vector<std::string> RecipesGiven(const std::string& given, Target* group) {
  size_t cut = given.size();
  for (size_t comma = given.rfind(','); comma != std::string::npos && IsRecipeNumber(given.substr(comma + 1, cut - comma - 1));
       comma = comma == 0 ? std::string::npos : given.rfind(',', comma - 1)) {
    cut = comma;
  }
  Target first = RecipeTarget(given.substr(0, cut));
  *group = first;
  std::vector<std::string> names{LastName(first.recipe)};
  if (cut < given.size()) {
    for (const std::string& name : RecipeNames(given.substr(cut + 1))) {
      if (name != names.front()) names.push_back(name);
    }
  }
  return names;
}

// Every named recipe must be a recipe of the group.
void RequireRecipes(const Target& group, const CStringArray& names) {
  for (const std::string& name : names) {
    if (!Exists(group.group + "/" + name + "/RcpHead.edf")) {
      Fail(name + " is not a recipe of this group", ERROR_PATH_NOT_FOUND);
    }
  }
}

Json SubGroupJson(const Target& group, const CStringArray& path) { return ItemJson(SubGroupItem(group, path)); }

// The recipes named, as they are placed now.
void ReportPlaced(const Target& group, const CStringArray& names, Report* report) {
  for (const ListedRecipe& listed : RecipesOf(group)) {
    if (std::find(names.begin(), names.end(), LastName(listed.recipe.recipe)) == names.end()) continue;
    std::string place = listed.subGroup.empty() ? "at the group's top level" : "in sub-group " + listed.subGroup;
    report->Changed(ItemJson(RecipeItem(listed.recipe, listed.subGroup)), place);
  }
}

// Runs an edit of the group's arrangement under the project lock.
int Edit(const Target& target, const std::function<void(Report*)>& edit) {
  RequireRight(Right::Edit);
  CommandLocks locks;
  locks.LockProject(target);
  Report report;
  edit(&report);
  return report.Print();
}

int EditGroup(const std::string& what, const SubGroupArgs& args, const std::function<void(const Target&, Report*)>& edit) {
  return Run(what + " " + args.groupDir, [&] {
    Target target = GroupTarget(args.groupDir);
    return Edit(target, [&](Report* report) { edit(target, report); });
  });
}

void CheckPath(const CStringArray& path) {
  for (const std::string& name : path) CheckSubGroupName("NAME", name);
}

void Add(const Target& target, const CStringArray& path, Report* report) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size() - 1);
  if (arrangement.SubGroup(path, path.size()) != nullptr) {
    Fail("sub-group " + Joined(path, path.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::InsertSubGroup(target.group.c_str(), path));
  report->Created(SubGroupJson(target, path));
}

void Remove(const Target& target, const CStringArray& path, Report* report) {
  Arrangement(target).RequireSubGroup(path, path.size());
  Check(CQVERcpUtil::DeleteSubGroup(target.group.c_str(), path));
  report->Removed(SubGroupJson(target, path), "its recipes move up");
}

void Rename(const Target& target, const std::string& newName, const CStringArray& path, Report* report) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size());
  CStringArray renamed = path;
  renamed.back() = newName;
  if (arrangement.SubGroup(renamed, renamed.size()) != nullptr) {
    Fail("sub-group " + Joined(renamed, renamed.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::RenameSubGroup(target.group.c_str(), newName.c_str(), path));
  report->Changed(SubGroupJson(target, renamed), "renamed from " + Joined(path, path.size()));
}

// Places recipes in a sub-group (or at the top level) in one rewrite.
void Place(const Target& target, const CStringArray& names, const CStringArray& path, Report* report) {
  RequireRecipes(target, names);
  Arrangement(target).RequireSubGroup(path, path.size());
  uint32_t rc = CQVERcpUtil::MoveItemsToSubGroup(target.group.c_str(), path, names);
  if (rc == QVC_ERR_TEXT_FILE_OPEN && path.empty() && !Exists(target.group + "/RcpSubGroup.txt")) rc = 0;
  Check(rc);
  ReportPlaced(target, names, report);
}

void Put(const Target& target, const CStringArray& names, const CStringArray& path, Report* report) {
  RequireRecipes(target, names);
  Arrangement arrangement(target);
  for (const std::string& recipe : names) {
    if (const CQVERcpDirInfo* place = arrangement.PlaceOf(recipe)) {
      Fail(recipe + " is already in sub-group " + place->m_strSubGroup + " (take it out first, or move it)",
           QVC_ERR_EXISTS);
    }
  }
  Place(target, names, path, report);
}

void Take(const Target& target, const CStringArray& names, Report* report) {
  Arrangement arrangement(target);
  for (const std::string& recipe : names) {
    if (arrangement.PlaceOf(recipe) == nullptr) Fail(recipe + " is in no sub-group", QVC_ERR_NOT_FOUND);
  }
  Place(target, names, {}, report);
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
    *exitStatus = EditGroup("subgroup add", *args, [&](const Target& t, Report* r) { Add(t, args->path, r); });
  });

  auto* remove = AddPathCommand(*group, "remove", "Remove a sub-group; its recipes move up", *args);
  remove->add_option("NAME", args->path, pathHelp)->required();
  Example(*remove, "rcpstore subgroup remove @Line1/1 Trials Night");
  remove->callback([=] {
    *exitStatus =
        EditGroup("subgroup remove", *args, [&](const Target& t, Report* r) { Remove(t, args->path, r); });
  });

  auto* rename = AddPathCommand(*group, "rename", "Give a sub-group a new name", *args);
  rename->add_option("NEW_NAME", args->newName, "The new name")->required();
  rename->add_option("NAME", args->path, pathHelp)->required();
  Example(*rename, "rcpstore subgroup rename @Line1/1 Day Trials Night");
  rename->callback([=] {
    CheckSubGroupName("NEW_NAME", args->newName);
    *exitStatus = EditGroup("subgroup rename", *args,
                            [&](const Target& t, Report* r) { Rename(t, args->newName, args->path, r); });
  });

  auto* put = AddPathCommand(*group, "put", "Put recipes of the group that are in no sub-group into a sub-group", *args);
  put->add_option("RECIPES", args->recipes, recipesHelp)->required();
  put->add_option("NAME", args->path, pathHelp)->required();
  Example(*put, "rcpstore subgroup put @Line1/1 3,4,12 Trials");
  put->callback([=] {
    CStringArray names = RecipeNames(args->recipes);
    *exitStatus =
        EditGroup("subgroup put", *args, [&](const Target& t, Report* r) { Put(t, names, args->path, r); });
  });

  auto* take = AddPathCommand(*group, "take", "Take recipes out of whatever sub-groups hold them", *args);
  take->add_option("RECIPES", args->more, "Recipe numbers or directory names of the group")->required();
  Example(*take, "rcpstore subgroup take @Line1/1 3 4 RCP0012");
  take->callback([=] {
    CStringArray names;
    for (const std::string& given : args->more) {
      for (const std::string& name : RecipeNames(given)) names.push_back(name);
    }
    *exitStatus = EditGroup("subgroup take", *args, [&](const Target& t, Report* r) { Take(t, names, r); });
  });

  auto* move = group->add_subcommand(
      "move", "Move recipes into a sub-group (no NAME: to the group's top level), wherever they were, in one step");
  move->add_option("RECIPES", args->recipes, "A recipe (@PROJECT/G/R or its directory), then more of its group: ,N")
      ->required();
  move->add_option("NAME", args->path, pathHelp);
  Example(*move, "rcpstore subgroup move @Line1/1/12,13,20 Trials Night");
  move->callback([=] {
    *exitStatus = Run("subgroup move " + args->recipes, [&] {
      Target target;
      CStringArray names = RecipesGiven(args->recipes, &target);
      target.recipe.clear();
      target.recipeNo = 0;
      return Edit(target, [&](Report* r) { Place(target, names, args->path, r); });
    });
  });
}

}  // namespace rcpstore::cli
