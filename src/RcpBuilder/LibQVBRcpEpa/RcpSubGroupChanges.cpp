// The changes of a group's arrangement in sub-groups. Every edit runs under
// the project lock and is checked against the arrangement first, so that
// each refusal says what is wrong.
#include <algorithm>
#include <functional>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpChanged.h"
#include "RcpListed.h"

namespace rcpstore {

namespace {

std::string Joined(const CStringArray& path, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < path.size(); ++i) text += (i > 0 ? "/" : "") + path[i];
  return text;
}

// The group's sub-groups and the recipes placed in them, as read now.
class Arrangement {
 public:
  explicit Arrangement(const Target& target) : group_(ScanNode(target)) {
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
  const CQVERcpDirInfo* PlaceOf(const std::string& recipe) {
    const CQVERcpDirInfo* node = RecipeNode(group_, recipe);
    return node != nullptr && node->m_pParent->m_nKind == QVERCP_KIND_SUBGROUP ? node->m_pParent : nullptr;
  }

  // The recipe's node wherever it is placed, or null when the group has none.
  const CQVERcpDirInfo* Recipe(const std::string& recipe) { return RecipeNode(group_, recipe); }

 private:
  static const CQVERcpDirInfo* RecipeNode(const CQVERcpDirInfo& node, const std::string& recipe) {
    for (const auto& child : node.m_listChild) {
      if (child->m_nKind == QVERCP_KIND_RECIPE && child->m_strName == recipe && Listed(*child)) return child.get();
      if (const CQVERcpDirInfo* found = RecipeNode(*child, recipe)) return found;
    }
    return nullptr;
  }

  CQVERcpDirInfo group_;
};

// Every named recipe must be a recipe of the group.
void RequireRecipes(const Target& group, const CStringArray& names) {
  for (const std::string& name : names) {
    if (!Exists(group.group + "/" + name + "/RcpHead.edf")) {
      Fail(name + " is not a recipe of this group", ERROR_PATH_NOT_FOUND);
    }
  }
}

// The recipes named, as they are placed now, or as they would be placed in
// the sub-group `to` ("": the top level) when it is given.
void ReportPlaced(const Target& group, const CStringArray& names, ChangeReport* report,
                  const std::string* to = nullptr) {
  for (const ListedRecipe& listed : RecipesOf(group)) {
    if (std::find(names.begin(), names.end(), LastName(listed.recipe.recipe)) == names.end()) continue;
    const std::string& subGroup = to != nullptr ? *to : listed.subGroup;
    std::string place = subGroup.empty() ? "at the group's top level" : "in sub-group " + subGroup;
    report->push_back(Changed(RecipeItem(listed.recipe, subGroup), place));
  }
}

// The recipes placed in a sub-group or in any sub-group below it.
void CollectRecipes(const CQVERcpDirInfo& node, CStringArray* names) {
  for (const auto& child : node.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_RECIPE) names->push_back(child->m_strName);
    if (child->m_nKind != QVERCP_KIND_RECIPE) CollectRecipes(*child, names);
  }
}

// Runs an edit of a group's arrangement under the project lock.
ChangeReport Edit(const Target& group, const std::function<void(ChangeReport*)>& edit) {
  RequireRight(Right::Edit);
  CommandLocks locks;
  locks.LockProject(group);
  ChangeReport report;
  edit(&report);
  return report;
}

ChangeReport EditGroup(const std::string& given, const std::function<void(const Target&, ChangeReport*)>& edit) {
  OpenedProjects opened;
  Target group = GroupTarget(given);
  return Edit(group, [&](ChangeReport* report) { edit(group, report); });
}

CStringArray RecipeNames(const std::vector<unsigned>& recipes) {
  CStringArray names;
  for (unsigned number : recipes) {
    if (number < 1 || number > kMaxRecipeNo) Fail("recipe numbers are 1 to 1000", ERROR_INVALID_PARAMETER);
    std::string name = RecipeDirectoryName(number);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

void Add(const Target& target, const CStringArray& path, ChangeReport* report) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size() - 1);
  if (arrangement.SubGroup(path, path.size()) != nullptr) {
    Fail("sub-group " + Joined(path, path.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::InsertSubGroup(target.group.c_str(), path));
  report->push_back(Made(SubGroupItem(target, path)));
}

// The recipes of the sub-group, at any depth, move up to the one that holds
// it; without withContents a sub-group that holds any is refused, but for a
// dry run, which says where they would go.
void Remove(const Target& target, const CStringArray& path, const DeleteOptions& how, ChangeReport* report) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size());
  CStringArray held;
  CollectRecipes(*arrangement.SubGroup(path, path.size()), &held);
  std::string upTo = Joined(path, path.size() - 1);
  if (!how.withContents && !how.dryRun && !held.empty()) {
    Fail("sub-group " + Printable(Joined(path, path.size())) + " holds " + std::to_string(held.size()) +
             " recipes, which would move up to " +
             (upTo.empty() ? "the group's top level" : "sub-group " + Printable(upTo)),
         ERROR_DIR_NOT_EMPTY);
  }
  report->push_back(Removed(SubGroupItem(target, path), "its recipes move up"));
  if (!how.dryRun) Check(CQVERcpUtil::DeleteSubGroup(target.group.c_str(), path));
  ReportPlaced(target, held, report, how.dryRun ? &upTo : nullptr);
}

void Rename(const Target& target, const std::string& newName, const CStringArray& path, ChangeReport* report) {
  Arrangement arrangement(target);
  arrangement.RequireSubGroup(path, path.size());
  CStringArray renamed = path;
  renamed.back() = newName;
  if (arrangement.SubGroup(renamed, renamed.size()) != nullptr) {
    Fail("sub-group " + Joined(renamed, renamed.size()) + " already exists", QVC_ERR_EXISTS);
  }
  Check(CQVERcpUtil::RenameSubGroup(target.group.c_str(), newName.c_str(), path));
  report->push_back(Changed(SubGroupItem(target, renamed), "renamed from " + Joined(path, path.size())));
}

// Places recipes in a sub-group (or at the top level) in one rewrite. The
// arrangement read for the checks (under the lock, before the rewrite) also
// names the recipes in the report: the group is read once.
void Place(const Target& target, Arrangement& arrangement, CStringArray names, const CStringArray& path,
           ChangeReport* report) {
  RequireRecipes(target, names);
  arrangement.RequireSubGroup(path, path.size());
  const std::string subGroup = arrangement.SubGroup(path, path.size())->m_strSubGroup;
  uint32_t rc = CQVERcpUtil::MoveItemsToSubGroup(target.group.c_str(), path, names);
  if (rc == QVC_ERR_TEXT_FILE_OPEN && path.empty() && !Exists(target.group + "/RcpSubGroup.txt")) rc = 0;
  Check(rc);
  std::sort(names.begin(), names.end());  // in number order, as the listings show recipes
  std::string place = subGroup.empty() ? "at the group's top level" : "in sub-group " + subGroup;
  for (const std::string& name : names) {
    if (const CQVERcpDirInfo* node = arrangement.Recipe(name)) {
      report->push_back(Changed(RecipeItem(TargetOfNode(target, *node), subGroup), place));
    }
  }
}

void Place(const Target& target, const CStringArray& names, const CStringArray& path, ChangeReport* report) {
  Arrangement arrangement(target);
  Place(target, arrangement, names, path, report);
}

void Put(const Target& target, const CStringArray& names, const CStringArray& path, ChangeReport* report) {
  RequireRecipes(target, names);
  Arrangement arrangement(target);
  for (const std::string& recipe : names) {
    if (const CQVERcpDirInfo* place = arrangement.PlaceOf(recipe)) {
      Fail(Printable(recipe) + " is already in sub-group " + Printable(place->m_strSubGroup) +
               " (take it out first, or move it)",
           QVC_ERR_EXISTS);
    }
  }
  Place(target, arrangement, names, path, report);
}

void Take(const Target& target, const CStringArray& names, ChangeReport* report) {
  Arrangement arrangement(target);
  for (const std::string& recipe : names) {
    if (arrangement.PlaceOf(recipe) == nullptr) Fail(recipe + " is in no sub-group", QVC_ERR_NOT_FOUND);
  }
  Place(target, arrangement, names, {}, report);
}

}  // namespace

ChangeReport AddSubGroup(const std::string& group, const SubGroupPath& path) {
  for (const std::string& name : path) RequireNoProblem("sub-group name", SubGroupNameProblem(name));
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Add(target, path, report); });
}

ChangeReport RemoveSubGroup(const std::string& group, const SubGroupPath& path, const DeleteOptions& how) {
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Remove(target, path, how, report); });
}

ChangeReport RenameSubGroup(const std::string& group, const SubGroupPath& path, const std::string& newName) {
  RequireNoProblem("new sub-group name", SubGroupNameProblem(newName));
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Rename(target, newName, path, report); });
}

ChangeReport PutInSubGroup(const std::string& group, const std::vector<unsigned>& recipes, const SubGroupPath& path) {
  CStringArray names = RecipeNames(recipes);
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Put(target, names, path, report); });
}

ChangeReport TakeOutOfSubGroups(const std::string& group, const std::vector<unsigned>& recipes) {
  CStringArray names = RecipeNames(recipes);
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Take(target, names, report); });
}

ChangeReport MoveToSubGroup(const std::string& group, const std::vector<unsigned>& recipes, const SubGroupPath& path) {
  CStringArray names = RecipeNames(recipes);
  return EditGroup(group, [&](const Target& target, ChangeReport* report) { Place(target, names, path, report); });
}

}  // namespace rcpstore
