// Several processes and threads using one station registry at once: writes
// of processes at once, a read scope against another process's write, a
// read scope against a first open on another thread, and station changes
// under threads that use the registry.
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "RunInChild.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"

namespace {

using qvplatform::testing::ActAsUser;

class RegistryConcurrencyTest : public ::testing::Test {
 protected:
  void TearDown() override { ActAsUser(""); }

  qvtest::TempDir tmp_;
};

TEST_F(RegistryConcurrencyTest, ProcessesWritingAtOnceLoseNothing) {
  uint32_t rc;
  QVCCloseRegistry(qvtest::OpenKey("Batch", "Project List", 1, &rc));
  // Read once before: the statements this process keeps must not hide what
  // the others write later.
  std::string path;
  ASSERT_EQ(qvtest::SetProjectPath("P0_0", "old"), 0u);
  ASSERT_EQ(qvtest::GetProjectPath("P0_0", &path), 0u);
  const int kProcesses = 4;
  const int kEach = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = fork();
    if (child == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        std::string key = "Batch\\Project List\\P" + std::to_string(p) + "_" + std::to_string(i);
        failures += QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, key.c_str(), "Path",
                                               key.c_str(), 1) != 0;
      }
      _exit(failures);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(qvtest::GetProjectPath("P0_0", &path), 0u);
  EXPECT_EQ(path, "Batch\\Project List\\P0_0");
  HKEY list = qvtest::OpenKey("Batch", "Project List", 0, &rc);
  EXPECT_EQ(qvtest::SubKeys(list).size(), static_cast<size_t>(kProcesses * kEach));
  QVCCloseRegistry(list);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(qvplatform::RegistryPath().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

// Reads inside one scope see one state of the registry; after it, a change
// another process made meanwhile shows, and the generation tells of every
// change, this process's own included.
TEST_F(RegistryConcurrencyTest, AReadScopeSeesOneStateAndTheGenerationEveryChange) {
  std::string path;
  ASSERT_EQ(qvtest::SetProjectPath("P", "old"), 0u);
  uint64_t first = qvplatform::RegistryGeneration();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(qvplatform::RegistryGeneration(), first);
  {
    qvplatform::RegistryReadScope scope;
    ASSERT_EQ(qvtest::GetProjectPath("P", &path), 0u);
    pid_t child = fork();
    if (child == 0) _exit(qvtest::SetProjectPath("P", "new") == 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(qvtest::GetProjectPath("P", &path), 0u);
    EXPECT_EQ(path, "old");
  }
  ASSERT_EQ(qvtest::GetProjectPath("P", &path), 0u);
  EXPECT_EQ(path, "new");
  uint64_t second = qvplatform::RegistryGeneration();
  EXPECT_NE(second, first);
  ASSERT_EQ(qvtest::SetProjectPath("P", "newer"), 0u);
  uint64_t third = qvplatform::RegistryGeneration();
  EXPECT_NE(third, second);

  // A change inside a scope is refused whole; the scope's state stays one.
  ActAsUser("root", true);
  ASSERT_EQ(qvplatform::LocalGroupAdd("RcpSec1", ""), 0u);
  {
    qvplatform::RegistryReadScope scope;
    EXPECT_EQ(qvtest::SetProjectPath("P", "inside"), 170u);
    EXPECT_EQ(qvplatform::LocalGroupAddMember("RcpSec1", "alice"), 170u);
  }
  ASSERT_EQ(qvtest::GetProjectPath("P", &path), 0u);
  EXPECT_EQ(path, "newer");
  qvplatform::LocalGroupInfo group;
  ASSERT_EQ(qvplatform::LocalGroupGet("RcpSec1", &group), 0u);
  EXPECT_TRUE(group.members.empty());

  // Another station, then this one again after another process changed it:
  // a new connection never gives back a number that an old one gave.
  qvtest::TempDir other;
  qvtest::UseStation(other / "station");
  uint64_t elsewhere = qvplatform::RegistryGeneration();
  EXPECT_NE(elsewhere, third);
  pid_t child = fork();
  if (child == 0) {
    qvtest::UseStation(tmp_ / "station");
    _exit(qvtest::SetProjectPath("P", "changed") == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  qvtest::UseStation(tmp_ / "station");
  uint64_t back = qvplatform::RegistryGeneration();
  EXPECT_NE(back, third);
  EXPECT_NE(back, elsewhere);
}

// A thread in a read scope that checks rights while another thread opens the
// registry for the first time: neither waits for the other forever.
TEST_F(RegistryConcurrencyTest, AReadScopeAndAFirstOpenOnTwoThreadsBothFinish) {
  qvtest::ChildOutcome outcome = qvtest::RunInChild([]() -> uint32_t {
    std::thread opener([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      HKEY key = nullptr;
      if (QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", "Project List", 0, &key) == 0) {
        QVCCloseRegistry(key);
      }
    });
    {
      qvplatform::RegistryReadScope scope;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      CQVERcpSecurity().CheckSecurity(1);
    }
    opener.join();
    return 0;
  }, 10000);
  EXPECT_TRUE(outcome.finished);
  EXPECT_TRUE(outcome.returned);
}

// The station changes under threads that read and write the registry: every
// call works on one whole station, and a key opened before a change keeps
// working on the station it was opened in.
TEST_F(RegistryConcurrencyTest, StationChangesWhileThreadsUseTheRegistry) {
  const std::string stations[2] = {tmp_ / "stationA", tmp_ / "stationB"};
  qvtest::UseStation(stations[0]);
  uint32_t rc;
  HKEY heldA = qvtest::OpenKey("Batch", "Project List", 1, &rc);
  ASSERT_EQ(rc, 0u);

  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::atomic<int> calls{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; !stop; ++i) {
        std::string project = "T" + std::to_string(t) + "_" + std::to_string(i % 20);
        std::string path;
        uint32_t got = qvtest::GetProjectPath(project, &path);
        failures += qvtest::SetProjectPath(project, "/p/" + project) != 0 || (got != 0 && got != ERROR_FILE_NOT_FOUND);
        ++calls;
      }
    });
  }
  for (int change = 0; change < 200; ++change) {
    qvtest::UseStation(stations[change % 2]);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  stop = true;
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(failures, 0) << "of " << calls << " calls";

  qvtest::UseStation(stations[1]);
  uint32_t value = 0;
  ASSERT_EQ(QVCSetRegistryU32(heldA, "Marker", 7, 1), 0u);
  QVCCloseRegistry(heldA);
  HKEY inB = qvtest::OpenKey("Batch", "Project List", 1, &rc);
  ASSERT_EQ(QVCGetRegistryU32(inB, "Marker", 0, &value), 0u);
  EXPECT_EQ(value, 0u);
  QVCCloseRegistry(inB);
  qvtest::UseStation(stations[0]);
  HKEY inA = qvtest::OpenKey("Batch", "Project List", 0, &rc);
  ASSERT_EQ(QVCGetRegistryU32(inA, "Marker", 0, &value), 0u);
  EXPECT_EQ(value, 7u);
  EXPECT_GT(qvtest::SubKeys(inA).size(), 0u);
  QVCCloseRegistry(inA);
}

// A user who holds the shared database locked makes the others' registry
// calls fail within seconds, not wait on her.
TEST_F(RegistryConcurrencyTest, AHeldDatabaseIsAPromptFailure) {
  ASSERT_EQ(qvtest::SetProjectPath("P1", "/p1"), 0u);
  const std::string station = qvplatform::StationDirectory();
  qvtest::UseStation(tmp_ / "elsewhere");  // closes this process's connection
  std::string none;
  qvtest::GetProjectPath("P1", &none);
  qvtest::UseStation(station);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    sqlite3* db = nullptr;
    std::string names = station + "/names.db";
    bool held = sqlite3_open(names.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT count(*) FROM keys;", nullptr,
                             nullptr, nullptr) == SQLITE_OK;
    char byte = held ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1 || !held) _exit(2);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char byte = 0;
  const bool held = read(ready[0], &byte, 1) == 1 && byte == 1;
  close(ready[0]);
  if (!held) kill(holder, SIGKILL);
  ASSERT_TRUE(held);
  qvtest::ChildOutcome reader = qvtest::RunInChild(
      [] {
        std::string path;
        uint32_t first = qvtest::GetProjectPath("P1", &path);
        uint32_t second = qvtest::SetProjectPath("P2", "/p2");
        return first != 0 && second != 0 ? 0u : 1u;
      },
      20000);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  ASSERT_TRUE(reader.finished) << "waited on the held database";
  EXPECT_EQ(reader.rc, 0u);
}

}  // namespace
