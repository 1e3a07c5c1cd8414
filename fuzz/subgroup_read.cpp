// The sub-group file, read by a scan of its group over four recipes: every
// recipe stays in the tree exactly once, links hold, and nesting and path
// lengths stay within the reader's bounds whatever the file says.
#include "FuzzSupport.h"
#include "LibQVBRcpEpa.h"

namespace {

using qvfuzz::Require;

constexpr int kRecipes = 4;
constexpr int kMaxDepth = 64;
constexpr size_t kMaxSubGroupPath = 4096;

const std::string& Group() {
  static const std::string group = [] {
    std::string dir = qvfuzz::ScratchDir() + "/P/Recipe/RG01";
    for (int i = 1; i <= kRecipes; ++i) qvfuzz::MakeDirs(dir + "/RCP000" + std::to_string(i));
    return dir;
  }();
  return group;
}

// Counts the recipes below node and checks links and bounds on the way.
int Walk(const CQVERcpDirInfo& node, int depth) {
  Require(depth <= kMaxDepth, "sub-groups nest too deep");
  int recipes = 0;
  for (const auto& child : node.m_listChild) {
    Require(child->m_pParent == &node, "a child does not link to its parent");
    if (child->m_nKind == QVERCP_KIND_RECIPE) {
      ++recipes;
      Require(child->m_listChild.empty(), "a recipe has children");
    } else {
      Require(child->m_nKind == QVERCP_KIND_SUBGROUP, "a node of an unknown kind");
      Require(child->m_strSubGroup.size() <= kMaxSubGroupPath, "a sub-group path is too long");
      recipes += Walk(*child, depth + 1);
    }
  }
  return recipes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvfuzz::WriteFile(Group() + "/RcpSubGroup.txt", data, size);
  CQVERcpDirInfo group;
  group.m_strProject = "P";
  group.SetFullPath(Group().c_str());
  Require(CQVERcpUtil::GetDirectoryList(&group, 1, 1) == 0, "the scan failed");
  Require(Walk(group, 0) == kRecipes, "a recipe was lost or doubled");
  return 0;
}
