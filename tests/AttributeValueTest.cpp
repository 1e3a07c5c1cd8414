// Attribute values that could not be read back as they were written are
// refused before the attribute file is touched; values at the limit read
// back whole.
#include "LibQVBRcpEpa.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"

using qvtest::ReadFile;

namespace {

class AttributeValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CQVERcpUtil::CreateProject("P", tmp_.path().c_str()), 0u);
    ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 1), 0u);
  }
  std::string Project() const { return tmp_ / "P"; }
  std::string Group() const { return Project() + "/Recipe/RG01"; }
  std::string ProjectFile() const { return Project() + "/Recipe/RcpPJTAttr.txt"; }
  std::string GroupFile() const { return Group() + "/RcpGrAttr.txt"; }

  _QVERcpProjectInfo ProjectInfo(const std::string& comment) const { return qvtest::ProjectInfo(Project(), comment); }

  qvtest::TempDir tmp_;
};

// The longest comment whose line "COMMENT,<comment>" the line buffer reads whole.
const size_t kLongestComment = 1022 - std::string("COMMENT,").size();

TEST_F(AttributeValueTest, AProjectValueThatWouldNotReadBackIsRefusedAndNothingChanges) {
  _QVERcpProjectInfo info = ProjectInfo("first");
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), 0u);
  const std::string before = ReadFile(ProjectFile());
  // Quotes are doubled and the value quoted: its line grows by four bytes.
  const std::string quoted = "\"q\", " + std::string(kLongestComment - 4 - 5, 'l');
  for (const std::string& comment : {std::string("x\nSTATUS,U"), std::string("x\r"), std::string("a\0b", 3),
                                     std::string(kLongestComment + 1, 'c'), quoted + "l", std::string(5000, 'c')}) {
    info = ProjectInfo(comment);
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), QVC_ERR_CANNOT_EXECUTE) << comment.size();
    EXPECT_EQ(ReadFile(ProjectFile()), before);
    EXPECT_FALSE(qvtest::Exists(ProjectFile() + ".new"));
  }
  _QVERcpProjectInfo back{};
  ASSERT_EQ(CQVERcpUtil::GetProjectInfo("P", &back), 0u);
  EXPECT_EQ(back.nStatus, 1);
  EXPECT_EQ(back.strComment, "first");

  for (const std::string& comment : {std::string(kLongestComment, 'c'), quoted}) {
    info = ProjectInfo(comment);
    ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), 0u);
    ASSERT_EQ(CQVERcpUtil::GetProjectInfo("P", &back), 0u);
    EXPECT_EQ(back.strComment, comment);
  }
}

TEST_F(AttributeValueTest, AGroupValueThatWouldNotReadBackIsRefusedAndTheServersStay) {
  _QVERcpGroupInfo info;
  info.strComment = "c";
  info.astrServer = {"s1", "s2"};
  ASSERT_EQ(CQVERcpUtil::SetRecipeGroupInfo(Group().c_str(), &info), 0u);
  const std::string before = ReadFile(GroupFile());

  _QVERcpGroupInfo hostile = info;
  hostile.strComment = "a\nSERVER,z";
  EXPECT_EQ(CQVERcpUtil::SetRecipeGroupInfo(Group().c_str(), &hostile), QVC_ERR_CANNOT_EXECUTE);
  hostile = info;
  hostile.astrServer[1] = std::string(1020, 's');
  EXPECT_EQ(CQVERcpUtil::SetRecipeGroupInfo(Group().c_str(), &hostile), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(ReadFile(GroupFile()), before);

  _QVERcpGroupInfo back;
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(Group().c_str(), &back), 0u);
  EXPECT_EQ(back.strComment, "c");
  EXPECT_EQ(back.astrServer, (CStringArray{"s1", "s2"}));
}

}  // namespace
