// Projects and recipe groups: registry entries, attribute files, free
// numbers, in-use checks and failure paths.
#include <random>

#include "FaultEnv.h"
#include "LibQVBRcpEpa.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"

using qvtest::Crlf;
using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

_QVERcpProjectInfo Info(const std::string& path) {
  _QVERcpProjectInfo info{};
  info.strPath = path;
  info.nStatus = 1;
  info.nVersionMode = 0;
  return info;
}

// Holds a file in another process the way an editing station does.
int HoldFile(const std::string& path) {
  HANDLE handle;
  return static_cast<int>(QVEEngCreateFile(path.c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr, &handle, 0));
}

class ProjectTest : public ::testing::Test {
 protected:
  std::string Project() const { return tmp_ / "P1"; }
  std::string AttrFile() const { return Project() + "/Recipe/RcpPJTAttr.txt"; }

  _QVERcpProjectInfo Read(uint32_t* rc) {
    _QVERcpProjectInfo info = Info("");
    info.nVersionMode = 5;
    *rc = CQVERcpUtil::GetProjectInfo("P1", &info);
    return info;
  }

  qvtest::TempDir tmp_;
};

TEST_F(ProjectTest, RegistersDescribesAndListsProjects) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  EXPECT_EQ(ReadFile(AttrFile()),
            Crlf("REVISION,R3.00.00\nSTATUS,C\nCOMMENT,\nPJTHOST,\nREFPJTDIR,\nVERSION,MAN\n"));

  _QVERcpProjectInfo info = Info(Project());
  info.nStatus = 2;
  info.strComment = "a, \"quoted\" comment";
  info.strRevision = "R9";
  info.nVersionMode = 3;
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 1), 0u);
  uint32_t rc;
  _QVERcpProjectInfo back = Read(&rc);
  ASSERT_EQ(rc, 0u);
  EXPECT_EQ(back.strPath, Project());
  EXPECT_EQ(back.nStatus, 2);
  EXPECT_EQ(back.strComment, info.strComment);
  EXPECT_EQ(back.strRevision, "R3.00.00");
  EXPECT_EQ(back.nVersionMode, 1);

  for (int i = 0; i < 24; ++i) {
    ASSERT_EQ(CQVERcpUtil::SetProjectInfo(("Q" + std::to_string(100 + i)).c_str(), &info, 0), 0u);
  }
  CStringArray names{"stale"};
  ASSERT_EQ(CQVERcpUtil::GetProjectList(names), 0u);
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names[0], "P1");
  EXPECT_EQ(names[19], "Q118");

  ASSERT_EQ(CQVERcpUtil::DeleteProjectInfo("p1"), 0u);
  back = Read(&rc);
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(back.strPath, "");
  EXPECT_EQ(back.nVersionMode, 5);
  EXPECT_EQ(CQVERcpUtil::SetProjectInfo("A\\B", &info, 0), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(CQVERcpUtil::SetProjectInfo("", &info, 0), QVC_ERR_CANNOT_EXECUTE);
}

TEST_F(ProjectTest, ReadsAttributeLinesByTheKeywordRules) {
  _QVERcpProjectInfo info = Info(Project());
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 0), 0u);
  const struct {
    const char* file;
    int status;
    int version;
    const char* comment;
  } cases[] = {
      {"STATUS,U\nVERSION,AUT\nCOMMENT,one\n", 2, 1, "one"},
      {"STATUS,c\nVERSION,aut\nCOMMENT\n", 2, 0, ""},
      {"STATUS,\nVERSION,MAN\nCOMMENT,a,b\n", 2, 0, "a"},
      {"STATUS,C\n\n\"broken\nCOMMENT,first\nCOMMENT,second\nstatus,U\n", 1, 5, "second"},
      {"VERSION\n", 1, 0, ""},
  };
  for (const auto& c : cases) {
    WriteFile(AttrFile(), Crlf(c.file));
    uint32_t rc;
    _QVERcpProjectInfo back = Read(&rc);
    ASSERT_EQ(rc, 0u) << c.file;
    EXPECT_EQ(back.nStatus, c.status) << c.file;
    EXPECT_EQ(back.nVersionMode, c.version) << c.file;
    EXPECT_EQ(back.strComment, c.comment) << c.file;
  }

  std::mt19937 random(3);
  std::string garbage;
  for (int i = 0; i < 50000; ++i) garbage += static_cast<char>(random());
  WriteFile(AttrFile(), garbage);
  uint32_t rc;
  Read(&rc);
  EXPECT_EQ(rc, 0u);

  qvtest::ErrorCapture errors;
  std::remove(AttrFile().c_str());
  _QVERcpProjectInfo missing = Read(&rc);
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing.strPath, Project());
  EXPECT_EQ(errors.Count(ERROR_FILE_NOT_FOUND, "catnot open RcpPjtAttr.txt"), 1u);
}

TEST_F(ProjectTest, AFailedWriteLeavesFileAndRegistryAsTheyWere) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  _QVERcpProjectInfo info = Info(Project());
  info.strComment = "kept";
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 1), 0u);
  std::string before = ReadFile(AttrFile());

  _QVERcpProjectInfo moved = Info(tmp_ / "elsewhere");
  moved.strPath = Project();
  moved.nStatus = 0;
  EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &moved, 1), QVC_ERR_CANNOT_EXECUTE);
  moved.nStatus = 1;
  moved.strComment = "changed";
  {
    qvtest::FaultEnv full(qvtest::Step::kAppend);
    qvplatform::ScopedEnv scoped(&full);
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &moved, 1), static_cast<uint32_t>(ERROR_DISK_FULL));
  }
  {
    qvtest::FaultEnv readOnly(qvtest::Step::kCreate);
    qvplatform::ScopedEnv scoped(&readOnly);
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &moved, 1), QVC_ERR_TEXT_FILE_OPEN);
    EXPECT_EQ(CQVERcpUtil::CreateProject("P2", tmp_.path().c_str()), QVC_ERR_TEXT_FILE_OPEN);
  }
  EXPECT_EQ(ReadFile(AttrFile()), before);
  EXPECT_FALSE(Exists(AttrFile() + ".new"));
  uint32_t rc;
  EXPECT_EQ(Read(&rc).strComment, "kept");
}

TEST_F(ProjectTest, DeleteRemovesTheStoreAndKeepsOtherFiles) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  qvtest::MakeDirs(Project() + "/Recipe/RG01/RCP0001/TEMP");
  WriteFile(Project() + "/ETC/RcpFda.l", "x");
  WriteFile(Project() + "/Other/keep.txt", "x");
  {
    qvtest::ChildProcess holder([&] { return HoldFile(Project() + "/Recipe/RG01/RCP0001/RcpLock.txt"); });
    ASSERT_EQ(holder.started(), 0);
    EXPECT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists(Project() + "/Recipe/RG01/RCP0001/TEMP"));
  }
  ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
  EXPECT_FALSE(Exists(Project() + "/Recipe"));
  EXPECT_FALSE(Exists(Project() + "/ETC/RcpFda.l"));
  EXPECT_TRUE(Exists(Project() + "/Other/keep.txt"));

  std::remove((Project() + "/Other/keep.txt").c_str());
  qvtest::MakeDirs(Project() + "/Recipe");
  ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
  EXPECT_FALSE(Exists(Project()));
}

class GroupTest : public ::testing::Test {
 protected:
  std::string Project() const { return tmp_ / "P1"; }
  std::string Group(const char* name) const { return Project() + "/Recipe/" + name; }
  qvtest::TempDir tmp_;
};

TEST_F(GroupTest, FreeNumbersComeFromTheGroupDirectories) {
  int32_t table[QVERCP_GROUP_TABLE + 1];
  table[QVERCP_GROUP_TABLE] = 42;
  ASSERT_EQ(CQVERcpUtil::FindFreeRcpGroupNo(Project().c_str(), table), 0u);
  for (int i = 0; i < QVERCP_GROUP_TABLE; ++i) EXPECT_EQ(table[i], 1);
  for (const char* name : {"RG01", "rg03", "RG16", "RG00", "RG17", "RG99", "RG-1", "RCP0001"}) {
    qvtest::MakeDirs(Group(name));
  }
  ASSERT_EQ(CQVERcpUtil::FindFreeRcpGroupNo(Project().c_str(), table), 0u);
  for (int i = 0; i < QVERCP_GROUP_TABLE; ++i) EXPECT_EQ(table[i], i == 0 || i == 2 || i == 15 ? 0 : 1) << i;
  EXPECT_EQ(table[QVERCP_GROUP_TABLE], 42);
}

TEST_F(GroupTest, CreatesChecksDescribesAndChangesGroups) {
  qvtest::MakeDirs(Project() + "/Recipe");
  qvtest::ErrorCapture errors;
  EXPECT_EQ(CQVERcpUtil::CheckRcpGroupDuplicate(Project().c_str(), 5), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 5), 0u);
  EXPECT_EQ(ReadFile(Group("RG05") + "/RcpGrAttr.txt"), "COMMENT\r\nSERVER\r\nSERVER\r\n");
  EXPECT_EQ(errors.records().size(), 0u);
  EXPECT_EQ(CQVERcpUtil::CheckRcpGroupDuplicate(Project().c_str(), 5), QVC_ERR_EXISTS);
  EXPECT_EQ(errors.Count(QVC_ERR_EXISTS, "CheckRcpDuplicate()"), 1u);

  _QVERcpGroupInfo info{"Line 1", {"S1"}};
  ASSERT_EQ(CQVERcpUtil::SetRecipeGroupInfo(Group("RG05").c_str(), &info), 0u);
  EXPECT_EQ(ReadFile(Group("RG05") + "/RcpGrAttr.txt"), "COMMENT,Line 1\r\nSERVER,S1\r\nSERVER\r\n");
  EXPECT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 5), QVC_ERR_EXISTS);
  _QVERcpGroupInfo back;
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(Group("RG05").c_str(), &back), 0u);
  EXPECT_EQ(back.strComment, "Line 1");
  EXPECT_EQ(back.astrServer, (CStringArray{"S1"}));

  WriteFile(Group("RG05") + "/RcpGrAttr.txt", "SERVER\nSERVER,B\n");
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(Group("RG05").c_str(), &back), 0u);
  EXPECT_EQ(back.astrServer, (CStringArray{"B"}));
  WriteFile(Group("RG05") + "/RcpGrAttr.txt", "SERVER,X\nSERVER,Y\nSERVER,Z\n");
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(Group("RG05").c_str(), &back), 0u);
  EXPECT_EQ(back.astrServer, (CStringArray{"X", "Z"}));

  std::remove((Group("RG05") + "/RcpGrAttr.txt").c_str());
  _QVERcpGroupInfo untouched{"c", {"s"}};
  EXPECT_EQ(CQVERcpUtil::GetRecipeGroupInfo(Group("RG05").c_str(), &untouched), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(untouched.strComment, "c");
  EXPECT_EQ(untouched.astrServer, (CStringArray{"s"}));
}

TEST_F(GroupTest, AFailedChangeKeepsTheOldFileAndAHeldGroupStays) {
  qvtest::MakeDirs(Project() + "/Recipe");
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 1), 0u);
  _QVERcpGroupInfo info{"old", {"A", "B"}};
  ASSERT_EQ(CQVERcpUtil::SetRecipeGroupInfo(Group("RG01").c_str(), &info), 0u);
  std::string before = ReadFile(Group("RG01") + "/RcpGrAttr.txt");
  for (qvtest::Step step : {qvtest::Step::kCreate, qvtest::Step::kAppend, qvtest::Step::kSync, qvtest::Step::kRename}) {
    qvtest::FaultEnv env(step);
    qvplatform::ScopedEnv scoped(&env);
    _QVERcpGroupInfo changed{"new", {}};
    EXPECT_NE(CQVERcpUtil::SetRecipeGroupInfo(Group("RG01").c_str(), &changed), 0u);
  }
  EXPECT_EQ(ReadFile(Group("RG01") + "/RcpGrAttr.txt"), before);

  qvtest::MakeDirs(Group("RG01") + "/RCP0001");
  {
    qvtest::ChildProcess holder([&] { return HoldFile(Group("RG01") + "/RCP0001/RcpLock.txt"); });
    ASSERT_EQ(holder.started(), 0);
    EXPECT_EQ(CQVERcpUtil::DeleteRecipeGroup(Group("RG01").c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadFile(Group("RG01") + "/RcpGrAttr.txt"), before);
  }
  ASSERT_EQ(CQVERcpUtil::DeleteRecipeGroup(Group("RG01").c_str()), 0u);
  EXPECT_FALSE(Exists(Group("RG01")));
}

}  // namespace
