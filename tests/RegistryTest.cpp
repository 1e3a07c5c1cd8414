// The station registry: keys, values, access checks, local groups, several
// processes and threads using one station at once, killed registrations, and
// what a full, read-only or damaged registry file reports.
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "LibQVCCommon/QVCRegistry.h"
#include "RunInChild.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"

namespace {

using qvplatform::testing::ActAsUser;

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { ActAsUser(""); }

  // Opens (creating) a key below the ENG component with the caller's access.
  HKEY Open(const char* section, const char* subKey, int create, uint32_t* rc) {
    HKEY key = nullptr;
    *rc = QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, section, subKey, create, &key);
    return key;
  }

  static std::vector<std::string> Children(HKEY key) {
    std::vector<std::string> names;
    char name[64];
    DWORD i = 0;
    LONG rc;
    while ((rc = RegEnumKeyA(key, i++, name, sizeof name)) == 0) names.push_back(name);
    EXPECT_EQ(rc, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
    return names;
  }

  static uint32_t SetPath(const std::string& project, const std::string& path) {
    std::string key = "Batch\\Project List\\" + project;
    return QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, key.c_str(), "Path", path.c_str(), 1);
  }
  static uint32_t GetPath(const std::string& project, std::string* path) {
    std::string key = "Batch\\Project List\\" + project;
    char buf[256];
    uint32_t size = sizeof buf;
    uint32_t rc = QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, key.c_str(), "Path", "<none>", buf,
                                             &size);
    if (rc == 0) *path = buf;
    return rc;
  }

  qvtest::TempDir tmp_;
};

constexpr uint32_t kFileCorrupt = 1392;

// A small tmpfs of its own, for a real full disk; skipped where mounting is
// not permitted.
class TinyDisk {
 public:
  TinyDisk(const std::string& where, const char* size) : path_(where) {
    qvtest::MakeDirs(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, size) == 0;
  }
  ~TinyDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() { return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST_F(RegistryTest, KeysAndValuesKeepTheirCaseAndMatchWithout) {
  uint32_t rc;
  HKEY list = Open("Batch", "Project List", 1, &rc);
  ASSERT_EQ(rc, 0u);
  HKEY a = nullptr;
  for (const char* name : {"beta", "Alpha", "ALPHA\\Inner"}) {
    ASSERT_EQ(RegCreateKeyExA(list, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &a, nullptr), 0);
    RegCloseKey(a);
  }
  EXPECT_EQ(Children(list), (std::vector<std::string>{"Alpha", "beta"}));
  char small[3];
  EXPECT_EQ(RegEnumKeyA(list, 0, small, sizeof small), static_cast<LONG>(ERROR_MORE_DATA));

  ASSERT_EQ(QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\alpha\\", "Path",
                                       "/x,y", 1),
            0u);
  char buf[16];
  uint32_t size = sizeof buf;
  ASSERT_EQ(QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\ALPHA", "PATH",
                                       "", buf, &size),
            0u);
  EXPECT_STREQ(buf, "/x,y");
  EXPECT_EQ(size, 5u);
  size = 3;
  EXPECT_EQ(QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\alpha", "Path",
                                       "", buf, &size),
            ERROR_MORE_DATA);
  size = sizeof buf;
  EXPECT_EQ(QVCGetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\gamma", "Path",
                                       "", buf, &size),
            ERROR_FILE_NOT_FOUND);

  uint32_t value = 0;
  ASSERT_EQ(QVCGetRegistryU32(list, "Enabled", 7, &value), 0u);
  EXPECT_EQ(value, 7u);
  ASSERT_EQ(QVCSetRegistryU32(list, "Enabled", 1, 1), 0u);
  ASSERT_EQ(QVCGetRegistryU32(list, "enabled", 7, &value), 0u);
  EXPECT_EQ(value, 1u);

  EXPECT_EQ(RegDeleteKeyA(list, "alpha"), static_cast<LONG>(ERROR_ACCESS_DENIED));  // it has a sub-key
  EXPECT_EQ(RegDeleteKeyA(list, "alpha\\inner"), 0);
  EXPECT_EQ(RegDeleteKeyA(list, "alpha"), 0);
  EXPECT_EQ(Children(list), (std::vector<std::string>{"beta"}));
  QVCCloseRegistry(list);
  EXPECT_EQ(QVCOpenRegistry(HKEY_LOCAL_MACHINE, 9, "Batch", nullptr, 0, &list), QVC_ERR_CANNOT_EXECUTE);
}

TEST_F(RegistryTest, AccessListsDecideWhatEachUserMayDo) {
  uint32_t rc;
  HKEY batch = Open("Batch", nullptr, 1, &rc);  // as root: the station's creator and an administrator
  ASSERT_EQ(rc, 0u);
  QVCCloseRegistry(batch);

  ActAsUser("alice");
  HKEY readOnly = Open("Batch", nullptr, 0, &rc);
  ASSERT_EQ(rc, 0u);
  uint32_t value;
  EXPECT_EQ(QVCSetRegistryU32(readOnly, "X", 1, 1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(QVCGetRegistryU32(readOnly, "X", 0, &value), 0u);
  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyExA(readOnly, "Mine", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
            static_cast<LONG>(ERROR_ACCESS_DENIED));
  QVCCloseRegistry(readOnly);
  EXPECT_EQ(QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\P1", "Path", "/p", 1),
            0u);

  // A key created without a descriptor takes its parent's access list.
  HKEY p1 = Open("Batch", "Project List\\P1", 0, &rc);
  ASSERT_EQ(rc, 0u);
  qvplatform::KeySecurity sd = qvtest::SecurityOf(p1);
  EXPECT_EQ(sd.owner, "alice");
  ASSERT_EQ(sd.dacl.size(), 1u);
  EXPECT_EQ(sd.dacl[0].account, "Everyone");

  // Only bob may read it now; alice still owns it, so she may change it back.
  ASSERT_EQ(qvtest::SetAccessList(p1, {{"Bob", GENERIC_READ}}), 0);
  QVCCloseRegistry(p1);
  EXPECT_EQ(Open("Batch", "Project List\\P1", 0, &rc), nullptr);
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  HKEY list = Open("Batch", "Project List", 0, &rc);
  EXPECT_EQ(RegDeleteKeyA(list, "P1"), static_cast<LONG>(ERROR_ACCESS_DENIED));

  ActAsUser("bob");
  HKEY asBob = Open("Batch", "Project List\\p1", 0, &rc);
  ASSERT_EQ(rc, 0u);
  EXPECT_EQ(QVCSetRegistryU32(asBob, "X", 1, 1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  QVCCloseRegistry(asBob);

  // Local groups are the administrators' to make; members gain the group's rights.
  EXPECT_EQ(qvplatform::LocalGroupAdd("RcpSec1", ""), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  ActAsUser("", false);
  ActAsUser("root", true);
  ASSERT_EQ(qvplatform::LocalGroupAdd("RcpSec1", "Operators"), 0u);
  EXPECT_EQ(qvplatform::LocalGroupAdd("rcpsec1", ""), static_cast<uint32_t>(ERROR_ALIAS_EXISTS));
  ASSERT_EQ(qvplatform::LocalGroupAddMember("RcpSec1", "alice"), 0u);
  HKEY p1Admin = nullptr;
  ASSERT_EQ(RegOpenKeyExA(list, "P1", 0, WRITE_DAC, &p1Admin), static_cast<LONG>(ERROR_ACCESS_DENIED));
  ActAsUser("alice");
  ASSERT_EQ(RegOpenKeyExA(list, "P1", 0, WRITE_DAC, &p1Admin), 0);
  ASSERT_EQ(qvtest::SetAccessList(p1Admin, {{"rcpsec1", DELETE}}), 0);
  RegCloseKey(p1Admin);
  ActAsUser("carol");
  EXPECT_EQ(RegDeleteKeyA(list, "P1"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  ActAsUser("alice");
  EXPECT_EQ(RegDeleteKeyA(list, "P1"), 0);
  QVCCloseRegistry(list);
}

TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNothing) {
  uint32_t rc;
  QVCCloseRegistry(Open("Batch", "Project List", 1, &rc));
  // Read once before: the statements this process keeps must not hide what
  // the others write later.
  std::string path;
  ASSERT_EQ(SetPath("P0_0", "old"), 0u);
  ASSERT_EQ(GetPath("P0_0", &path), 0u);
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
  ASSERT_EQ(GetPath("P0_0", &path), 0u);
  EXPECT_EQ(path, "Batch\\Project List\\P0_0");
  HKEY list = Open("Batch", "Project List", 0, &rc);
  EXPECT_EQ(Children(list).size(), static_cast<size_t>(kProcesses * kEach));
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
TEST_F(RegistryTest, AReadScopeSeesOneStateAndTheGenerationEveryChange) {
  std::string path;
  ASSERT_EQ(SetPath("P", "old"), 0u);
  uint64_t first = qvplatform::RegistryGeneration();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(qvplatform::RegistryGeneration(), first);
  {
    qvplatform::RegistryReadScope scope;
    ASSERT_EQ(GetPath("P", &path), 0u);
    pid_t child = fork();
    if (child == 0) _exit(SetPath("P", "new") == 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(GetPath("P", &path), 0u);
    EXPECT_EQ(path, "old");
  }
  ASSERT_EQ(GetPath("P", &path), 0u);
  EXPECT_EQ(path, "new");
  uint64_t second = qvplatform::RegistryGeneration();
  EXPECT_NE(second, first);
  ASSERT_EQ(SetPath("P", "newer"), 0u);
  uint64_t third = qvplatform::RegistryGeneration();
  EXPECT_NE(third, second);

  // A change inside a scope is refused whole; the scope's state stays one.
  ActAsUser("root", true);
  ASSERT_EQ(qvplatform::LocalGroupAdd("RcpSec1", ""), 0u);
  {
    qvplatform::RegistryReadScope scope;
    EXPECT_EQ(SetPath("P", "inside"), 170u);
    EXPECT_EQ(qvplatform::LocalGroupAddMember("RcpSec1", "alice"), 170u);
  }
  ASSERT_EQ(GetPath("P", &path), 0u);
  EXPECT_EQ(path, "newer");
  qvplatform::LocalGroupInfo group;
  ASSERT_EQ(qvplatform::LocalGroupGet("RcpSec1", &group), 0u);
  EXPECT_TRUE(group.members.empty());

  // Another station, then this one again after another process changed it:
  // a new connection never gives back a number that an old one gave.
  qvtest::TempDir other;
  qvplatform::SetStationDirectory(other / "station");
  uint64_t elsewhere = qvplatform::RegistryGeneration();
  EXPECT_NE(elsewhere, third);
  pid_t child = fork();
  if (child == 0) {
    qvplatform::SetStationDirectory(tmp_ / "station");
    _exit(SetPath("P", "changed") == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  qvplatform::SetStationDirectory(tmp_ / "station");
  uint64_t back = qvplatform::RegistryGeneration();
  EXPECT_NE(back, third);
  EXPECT_NE(back, elsewhere);
}

// A thread in a read scope that checks rights while another thread opens the
// registry for the first time: neither waits for the other forever.
TEST_F(RegistryTest, AReadScopeAndAFirstOpenOnTwoThreadsBothFinish) {
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
TEST_F(RegistryTest, StationChangesWhileThreadsUseTheRegistry) {
  const std::string stations[2] = {tmp_ / "stationA", tmp_ / "stationB"};
  qvplatform::SetStationDirectory(stations[0]);
  uint32_t rc;
  HKEY heldA = Open("Batch", "Project List", 1, &rc);
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
        uint32_t got = GetPath(project, &path);
        failures += SetPath(project, "/p/" + project) != 0 || (got != 0 && got != ERROR_FILE_NOT_FOUND);
        ++calls;
      }
    });
  }
  for (int change = 0; change < 200; ++change) {
    qvplatform::SetStationDirectory(stations[change % 2]);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  stop = true;
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(failures, 0) << "of " << calls << " calls";

  qvplatform::SetStationDirectory(stations[1]);
  uint32_t value = 0;
  ASSERT_EQ(QVCSetRegistryU32(heldA, "Marker", 7, 1), 0u);
  QVCCloseRegistry(heldA);
  HKEY inB = Open("Batch", "Project List", 1, &rc);
  ASSERT_EQ(QVCGetRegistryU32(inB, "Marker", 0, &value), 0u);
  EXPECT_EQ(value, 0u);
  QVCCloseRegistry(inB);
  qvplatform::SetStationDirectory(stations[0]);
  HKEY inA = Open("Batch", "Project List", 0, &rc);
  ASSERT_EQ(QVCGetRegistryU32(inA, "Marker", 0, &value), 0u);
  EXPECT_EQ(value, 7u);
  EXPECT_GT(Children(inA).size(), 0u);
  QVCCloseRegistry(inA);
}

// A registering process killed at any moment leaves the project's key
// either absent or with its Path: the keys and the value are one transaction.
TEST_F(RegistryTest, ADamagedRegistryFileSaysSo) {
  qvplatform::SetStationDirectory(tmp_ / "damaged");
  qvtest::WriteFile(tmp_ / "damaged/registry.db", std::string(8192, 'x'));
  std::string path;
  EXPECT_EQ(SetPath("P1", "/p1"), kFileCorrupt);
  EXPECT_EQ(GetPath("P1", &path), kFileCorrupt);
  EXPECT_EQ(qvplatform::LocalGroupAdd("RcpSec1", ""), kFileCorrupt);
  EXPECT_EQ(qvtest::ReadFile(tmp_ / "damaged/registry.db"), std::string(8192, 'x'));
}

// A registry on a full disk reports a full disk and keeps what it had; on a
// read-only mount it refuses writes as access denied and still reads.
TEST_F(RegistryTest, AFullOrReadOnlyDiskSaysSo) {
  TinyDisk disk(tmp_ / "disk", "size=256k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  qvplatform::SetStationDirectory(tmp_ / "disk");
  ASSERT_EQ(SetPath("First", "/first"), 0u);
  uint32_t rc = 0;
  for (int i = 0; i < 100000 && rc == 0; ++i) {
    rc = SetPath("P" + std::to_string(i), std::string(1000, 'v'));
  }
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_DISK_FULL));
  std::string path;
  ASSERT_EQ(GetPath("First", &path), 0u);
  EXPECT_EQ(path, "/first");

  qvplatform::SetStationDirectory(tmp_ / ".station");  // the next call closes the registry on the disk
  ASSERT_EQ(GetPath("First", &path), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(disk.MakeReadOnly());
  qvplatform::SetStationDirectory(tmp_ / "disk");
  HKEY list = Open("Batch", "Project List", 0, &rc);
  ASSERT_EQ(rc, 0u);
  EXPECT_EQ(QVCSetRegistryU32(list, "Count", 1, 1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteKeyA(list, "First"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  ASSERT_EQ(GetPath("First", &path), 0u);
  EXPECT_EQ(path, "/first");
  QVCCloseRegistry(list);
  qvplatform::SetStationDirectory(tmp_ / ".station");
  GetPath("First", &path);  // lets the tmpfs go
}

}  // namespace
