// Concurrent editors: eight real processes edit one sub-group file, one
// recipe header and one group attribute file at once, without a lock
// (retrying when the file is being edited by another) and under the project
// or recipe lock, while a reader reads the same file. No update may be lost
// and no reader may see a damaged file.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <sstream>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCCodes.h"
#include "TestSupport.h"

namespace {

constexpr int kEditors = 8;
constexpr int kEditsEach = 20;
constexpr uint32_t kFileCorrupt = 1392;

// Counters that the processes share.
struct Shared {
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::atomic<int> damaged{0};       // reads that found the file damaged
  std::atomic<int> mixed{0};         // reads that found parts of two writes
  std::atomic<int> readFailures{0};  // reads that failed otherwise
  std::atomic<int> retries{0};       // edits refused while another ran
  std::atomic<uint32_t> lastFailure{0};  // the code of an edit that failed
};

// Runs a call again while another editor holds the file or the lock. The
// attribute-file writers report a work file held by another editor as a
// text file that cannot be opened; busy is the code to retry on as well.
uint32_t Retrying(Shared* shared, const std::function<uint32_t()>& call, uint32_t busy = ERROR_SHARING_VIOLATION) {
  for (;;) {
    uint32_t rc = call();
    if (rc != busy && rc != ERROR_SHARING_VIOLATION && rc != QVERCP_ERR_LOCKED) return rc;
    ++shared->retries;
    usleep(200);
  }
}

// Runs body under the lock that lock takes, retrying the lock until it is
// had.
uint32_t Locked(Shared* shared, const std::function<uint32_t(CQVERcpLock&)>& lock,
                const std::function<uint32_t()>& body) {
  CQVERcpLock held;
  if (uint32_t rc = Retrying(shared, [&] { return lock(held); })) return rc;
  uint32_t rc = body();
  uint32_t unlocked = held.Unlock();
  return rc != 0 ? rc : unlocked;
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    shared_ = new (memory) Shared;
    ASSERT_EQ(CQVERcpUtil::CreateProject("P", tmp_.path().c_str()), 0u);
    _QVERcpProjectInfo project{};
    project.strPath = tmp_ / "P";
    project.nStatus = 1;
    ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &project, 0), 0u);
    ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(project.strPath.c_str(), 1), 0u);
    ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 1, nullptr), 0u);
    ASSERT_EQ(CQVERcpUtil::InsertSubGroup(group().c_str(), {"First"}), 0u);
    ASSERT_EQ(WriteHeader("first"), 0u);
    ASSERT_EQ(WriteGroup("first"), 0u);
  }
  void TearDown() override { munmap(shared_, sizeof(Shared)); }

  std::string group() const { return tmp_ / "P/Recipe/RG01"; }
  std::string recipe() const { return group() + "/RCP0001"; }

  // Runs edit(p, i) for i < kEditsEach in each of kEditors processes, with
  // read() looping in one more process until they are done. The editors'
  // failed edits, summed.
  int Run(const std::function<uint32_t(int, int)>& edit, const std::function<void()>& read) {
    pid_t reader = Spawn([&] {
      while (!shared_->stop) read();
      return 0;
    });
    std::vector<pid_t> editors;
    for (int p = 0; p < kEditors; ++p) {
      editors.push_back(Spawn([&, p] {
        int failed = 0;
        for (int i = 0; i < kEditsEach; ++i) {
          if (uint32_t rc = edit(p, i)) {
            ++failed;
            shared_->lastFailure = rc;
          }
        }
        return std::min(failed, 100);
      }));
    }
    int failed = 0;
    for (pid_t editor : editors) failed += Wait(editor);
    shared_->stop = true;
    Wait(reader);
    if (failed != 0) std::cout << "[ failure  ] an edit failed with " << shared_->lastFailure << "\n";
    return failed;
  }

  static pid_t Spawn(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
  }
  static int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
  }

  // The sub-group names of the group's file.
  std::set<std::string> SubGroups() const {
    std::set<std::string> names;
    std::istringstream lines(qvtest::ReadFile(group() + "/RcpSubGroup.txt"));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("STARTSUB,", 0) == 0) names.insert(line.substr(9));
    }
    return names;
  }

  // A reader of the sub-group file: each read must find the whole file, with
  // the sub-group that was there before the editors started.
  void ReadSubGroups() {
    ++shared_->reads;
    if (SubGroups().count("First") == 0) ++shared_->damaged;
  }

  // A reader of the recipe header: each read must succeed and show one
  // write whole (title and comment written together).
  void ReadHeader() {
    _QVERcpFileDetailInfo info;
    uint32_t number = 0;
    uint32_t rc = CQVERcpUtil::GetRcpInfo(recipe().c_str(), &number, &info);
    ++shared_->reads;
    if (rc == kFileCorrupt) ++shared_->damaged;
    else if (rc != 0) ++shared_->readFailures;
    else if (info.strTitle != info.strComment && info.strComment != "") ++shared_->mixed;
  }

  // A reader of the group attributes: comment and server from one write,
  // never the empty file.
  void ReadGroup() {
    _QVERcpGroupInfo info;
    uint32_t rc = CQVERcpUtil::GetRecipeGroupInfo(group().c_str(), &info);
    ++shared_->reads;
    if (rc != 0) ++shared_->readFailures;
    else if (info.strComment.empty()) ++shared_->damaged;
    else if (info.astrServer != CStringArray{info.strComment}) ++shared_->mixed;
  }

  // Each editor writes the texts "p:i" without a lock.
  void WriteUnlocked(const std::function<uint32_t(const std::string&)>& write, const std::function<void()>& read) {
    int failed = Run([&](int p, int i) { return write(std::to_string(p) + ":" + std::to_string(i)); }, read);
    EXPECT_EQ(failed, 0);
    ExpectCleanReads();
  }
  // Whether a text is some editor's last.
  static bool IsLastWrite(const std::string& text) {
    size_t colon = text.find(':');
    return colon != std::string::npos && text.substr(colon) == ":" + std::to_string(kEditsEach - 1);
  }

  void ExpectCleanReads() {
    EXPECT_GT(shared_->reads, 0);
    EXPECT_EQ(shared_->damaged, 0) << "of " << shared_->reads << " reads";
    EXPECT_EQ(shared_->mixed, 0) << "of " << shared_->reads << " reads";
    EXPECT_EQ(shared_->readFailures, 0) << "of " << shared_->reads << " reads";
    std::cout << "[ figures  ] " << shared_->reads << " reads, " << shared_->retries << " edits retried\n";
  }

  uint32_t LockProject(CQVERcpLock& lock) { return lock.LockProject("P", 0, nullptr, nullptr); }
  uint32_t LockRecipe(CQVERcpLock& lock) {
    return lock.LockRecipe("RCP0001", 0, 0, recipe().c_str(), 0, nullptr, nullptr);
  }

  uint32_t InsertSubGroup(int p, int i) {
    std::string name = "S" + std::to_string(p) + "_" + std::to_string(i);
    return Retrying(shared_, [&] { return CQVERcpUtil::InsertSubGroup(group().c_str(), {name}); });
  }

  // Every field of the header from one write: title, comment and all unit
  // comments the same text.
  uint32_t WriteHeader(const std::string& text) {
    _QVERcpFileDetailInfo info;
    info.strTitle = text;
    info.strComment = text;
    for (CString& unit : info.strUnitComment) unit = text;
    return Retrying(shared_, [&] { return CQVERcpUtil::SetRcpInfo(recipe().c_str(), &info); });
  }

  // Under the recipe lock: reads the header and changes only this editor's
  // unit comment.
  uint32_t EditOwnUnit(int p, int i) {
    return Locked(shared_, [&](CQVERcpLock& lock) { return LockRecipe(lock); }, [&]() -> uint32_t {
      _QVERcpFileDetailInfo info;
      uint32_t number = 0;
      if (uint32_t rc = CQVERcpUtil::GetRcpInfo(recipe().c_str(), &number, &info)) return rc;
      info.strUnitComment[p] = std::to_string(p) + ":" + std::to_string(i);
      return Retrying(shared_, [&] { return CQVERcpUtil::SetRcpInfo(recipe().c_str(), &info); });
    });
  }

  uint32_t WriteGroup(const std::string& text) {
    _QVERcpGroupInfo info;
    info.strComment = text;
    info.astrServer = {text};
    return Retrying(shared_, [&] { return CQVERcpUtil::SetRecipeGroupInfo(group().c_str(), &info); },
                    QVC_ERR_TEXT_FILE_OPEN);
  }

  // Under the project lock: adds one to the count the group comment holds.
  uint32_t CountInGroup() {
    return Locked(shared_, [&](CQVERcpLock& lock) { return LockProject(lock); }, [&]() -> uint32_t {
      _QVERcpGroupInfo info;
      if (uint32_t rc = CQVERcpUtil::GetRecipeGroupInfo(group().c_str(), &info)) return rc;
      return WriteGroup(std::to_string(std::atoi(info.strComment.c_str()) + 1));
    });
  }

  qvtest::TempDir tmp_;
  Shared* shared_ = nullptr;
};

TEST_F(ConcurrencyTest, SubGroupInsertsWithoutALockAreAllKept) {
  int failed = Run([&](int p, int i) { return InsertSubGroup(p, i); }, [&] { ReadSubGroups(); });
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(SubGroups().size(), static_cast<size_t>(kEditors * kEditsEach + 1));
  ExpectCleanReads();
}

TEST_F(ConcurrencyTest, SubGroupInsertsUnderTheProjectLockAreAllKept) {
  auto edit = [&](int p, int i) {
    return Locked(shared_, [&](CQVERcpLock& lock) { return LockProject(lock); }, [&] { return InsertSubGroup(p, i); });
  };
  EXPECT_EQ(Run(edit, [&] { ReadSubGroups(); }), 0);
  EXPECT_EQ(SubGroups().size(), static_cast<size_t>(kEditors * kEditsEach + 1));
  ExpectCleanReads();
}

TEST_F(ConcurrencyTest, HeaderWritersWithoutALockNeverDamageIt) {
  WriteUnlocked([&](const std::string& text) { return WriteHeader(text); }, [&] { ReadHeader(); });
  if (IsSkipped()) return;
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  ASSERT_EQ(CQVERcpUtil::GetRcpInfo(recipe().c_str(), &number, &info), 0u);
  EXPECT_TRUE(IsLastWrite(info.strComment)) << info.strComment;
  for (const CString& unit : info.strUnitComment) EXPECT_EQ(unit, info.strComment);
}

TEST_F(ConcurrencyTest, HeaderEditsUnderTheRecipeLockLoseNothing) {
  EXPECT_EQ(Run([&](int p, int i) { return EditOwnUnit(p, i); }, [&] { ReadHeader(); }), 0);
  ExpectCleanReads();
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  ASSERT_EQ(CQVERcpUtil::GetRcpInfo(recipe().c_str(), &number, &info), 0u);
  for (int p = 0; p < kEditors; ++p) {
    EXPECT_EQ(info.strUnitComment[p], std::to_string(p) + ":" + std::to_string(kEditsEach - 1));
  }
}

TEST_F(ConcurrencyTest, GroupAttributeWritersWithoutALockNeverDamageIt) {
  WriteUnlocked([&](const std::string& text) { return WriteGroup(text); }, [&] { ReadGroup(); });
  if (IsSkipped()) return;
  _QVERcpGroupInfo info;
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(group().c_str(), &info), 0u);
  EXPECT_TRUE(IsLastWrite(info.strComment)) << info.strComment;
}

TEST_F(ConcurrencyTest, GroupAttributeCountUnderTheProjectLockLosesNothing) {
  EXPECT_EQ(Run([&](int, int) { return CountInGroup(); }, [&] { ReadGroup(); }), 0);
  ExpectCleanReads();
  _QVERcpGroupInfo info;
  ASSERT_EQ(CQVERcpUtil::GetRecipeGroupInfo(group().c_str(), &info), 0u);
  EXPECT_EQ(info.strComment, std::to_string(kEditors * kEditsEach));
}

}  // namespace
