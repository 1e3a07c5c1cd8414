// The station registry: keys, values, access checks, local groups, and
// several processes writing one station at once.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LibQVCCommon/QVCRegistry.h"
#include "TestSupport.h"
#include "platform/Registry.h"

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

  qvtest::TempDir tmp_;
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
  SECURITY_DESCRIPTOR sd;
  ASSERT_EQ(RegGetKeySecurity(p1, DACL_SECURITY_INFORMATION, &sd), 0);
  EXPECT_EQ(sd.owner, "alice");
  ASSERT_EQ(sd.dacl.size(), 1u);
  EXPECT_EQ(sd.dacl[0].account, "Everyone");

  // Only bob may read it now; alice still owns it, so she may change it back.
  SECURITY_DESCRIPTOR bobOnly{"alice", true, {{"Bob", GENERIC_READ}}};
  ASSERT_EQ(RegSetKeySecurity(p1, DACL_SECURITY_INFORMATION, &bobOnly), 0);
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
  SECURITY_DESCRIPTOR groupDelete{"root", true, {{"rcpsec1", DELETE}}};
  HKEY p1Admin = nullptr;
  ASSERT_EQ(RegOpenKeyExA(list, "P1", 0, WRITE_DAC, &p1Admin), static_cast<LONG>(ERROR_ACCESS_DENIED));
  ActAsUser("alice");
  ASSERT_EQ(RegOpenKeyExA(list, "P1", 0, WRITE_DAC, &p1Admin), 0);
  ASSERT_EQ(RegSetKeySecurity(p1Admin, DACL_SECURITY_INFORMATION, &groupDelete), 0);
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

}  // namespace
