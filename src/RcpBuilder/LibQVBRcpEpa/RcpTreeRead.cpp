// The tree of a project read group by group: a node per group, sub-group and
// recipe, with one header read per recipe and each node's own read failure.
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Reads.h"
#include "RcpListed.h"
#include "RcpSubGroupLine.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

bool Shown(const CQVERcpDirInfo& node) { return Listed(node) && node.m_nKind != QVERCP_KIND_NONE; }

size_t RecipesBelow(const CQVERcpDirInfo& node) {
  size_t count = 0;
  for (const auto& child : node.m_listChild) {
    if (Shown(*child)) count += child->m_nKind == QVERCP_KIND_RECIPE ? 1 : RecipesBelow(*child);
  }
  return count;
}

// A group whose directory cannot be read shows no recipes in the scan; its
// node says why.
uint32_t UnreadableDirectory(const std::string& directory) {
  std::unique_ptr<qvplatform::Directory> opened;
  return qvplatform::CurrentEnv()->OpenDirectory(directory, &opened);
}

StoreItem GroupNode(const Target& group, const CQVERcpDirInfo& scanned, const TreeRead& how) {
  // Below the groups nothing was scanned: the count needs its own scan.
  StoreItem item = how.plain ? PlainItem(group) : how.depthOne ? GroupItem(group) : GroupItem(group, RecipesBelow(scanned));
  item.errorCode = UnreadableDirectory(group.group);
  if (item.errorCode != 0) item.error = CodeMeaning(item.errorCode);
  return item;
}

StoreItem ItemOf(const Target& at, const CQVERcpDirInfo& scanned, const TreeRead& how) {
  switch (scanned.m_nKind) {
    case QVERCP_KIND_GROUP:
      return GroupNode(at, scanned, how);
    case QVERCP_KIND_SUBGROUP: {
      StoreItem item = SubGroupItem(at, {});
      item.name = scanned.m_strName;
      item.subGroup = rcpsubgroup::PathOf(&scanned);
      return item;
    }
    case QVERCP_KIND_RECIPE: {
      std::string subGroup = rcpsubgroup::PathOf(scanned.m_pParent);
      StoreItem item = how.plain ? PlainItem(at) : RecipeItem(at, subGroup);
      item.subGroup = subGroup;
      return item;
    }
    default:
      return PlainItem(at);
  }
}

class TreeWalk {
 public:
  TreeWalk(const TreeRead& how, TreeVisitor& visitor) : how_(how), visitor_(visitor) {}

  void Project(const Target& project) {
    CQVERcpDirInfo root = ScanNode(project);
    CQVERcpUtil::GetDirectoryList(&root, 0, 0);
    Node(project, root, true);
  }

  size_t unread() const { return unread_; }

 private:
  // A group's recipes and sub-groups are scanned when it is reached and
  // dropped once it has been handed on: one group is held at a time. Its
  // own directory only: nothing of the tree is below a recipe, so no recipe
  // directory is opened (the headers are read by name).
  void ScanGroup(CQVERcpDirInfo& group) {
    CQVERcpUtil::GetDirectoryList(&group, 0, 0);
    if (!how_.noSubGroups) rcpsubgroup::ReadLayout(group.GetFullPath(), &group);
  }

  void Node(const Target& at, CQVERcpDirInfo& scanned, bool last) {
    if (scanned.m_nKind == QVERCP_KIND_GROUP && !how_.depthOne) ScanGroup(scanned);
    StoreItem item = ItemOf(at, scanned, how_);
    if (!item.error.empty()) ++unread_;
    visitor_.Enter(item, last);
    CQVERcpDirInfo* lastShown = nullptr;
    for (const auto& child : scanned.m_listChild) {
      if (Shown(*child)) lastShown = child.get();
    }
    for (auto& child : scanned.m_listChild) {
      if (!Shown(*child)) continue;
      bool subGroup = child->m_nKind == QVERCP_KIND_SUBGROUP;
      Node(subGroup ? at : TargetOfNode(at, *child), *child, child.get() == lastShown);
      child->m_listChild.clear();
    }
    visitor_.Leave(item);
  }

  const TreeRead& how_;
  TreeVisitor& visitor_;
  size_t unread_ = 0;
};

// Holds the tree as the walk hands it on.
class TreeBuilder : public TreeVisitor {
 public:
  void Enter(const StoreItem& item, bool /*last*/) override {
    TreeNode node;
    static_cast<StoreItem&>(node) = item;
    if (open_.empty()) {
      root_ = std::move(node);
      open_.push_back(&root_);
    } else {
      open_.back()->children.push_back(std::move(node));
      open_.push_back(&open_.back()->children.back());
    }
  }
  void Leave(const StoreItem& /*item*/) override { open_.pop_back(); }

  TreeNode root_;

 private:
  std::vector<TreeNode*> open_;
};

}  // namespace

size_t VisitTree(const Target& project, const TreeRead& how, TreeVisitor& visitor) {
  TreeWalk walk(how, visitor);
  walk.Project(project);
  return walk.unread();
}

TreeNode ReadTree(const Target& project, const TreeRead& how) {
  TreeBuilder builder;
  VisitTree(project, how, builder);
  return std::move(builder.root_);
}

size_t UnreadNodes(const TreeNode& tree) {
  size_t count = tree.error.empty() ? 0 : 1;
  for (const TreeNode& child : tree.children) count += UnreadNodes(child);
  return count;
}

}  // namespace rcpstore
