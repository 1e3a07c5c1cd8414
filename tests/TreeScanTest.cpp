// The tree scan and the sub-group file laid over it, on real directories.
#include <filesystem>
#include <functional>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Reads.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngAlloc.h"

using qvtest::MakeDirs;
using qvtest::TempDir;
using qvtest::WriteFile;

namespace {

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* group : {"RG01", "RG02"}) {
      for (int i = 1; i <= 4; ++i) MakeDirs(tmp_ / ("P1/Recipe/" + std::string(group) + "/RCP000" + std::to_string(i) + "/TEMP"));
    }
    project_.m_nKind = QVERCP_KIND_PROJECT;
    project_.m_strParentPath = tmp_.path();
    project_.m_strName = "P1";
    project_.m_strProject = "P1";
  }

  std::string Group(const char* name) const { return tmp_ / ("P1/Recipe/" + std::string(name)); }

  CQVERcpDirInfo GroupNode(const char* name) {
    CQVERcpDirInfo group;
    group.m_strProject = "P1";
    group.SetFullPath(Group(name).c_str());
    return group;
  }

  // Every node below root has its parent link and stays of a known kind.
  static void ExpectLinked(const CQVERcpDirInfo& root) {
    for (const auto& child : root.m_listChild) {
      EXPECT_EQ(child->m_pParent, &root);
      ExpectLinked(*child);
    }
  }

  TempDir tmp_;
  CQVERcpDirInfo project_;
};

TEST_F(ScanTest, ScansGroupsAndRecipesAndLeavesOtherDirectoriesOut) {
  qvtest::ErrorCapture errors;
  MakeDirs(tmp_ / "P1/Recipe/RG01/RCP0003/RG05");
  MakeDirs(tmp_ / "P1/Recipe/Other/RCP0009");
  CQVERcpUtil::GetDirectoryList(&project_, 1, 0);
  EXPECT_EQ(qvtest::Shape(project_), "RG01[RCP0001,RCP0002,RCP0003,RCP0004],RG02[RCP0001,RCP0002,RCP0003,RCP0004]");
  EXPECT_EQ(errors.Count(QVERCP_ERR_INVALID_NAME, "Invalid Directory"), 9u);  // 8 TEMP and Other
  ExpectLinked(project_);

  CQVERcpDirInfo& group = *project_.m_listChild.front();
  CQVERcpDirInfo& recipe = *std::next(group.m_listChild.begin(), 2)->get();
  EXPECT_EQ(recipe.m_nGroupNo, 1);
  EXPECT_EQ(recipe.m_nRecipeNo, 3);
  EXPECT_EQ(recipe.GetFullPath(), Group("RG01") + "/RCP0003");
  ASSERT_EQ(recipe.m_listChild.size(), 1u);
  EXPECT_EQ(recipe.m_listChild.front()->m_nKind, QVERCP_KIND_GROUP);
  EXPECT_EQ(recipe.m_listChild.front()->m_nGroupNo, 5);

  CQVERcpUtil::GetDirectoryList(&recipe, 1, 1);
  EXPECT_TRUE(recipe.m_listChild.empty());
  CQVERcpUtil::GetDirectoryList(&project_, 0, 1);
  EXPECT_EQ(qvtest::Shape(project_), "RG01[],RG02[]");
}

// The tree reads each group's own directory: nothing below a recipe is a
// node of it, and a recipe's TEMP is never opened, so it costs no error.
TEST_F(ScanTest, TheTreeNeverEntersARecipe) {
  MakeDirs(tmp_ / "P1/Recipe/RG01/RCP0003/RG05");
  rcpstore::Target project;
  project.project = tmp_ / "P1";
  project.projectName = "P1";
  qvtest::ErrorCapture errors;
  rcpstore::TreeNode tree = rcpstore::ReadTree(project, {.plain = true});
  ASSERT_EQ(tree.children.size(), 2u);
  for (const rcpstore::TreeNode& group : tree.children) {
    ASSERT_EQ(group.children.size(), 4u);
    for (const rcpstore::TreeNode& recipe : group.children) EXPECT_TRUE(recipe.children.empty()) << recipe.name;
  }
  EXPECT_TRUE(errors.records().empty());
}

// Builds, trash and names moved aside by an in-use check are work in
// progress of some process: never a node, never a file entry, never a record.
TEST_F(ScanTest, WorkInProgressIsNeitherScannedNorListed) {
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", Group("RG02").c_str(), 9, nullptr), 0u);
  std::string recipe = Group("RG02") + "/RCP0009";
  for (const char* copy : {"/.RcpHead.edf", "/RcpPT01.edf1765000000"}) {
    std::filesystem::copy_file(recipe + "/RcpHead.edf", recipe + copy);
  }
  for (const char* dir : {"RG01/.RCP0005.new-1-a", "RG01/RCP00061765000000", "RG01/.RCP0001.trash-2-b",
                          "RG011765000000/RCP0001", ".RG03.new-3-c/RCP0001"}) {
    MakeDirs(tmp_ / ("P1/Recipe/" + std::string(dir)));
  }
  MakeDirs(Group("RG02") + "/RCP0009/TEMP");
  qvtest::ErrorCapture errors;
  CQVERcpUtil::GetDirectoryList(&project_, 1, 0);
  EXPECT_EQ(qvtest::Shape(project_),
            "RG01[RCP0001,RCP0002,RCP0003,RCP0004],RG02[RCP0001,RCP0002,RCP0003,RCP0004,RCP0009]");
  CQVERcpFileInfoArray files;
  CQVERcpUtil::GetFileList(recipe.c_str(), files);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0]->m_strName, "RcpHead");
  EXPECT_EQ(errors.Count(QVERCP_ERR_INVALID_NAME, "Invalid Directory"), 9u);  // the TEMP directories only
  EXPECT_EQ(errors.records().size(), 9u);
}

TEST_F(ScanTest, FindsTheStoreUnderAnotherCaseAndSurvivesAMissingDirectory) {
  std::rename((tmp_ / "P1/Recipe").c_str(), (tmp_ / "P1/recipe").c_str());
  CQVERcpUtil::GetDirectoryList(&project_, 0, 0);
  EXPECT_EQ(qvtest::Shape(project_), "RG01[],RG02[]");
  project_.m_strName = "Missing";
  EXPECT_EQ(CQVERcpUtil::GetDirectoryList(&project_, 1, 1), 0u);
  EXPECT_TRUE(project_.m_listChild.empty());
}

TEST_F(ScanTest, LaysTheExampleSubGroupFileOverTheRecipes) {
  WriteFile(Group("RG01") + "/RcpSubGroup.txt", qvtest::Crlf(qvtest::kSubGroupExample));
  CQVERcpUtil::GetDirectoryList(&project_, 1, 1);
  EXPECT_EQ(qvtest::Shape(project_),
            "RG01[RCP0003,RCP0004,SubA[RCP0001,SubB[RCP0002]],SubC[]],RG02[RCP0001,RCP0002,RCP0003,RCP0004]");
  ExpectLinked(project_);

  CQVERcpDirInfo* subB = CQVERcpUtil::FindSubGroup(&project_, "suba/SUBB");
  ASSERT_NE(subB, nullptr);
  EXPECT_EQ(subB->m_nKind, QVERCP_KIND_SUBGROUP);
  EXPECT_EQ(subB->m_strSubGroup, "SubA/SubB");
  EXPECT_EQ(subB->m_nGroupNo, 1);
  EXPECT_EQ(subB->GetFullPath(), Group("RG01") + "/");
  const CQVERcpDirInfo& moved = *subB->m_listChild.front();
  EXPECT_EQ(moved.m_strSubGroup, "SubA/SubB");
  EXPECT_EQ(moved.GetFullPath(), Group("RG01") + "/RCP0002");
  EXPECT_EQ(moved.m_nRecipeNo, 2);
  EXPECT_EQ(CQVERcpUtil::FindSubGroup(&project_, "SubX"), nullptr);
  EXPECT_EQ(CQVERcpUtil::FindSubGroup(&project_, ""), &project_);

  CQVERcpDirInfo group = GroupNode("RG01");
  CQVERcpUtil::GetDirectoryList(&group, 0, 0);
  EXPECT_EQ(qvtest::Shape(group), "RCP0001,RCP0002,RCP0003,RCP0004");
}

TEST_F(ScanTest, ReadsHandEditedLinesAsTheReaderRulesSay) {
  WriteFile(Group("RG01") + "/RcpSubGroup.txt",
            "STARTSUB,SubA,extra\n"
            "NODE,RCP0001\n"
            "NODE,rcp0002\n"
            "startsub,Lower\n"
            "NODE,RCP0099\n"
            "ENDSUB,Other\n"
            "STARTSUB,SubA\n"
            "NODE,RCP0001\n"
            "ENDSUB,SubA\n"
            "NODE,RCP0003\n"
            "\n"
            "STARTSUB,Open\n"
            "STARTSUB,Inner\n"
            "NODE,RCP0004\n");
  CQVERcpDirInfo group = GroupNode("RG01");
  CQVERcpUtil::GetDirectoryList(&group, 0, 1);
  EXPECT_EQ(qvtest::Shape(group), "RCP0002,SubA[RCP0001],SubA[],RCP0003,Open[Inner[RCP0004]]");
  CQVERcpDirInfo* inner = CQVERcpUtil::FindSubGroup(&group, "Open/Inner");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->m_listChild.front()->m_strSubGroup, "Open/Inner");
}

TEST_F(ScanTest, RescanningASubGroupRebuildsItThroughItsGroup) {
  WriteFile(Group("RG01") + "/RcpSubGroup.txt", qvtest::kSubGroupExample);
  CQVERcpUtil::GetDirectoryList(&project_, 1, 1);
  CQVERcpDirInfo* subA = CQVERcpUtil::FindSubGroup(&project_, "SubA");
  ASSERT_NE(subA, nullptr);
  CQVERcpDirInfo* parent = subA->m_pParent;
  subA->m_dwUserData = 11;
  subA->m_dwUserParam = 12;
  subA->m_pUserBlock = static_cast<uint8_t*>(__QVEEngAlloc(4, "test", __LINE__));
  subA->m_nUserBlockSize = 4;

  WriteFile(Group("RG01") + "/RcpSubGroup.txt", "STARTSUB,SubA\nNODE,RCP0004\nENDSUB,SubA\n");
  CQVERcpUtil::GetDirectoryList(subA, 1, 0);
  EXPECT_EQ(qvtest::Shape(*subA), "RCP0004");
  EXPECT_EQ(subA->m_dwUserData, 11u);
  EXPECT_EQ(subA->m_dwUserParam, 12u);
  EXPECT_EQ(subA->m_pUserBlock, nullptr);
  EXPECT_EQ(subA->m_pParent, parent);
  EXPECT_EQ(subA->m_listChild.front()->m_pParent, subA);
  EXPECT_EQ(subA->m_nKind, QVERCP_KIND_SUBGROUP);

  WriteFile(Group("RG01") + "/RcpSubGroup.txt", "");
  CQVERcpUtil::GetDirectoryList(subA, 1, 0);
  EXPECT_TRUE(subA->m_listChild.empty());
  EXPECT_EQ(subA->m_strSubGroup, "SubA");
  EXPECT_EQ(subA->m_dwUserData, 11u);
}

// Whatever the file holds, every node stays inside the group's subtree and
// every moved recipe is still in the tree once. Random bytes are the read
// fuzz target's; here, nesting, lengths and bytes beyond what it reaches.
void ExpectContained(CQVERcpDirInfo& group, size_t recipes) {
  size_t seen = 0;
  std::function<void(const CQVERcpDirInfo&)> walk = [&](const CQVERcpDirInfo& node) {
    for (const auto& child : node.m_listChild) {
      EXPECT_EQ(child->m_pParent, &node);
      if (child->m_nKind == QVERCP_KIND_RECIPE) ++seen;
      walk(*child);
    }
  };
  walk(group);
  EXPECT_EQ(seen, recipes);
}

TEST_F(ScanTest, HostileSubGroupFilesNeverCrashOrEscapeTheGroup) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "STARTSUB," + std::string(60, 'd') + "\nNODE,RCP0001\n";
  const std::string files[] = {
      "ENDSUB,x\nENDSUB,y\nSTARTSUB,A\nNODE,RCP0001\nENDSUB,A\nENDSUB,A\nNODE,RCP0002\n",
      "STARTSUB," + std::string(100 * 1024, 'L') + "\nNODE,RCP0001\nENDSUB,x\n",
      "NODE,\"RCP0001\nSTARTSUB,\"unterminated\nNODE,RCP0002\n",
      deep,
      std::string("STARTSUB,A\0B\nNODE,RCP0003\n", 26),
  };
  for (const std::string& content : files) {
    WriteFile(Group("RG01") + "/RcpSubGroup.txt", content);
    CQVERcpUtil::GetDirectoryList(&project_, 1, 1);
    ASSERT_EQ(project_.m_listChild.size(), 2u);
    ExpectContained(*project_.m_listChild.front(), 4);
    CQVERcpDirInfo copy(project_);
    ExpectContained(*copy.m_listChild.front(), 4);
  }
}

}  // namespace
