// EDF files, recipe header records, recipes and unit recipes, file entries
// and listings, on real files made from the built templates.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "LibQVBRcpEpa.h"
#include "RcpHidden.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "libqveeda/QVEEdaFile.h"
#include "libqveeda/QVEFilePath.h"
#include "platform/Env.h"
#include "platform/Registry.h"

using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

std::string SystemTemplate(const char* file) { return QVETemplateRoot() + "/QVSystem/" + file; }

// Reads, changes and writes back one EDF file's bytes.
void Patch(const std::string& path, const std::function<void(std::string&)>& change) {
  std::string bytes = ReadFile(path);
  change(bytes);
  WriteFile(path, bytes);
}

class RecipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::MakeDirs(group());
    ASSERT_EQ(CQVERcpUtil::CreateRecipe("HEAD1", group().c_str(), 12, nullptr), 0u);
  }
  void TearDown() override { qvplatform::testing::ActAsUser(""); }

  std::string group() const { return tmp_ / "P/Recipe/RG03"; }
  std::string recipe() const { return group() + "/RCP0012"; }
  std::string head() const { return recipe() + "/RcpHead.edf"; }

  _QVERcpFileDetailInfo Read(uint32_t* kind = nullptr, const std::string& path = "") {
    _QVERcpFileDetailInfo info;
    EXPECT_EQ(CQVERcpUtil::GetRcpFileInfo((path.empty() ? head() : path).c_str(), kind, &info), 0u);
    return info;
  }

  std::string Version() {
    CQVEEdaFileMap map;
    _QVEEdtFileHeader* header;
    EXPECT_EQ(map.Open(head().c_str(), QVEEDA_MODE_READ, &header, 0), 0u);
    void* main = nullptr;
    EXPECT_EQ(QVEEdaEdtFindData(header, "MRCB", 0, &main), 0u);
    return QVEEdaGetText(main, 0x80, 16);
  }

  qvtest::TempDir tmp_;
};

TEST_F(RecipeTest, ANewRecipeIsStampedFromTheSystemTemplate) {
  uint32_t kind = 0;
  _QVERcpFileDetailInfo info = Read(&kind);
  EXPECT_EQ(kind, QVERCP_FILE_HEADER);
  EXPECT_EQ(info.strHeadName, "HEAD1");
  EXPECT_EQ(info.strTitle, "New recipe");
  EXPECT_EQ(info.strUnitComment[31], "Unit 32");
  EXPECT_GT(info.tUpdated, 0);
  EXPECT_EQ(Version(), "0");
  std::string bytes = ReadFile(head());
  EXPECT_EQ(bytes.substr(0x24, 3), std::string("\0\0\3", 3));
  EXPECT_NE(bytes.find(qvplatform::CallerUserName()), std::string::npos);

  uint32_t number = 0;
  ASSERT_EQ(CQVERcpUtil::GetRcpInfo(recipe().c_str(), &number, &info), 0u);
  EXPECT_EQ(number, 12u);
  ASSERT_EQ(CQVERcpUtil::GetRcpInfo((recipe() + "/").c_str(), &number, &info), 0u);
  EXPECT_EQ(number, 12u);
  EXPECT_EQ(CQVERcpUtil::GetRcpInfo((group() + "/RCP0099").c_str(), &number, &info),
            static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 12), QVC_ERR_EXISTS);
  EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 13), 0u);

  // A missing template says why and leaves no recipe behind.
  EXPECT_EQ(CQVERcpUtil::CreateRecipe("X", group().c_str(), 14, (tmp_ / "none.edf").c_str()),
            static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Exists(group() + "/RCP0014"));
}

TEST_F(RecipeTest, WritesKeepFieldWidthsAndLeaveAloneWhatTheySkip) {
  _QVERcpFileDetailInfo info = Read();
  info.strHeadName.clear();
  info.strTitle = "A title of twenty ch";
  info.strComment = std::string(70, 'c');
  info.strUnitComment[0] = "Mixer";
  info.strUnitComment[1] = std::string(30, 'u');
  info.strExtra = "untouched";
  ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe().c_str(), &info), 0u);
  _QVERcpFileDetailInfo back = Read();
  EXPECT_EQ(back.strHeadName, "HEAD1");
  EXPECT_EQ(back.strTitle, "A title of twent");
  EXPECT_EQ(back.strComment, std::string(64, 'c'));
  EXPECT_EQ(back.strUnitComment[0], "Mixer");
  EXPECT_EQ(back.strUnitComment[1], std::string(24, 'u'));
  EXPECT_EQ(info.strExtra, "untouched");

  _QVERcpFileDetailInfo cleared;
  ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe().c_str(), &cleared), 0u);
  back = Read();
  EXPECT_EQ(back.strTitle, "A title of twent");
  EXPECT_EQ(back.strComment, "");
  EXPECT_EQ(back.strUnitComment[0], "");
}

TEST_F(RecipeTest, VersionsRunUpAndWrapAround) {
  const std::pair<const char*, const char*> steps[] = {{"7", "8"},   {"", "1"},         {"abc", "1"},
                                                        {"-5", "1"},  {"12abc", "13"},   {"99999999", "100000000"},
                                                        {"100000000", "1"}};
  for (const auto& [before, after] : steps) {
    Patch(head(), [&](std::string& bytes) {
      size_t main = bytes.find("New recipe");
      std::memset(bytes.data() + main + 0x80, 0, 16);
      std::memcpy(bytes.data() + main + 0x80, before, std::strlen(before));
    });
    ASSERT_EQ(CQVERcpUtil::SetRcpHeadVersion(head().c_str()), 0u);
    EXPECT_EQ(Version(), after) << before;
  }
  ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("U", recipe().c_str(), 1, nullptr), 0u);
  std::string unit = ReadFile(recipe() + "/RcpPT01.edf");
  EXPECT_EQ(CQVERcpUtil::SetRcpHeadVersion((recipe() + "/RcpPT01.edf").c_str()), 0u);
  EXPECT_TRUE(ReadFile(recipe() + "/RcpPT01.edf") == unit);
}

TEST_F(RecipeTest, UnitRecipesComeFromTheRightTemplates) {
  // The user's set: a unit template whose name shows where it came from.
  std::string userDir = tmp_ / ".station/templates/QVUser";
  qvtest::MakeDirs(userDir);
  std::string userTemplate = ReadFile(SystemTemplate("RcpPrt.edf"));
  std::memcpy(userTemplate.data() + QVEEDA_OFF_NAME, "USERPRT\0", 8);
  WriteFile(userDir + "/RcpPrt.edf", userTemplate);

  ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("", recipe().c_str(), 3, nullptr), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("", recipe().c_str(), 0, nullptr), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("NAMED", recipe().c_str(), 32, nullptr), 0u);
  uint32_t kind = 0;
  EXPECT_EQ(Read(&kind, recipe() + "/RcpPT03.edf").strHeadName, "USERPRT");
  EXPECT_EQ(kind, QVERCP_FILE_UNIT);
  EXPECT_EQ(Read(nullptr, recipe() + "/RcpRP.edf").strHeadName, "RCPPRT");
  EXPECT_EQ(Read(nullptr, recipe() + "/RcpPT32.edf").strHeadName, "NAMED");

  // A unit file's header read leaves the record's texts as the caller set them.
  _QVERcpFileDetailInfo info;
  info.strTitle = "mine";
  ASSERT_EQ(CQVERcpUtil::GetRcpFileInfo((recipe() + "/RcpPT03.edf").c_str(), nullptr, &info), 0u);
  EXPECT_EQ(info.strTitle, "mine");

  WriteFile(recipe() + "/RCPPT05.EDF", userTemplate);
  WriteFile(recipe() + "/RcpPT40.edf", userTemplate);
  int32_t units[QVERCP_UNITS];
  ASSERT_EQ(CQVERcpUtil::FindFreeUnitNo(recipe().c_str(), units), 0u);
  for (int i = 0; i < QVERCP_UNITS; ++i) EXPECT_EQ(units[i], i == 2 || i == 4 || i == 31 ? 0 : 1) << i;
  EXPECT_EQ(CQVERcpUtil::CheckUnitDuplicate(recipe().c_str(), 3), QVC_ERR_EXISTS);
  EXPECT_EQ(CQVERcpUtil::CheckUnitDuplicate(recipe().c_str(), 0), 0u);

  ASSERT_EQ(CQVERcpUtil::DeleteUnitRecipe(recipe().c_str(), 0), 0u);
  EXPECT_FALSE(Exists(recipe() + "/RcpRP.edf"));
  EXPECT_EQ(CQVERcpUtil::DeleteUnitRecipe(recipe().c_str(), 7), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

// Every user's new recipes are made from the user template set, so only
// what the station's administrators can have put there is used: anything
// another user owns or may write, reached through a link, or not a regular
// file gives way to the system's template, and the caller is told why.
TEST_F(RecipeTest, OnlyAnAdministratorsUserTemplateIsUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another owner need root";
  namespace fs = std::filesystem;
  const std::string templates = tmp_ / ".station/templates";
  const std::string userSet = templates + "/QVUser";
  const std::string head = userSet + "/RcpHead.edf";
  const std::string elsewhere = tmp_ / "elsewhere";
  std::string bytes = ReadFile(SystemTemplate("RcpHead.edf"));
  bytes.replace(bytes.find("New recipe"), 10, "Users tmpl");
  struct Row {
    const char* what;
    std::function<int()> spoil;
    bool used;
  };
  const Row rows[] = {
      {"an administrator's", [] { return 0; }, true},
      {"a file others may write", [&] { return chmod(head.c_str(), 0664); }, false},
      {"a file of another user", [&] { return chown(head.c_str(), 65534, 65534); }, false},
      {"a folder of another user", [&] { return chown(userSet.c_str(), 65534, 65534); }, false},
      {"a parent folder others may write", [&] { return chmod(templates.c_str(), 0777); }, false},
      {"a link to a file",
       [&] {
         return rename(head.c_str(), (elsewhere + "/RcpHead.edf").c_str()) |
                symlink((elsewhere + "/RcpHead.edf").c_str(), head.c_str());
       },
       false},
      {"a link to a folder",
       [&] {
         return rename(userSet.c_str(), (elsewhere + "/QVUser").c_str()) |
                symlink((elsewhere + "/QVUser").c_str(), userSet.c_str());
       },
       false},
      {"a FIFO", [&] { return unlink(head.c_str()) | mkfifo(head.c_str(), 0644); }, false},
  };
  unsigned number = 20;
  for (const Row& row : rows) {
    fs::remove_all(templates);
    fs::remove_all(elsewhere);
    qvtest::MakeDirs(userSet);
    qvtest::MakeDirs(elsewhere);
    WriteFile(head, bytes);
    for (const std::string& path : {templates, userSet}) ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    ASSERT_EQ(chmod(head.c_str(), 0644), 0);
    ASSERT_EQ(row.spoil(), 0) << row.what;
    std::vector<std::string> told;
    QVEEngSetMsgBufObserver([&](const std::string& line) { told.push_back(line); });
    uint32_t rc = CQVERcpUtil::CreateRecipe("H", group().c_str(), number, nullptr);
    QVEEngSetMsgBufObserver(nullptr);
    ASSERT_EQ(rc, 0u) << row.what;
    std::string made = group() + "/RCP00" + std::to_string(number++) + "/RcpHead.edf";
    EXPECT_EQ(Read(nullptr, made).strTitle, row.used ? "Users tmpl" : "New recipe") << row.what;
    EXPECT_EQ(told.empty(), row.used) << row.what;
  }
}

TEST_F(RecipeTest, FreeRecipeNumbersStayInsideTheTable) {
  for (const char* name : {"RCP0001", "rcp0002", "RCP0010", "RCP0000", "RCP1001", "RCP9999", "TEMP"}) {
    qvtest::MakeDirs(group() + "/" + name);
  }
  std::vector<int32_t> table(QVERCP_RECIPE_TABLE + 1, 42);
  ASSERT_EQ(CQVERcpUtil::FindFreeRcpNo(group().c_str(), table.data()), 0u);
  for (int i = 0; i < QVERCP_RECIPE_TABLE; ++i) EXPECT_EQ(table[i], i == 0 || i == 1 || i == 9 || i == 11 ? 0 : 1) << i;
  EXPECT_EQ(table[QVERCP_RECIPE_TABLE], 42);
  EXPECT_EQ(CQVERcpUtil::FindFreeRcpNo("", table.data()), static_cast<uint32_t>(ERROR_INVALID_NAME));
}

// Notes the steps that make a change durable, in order: "file" (a file's
// data flushed), "publish <name>" (a build renamed into place), "dir <name>"
// (a directory's entries flushed); names are the last part of the path. The
// history's own steps (below .history) are noted apart.
class DurableSteps : public qvplatform::EnvWrapper {
 public:
  DurableSteps() : EnvWrapper(qvplatform::Env::Posix()) {}
  uint32_t CreateForWrite(const std::string& p, std::unique_ptr<qvplatform::WritableFile>* out) override {
    uint32_t rc = target()->CreateForWrite(p, out);
    if (rc == 0) *out = std::make_unique<Noted>(std::move(*out), InHistory(p) ? &historySteps : &steps);
    return rc;
  }
  uint32_t OpenForAppend(const std::string& p, std::unique_ptr<qvplatform::WritableFile>* out) override {
    uint32_t rc = target()->OpenForAppend(p, out);
    if (rc == 0) *out = std::make_unique<Noted>(std::move(*out), InHistory(p) ? &historySteps : &steps);
    return rc;
  }
  uint32_t RenameNoReplace(const std::string& f, const std::string& t) override {
    steps.push_back("publish " + Last(t));
    return target()->RenameNoReplace(f, t);
  }
  uint32_t SyncDirectory(const std::string& p) override {
    (InHistory(p) ? historySteps : steps).push_back("dir " + Last(p));
    return target()->SyncDirectory(p);
  }
  std::vector<std::string> steps;
  std::vector<std::string> historySteps;

 private:
  static bool InHistory(const std::string& path) { return path.find("/.history/") != std::string::npos; }
  static std::string Last(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.rfind(".RCP", 0) == 0 ? "build" : name;
  }
  struct Noted : qvplatform::WritableFile {
    Noted(std::unique_ptr<qvplatform::WritableFile> f, std::vector<std::string>* s) : real(std::move(f)), steps(s) {}
    uint32_t Append(const char* d, size_t n) override { return real->Append(d, n); }
    uint32_t AppendHole(size_t n) override { return real->AppendHole(n); }
    uint32_t Sync() override {
      steps->push_back("file");
      return real->Sync();
    }
    uint32_t Close() override { return real->Close(); }
    std::unique_ptr<qvplatform::WritableFile> real;
    std::vector<std::string>* steps;
  };
};

// A new recipe is flushed as far as surviving a crash needs, once: its
// header's data and the hidden build's entries before the build is renamed
// into place, the group's entries after. From the system template or a
// given one alike. Its history then keeps the new header and the log line:
// each a file and its directory.
TEST_F(RecipeTest, ACreateFlushesItsHeaderAndTwoDirectoriesOnce) {
  const std::vector<std::string> expected{"file", "dir build", "publish RCP0013", "dir RG03"};
  const std::string given = SystemTemplate("RcpHead.edf");
  for (const char* templateFile : {static_cast<const char*>(nullptr), given.c_str()}) {
    std::filesystem::remove_all(group() + "/RCP0013");
    DurableSteps durable;
    {
      qvplatform::ScopedEnv scoped(&durable);
      ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 13, templateFile), 0u);
    }
    EXPECT_EQ(durable.steps, expected) << (templateFile == nullptr ? "system template" : templateFile);
    EXPECT_LE(durable.historySteps.size(), 6u);
    EXPECT_EQ(Read(nullptr, group() + "/RCP0013/RcpHead.edf").strHeadName, "H");
  }
}

// An edit of a recipe whose history is under way costs the history one
// flush: its line, appended to the log.
TEST_F(RecipeTest, AnEditKeepsItsVersionWithOneFlush) {
  ASSERT_EQ(CQVERcpUtil::SetRcpHeadVersion(head().c_str()), 0u);
  DurableSteps durable;
  {
    qvplatform::ScopedEnv scoped(&durable);
    ASSERT_EQ(CQVERcpUtil::SetRcpHeadVersion(head().c_str()), 0u);
  }
  EXPECT_EQ(durable.historySteps, std::vector<std::string>{"file"});
}

TEST_F(RecipeTest, DuplicatesAndLeftoversAreFoundWithFewerScans) {
  ASSERT_EQ(std::rename(recipe().c_str(), (group() + "/rcp0012").c_str()), 0);
  EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 12), QVC_ERR_EXISTS);
  EXPECT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 12, nullptr), QVC_ERR_EXISTS);
  EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 13), 0u);
  // A file in the way is never replaced, and a refused create leaves no build behind.
  qvtest::WriteFile(group() + "/Rcp0015", "mine");
  EXPECT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 15, nullptr), QVC_ERR_EXISTS);
  EXPECT_EQ(qvtest::ReadFile(group() + "/Rcp0015"), "mine");
  for (const auto& entry : std::filesystem::directory_iterator(group())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }

  std::string trash = group() + "/.RCP0001.trash-7-ab";
  std::string later = tmp_ / "P/Recipe/RG04";
  {
    rcphidden::CleanEachDirectoryOnce once;
    rcphidden::CleanLeftovers(later.c_str());  // missing: nothing cleaned, nothing recorded
    qvtest::MakeDirs(later + "/.RCP0002.trash-7-ab");
    rcphidden::CleanLeftovers(later.c_str());
    EXPECT_FALSE(Exists(later + "/.RCP0002.trash-7-ab"));

    qvtest::MakeDirs(trash);
    ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", (group() + "/").c_str(), 14, nullptr), 0u);
    EXPECT_FALSE(Exists(trash));
    qvtest::MakeDirs(trash);
    EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 15), 0u);
    EXPECT_TRUE(Exists(trash));
  }
  EXPECT_EQ(CQVERcpUtil::CheckRcpDuplicate(group().c_str(), 15), 0u);
  EXPECT_FALSE(Exists(trash));
}

TEST_F(RecipeTest, MalformedFilesGiveAClearCodeAndStayAsTheyWere) {
  const std::string good = ReadFile(head());
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  const std::vector<std::function<void(std::string&)>> damage = {
      [](std::string& b) { b.resize(0x30); },                                  // truncated header
      [](std::string& b) { b.resize(b.size() - 1); },                          // truncated records
      [](std::string& b) { b[0] = 'X'; },                                      // not an EDF file
      [&](std::string& b) { b.replace(QVEEDA_OFF_DIRECTORY, 4, u32(0xFFFFFFF0)); },  // directory outside
      [&](std::string& b) { b.replace(QVEEDA_OFF_RECORDS, 4, u32(0x10000000)); },    // too many records
      [&](std::string& b) { b.replace(0x40 + 8, 4, u32(0x7FFFFFFF)); },        // a record outside
      [&](std::string& b) { b.replace(0x40 + 12, 4, u32(0x10)); },             // MRCB too small
      [](std::string& b) { b.replace(0x40, 4, "XRCB"); },                      // no MRCB
      [](std::string& b) { b.replace(0x40 + 16 * 32, 4, "XRCB"); },            // no URCB 31
      // Records that share bytes with the header, the directory or each other, and
      // a second entry for one record; writing any of them would change the layout.
      [&](std::string& b) { b.replace(0x40 + 8, 4, u32(0x40)); },              // MRCB over the directory
      [&](std::string& b) { b.replace(0x40 + 16 + 8, 4, u32(0x30)); },         // URCB 0 over the header
      [&](std::string& b) { b.replace(0x40 + 32 + 8, 4, b.substr(0x40 + 16 + 8, 4)); },  // URCB 1 on URCB 0
      [](std::string& b) { b.replace(0x40 + 32, 8, b.substr(0x40 + 16, 8)); },  // URCB 0 twice
  };
  for (size_t i = 0; i < damage.size(); ++i) {
    WriteFile(head(), good);
    Patch(head(), damage[i]);
    std::string bad = ReadFile(head());
    _QVERcpFileDetailInfo info;
    info.strTitle = "kept";
    uint32_t kind = 7;
    EXPECT_EQ(CQVERcpUtil::GetRcpFileInfo(head().c_str(), &kind, &info), ERROR_FILE_CORRUPT) << i;
    EXPECT_EQ(info.strTitle, "kept");
    EXPECT_EQ(kind, 7u);
    _QVERcpFileDetailInfo change;
    change.strTitle = "new";
    change.strComment = "x";
    EXPECT_EQ(CQVERcpUtil::SetRcpFileInfo(head().c_str(), &change), ERROR_FILE_CORRUPT) << i;
    EXPECT_NE(CQVERcpUtil::SetRcpHeadVersion(head().c_str()), 0u) << i;
    EXPECT_TRUE(ReadFile(head()) == bad) << i;
  }
}

// A read-write mapping holds its work file from before its read to its
// write-back, so that a second writer waits its turn instead of losing an
// update; a mapping that is dropped leaves neither work file nor change.
TEST_F(RecipeTest, AWriteBackHoldsItsWorkFileFromReadToCommit) {
  const std::string before = ReadFile(head());
  const std::string work = head() + ".new";
  for (bool commit : {false, true}) {
    CQVEEdaFileMap map;
    _QVEEdtFileHeader* header = nullptr;
    ASSERT_EQ(map.Open(head().c_str(), QVEEDA_MODE_READWRITE, &header, 1), 0u);
    EXPECT_TRUE(Exists(work));
    void* main = nullptr;
    ASSERT_EQ(QVEEdaEdtFindData(header, "MRCB", 0, &main), 0u);
    QVEEdaPutText(main, 0, 16, "changed");
    if (commit) {
      ASSERT_EQ(map.Close(), 0u);
    } else {
      map.Release();
    }
    EXPECT_FALSE(Exists(work));
    EXPECT_EQ(ReadFile(head()) == before, !commit);
    if (commit) {
      EXPECT_EQ(Read().strTitle, "changed");
    }
  }
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  EXPECT_NE(map.Open((recipe() + "/missing.edf").c_str(), QVEEDA_MODE_READWRITE, &header, 1), 0u);
  EXPECT_FALSE(Exists(recipe() + "/missing.edf.new"));
}

// A change reads the texts it edits while the work file is already held,
// and writes back every text it did not touch as it was.
TEST_F(RecipeTest, AChangeEditsTheTextsItReadUnderOneHold) {
  _QVERcpFileDetailInfo info = Read();
  info.strTitle = "Kept";
  info.strUnitComment[4] = "Five";
  ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe().c_str(), &info), 0u);
  bool heldWhileChanging = false;
  ASSERT_EQ(CQVERcpUtil::ChangeRcpInfo(recipe().c_str(),
                                       [&](_QVERcpFileDetailInfo* texts) {
                                         heldWhileChanging = Exists(head() + ".new");
                                         EXPECT_EQ(texts->strTitle, "Kept");
                                         texts->strUnitComment[2] = "Three";
                                       }),
            0u);
  EXPECT_TRUE(heldWhileChanging);
  EXPECT_FALSE(Exists(head() + ".new"));
  _QVERcpFileDetailInfo back = Read();
  EXPECT_EQ(back.strTitle, "Kept");
  EXPECT_EQ(back.strUnitComment[2], "Three");
  EXPECT_EQ(back.strUnitComment[4], "Five");
  EXPECT_EQ(back.strHeadName, "HEAD1");

  Patch(head(), [](std::string& b) { b.replace(0x40 + 16 * 32, 4, "XRCB"); });
  const std::string damaged = ReadFile(head());
  bool called = false;
  EXPECT_EQ(CQVERcpUtil::ChangeRcpInfo(recipe().c_str(), [&](_QVERcpFileDetailInfo*) { called = true; }),
            static_cast<uint32_t>(ERROR_FILE_CORRUPT));
  EXPECT_FALSE(called);
  EXPECT_TRUE(ReadFile(head()) == damaged);
}

class ListTest : public RecipeTest {
 protected:
  void SetUp() override {
    RecipeTest::SetUp();
    _QVERcpFileDetailInfo info = Read();
    info.strTitle = "Twelve";
    info.strComment = "Recipe twelve";
    info.strUnitComment[0] = "Mixer";
    info.strUnitComment[1] = "Filler";
    ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe().c_str(), &info), 0u);
    for (unsigned unit : {1u, 2u}) ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("U", recipe().c_str(), unit, nullptr), 0u);
    WriteFile(recipe() + "/RcpPT40.edf", ReadFile(recipe() + "/RcpPT01.edf"));
    WriteFile(recipe() + "/notes.txt", "x");
    WriteFile(recipe() + "/broken.EDF", "not an edf");
    ASSERT_EQ(CQVERcpUtil::CreateRecipe("OTHER", group().c_str(), 13, nullptr), 0u);
  }

  std::string Describe(const CQVERcpFileInfoArray& files) {
    std::string out;
    for (const auto& f : files) {
      out += f->GetFileName() + ":" + std::to_string(f->m_nUnitNo) + ":" + f->m_strTitle + ":" + f->m_strComment + ";";
    }
    return out;
  }
};

TEST_F(ListTest, ListsFilesInNameOrderWithTheRecipesTexts) {
  qvtest::ErrorCapture errors;
  CQVERcpFileInfoArray files;
  files.push_back(std::make_unique<CQVERcpFileInfo>());
  ASSERT_EQ(CQVERcpUtil::GetFileList(recipe().c_str(), files), 0u);
  EXPECT_EQ(Describe(files),
            "RcpHead.edf:0:Twelve:Recipe twelve;RcpPT01.edf:1:Twelve:Mixer;RcpPT02.edf:2:Twelve:Filler;"
            "RcpPT40.edf:40:Twelve:;");
  EXPECT_EQ(errors.Count(QVERCP_ERR_INVALID_NAME, "Invalid Extention"), 1u);
  EXPECT_EQ(files[1]->m_strDir, recipe() + "/");
  EXPECT_EQ(files[1]->m_nKind, QVERCP_FILE_UNIT);

  // A unit file read right after another recipe's header keeps its own texts.
  CQVERcpFileInfo other;
  ASSERT_EQ(other.SetRcpFileInfo((group() + "/RCP0013").c_str(), "RcpHead", ".edf", nullptr), 0u);
  CQVERcpFileInfo unit;
  ASSERT_EQ(unit.SetRcpFileInfo(recipe().c_str(), "RcpPT01", ".edf", nullptr), 0u);
  EXPECT_EQ(unit.m_strTitle, "");
  EXPECT_EQ(unit.m_strComment, "");

  CQVERcpFileInfoArray none;
  ASSERT_EQ(CQVERcpUtil::GetFileList((tmp_ / "missing").c_str(), none), 0u);
  EXPECT_TRUE(none.empty());
}

TEST_F(ListTest, ChildrenOfANodeBecomeEntries) {
  CQVERcpDirInfo groupNode;
  groupNode.m_strProject = "P";
  groupNode.SetFullPath(group().c_str());
  WriteFile(group() + "/RcpSubGroup.txt", "STARTSUB,A\r\nENDSUB,A\r\n");
  qvtest::MakeDirs(group() + "/RCP0014");
  CQVERcpUtil::GetDirectoryList(&groupNode, 0, 1);
  CQVERcpFileInfoArray files;
  ASSERT_EQ(CQVERcpUtil::GetDirListAsFile(&groupNode, files), 0u);
  ASSERT_EQ(CQVERcpUtil::GetDirListAsFile(&groupNode, files), 0u);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[0]->m_nKind, 0xF000u);
  EXPECT_EQ(files[0]->GetFileName(), "RCP0012.edf");
  EXPECT_EQ(files[0]->m_strTitle, "Twelve");
  EXPECT_EQ(files[0]->GetDispName(0), "RCP0012.edf");
  EXPECT_EQ(files[2]->GetFileName(), "RCP0014.edf");
  EXPECT_EQ(files[2]->m_strTitle, "");
  EXPECT_EQ(files[3]->m_nKind, 0xF001u);
  EXPECT_EQ(files[3]->GetFileName(), "A");
  EXPECT_EQ(files[3]->m_pDirInfo, groupNode.m_listChild.back().get());

  CQVERcpFileInfo fromNode;
  fromNode.CopyData(groupNode);
  EXPECT_EQ(fromNode.m_nKind, 0xF002u);
  EXPECT_EQ(fromNode.GetDispName(0), "RG03");
  CQVERcpFileInfoArray unitFiles;
  CQVERcpUtil::GetFileList(groupNode.m_listChild.front().get(), unitFiles);
  EXPECT_EQ(unitFiles[1]->GetDispName(0), "PJT:P Gr:RG03 Rcp:RCP0012 File:RcpPT01.edf");
  CQVERcpFileInfo copy(*unitFiles[1]);
  copy.m_pDirInfo = nullptr;
  copy.m_tCreated = 1;
  EXPECT_TRUE(copy == *unitFiles[1]);
  copy.m_strComment = "x";
  EXPECT_TRUE(copy != *unitFiles[1]);
}

}  // namespace
