#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"
#include "RcpListed.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

size_t RecipesBelow(const TreeNode& node) {
  size_t count = 0;
  for (const TreeNode& child : node.children) {
    count += child.kind == TreeNode::Kind::kRecipe ? 1 : RecipesBelow(child);
  }
  return count;
}

// A group whose directory cannot be read shows no recipes in the scan; its
// node says why.
std::string UnreadableDirectory(const std::string& directory) {
  std::unique_ptr<qvplatform::Directory> opened;
  uint32_t rc = qvplatform::CurrentEnv()->OpenDirectory(directory, &opened);
  return rc == 0 ? std::string() : CodeMeaning(rc);
}

void ReadGroup(const TreeRead& how, TreeNode* node) {
  node->error = UnreadableDirectory(node->target.group);
  if (how.plain) return;
  node->group = ReadGroupInfo(node->target);
  // Below the groups nothing was scanned: the count needs its own scan.
  node->recipes = how.depthOne ? RecipesOf(node->target).size() : RecipesBelow(*node);
}

void ReadRecipe(const TreeRead& how, TreeNode* node) {
  if (how.plain) return;
  try {
    node->head = ReadRecipeHead(node->target.recipe);
  } catch (const Failure& failure) {
    node->error = failure.cause;
  }
}

TreeNode NodeOf(const Target& at, const CQVERcpDirInfo& scanned, const TreeRead& how) {
  TreeNode node;
  node.target = at;
  node.name = scanned.m_strName;
  for (const auto& child : scanned.m_listChild) {
    if (!Listed(*child) || child->m_nKind == QVERCP_KIND_NONE) continue;
    bool subGroup = child->m_nKind == QVERCP_KIND_SUBGROUP;
    node.children.push_back(NodeOf(subGroup ? at : TargetOfNode(at, *child), *child, how));
  }
  switch (scanned.m_nKind) {
    case QVERCP_KIND_GROUP:
      node.kind = TreeNode::Kind::kGroup;
      ReadGroup(how, &node);
      break;
    case QVERCP_KIND_SUBGROUP:
      node.kind = TreeNode::Kind::kSubGroup;
      node.subGroup = scanned.m_strSubGroup;
      break;
    case QVERCP_KIND_RECIPE:
      node.kind = TreeNode::Kind::kRecipe;
      if (scanned.m_pParent != nullptr && scanned.m_pParent->m_nKind == QVERCP_KIND_SUBGROUP) {
        node.subGroup = scanned.m_pParent->m_strSubGroup;
      }
      ReadRecipe(how, &node);
      break;
    default:
      node.kind = TreeNode::Kind::kProject;
      node.name = at.projectName;
  }
  return node;
}

}  // namespace

TreeNode ReadTree(const Target& project, const TreeRead& how) {
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = Parent(project.project);
  root.m_strName = LastName(project.project);
  root.m_strProject = project.projectName;
  CQVERcpUtil::GetDirectoryList(&root, how.depthOne ? 0 : 1, how.noSubGroups ? 0 : 1);
  return NodeOf(project, root, how);
}

size_t UnreadNodes(const TreeNode& tree) {
  size_t count = tree.error.empty() ? 0 : 1;
  for (const TreeNode& child : tree.children) count += UnreadNodes(child);
  return count;
}

}  // namespace rcpstore
