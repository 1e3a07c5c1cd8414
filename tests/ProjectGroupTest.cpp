// Projects and recipe groups: registry entries, attribute files, free
// numbers, in-use checks and the codes of failures.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "FaultEnv.h"
#include "LibQVBRcpEpa.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "libqvecommon/QVEEngFile.h"

using qvtest::Crlf;
using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

using qvtest::HoldFile;
using qvtest::ProjectInfo;

// The names in a directory, hidden ones included (but not the test's station).
std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != ".." && name != ".station") names.insert(name);
  }
  closedir(d);
  return names;
}

class ProjectTest : public ::testing::Test {
 protected:
  std::string Project() const { return tmp_ / "P1"; }
  std::string AttrFile() const { return Project() + "/Recipe/RcpPJTAttr.txt"; }

  _QVERcpProjectInfo Read(uint32_t* rc) {
    _QVERcpProjectInfo info = ProjectInfo("");
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

  _QVERcpProjectInfo info = ProjectInfo(Project());
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
}

TEST_F(ProjectTest, ReadsAttributeLinesByTheKeywordRules) {
  _QVERcpProjectInfo info = ProjectInfo(Project());
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

  uint32_t rc;
  qvtest::ErrorCapture errors;
  std::remove(AttrFile().c_str());
  _QVERcpProjectInfo missing = Read(&rc);
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing.strPath, Project());
  EXPECT_EQ(errors.Count(ERROR_FILE_NOT_FOUND, "catnot open RcpPjtAttr.txt"), 1u);
}

// Whether a failed write leaves the store as it was is the fault-injection
// harness's; here, the code each cause gives.
TEST_F(ProjectTest, AFailedWriteSaysWhy) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  _QVERcpProjectInfo info = ProjectInfo(Project());
  info.nStatus = 0;
  EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 1), QVC_ERR_CANNOT_EXECUTE);
  info.nStatus = 1;
  {
    qvtest::FaultEnv full(qvtest::Step::kAppend);
    qvplatform::ScopedEnv scoped(&full);
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 1), static_cast<uint32_t>(ERROR_DISK_FULL));
  }
  qvtest::FaultEnv readOnly(qvtest::Step::kCreate);
  qvplatform::ScopedEnv scoped(&readOnly);
  EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 1), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(CQVERcpUtil::CreateProject("P2", tmp_.path().c_str()), QVC_ERR_TEXT_FILE_OPEN);
}

TEST_F(ProjectTest, DeleteRemovesTheStoreAndKeepsOtherFiles) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  qvtest::MakeDirs(Project() + "/Recipe/RG01/RCP0001/TEMP");
  WriteFile(Project() + "/ETC/RcpFda.l", "x");
  WriteFile(Project() + "/Other/keep.txt", "x");
  ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
  EXPECT_FALSE(Exists(Project() + "/Recipe"));
  EXPECT_FALSE(Exists(Project() + "/ETC/RcpFda.l"));
  EXPECT_TRUE(Exists(Project() + "/Other/keep.txt"));

  // An empty directory, a link or a FIFO of the engineering project keeps
  // the directory too; only the store's own leaves it to go.
  std::filesystem::remove_all(Project() + "/Other");
  const std::vector<std::function<void()>> others = {
      [&] { qvtest::MakeDirs(Project() + "/Drawings"); },
      [&] { ASSERT_EQ(symlink("/nowhere", (Project() + "/link").c_str()), 0); },
      [&] { ASSERT_EQ(mkfifo((Project() + "/fifo").c_str(), 0600), 0); },
  };
  for (const auto& plant : others) {
    plant();
    qvtest::MakeDirs(Project() + "/Recipe");
    ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
    ASSERT_TRUE(Exists(Project()));
    for (const char* name : {"Drawings", "link", "fifo"}) std::filesystem::remove(Project() + "/" + name);
  }
  qvtest::MakeDirs(Project() + "/Recipe");
  ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
  EXPECT_FALSE(Exists(Project()));
}

TEST_F(ProjectTest, NamesAreCheckedWhereTheyEnterAndABadKeyDoesNotHideTheOthers) {
  std::string parent = tmp_ / "parent";
  _QVERcpProjectInfo info = ProjectInfo(Project());
  for (const std::string& bad : {std::string(""), std::string("."), std::string(".."), std::string("a/b"),
                                 std::string("../x"), std::string("a\\b"), std::string(65, 'n'), std::string("x\ny"),
                                 std::string("tab\t"), std::string("\x7f"), std::string(".hidden")}) {
    EXPECT_EQ(CQVERcpUtil::CreateProject(bad.c_str(), parent.c_str()), QVC_ERR_CANNOT_EXECUTE) << bad;
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo(bad.c_str(), &info, 0), QVC_ERR_CANNOT_EXECUTE) << bad;
  }
  EXPECT_TRUE(Entries(tmp_.path()).empty());
  // A link in place of the project or its Recipe directory is not followed.
  qvtest::MakeDirs(tmp_ / "outside");
  qvtest::MakeDirs(parent + "/Linked");
  ASSERT_EQ(symlink((tmp_ / "outside").c_str(), (parent + "/L").c_str()), 0);
  ASSERT_EQ(symlink((tmp_ / "outside").c_str(), (parent + "/Linked/Recipe").c_str()), 0);
  EXPECT_EQ(CQVERcpUtil::CreateProject("L", parent.c_str()), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(CQVERcpUtil::CreateProject("Linked", parent.c_str()), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Entries(tmp_ / "outside").empty());
  std::string longest(64, 'n');
  ASSERT_EQ(CQVERcpUtil::CreateProject(longest.c_str(), parent.c_str()), 0u);
  EXPECT_TRUE(Exists(parent + "/" + longest + "/Recipe/RcpPJTAttr.txt"));
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo(longest.c_str(), &info, 0), 0u);

  // A key that no project name can be, put into the registry by other means.
  std::string huge = "Batch\\Project List\\" + std::string(5000, 'k') + "\\";
  ASSERT_EQ(QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, huge.c_str(), "Path", "x", 1), 0u);
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 0), 0u);
  CStringArray names;
  ASSERT_EQ(CQVERcpUtil::GetProjectList(names), 0u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{longest, "P1"}));
}

TEST_F(ProjectTest, CreateBuildsOutOfSightAndDeleteFinishesWhatAKilledOneLeft) {
  WriteFile(Project() + "/Other/keep.txt", "x");
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  EXPECT_EQ(Entries(Project()), (std::set<std::string>{"Other", "Recipe"}));
  EXPECT_EQ(Entries(Project() + "/Recipe"), (std::set<std::string>{"RcpPJTAttr.txt"}));
  ASSERT_EQ(CQVERcpUtil::CreateProject("P2", tmp_.path().c_str()), 0u);
  EXPECT_EQ(Entries(tmp_.path()), (std::set<std::string>{"P1", "P2"}));

  // A delete killed after the store went: the re-run removes the rest.
  ASSERT_EQ(std::rename((tmp_ / "P2/Recipe").c_str(), (tmp_ / "P2/.Recipe.trash-1-a").c_str()), 0);
  WriteFile(tmp_ / "P2/ETC/RcpFda.l", "x");
  ASSERT_EQ(CQVERcpUtil::DeleteProject((tmp_ / "P2").c_str()), 0u);
  EXPECT_FALSE(Exists(tmp_ / "P2"));
  EXPECT_EQ(CQVERcpUtil::DeleteProject((tmp_ / "P2").c_str()), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));

  // A delete killed inside the in-use check: clean-temp moves Recipe back,
  // and so does the re-run, which then deletes it.
  _QVERcpProjectInfo info = ProjectInfo(Project());
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 0), 0u);
  ASSERT_EQ(std::rename((Project() + "/Recipe").c_str(), (Project() + "/Recipe1765000000").c_str()), 0);
  EXPECT_EQ(CQVERcpUtil::DeleteTempFile("P1"), 0u);
  EXPECT_EQ(Entries(Project()), (std::set<std::string>{"Other", "Recipe"}));
  ASSERT_EQ(std::rename((Project() + "/Recipe").c_str(), (Project() + "/Recipe1765000000").c_str()), 0);
  ASSERT_EQ(CQVERcpUtil::DeleteProject(Project().c_str()), 0u);
  EXPECT_EQ(Entries(Project()), (std::set<std::string>{"Other"}));
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

// A lock file that another station holds below what a delete would remove
// keeps the delete out, whatever it deletes; once let go, each delete runs.
TEST_F(GroupTest, AHeldLockFileBelowKeepsEveryDeleteOut) {
  ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 1), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", Group("RG01").c_str(), 1, nullptr), 0u);
  const std::string recipe = Group("RG01") + "/RCP0001";
  const std::string attr = ReadFile(Group("RG01") + "/RcpGrAttr.txt");
  const std::pair<std::string, std::function<uint32_t()>> deletes[] = {
      {"recipe", [&] { return CQVERcpUtil::DeleteRecipe(recipe.c_str()); }},
      {"group", [&] { return CQVERcpUtil::DeleteRecipeGroup(Group("RG01").c_str()); }},
      {"project", [&] { return CQVERcpUtil::DeleteProject(Project().c_str()); }},
  };
  {
    qvtest::ChildProcess holder([&] { return HoldFile(recipe + "/RcpLock.txt"); });
    ASSERT_EQ(holder.started(), 0);
    for (const auto& [what, remove] : deletes) {
      EXPECT_EQ(remove(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION)) << what;
      EXPECT_TRUE(Exists(recipe + "/RcpHead.edf")) << what;
      EXPECT_EQ(ReadFile(Group("RG01") + "/RcpGrAttr.txt"), attr) << what;
    }
  }
  for (const auto& [what, remove] : deletes) EXPECT_EQ(remove(), 0u) << what;
  EXPECT_FALSE(Exists(Project()));
}

TEST_F(GroupTest, LeftoversAreRemovedOrMovedBackButNothingLiveOrOutsideIsTouched) {
  std::string recipe = Project() + "/Recipe";
  WriteFile(recipe + "/RG011765000000/RcpGrAttr.txt", "COMMENT,moved aside\n");
  WriteFile(recipe + "/RG03/RcpGrAttr.txt", "COMMENT,three\n");
  WriteFile(recipe + "/RG031765000001/RcpGrAttr.txt", "COMMENT,older three\n");
  WriteFile(recipe + "/.RG04.trash-12-ab/RCP0001/RcpHead.edf", "x");
  WriteFile(recipe + "/.RG05.new-12-ab/RcpGrAttr.txt", "x");
  WriteFile(recipe + "/.RG05.new-12-ab.hold", "");
  WriteFile(recipe + "/.RG06.new-13-cd/RcpGrAttr.txt", "x");
  WriteFile(recipe + "/.RG08.new-14-ef.hold", "");
  WriteFile(recipe + "/RcpPJTAttr.txt.new", "stale");
  WriteFile(tmp_ / "outside/sentinel", "keep");
  ASSERT_EQ(symlink((tmp_ / "outside").c_str(), (recipe + "/.RG07.trash-1-2").c_str()), 0);

  // Scans show none of it and record nothing for it.
  qvtest::ErrorCapture errors;
  CQVERcpDirInfo project;
  project.m_nKind = QVERCP_KIND_PROJECT;
  project.m_strParentPath = tmp_.path();
  project.m_strName = "P1";
  CQVERcpUtil::GetDirectoryList(&project, 1, 0);
  EXPECT_EQ(qvtest::Shape(project), "RG03[]");
  EXPECT_TRUE(errors.records().empty());

  qvtest::ChildProcess builder([&] { return HoldFile(recipe + "/.RG06.new-13-cd.hold"); });
  ASSERT_EQ(builder.started(), 0);
  int32_t table[QVERCP_GROUP_TABLE];
  ASSERT_EQ(CQVERcpUtil::FindFreeRcpGroupNo(Project().c_str(), table), 0u);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[2], 0);
  EXPECT_EQ(Entries(recipe),
            (std::set<std::string>{"RG01", "RG03", "RG031765000001", ".RG06.new-13-cd", ".RG06.new-13-cd.hold",
                                   ".RG07.trash-1-2"}));
  EXPECT_EQ(ReadFile(recipe + "/RG01/RcpGrAttr.txt"), "COMMENT,moved aside\n");
  EXPECT_EQ(ReadFile(tmp_ / "outside/sentinel"), "keep");
  builder.Kill();
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(Project().c_str(), 6), 0u);
  EXPECT_EQ(Entries(recipe + "/RG06"), (std::set<std::string>{"RcpGrAttr.txt"}));
  EXPECT_EQ(Entries(recipe).size(), 5u);
}

}  // namespace
