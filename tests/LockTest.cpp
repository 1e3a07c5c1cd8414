// Project and recipe locks between real processes, their state machine,
// reports and events; and the work-directory clean-up.
#include <fcntl.h>
#include <unistd.h>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCEvent.h"
#include "LibQVCCommon/QVCMessage.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "platform/FileApi.h"
#include "platform/Host.h"
#include "platform/Registry.h"
#include "platform/ShareMode.h"

using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CQVERcpUtil::CreateProject("P1", tmp_.path().c_str()), 0u);
    _QVERcpProjectInfo info = qvtest::ProjectInfo(project());
    ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P1", &info, 0), 0u);
    qvtest::MakeDirs(recipe());
    previousEvents_ = QVCSetEventObserver([this](const QVCEventRecord& r) { trail_.push_back("event:" + r.text); });
    previousBuffer_ = QVEEngSetMsgBufObserver([this](const std::string& line) { trail_.push_back("buffer:" + line); });
    previousBox_ = QVCSetMessageBoxHandler([this](const std::string& text, unsigned type) {
      trail_.push_back("box" + std::to_string(type) + ":" + text);
      return IDOK;
    });
  }
  void TearDown() override {
    QVCSetEventObserver(previousEvents_);
    QVEEngSetMsgBufObserver(previousBuffer_);
    QVCSetMessageBoxHandler(previousBox_);
  }

  std::string project() const { return tmp_ / "P1"; }
  std::string recipe() const { return tmp_ / "P1/Recipe/RG01/RCP0001"; }
  // What this process writes as the holder of a lock taken under label.
  std::string OwnText(const std::string& label) const {
    uint32_t pid;
    uint16_t holder;
    QVCGetInitLogInfo(&pid, &holder);
    return qvplatform::ComputerName() + "\n" + std::to_string(holder) + "\nUSER," + qvplatform::CallerUserName() +
           "\nPROCESS," + std::to_string(getpid()) + "\nNAME," + label;
  }

  qvtest::TempDir tmp_;
  std::vector<std::string> trail_;
  QVCEventObserver previousEvents_;
  QVEEngMsgBufObserver previousBuffer_;
  QVCMessageBoxHandler previousBox_;
};

TEST_F(LockTest, AnotherStationIsRefusedAndLearnsTheHolder) {
  qvtest::ChildProcess station = qvtest::HoldLock("", project());
  ASSERT_EQ(station.started(), 0);
  std::string holderText = ReadFile(project() + "/RcpPjtLock.txt");
  EXPECT_EQ(holderText.substr(0, holderText.find('\n')), qvplatform::ComputerName());

  CQVERcpLock lock;
  CString message;
  CString holder = "stale";
  EXPECT_EQ(lock.LockProject("P1", 3, &message, &holder), QVERCP_ERR_LOCKED);
  EXPECT_EQ(holder, qvplatform::ComputerName());
  EXPECT_NE(message.find("P1"), CString::npos);
  EXPECT_NE(message.find(qvplatform::ComputerName()), CString::npos);
  ASSERT_EQ(trail_.size(), 2u);
  EXPECT_EQ(trail_[0], "buffer:ERR:" + message);
  EXPECT_EQ(trail_[1], "box48:" + message);
  EXPECT_EQ(lock.m_hLockFile, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFile(project() + "/RcpPjtLock.txt"), holderText);

  // A holder that dies releases at once; the next one rewrites the text.
  station.Kill();
  trail_.clear();
  ASSERT_EQ(lock.LockProject("P1", 3, &message, &holder), 0u);
  EXPECT_EQ(holder, "");
  EXPECT_EQ(ReadFile(project() + "/RcpPjtLock.txt"), OwnText("P1"));
  EXPECT_EQ(trail_, (std::vector<std::string>{"event:Lock Project(P1)"}));
  ASSERT_EQ(lock.Unlock(), 0u);
  EXPECT_EQ(ReadFile(project() + "/RcpPjtLock.txt"), "");
  EXPECT_EQ(trail_.back(), "event:Unlock Project(P1)");
}

TEST_F(LockTest, StateMachineOfOneObjectAndExclusionBetweenTwo) {
  qvtest::ErrorCapture errors;
  CQVERcpLock first;
  CString message;
  CString holder = "untouched";
  EXPECT_EQ(first.Unlock(), QVERCP_ERR_NOT_LOCKED);
  ASSERT_EQ(first.LockRecipe("R1", 0, 0, recipe().c_str(), 0, &message, &holder), 0u);
  holder = "untouched";
  EXPECT_EQ(first.LockProject("P1", 3, &message, &holder), QVERCP_ERR_ALREADY_LOCKED);
  EXPECT_EQ(message, "Already Locked");
  EXPECT_EQ(holder, "untouched");
  EXPECT_EQ(errors.Count(QVERCP_ERR_ALREADY_LOCKED, "CQVERcpLock::LockProject"), 1u);

  {
    CQVERcpLock second;
    EXPECT_EQ(second.LockRecipe("R1", 0, 0, recipe().c_str(), 0, nullptr, &holder), QVERCP_ERR_LOCKED);
    EXPECT_EQ(holder, qvplatform::ComputerName());
    ASSERT_EQ(second.LockProject("P1", 0, nullptr, nullptr), 0u);
  }  // destroyed while locked: released, and the unlock is in the trail
  EXPECT_EQ(trail_, (std::vector<std::string>{"event:Lock RCP(R1, )", "event:Lock Project(P1)",
                                               "event:Unlock Project(P1)"}));
  CQVERcpLock third;
  EXPECT_EQ(third.LockProject("P1", 0, nullptr, nullptr), 0u);
  // By directory the same lock file is taken, registered or not.
  CQVERcpLock byDirectory;
  EXPECT_EQ(byDirectory.LockProjectDirectory("Dir", project().c_str(), 0, nullptr, nullptr), QVERCP_ERR_LOCKED);
  ASSERT_EQ(third.Unlock(), 0u);
  ASSERT_EQ(byDirectory.LockProjectDirectory("Dir", project().c_str(), 0, nullptr, nullptr), 0u);
  EXPECT_EQ(byDirectory.m_strLockFile, project() + "/RcpPjtLock.txt");
  ASSERT_EQ(first.Unlock(), 0u);
  EXPECT_EQ(trail_.back(), "event:Unlock RCP(, " + recipe() + ")");
  EXPECT_EQ(first.m_strLockFile, recipe() + "/RcpLock.txt");
  EXPECT_EQ(first.m_nLockKind, 0);
  EXPECT_EQ(errors.Count(QVERCP_ERR_NOT_LOCKED, "__UnlockFile"), 1u);
  EXPECT_EQ(first.LockRecipe(nullptr, 0, 0, recipe().c_str(), 0, nullptr, nullptr), QVC_ERR_CANNOT_EXECUTE);
}

// The in-use checks count every hold but the ones the caller adopted as its
// own, and only a descriptor that is the lock file and holds it is adopted.
TEST_F(LockTest, AnAdoptedHoldIsNotAnothersInTheInUseChecks) {
  CQVERcpLock lock;
  ASSERT_EQ(lock.LockRecipe("R1", 0, 0, recipe().c_str(), 0, nullptr, nullptr), 0u);
  std::string file = recipe() + "/RcpLock.txt";
  int fd = qvplatform::ShareDescriptor(lock.m_hLockFile);
  EXPECT_EQ(CQVERcpUtil::DirAccessCheck(recipe().c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));

  int other = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_FALSE(qvplatform::AdoptHold(file, other));  // the same file, but no hold on it
  EXPECT_FALSE(qvplatform::AdoptHold(project() + "/Recipe/RcpPJTAttr.txt", fd));  // another file
  ASSERT_TRUE(qvplatform::AdoptHold(file, fd));
  EXPECT_FALSE(qvplatform::IsHeld(file));
  EXPECT_EQ(CQVERcpUtil::DirAccessCheck(recipe().c_str()), 0u);

  // Another process's hold still counts beside an adopted one.
  qvtest::ChildProcess station([this] { return qvtest::HoldFile(recipe() + "/RcpHead.edf"); });
  ASSERT_EQ(station.started(), 0);
  EXPECT_EQ(CQVERcpUtil::DirAccessCheck(recipe().c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  station.Kill();

  qvplatform::DropHold(fd);
  EXPECT_TRUE(qvplatform::IsHeld(file));
  close(other);
}

TEST_F(LockTest, ProjectsWithoutAPathAreNeverLocked) {
  CQVERcpLock lock;
  CString message;
  EXPECT_EQ(lock.LockProject("Nowhere", 1, &message, nullptr), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(message.find("0x00000002"), CString::npos);
  EXPECT_EQ(message.substr(message.size() - 17), "(Project:Nowhere)");
  EXPECT_EQ(trail_, (std::vector<std::string>{"buffer:ERR:" + message}));

  // Registered with an empty path, the look-up succeeds where the working
  // directory happens to hold an attribute file; still no lock.
  _QVERcpProjectInfo empty{};
  empty.nStatus = 1;
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("Empty", &empty, 0), 0u);
  char* cwd = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(project().c_str()), 0);
  EXPECT_EQ(lock.LockProject("Empty", 0, &message, nullptr), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(chdir(cwd), 0);
  free(cwd);
  EXPECT_EQ(lock.m_hLockFile, INVALID_HANDLE_VALUE);
  EXPECT_NE(message.find("0x2000010A"), CString::npos);
}

// The holder's station is bounded and without blanks whatever the text;
// the refusal names the user, station, process and label a text of this
// version claims, escaped, and an older station's text as it always read.
TEST_F(LockTest, AnyHolderTextIsReadSafely) {
  struct Case {
    std::string text;
    std::string station;
    std::string refusal;
  };
  const Case cases[] = {
      {std::string(300, 'N') + "\n7", std::string(255, 'N'),
       "R is locked; its lock file claims station " + std::string(255, 'N') + " (holder 0)."},
      {"no-line-feed", "no-line-feed", "R is locked; its lock file claims station no-line-feed (holder 0)."},
      {std::string("\xff\x00\x01\n9", 5), "\xff", "R is locked; its lock file claims station \\xff (holder 0)."},
      {"", "", "R is locked; its lock file claims station  (holder 0)."},
      {"ST7\n4242", "ST7", "R is locked; its lock file claims station ST7 (holder 4242)."},
      {"ST7\n4242\nUSER,alice\nPROCESS,4198706\nNAME,evening, batch", "ST7",
       "R is being edited by alice on station ST7 (process 4198706, \"evening, batch\"), as its lock file claims."},
      // Its own name is not repeated; a field without its keyword's line is left out.
      {"ST7\n1\nPROCESS,12\nNAME,R", "ST7", "R is being edited on station ST7 (process 12), as its lock file claims."},
      {"ST7\n1\nUSER,\x1b]0;" + std::string(100, 'u') + "\nPROCESS,5\nBOGUS,x", "ST7",
       "R is being edited by \\x1b]0;" + std::string(60, 'u') +
           " on station ST7 (process 5), as its lock file claims."},
  };
  for (const Case& c : cases) {
    qvtest::ChildProcess holder([&] { return qvtest::HoldFile(recipe() + "/RcpLock.txt", c.text); });
    ASSERT_EQ(holder.started(), 0);
    CQVERcpLock lock;
    CString who = "stale";
    CString message;
    EXPECT_EQ(lock.LockRecipe("R", 0, 0, recipe().c_str(), 0, &message, &who), QVERCP_ERR_LOCKED);
    EXPECT_EQ(who, c.station);
    EXPECT_EQ(message, c.refusal);
  }
  // A lock file that cannot be opened is refused for what failed, never
  // taken for another station's lock.
  qvtest::MakeDirs(tmp_ / "odd/RcpLock.txt");
  CQVERcpLock lock;
  CString who = "stale";
  CString message;
  EXPECT_EQ(lock.LockRecipe("R", 0, 0, (tmp_ / "odd").c_str(), 0, &message, &who), ERROR_ACCESS_DENIED);
  EXPECT_EQ(who, "");
  EXPECT_EQ(message, "R cannot be locked: access denied");
}

TEST_F(LockTest, CleanTempEmptiesAndRemakesEveryWorkDirectory) {
  WriteFile(recipe() + "/TEMP/a.tmp", "x");
  WriteFile(recipe() + "/TEMP/sub/b.tmp", "x");
  WriteFile(recipe() + "/RcpHead.edf", "keep");
  qvtest::MakeDirs(tmp_ / "P1/Recipe/RG01/RCP0002");
  WriteFile(tmp_ / "P1/Recipe/RG02/RCP0003/TEMP", "a file where the work directory should be");
  WriteFile(tmp_ / "P1/Recipe/RG02/RCP0004/TEMP/c.tmp", "x");
  // A recipe edited in another process keeps its work files.
  WriteFile(tmp_ / "P1/Recipe/RG02/RCP0005/TEMP/d.tmp", "x");
  qvtest::ChildProcess editor = qvtest::HoldLock(tmp_ / "P1/Recipe/RG02/RCP0005", "");
  ASSERT_EQ(editor.started(), 0);
  ASSERT_EQ(CQVERcpUtil::DeleteTempFile("P1"), 0u);
  EXPECT_TRUE(Exists(tmp_ / "P1/Recipe/RG02/RCP0005/TEMP/d.tmp"));
  EXPECT_TRUE(Exists(recipe() + "/TEMP"));
  EXPECT_FALSE(Exists(recipe() + "/TEMP/a.tmp"));
  EXPECT_FALSE(Exists(recipe() + "/TEMP/sub"));
  EXPECT_TRUE(Exists(recipe() + "/RcpHead.edf"));
  EXPECT_TRUE(Exists(tmp_ / "P1/Recipe/RG01/RCP0002/TEMP"));
  EXPECT_FALSE(Exists(tmp_ / "P1/Recipe/RG02/RCP0004/TEMP/c.tmp"));

  WriteFile(recipe() + "/TEMP/a.tmp", "x");
  EXPECT_EQ(CQVERcpUtil::DeleteTempFile("Unknown"), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Exists(recipe() + "/TEMP/a.tmp"));
}

}  // namespace
