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

// Each edit from a file as it stands (empty: no file): the file it leaves,
// as LF lines, or the tree a scan then reads.
TEST_F(EditTest, EachEditLeavesTheLinesAndTheTreeItShould) {
  const std::string group = dir();
  const char* at = group.c_str();
  const std::string example = qvtest::kSubGroupExample;
  struct Row {
    std::string file;
    std::function<uint32_t()> edit;
    std::string lines;
    std::string tree;
  };
  const Row rows[] = {
      {"", [&] { return CQVERcpUtil::InsertSubGroup(at, {"SubA"}); }, "STARTSUB,SubA\nENDSUB,SubA\n", ""},
      {example, [&] { return CQVERcpUtil::InsertSubGroup(at, {"SubD"}); }, "STARTSUB,SubD\nENDSUB,SubD\n" + example, ""},
      {example, [&] { return CQVERcpUtil::InsertSubGroup(at, {"SubA", "SubX"}); },
       "STARTSUB,SubA\nSTARTSUB,SubX\nENDSUB,SubX\nNODE,RCP0001\n" + example.substr(27), ""},
      {example, [&] { return CQVERcpUtil::DeleteSubGroup(at, {"SubA", "SubB"}); }, "",
       "RCP0003,RCP0004,SubA[RCP0001,RCP0002],SubC[]"},
      {example, [&] { return CQVERcpUtil::DeleteSubGroup(at, {"SubA"}); }, "STARTSUB,SubC\nENDSUB,SubC\n", ""},
      // Lines that do not parse go; a name matches with its case only.
      {example + "\n\"broken\n", [&] { return CQVERcpUtil::DeleteSubGroup(at, {"suba"}); }, example, ""},
      // What follows a sub-group closed under another name is kept; so is an
      // "ENDSUB" with nothing open.
      {"STARTSUB,SubA\nNODE,RCP0001\nENDSUB,Typo\nSTARTSUB,SubC\nNODE,RCP0002\nENDSUB,SubC\n",
       [&] { return CQVERcpUtil::DeleteSubGroup(at, {"SubA"}); }, "STARTSUB,SubC\nNODE,RCP0002\nENDSUB,SubC\n", ""},
      {"STARTSUB,SubA\nNODE,RCP0001\nENDSUB,Typo\nSTARTSUB,SubC\nENDSUB,SubC\n",
       [&] { return CQVERcpUtil::RenameSubGroup(at, "SubN", {"SubA"}); },
       "STARTSUB,SubN\nNODE,RCP0001\nENDSUB,SubN\nSTARTSUB,SubC\nENDSUB,SubC\n", ""},
      {"ENDSUB,X\nSTARTSUB,SubA\nENDSUB,SubA\n", [&] { return CQVERcpUtil::DeleteSubGroup(at, {"SubA"}); },
       "ENDSUB,X\n", ""},
      // A name free under its parent may be taken elsewhere; any text is quoted.
      {example, [&] { return CQVERcpUtil::RenameSubGroup(at, "SubC", {"SubA", "SubB"}); }, "",
       "RCP0003,RCP0004,SubA[RCP0001,SubC[RCP0002]],SubC[]"},
      {example, [&] { return CQVERcpUtil::RenameSubGroup(at, "Top, \"quoted\"", {"SubA"}); }, "",
       "RCP0003,RCP0004,Top, \"quoted\"[RCP0001,SubB[RCP0002]],SubC[]"},
      {example, [&] { return Put("RCP0003", {"SubA"}); }, "", "RCP0004,SubA[RCP0003,RCP0001,SubB[RCP0002]],SubC[]"},
      {example, [&] { return Put("RCP0004", {"SubA", "SubB"}); },
       "STARTSUB,SubA\nNODE,RCP0001\nSTARTSUB,SubB\nNODE,RCP0004\nNODE,RCP0002\nENDSUB,SubB\nENDSUB,SubA\n"
       "STARTSUB,SubC\nENDSUB,SubC\n", ""},
      {example + "\nNODE,\"x\n", [&] { return Take("RCP0002"); }, "",
       "RCP0002,RCP0003,RCP0004,SubA[RCP0001,SubB[]],SubC[]"},
  };
  int row = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE("row " + std::to_string(row++));
    if (r.file.empty()) {
      std::remove(file().c_str());
    } else {
      WriteExample(r.file);
    }
    ASSERT_EQ(r.edit(), 0u);
    EXPECT_TRUE(r.lines.empty() || Lines() == Crlf(r.lines)) << Lines();
    EXPECT_TRUE(r.tree.empty() || Tree() == r.tree) << Tree();
    EXPECT_FALSE(Exists(work()));
  }
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
