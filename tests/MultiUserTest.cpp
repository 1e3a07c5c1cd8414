// Two users of one station on a shared project directory: root and an
// unprivileged user, who acts in a child process that has dropped to its uid.
// Lock files must stay lockable by every user, and an in-use check that
// cannot look at a file must count it as held.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "LibQVBRcpEpa.h"
#include "RunInChild.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;  // "nobody"

class MultiUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root";
    qvtest::MakeDirs(recipe() + "/TEMP");
    qvtest::WriteFile(recipe() + "/RcpHead.edf", "head");
    // The whole tree is open to the other user, as a shared project is.
    fs::permissions(tmp_.path(), fs::perms::all);
    for (const auto& entry : fs::recursive_directory_iterator(tmp_.path())) {
      if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::all);
    }
    previousMask_ = umask(022);
  }
  void TearDown() override {
    if (geteuid() == 0) umask(previousMask_);
  }

  std::string recipe() const { return tmp_ / "P/Recipe/RG01/RCP0001"; }
  std::string lockFile() const { return recipe() + "/RcpLock.txt"; }

  static uint32_t LockAndUnlock(const std::string& recipe) {
    CQVERcpLock lock;
    uint32_t rc = lock.LockRecipe("R", 0, 0, recipe.c_str(), 0, nullptr, nullptr);
    return rc != 0 ? rc : lock.Unlock();
  }

  static qvtest::ChildOutcome AsOtherUser(const std::function<uint32_t()>& call) {
    return qvtest::RunInChild([&] {
      if (setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 || setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
        return 0xDEADu;
      }
      return call();
    });
  }

  qvtest::TempDir tmp_;
  mode_t previousMask_ = 0;
};

TEST_F(MultiUserTest, ALockFileThatRootMadeCanBeTakenByAnotherUser) {
  ASSERT_EQ(LockAndUnlock(recipe()), 0u);
  struct stat st;
  ASSERT_EQ(stat(lockFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  qvtest::ChildOutcome other = AsOtherUser([&] { return LockAndUnlock(recipe()); });
  ASSERT_TRUE(other.returned);
  EXPECT_EQ(other.rc, 0u);

  // A lock file that an older version left with the umask's mode is given
  // the shared mode when its owner next takes the lock.
  ASSERT_EQ(chmod(lockFile().c_str(), 0644), 0);
  ASSERT_EQ(LockAndUnlock(recipe()), 0u);
  other = AsOtherUser([&] { return LockAndUnlock(recipe()); });
  EXPECT_EQ(other.rc, 0u);
}

TEST_F(MultiUserTest, AnotherUsersInUseCheckCountsWhatItCannotSeeAsHeld) {
  {
    CQVERcpLock held;
    ASSERT_EQ(held.LockRecipe("R", 0, 0, recipe().c_str(), 0, nullptr, nullptr), 0u);
    qvtest::ChildOutcome other = AsOtherUser([&] {
      uint32_t check = CQVERcpUtil::DirAccessCheck(recipe().c_str());
      return check != ERROR_SHARING_VIOLATION ? 1u : CQVERcpUtil::DeleteRecipe(recipe().c_str());
    });
    ASSERT_TRUE(other.returned);
    EXPECT_NE(other.rc, 0u);
    EXPECT_NE(other.rc, 1u);
    EXPECT_TRUE(qvtest::Exists(recipe() + "/RcpHead.edf"));
  }
  // A file the other user may not open is held when the kernel's lock table
  // shows a lock on it: the recipe stays.
  ASSERT_EQ(chmod((recipe() + "/RcpHead.edf").c_str(), 0600), 0);
  qvtest::ChildProcess holder([&] { return qvtest::HoldFile(recipe() + "/RcpHead.edf"); });
  ASSERT_EQ(holder.started(), 0);
  qvtest::ChildOutcome other = AsOtherUser([&] { return CQVERcpUtil::DeleteRecipe(recipe().c_str()); });
  ASSERT_TRUE(other.returned);
  EXPECT_NE(other.rc, 0u);
  EXPECT_TRUE(qvtest::Exists(recipe() + "/RcpHead.edf"));
}

TEST_F(MultiUserTest, AnotherUserReplacesTheWorkFileRootLeftBehind) {
  std::string group = tmp_ / "P/Recipe/RG01";
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(group.c_str(), {"A"}), 0u);
  qvtest::WriteFile(group + "/RcpSubGroupwork.txt", "left by an editor that died");
  qvtest::ChildOutcome other = AsOtherUser([&] { return CQVERcpUtil::InsertSubGroup(group.c_str(), {"B"}); });
  ASSERT_TRUE(other.returned);
  EXPECT_EQ(other.rc, 0u);
  EXPECT_EQ(qvtest::ReadFile(group + "/RcpSubGroup.txt"), "STARTSUB,B\r\nENDSUB,B\r\nSTARTSUB,A\r\nENDSUB,A\r\n");
  EXPECT_FALSE(qvtest::Exists(group + "/RcpSubGroupwork.txt"));
}

}  // namespace
