// The recipe tree node: names, paths, copies, comparison, search, display.
#include <cstring>

#include "LibQVBRcpEpa.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngAlloc.h"

namespace {

void AttachBlock(CQVERcpDirInfo& node, const char* bytes, uint32_t size) {
  node.m_pUserBlock = static_cast<uint8_t*>(__QVEEngAlloc(size, "test", __LINE__));
  std::memcpy(node.m_pUserBlock, bytes, size);
  node.m_nUserBlockSize = size;
}

CQVERcpDirInfo* AddNamed(CQVERcpDirInfo& parent, const char* name) {
  auto* child = new CQVERcpDirInfo();
  parent.AddChild(child);
  child->SetRcpDirInfo(nullptr, name);
  return child;
}

CQVERcpDirInfo Project(const char* name) {
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = "/pjt";
  root.m_strName = name;
  root.m_strProject = name;
  return root;
}

TEST(DirInfoTest, ClassifiesNamesByTheirPatterns) {
  qvtest::TempDir tmp;
  qvtest::ErrorCapture errors;
  struct Case {
    const char* name;
    int32_t kind;
    int32_t group;
    int32_t recipe;
    const char* stored;
  };
  const Case cases[] = {
      {"rg05", QVERCP_KIND_GROUP, 5, 0, "RG05"},     {"RCP0012", QVERCP_KIND_RECIPE, 0, 12, "RCP0012"},
      {"RCP12345", QVERCP_KIND_RECIPE, 0, 1234, "RCP12345"}, {"RG123", QVERCP_KIND_GROUP, 12, 0, "RG123"},
      {"rcp 7", QVERCP_KIND_RECIPE, 0, 7, "RCP 7"},   {"RG", 0, 0, 0, "RG"},
      {"RCP", 0, 0, 0, "RCP"},                        {"RGX1", 0, 0, 0, "RGX1"},
      {"temp", 0, 0, 0, "TEMP"},
  };
  for (const Case& c : cases) {
    CQVERcpDirInfo node;
    uint32_t rc = node.SetRcpDirInfo("/parent", c.name);
    EXPECT_EQ(rc, c.kind == 0 ? QVERCP_ERR_INVALID_NAME : 0u) << c.name;
    EXPECT_EQ(node.m_nKind, c.kind) << c.name;
    EXPECT_EQ(node.m_nGroupNo, c.group) << c.name;
    EXPECT_EQ(node.m_nRecipeNo, c.recipe) << c.name;
    EXPECT_EQ(node.m_strName, c.stored);
    EXPECT_EQ(node.m_strParentPath, "/parent");
  }
  EXPECT_EQ(errors.Count(QVERCP_ERR_INVALID_NAME, "Invalid Directory"), 4u);

  CQVERcpDirInfo keep;
  keep.m_strParentPath = "/kept";
  keep.SetRcpDirInfo(nullptr, "RG01");
  EXPECT_EQ(keep.m_strParentPath, "/kept");
}

TEST(DirInfoTest, ChildrenInheritAndPathsFollowTheKinds) {
  CQVERcpDirInfo project = Project("P");
  CQVERcpDirInfo* group = AddNamed(project, "rg03");
  EXPECT_EQ(group->m_strParentPath, "/pjt/P/Recipe/");
  EXPECT_EQ(group->GetFullPath(), "/pjt/P/Recipe/RG03");
  EXPECT_EQ(group->m_strProject, "P");
  EXPECT_EQ(group->m_pParent, &project);

  auto* sub = new CQVERcpDirInfo();
  group->AddChild(sub);
  sub->m_nKind = QVERCP_KIND_SUBGROUP;
  sub->m_strName = "A";
  sub->m_strSubGroup = "A";
  EXPECT_EQ(sub->GetFullPath(), "/pjt/P/Recipe/RG03/");

  CQVERcpDirInfo* recipe = AddNamed(*sub, "RCP0007");
  EXPECT_EQ(recipe->m_nGroupNo, 3);
  EXPECT_EQ(recipe->m_strSubGroup, "A");
  EXPECT_EQ(recipe->GetFullPath(), "/pjt/P/Recipe/RG03/RCP0007");
  EXPECT_EQ(recipe->GetDispName(0), "PJT:P Gr:RG03 Sub:A Rcp:RCP0007");
  EXPECT_EQ(recipe->GetDispName(1), "RCP0007");
  EXPECT_EQ(recipe->GetDispName(2), "");
  EXPECT_EQ(sub->GetDispName(0), "Pjt:P Gr:RG03 Sub:A");
  EXPECT_EQ(group->GetDispName(0), "Pjt:P Gr:RG03");
  EXPECT_EQ(project.GetDispName(0), "Pjt:P");
  recipe->m_strSubGroup.clear();
  EXPECT_EQ(recipe->GetDispName(0), "PJT:P Gr:RG03 Rcp:RCP0007");

  // A sub-group's full path splits back into its group.
  CQVERcpDirInfo again;
  ASSERT_EQ(again.SetFullPath(sub->GetFullPath().c_str()), 0u);
  EXPECT_EQ(again.m_nGroupNo, 3);
  EXPECT_EQ(again.GetFullPath(), group->GetFullPath());
}

TEST(DirInfoTest, CopiesAreDeepAndAssignmentAppends) {
  size_t blocksBefore = QVEEngLiveBlocks();
  {
    CQVERcpDirInfo project = Project("P");
    project.m_dwUserData = 7;
    project.m_dwUserParam = 9;
    AttachBlock(project, "abc", 3);
    CQVERcpDirInfo* group = AddNamed(project, "RG01");
    AddNamed(*group, "RCP0001");
    AddNamed(*group, "RCP0002");

    CQVERcpDirInfo copy(project);
    EXPECT_EQ(copy.m_pParent, nullptr);
    EXPECT_EQ(copy.m_pUserBlock, nullptr);
    EXPECT_EQ(copy.m_dwUserParam, 0u);
    EXPECT_EQ(copy.m_dwUserData, 7u);
    EXPECT_EQ(copy.m_tCreated, project.m_tCreated);
    ASSERT_EQ(copy.m_listChild.size(), 1u);
    CQVERcpDirInfo& copiedGroup = *copy.m_listChild.front();
    EXPECT_NE(&copiedGroup, group);
    EXPECT_EQ(copiedGroup.m_pParent, &copy);
    ASSERT_EQ(copiedGroup.m_listChild.size(), 2u);
    EXPECT_EQ(copiedGroup.m_listChild.back()->m_strName, "RCP0002");
    EXPECT_EQ(copiedGroup.m_listChild.back()->m_pParent, &copiedGroup);

    CQVERcpDirInfo target;
    AttachBlock(target, "zz", 2);
    AddNamed(target, "RG09");
    target = *group;
    EXPECT_EQ(target.m_pUserBlock, nullptr);
    EXPECT_EQ(target.m_nKind, QVERCP_KIND_GROUP);
    ASSERT_EQ(target.m_listChild.size(), 3u);
    EXPECT_EQ(target.m_listChild.front()->m_strName, "RG09");
    for (auto& child : target.m_listChild) EXPECT_EQ(child->m_pParent, &target);

    // Assigned to itself, a node keeps its data and block and gains one copy of each child.
    AttachBlock(target, "q", 1);
    const CQVERcpDirInfo& self = target;
    target = self;
    EXPECT_NE(target.m_pUserBlock, nullptr);
    ASSERT_EQ(target.m_listChild.size(), 6u);
    EXPECT_EQ(target.m_listChild.back()->m_strName, "RCP0002");
  }
  EXPECT_EQ(QVEEngLiveBlocks(), blocksBefore);
}

TEST(DirInfoTest, ComparesKeysByKindAndUserBlocks) {
  CQVERcpDirInfo a, b;
  a.m_nKind = b.m_nKind = QVERCP_KIND_SUBGROUP;
  a.m_strProject = b.m_strProject = "P";
  a.m_strSubGroup = b.m_strSubGroup = "A/B";
  a.m_nGroupNo = 1;
  b.m_nGroupNo = 2;
  a.m_strName = "x";
  EXPECT_TRUE(a == b);
  b.m_strSubGroup = "A/b";
  EXPECT_TRUE(a != b);
  b.m_strSubGroup = "A/B";

  AttachBlock(a, "", 0);
  EXPECT_FALSE(a == b);
  AttachBlock(b, "", 0);
  EXPECT_TRUE(a == b);

  CQVERcpDirInfo r1, r2;
  r1.m_nKind = r2.m_nKind = QVERCP_KIND_RECIPE;
  r1.m_nRecipeNo = r2.m_nRecipeNo = 4;
  r1.m_nGroupNo = 1;
  r2.m_nGroupNo = 2;
  EXPECT_FALSE(r1 == r2);
  r2.m_nGroupNo = 1;
  EXPECT_TRUE(r1 == r2);
  AttachBlock(r1, "ab", 2);
  AttachBlock(r2, "ac", 2);
  EXPECT_FALSE(r1 == r2);

  CQVERcpDirInfo g1, g2;
  g1.m_nKind = g2.m_nKind = QVERCP_KIND_GROUP;
  g1.m_nGroupNo = g2.m_nGroupNo = 1;
  g1.m_strProject = "P";
  g2.m_strProject = "p";
  EXPECT_FALSE(g1 == g2);
}

TEST(DirInfoTest, SearchFindsInPreOrderAndStopsAtOtherProjects) {
  CQVERcpDirInfo project = Project("P");
  CQVERcpDirInfo* g1 = AddNamed(project, "RG01");
  CQVERcpDirInfo* g2 = AddNamed(project, "RG02");
  AddNamed(*g1, "RCP0005");
  CQVERcpDirInfo* wanted = AddNamed(*g2, "RCP0005");

  CQVERcpDirInfo target;
  target.m_nKind = QVERCP_KIND_RECIPE;
  target.m_strProject = "P";
  target.m_nGroupNo = 2;
  target.m_nRecipeNo = 5;
  EXPECT_EQ(project.Search(&target), wanted);
  target.m_nGroupNo = 3;
  EXPECT_EQ(project.Search(&target), nullptr);
  target.m_nGroupNo = 2;
  target.m_strProject = "Q";
  EXPECT_EQ(project.Search(&target), nullptr);
}

}  // namespace
