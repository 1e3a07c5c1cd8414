#include "Listing.h"

#include <algorithm>

#include "Describe.h"
#include "LibQVBRcpEpa.h"

namespace rcpstore {

namespace {

void CollectRecipes(const Target& group, const CQVERcpDirInfo& node, std::vector<ListedRecipe>* out) {
  for (const auto& child : node.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_SUBGROUP) CollectRecipes(group, *child, out);
    if (child->m_nKind != QVERCP_KIND_RECIPE || !Listed(*child)) continue;
    out->push_back({TargetOfNode(group, *child), node.m_nKind == QVERCP_KIND_SUBGROUP ? node.m_strSubGroup : ""});
  }
}

}  // namespace

bool Listed(const CQVERcpDirInfo& node) {
  if (node.m_nKind == QVERCP_KIND_RECIPE) return RecipeNumberOf(node.m_strName) != 0;
  if (node.m_nKind != QVERCP_KIND_GROUP) return true;
  return node.m_strName.size() == 4 && node.m_nGroupNo >= 1 && node.m_nGroupNo <= static_cast<int32_t>(kMaxGroupNo);
}

Target TargetOfNode(const Target& parent, const CQVERcpDirInfo& node) {
  if (node.m_nKind == QVERCP_KIND_GROUP) {
    return GroupOf(parent, static_cast<unsigned>(node.m_nGroupNo), node.GetFullPath());
  }
  return RecipeOf(parent, static_cast<unsigned>(node.m_nRecipeNo), node.GetFullPath());
}

std::vector<Target> GroupsOf(const Target& target) {
  if (!target.group.empty()) return {target};
  CQVERcpDirInfo project;
  project.m_nKind = QVERCP_KIND_PROJECT;
  project.m_strParentPath = Parent(target.project);
  project.m_strName = LastName(target.project);
  CQVERcpUtil::GetDirectoryList(&project, 0, 0);
  std::vector<Target> groups;
  for (const auto& child : project.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_GROUP && Listed(*child)) groups.push_back(TargetOfNode(target, *child));
  }
  std::sort(groups.begin(), groups.end(), [](const Target& a, const Target& b) { return a.groupNo < b.groupNo; });
  return groups;
}

std::vector<ListedRecipe> RecipesOf(const Target& group) {
  CQVERcpDirInfo node;
  node.SetFullPath(group.group.c_str());
  CQVERcpUtil::GetDirectoryList(&node, 0, 1);
  std::vector<ListedRecipe> recipes;
  CollectRecipes(group, node, &recipes);
  std::sort(recipes.begin(), recipes.end(),
            [](const ListedRecipe& a, const ListedRecipe& b) { return a.recipe.recipeNo < b.recipe.recipeNo; });
  return recipes;
}

}  // namespace rcpstore
