// A switch-on of recipe security killed at random moments by SIGKILL, each
// on a fresh station: the next switch-on finishes it. Every right key is
// there, with its default list or (killed while that list was being written)
// the first entries of it, never an entry too many.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "LibQVBRcpEpa.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "platform/StationDir.h"

namespace {

using qvplatform::testing::ActAsUser;
using qvtest::kRightKeys;
using qvtest::RightKey;
using qvtest::SecurityEnabled;

class SecurityCrashTest : public ::testing::Test {
 protected:
  // The station is laid out by root, its creator.
  void SetUp() override {
    ActAsUser("root", true);
    ASSERT_TRUE(qvplatform::CallerIsAdministrator());
  }
  void TearDown() override { ActAsUser(""); }

  qvtest::TempDir tmp_;
};

TEST_F(SecurityCrashTest, AKilledSwitchOnIsFinishedByTheNext) {
  // Kills land anywhere within the time one whole switch-on takes here.
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CQVERcpSecurity().SetSecurity(1), 1);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  std::mt19937 random(5);
  const int kKills = 16;
  int cutShort = 0;
  for (int n = 0; n < kKills; ++n) {
    qvtest::UseStation(tmp_ / ("station" + std::to_string(n)));
    ASSERT_TRUE(qvplatform::CallerIsAdministrator());
    pid_t pid = fork();
    if (pid == 0) _exit(CQVERcpSecurity().SetSecurity(1) == 1 ? 0 : 1);
    usleep(static_cast<useconds_t>(random() % (whole.count() + 1)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    cutShort += SecurityEnabled() != 1 ? 1 : 0;
    CQVERcpSecurity security;
    ASSERT_EQ(security.SetSecurity(1), 1) << n;
    EXPECT_EQ(SecurityEnabled(), 1u);
    for (int r = 0; r < 7; ++r) {
      const std::string expected = qvtest::DefaultAccessList(r);
      std::string list = qvtest::DescribeAccess(qvtest::AccessListOf(RightKey(kRightKeys[r])));
      EXPECT_FALSE(list.empty()) << n << " " << kRightKeys[r];
      EXPECT_EQ(expected.compare(0, list.size(), list), 0) << n << " " << kRightKeys[r] << ": " << list;
    }
    for (int g = 1; g <= QVERCP_SECURITY_GROUPS; ++g) {
      EXPECT_TRUE(qvplatform::LocalGroupExists(qvtest::kSecurityGroups[g])) << n;
    }
  }
  EXPECT_GT(cutShort, kKills / 4);
}

}  // namespace
