// The station registry: keys, values, access checks, local groups, and what
// a full, read-only or damaged registry file reports.
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "LibQVCCommon/QVCRegistry.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"

namespace {

using qvplatform::testing::ActAsUser;

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { ActAsUser(""); }

  qvtest::TempDir tmp_;
};

constexpr uint32_t kFileCorrupt = 1392;

TEST_F(RegistryTest, KeysAndValuesKeepTheirCaseAndMatchWithout) {
  uint32_t rc;
  HKEY list = qvtest::OpenKey("Batch", "Project List", 1, &rc);
  ASSERT_EQ(rc, 0u);
  HKEY a = nullptr;
  for (const char* name : {"beta", "Alpha", "ALPHA\\Inner"}) {
    ASSERT_EQ(RegCreateKeyExA(list, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &a, nullptr), 0);
    RegCloseKey(a);
  }
  EXPECT_EQ(qvtest::SubKeys(list), (std::vector<std::string>{"Alpha", "beta"}));
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
  EXPECT_EQ(qvtest::SubKeys(list), (std::vector<std::string>{"beta"}));
  QVCCloseRegistry(list);
  EXPECT_EQ(QVCOpenRegistry(HKEY_LOCAL_MACHINE, 9, "Batch", nullptr, 0, &list), QVC_ERR_CANNOT_EXECUTE);
}

TEST_F(RegistryTest, AccessListsDecideWhatEachUserMayDo) {
  uint32_t rc;
  HKEY batch = qvtest::OpenKey("Batch", nullptr, 1, &rc);  // as root: the station's creator and an administrator
  ASSERT_EQ(rc, 0u);
  QVCCloseRegistry(batch);

  ActAsUser("alice");
  HKEY readOnly = qvtest::OpenKey("Batch", nullptr, 0, &rc);
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
  HKEY p1 = qvtest::OpenKey("Batch", "Project List\\P1", 0, &rc);
  ASSERT_EQ(rc, 0u);
  qvplatform::KeySecurity sd = qvtest::SecurityOf(p1);
  EXPECT_EQ(sd.owner, "alice");
  ASSERT_EQ(sd.dacl.size(), 1u);
  EXPECT_EQ(sd.dacl[0].account, "Everyone");

  // Only bob may read it now; alice still owns it, so she may change it back.
  ASSERT_EQ(qvtest::SetAccessList(p1, {{"Bob", GENERIC_READ}}), 0);
  QVCCloseRegistry(p1);
  EXPECT_EQ(qvtest::OpenKey("Batch", "Project List\\P1", 0, &rc), nullptr);
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  HKEY list = qvtest::OpenKey("Batch", "Project List", 0, &rc);
  EXPECT_EQ(RegDeleteKeyA(list, "P1"), static_cast<LONG>(ERROR_ACCESS_DENIED));

  ActAsUser("bob");
  HKEY asBob = qvtest::OpenKey("Batch", "Project List\\p1", 0, &rc);
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

TEST_F(RegistryTest, ADamagedRegistryFileSaysSo) {
  qvtest::UseStation(tmp_ / "damaged");
  qvtest::WriteFile(tmp_ / "damaged/registry.db", std::string(8192, 'x'));
  std::string path;
  EXPECT_EQ(qvtest::SetProjectPath("P1", "/p1"), kFileCorrupt);
  EXPECT_EQ(qvtest::GetProjectPath("P1", &path), kFileCorrupt);
  EXPECT_EQ(qvplatform::LocalGroupAdd("RcpSec1", ""), kFileCorrupt);
  EXPECT_EQ(qvtest::ReadFile(tmp_ / "damaged/registry.db"), std::string(8192, 'x'));
}

// A registry on a full disk reports a full disk and keeps what it had; on a
// read-only mount it refuses writes as access denied and still reads.
TEST_F(RegistryTest, AFullOrReadOnlyDiskSaysSo) {
  qvtest::TinyDisk disk(tmp_ / "disk", "size=256k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  qvtest::UseStation(tmp_ / "disk");
  ASSERT_EQ(qvtest::SetProjectPath("First", "/first"), 0u);
  uint32_t rc = 0;
  for (int i = 0; i < 100000 && rc == 0; ++i) {
    rc = qvtest::SetProjectPath("P" + std::to_string(i), std::string(1000, 'v'));
  }
  EXPECT_EQ(rc, static_cast<uint32_t>(ERROR_DISK_FULL));
  std::string path;
  ASSERT_EQ(qvtest::GetProjectPath("First", &path), 0u);
  EXPECT_EQ(path, "/first");

  qvtest::UseStation(tmp_ / ".station");  // the next call closes the registry on the disk
  ASSERT_EQ(qvtest::GetProjectPath("First", &path), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(disk.MakeReadOnly());
  qvtest::UseStation(tmp_ / "disk");
  HKEY list = qvtest::OpenKey("Batch", "Project List", 0, &rc);
  ASSERT_EQ(rc, 0u);
  EXPECT_EQ(QVCSetRegistryU32(list, "Count", 1, 1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteKeyA(list, "First"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  ASSERT_EQ(qvtest::GetProjectPath("First", &path), 0u);
  EXPECT_EQ(path, "/first");
  QVCCloseRegistry(list);
  qvtest::UseStation(tmp_ / ".station");
  qvtest::GetProjectPath("First", &path);  // lets the tmpfs go
}

// The registry files are every user's to replace in a station without the
// sticky bit: one that is a link, a FIFO or a directory is refused at once,
// and nothing is made where a link points.
TEST_F(RegistryTest, ARegistryFileThatIsNotAFileIsRefusedNotFollowed) {
  struct Case {
    const char* file;
    std::function<int(const std::string&)> plant;
  };
  const std::string target = tmp_ / "planted.db";
  const Case cases[] = {
      {"registry.db", [&](const std::string& at) { return symlink(target.c_str(), at.c_str()); }},
      {"registry.db", [](const std::string& at) { return mkfifo(at.c_str(), 0666); }},
      {"registry.db", [](const std::string& at) { return mkdir(at.c_str(), 0777); }},
      {"names.db", [&](const std::string& at) { return symlink(target.c_str(), at.c_str()); }},
      {"names.db", [](const std::string& at) { return mkfifo(at.c_str(), 0666); }},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string station = tmp_ / ("station" + std::to_string(++n));
    qvtest::MakeDirs(station);
    ASSERT_EQ(c.plant(station + "/" + c.file), 0) << n;
    qvtest::UseStation(station);
    std::string path;
    EXPECT_EQ(qvtest::GetProjectPath("P1", &path), static_cast<uint32_t>(ERROR_CANT_ACCESS_FILE)) << n;
    EXPECT_FALSE(qvtest::Exists(target)) << n;
    EXPECT_FALSE(qvtest::Exists(target + "-wal")) << n;
  }
}

// A project list laid out before the shared database existed moves there,
// names and values whole, at the next layout; the station's own database
// keeps none of it.
TEST_F(RegistryTest, AnEarlierProjectListMovesToTheSharedDatabase) {
  const std::string station = tmp_ / "earlier";
  qvtest::UseStation(station);
  std::string path;
  ASSERT_EQ(qvtest::GetProjectPath("None", &path), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  auto sql = [](const std::string& file, const char* text) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, text, -1, &q, nullptr);
    std::string first = sqlite3_step(q) == SQLITE_ROW ? std::to_string(sqlite3_column_int64(q, 0)) : "";
    sqlite3_finalize(q);
    sqlite3_close(db);
    return first;
  };
  sql(station + "/registry.db", "DELETE FROM delegated");  // as laid out before
  ASSERT_EQ(qvtest::SetProjectPath("Early", "/early"), 0u);
  ASSERT_EQ(qvtest::SetProjectPath("Early\\Inner", "/inner"), 0u);
  EXPECT_EQ(sql(station + "/registry.db", "SELECT count(*) FROM keys WHERE lname = 'early'"), "1");

  qvtest::UseStation(station + "/.");  // a new spelling: laid out again, as by a new process
  ASSERT_EQ(qvtest::GetProjectPath("Early", &path), 0u);
  EXPECT_EQ(path, "/early");
  ASSERT_EQ(qvtest::GetProjectPath("Early\\Inner", &path), 0u);
  EXPECT_EQ(path, "/inner");
  EXPECT_EQ(sql(station + "/registry.db", "SELECT count(*) FROM keys WHERE lname IN ('early', 'inner')"), "0");
  EXPECT_EQ(sql(station + "/names.db", "SELECT count(*) FROM keys WHERE lname IN ('early', 'inner')"), "2");
  EXPECT_EQ(sql(station + "/registry.db", "SELECT count(*) FROM vals WHERE data = '/early'"), "0");
}

}  // namespace
