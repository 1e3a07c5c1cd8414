// The tree of a project read from one scan: a node per group, sub-group and
// recipe, with one header read per recipe and each node's own read failure.
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"
#include "RcpListed.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

size_t RecipesBelow(const TreeNode& node) {
  size_t count = 0;
  for (const TreeNode& child : node.children) {
    count += child.kind == StoreItem::Kind::kRecipe ? 1 : RecipesBelow(child);
  }
  return count;
}

// A group whose directory cannot be read shows no recipes in the scan; its
// node says why.
uint32_t UnreadableDirectory(const std::string& directory) {
  std::unique_ptr<qvplatform::Directory> opened;
  return qvplatform::CurrentEnv()->OpenDirectory(directory, &opened);
}

StoreItem GroupNode(const Target& group, const TreeNode& scanned, const TreeRead& how) {
  // Below the groups nothing was scanned: the count needs its own scan.
  StoreItem item = how.plain ? PlainItem(group) : how.depthOne ? GroupItem(group) : GroupItem(group, RecipesBelow(scanned));
  item.errorCode = UnreadableDirectory(group.group);
  if (item.errorCode != 0) item.error = CodeMeaning(item.errorCode);
  return item;
}

StoreItem ItemOf(const Target& at, const CQVERcpDirInfo& scanned, const TreeNode& node, const TreeRead& how) {
  switch (scanned.m_nKind) {
    case QVERCP_KIND_GROUP:
      return GroupNode(at, node, how);
    case QVERCP_KIND_SUBGROUP: {
      StoreItem item = SubGroupItem(at, {});
      item.name = scanned.m_strName;
      item.subGroup = scanned.m_strSubGroup;
      return item;
    }
    case QVERCP_KIND_RECIPE: {
      const CQVERcpDirInfo* parent = scanned.m_pParent;
      std::string subGroup = parent != nullptr && parent->m_nKind == QVERCP_KIND_SUBGROUP ? parent->m_strSubGroup : "";
      StoreItem item = how.plain ? PlainItem(at) : RecipeItem(at, subGroup);
      item.subGroup = subGroup;
      return item;
    }
    default:
      return PlainItem(at);
  }
}

// Takes the scanned nodes below as it goes, so that their memory serves the
// tree's nodes that follow.
TreeNode NodeOf(const Target& at, CQVERcpDirInfo& scanned, const TreeRead& how) {
  TreeNode node;
  node.children.reserve(scanned.m_listChild.size());
  for (const auto& child : scanned.m_listChild) {
    if (!Listed(*child) || child->m_nKind == QVERCP_KIND_NONE) continue;
    bool subGroup = child->m_nKind == QVERCP_KIND_SUBGROUP;
    node.children.push_back(NodeOf(subGroup ? at : TargetOfNode(at, *child), *child, how));
  }
  scanned.m_listChild.clear();
  static_cast<StoreItem&>(node) = ItemOf(at, scanned, node, how);
  return node;
}

}  // namespace

TreeNode ReadTree(const Target& project, const TreeRead& how) {
  CQVERcpDirInfo root = ScanNode(project);
  CQVERcpUtil::GetDirectoryList(&root, how.depthOne ? 0 : 1, how.noSubGroups ? 0 : 1);
  return NodeOf(project, root, how);
}

size_t UnreadNodes(const TreeNode& tree) {
  size_t count = tree.error.empty() ? 0 : 1;
  for (const TreeNode& child : tree.children) count += UnreadNodes(child);
  return count;
}

}  // namespace rcpstore
