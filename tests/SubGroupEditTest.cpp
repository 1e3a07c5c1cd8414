// Editing the sub-group file: results, line placement, and that no failure
// ever leaves a group without its whole arrangement.
#include <functional>

#include "LibQVBRcpEpa.h"
#include "FaultEnv.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

using qvtest::Crlf;
using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 4; ++i) qvtest::MakeDirs(dir() + "/RCP000" + std::to_string(i));
    WriteExample(qvtest::kSubGroupExample);
  }

  std::string dir() const { return tmp_ / "RG01"; }
  std::string file() const { return dir() + "/RcpSubGroup.txt"; }
  std::string work() const { return dir() + "/RcpSubGroupwork.txt"; }
  void WriteExample(const std::string& lf) { WriteFile(file(), Crlf(lf)); }
  std::string Lines() const { return ReadFile(file()); }

  std::string Tree() {
    CQVERcpDirInfo group;
    group.SetFullPath(dir().c_str());
    CQVERcpUtil::GetDirectoryList(&group, 0, 1);
    return qvtest::Shape(group);
  }

  static CQVERcpDirInfo Recipe(const char* name) {
    CQVERcpDirInfo recipe;
    recipe.SetRcpDirInfo(nullptr, name);
    return recipe;
  }

  uint32_t Put(const char* name, const CStringArray& path) {
    CQVERcpDirInfo recipe = Recipe(name);
    return CQVERcpUtil::InsertItemToSubGroup(dir().c_str(), path, &recipe);
  }

  uint32_t Take(const char* name) {
    CQVERcpDirInfo recipe = Recipe(name);
    return CQVERcpUtil::DeleteItemFromSubGroup(dir().c_str(), {}, &recipe);
  }

  // The operation's result, and that the file is byte for byte as before.
  uint32_t Untouched(const std::function<uint32_t()>& op) {
    std::string before = Lines();
    uint32_t rc = op();
    EXPECT_EQ(Lines(), before);
    EXPECT_FALSE(Exists(work()));
    return rc;
  }

  qvtest::TempDir tmp_;
};

TEST_F(EditTest, InsertsSubGroupsAtTheTopAndAsFirstEntryOfTheParent) {
  std::remove(file().c_str());
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(dir().c_str(), {"SubA"}), 0u);
  EXPECT_EQ(Lines(), "STARTSUB,SubA\r\nENDSUB,SubA\r\n");

  WriteExample(qvtest::kSubGroupExample);
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(dir().c_str(), {"SubD"}), 0u);
  EXPECT_EQ(Lines(), Crlf(std::string("STARTSUB,SubD\nENDSUB,SubD\n") + qvtest::kSubGroupExample));

  WriteExample(qvtest::kSubGroupExample);
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(dir().c_str(), {"SubA", "SubX"}), 0u);
  EXPECT_EQ(Lines().rfind(Crlf("STARTSUB,SubA\nSTARTSUB,SubX\nENDSUB,SubX\nNODE,RCP0001\n"), 0), 0u);
  EXPECT_EQ(Tree(), "RCP0003,RCP0004,SubA[SubX[],RCP0001,SubB[RCP0002]],SubC[]");
  EXPECT_FALSE(Exists(work()));
}

// A refused edit leaves the file byte for byte as it was and no work file.
TEST_F(EditTest, RefusedEditsLeaveTheFileAsItWas) {
  const std::string group = dir();
  const char* at = group.c_str();
  const uint32_t bad = QVC_ERR_CANNOT_EXECUTE;
  const std::pair<std::function<uint32_t()>, uint32_t> refused[] = {
      {[&] { return CQVERcpUtil::InsertSubGroup(at, {"SubA", "SubB"}); }, bad},  // exists
      {[&] { return CQVERcpUtil::InsertSubGroup(at, {}); }, bad},
      {[&] { return CQVERcpUtil::InsertSubGroup(at, {"SubZ", "SubX"}); }, bad},  // no parent
      {[&] { return CQVERcpUtil::InsertSubGroup(at, {"Bad\nName"}); }, bad},
      {[&] { return CQVERcpUtil::InsertSubGroup(at, {std::string(1100, 'n')}); }, bad},
      {[&] { return CQVERcpUtil::DeleteSubGroup(at, {}); }, bad},
      {[&] { return CQVERcpUtil::RenameSubGroup(at, "SubC", {"SubA"}); }, bad},  // a sibling's name
      {[&] { return CQVERcpUtil::RenameSubGroup(at, "SubA", {"SubA"}); }, bad},
      {[&] { return CQVERcpUtil::RenameSubGroup(at, "a\rb", {"SubA"}); }, bad},
      {[&] { return CQVERcpUtil::RenameSubGroup(at, "SubX", {"SubQ"}); }, QVC_ERR_NOT_FOUND},
      {[&] { return Put("RCP0001", {"SubC"}); }, bad},  // already placed
      {[&] { return Put("RCP0002", {}); }, bad},
      {[&] { return Put("RCP0003", {"SubQ"}); }, QVC_ERR_NOT_FOUND},
      {[&] { return Take("RCP0004"); }, QVC_ERR_NOT_FOUND},
  };
  int row = 0;
  for (const auto& [edit, rc] : refused) EXPECT_EQ(Untouched(edit), rc) << "row " << row++;

  // SubC\SubB is not SubA\SubB.
  WriteExample("STARTSUB,SubA\nSTARTSUB,SubQ\nENDSUB,SubQ\nENDSUB,SubA\nSTARTSUB,SubC\nSTARTSUB,SubB\nENDSUB,SubB\nENDSUB,SubC\n");
  EXPECT_EQ(Untouched([&] { return CQVERcpUtil::InsertSubGroup(at, {"SubA", "SubB", "SubX"}); }), bad);
  EXPECT_EQ(Untouched([&] { return Put("RCP0003", {"SubA", "SubB"}); }), QVC_ERR_NOT_FOUND);

  // Without a file, nothing is created.
  std::remove(file().c_str());
  EXPECT_EQ(Put("RCP0001", {"SubA"}), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(Take("RCP0001"), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(CQVERcpUtil::DeleteSubGroup(at, {"SubA"}), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(CQVERcpUtil::RenameSubGroup(at, "B", {"SubA"}), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_FALSE(Exists(file()));
  EXPECT_FALSE(Exists(work()));
}

TEST_F(EditTest, DeletesNestedAndTopLevelSubGroups) {
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"SubA", "SubB"}), 0u);
  EXPECT_EQ(Tree(), "RCP0003,RCP0004,SubA[RCP0001,RCP0002],SubC[]");

  WriteExample(qvtest::kSubGroupExample);
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"SubA"}), 0u);
  EXPECT_EQ(Lines(), Crlf("STARTSUB,SubC\nENDSUB,SubC\n"));
  EXPECT_EQ(Tree(), "RCP0001,RCP0002,RCP0003,RCP0004,SubC[]");

  WriteExample(std::string(qvtest::kSubGroupExample) + "\n\"broken\n");
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"suba"}), 0u);
  EXPECT_EQ(Lines(), Crlf(qvtest::kSubGroupExample));
}

TEST_F(EditTest, DeleteKeepsWhatFollowsATargetClosedUnderAnotherName) {
  WriteExample("STARTSUB,SubA\nNODE,RCP0001\nENDSUB,Typo\nSTARTSUB,SubC\nNODE,RCP0002\nENDSUB,SubC\n");
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"SubA"}), 0u);
  EXPECT_EQ(Lines(), Crlf("STARTSUB,SubC\nNODE,RCP0002\nENDSUB,SubC\n"));

  WriteExample("STARTSUB,SubA\nNODE,RCP0001\nENDSUB,Typo\nSTARTSUB,SubC\nENDSUB,SubC\n");
  ASSERT_EQ(CQVERcpUtil::RenameSubGroup(dir().c_str(), "SubN", {"SubA"}), 0u);
  EXPECT_EQ(Lines(), Crlf("STARTSUB,SubN\nNODE,RCP0001\nENDSUB,SubN\nSTARTSUB,SubC\nENDSUB,SubC\n"));

  // An "ENDSUB" with nothing open is not counted.
  WriteExample("ENDSUB,X\nSTARTSUB,SubA\nENDSUB,SubA\n");
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"SubA"}), 0u);
  EXPECT_EQ(Lines(), Crlf("ENDSUB,X\n"));
}

TEST_F(EditTest, RenamesOnlyWhereTheParentHasNoSuchName) {
  ASSERT_EQ(CQVERcpUtil::RenameSubGroup(dir().c_str(), "SubC", {"SubA", "SubB"}), 0u);
  EXPECT_EQ(Tree(), "RCP0003,RCP0004,SubA[RCP0001,SubC[RCP0002]],SubC[]");
  ASSERT_EQ(CQVERcpUtil::RenameSubGroup(dir().c_str(), "Top, \"quoted\"", {"SubA"}), 0u);
  EXPECT_EQ(Tree(), "RCP0003,RCP0004,Top, \"quoted\"[RCP0001,SubC[RCP0002]],SubC[]");
}

TEST_F(EditTest, PutsAndTakesRecipes) {
  ASSERT_EQ(Put("RCP0003", {"SubA"}), 0u);
  EXPECT_EQ(Tree(), "RCP0004,SubA[RCP0003,RCP0001,SubB[RCP0002]],SubC[]");
  ASSERT_EQ(Put("RCP0004", {"SubA", "SubB"}), 0u);
  EXPECT_NE(Lines().find(Crlf("STARTSUB,SubB\nNODE,RCP0004\nNODE,RCP0002\n")), std::string::npos);

  WriteExample(std::string(qvtest::kSubGroupExample) + "\nNODE,\"x\n");
  ASSERT_EQ(Take("RCP0002"), 0u);
  EXPECT_EQ(Tree(), "RCP0002,RCP0003,RCP0004,SubA[RCP0001,SubB[]],SubC[]");
}

TEST_F(EditTest, AFailureAtAnyStepLeavesTheOldFileWholeAndNoWorkFile) {
  const std::function<uint32_t()> edits[] = {
      [&] { return CQVERcpUtil::InsertSubGroup(dir().c_str(), {"SubA", "New"}); },
      [&] { return CQVERcpUtil::DeleteSubGroup(dir().c_str(), {"SubA"}); },
      [&] { return CQVERcpUtil::RenameSubGroup(dir().c_str(), "SubN", {"SubC"}); },
      [&] { return Put("RCP0003", {"SubC"}); },
      [&] { return Take("RCP0001"); },
  };
  using qvtest::Step;
  for (Step step : {Step::kCreate, Step::kAppend, Step::kSync, Step::kRename, Step::kRead}) {
    for (const auto& edit : edits) {
      qvtest::FaultEnv env(step);
      qvplatform::ScopedEnv scoped(&env);
      uint32_t rc = Untouched(edit);
      EXPECT_NE(rc, 0u);
      if (step == Step::kCreate) {
        EXPECT_EQ(rc, QVC_ERR_TEXT_FILE_OPEN);
      } else if (step == Step::kAppend) {
        EXPECT_EQ(rc, ERROR_DISK_FULL);
      }
    }
  }
}

}  // namespace
