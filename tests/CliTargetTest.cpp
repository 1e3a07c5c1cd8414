// rcpstore against wrong targets, bad words and locks held by other
// processes: the store and a tree outside it stay byte for byte as they were,
// and every refusal is one line that says why. Then what the same commands
// do when they are allowed to: hand-down of locks, deletes that clean up
// after themselves, listings that say what they leave out, and sub-group
// edits from concurrent processes.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "LibQVBRcpEpa.h"
#include "RcpstoreRun.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using qvtest::Outcome;
using qvtest::Quote;

// Every entry below a directory with its type and, for files, content. Left
// out: the station directories (their logs grow with every call), the test's
// own output files, and empty lock files (an unlocked lock file stays, empty).
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (auto walk = fs::recursive_directory_iterator(root); walk != fs::recursive_directory_iterator(); ++walk) {
    std::string name = walk->path().filename().string();
    if (name == "station" || name == ".station" || name == "io") {
      walk.disable_recursion_pending();
      continue;
    }
    struct stat st;
    lstat(walk->path().c_str(), &st);
    if ((name == "RcpLock.txt" || name == "RcpPjtLock.txt") && st.st_size == 0) continue;
    std::string what = S_ISDIR(st.st_mode) ? "dir" : S_ISLNK(st.st_mode) ? "link" : "file:";
    if (S_ISREG(st.st_mode)) what += qvtest::ReadFile(walk->path().string());
    entries[walk->path().string()] = what;
  }
  return entries;
}

// The paths that differ between two snapshots, one a line.
std::string Changes(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after) {
  std::string changes;
  for (const auto& [path, what] : before) {
    auto now = after.find(path);
    if (now == after.end()) {
      changes += "removed " + path + "\n";
    } else if (now->second != what) {
      changes += "changed " + path + "\n";
    }
  }
  for (const auto& [path, what] : after) {
    if (before.count(path) == 0) changes += "added " + path + "\n";
  }
  return changes;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// One command line and what it must give. Words may hold {demo}, {rg01},
// {rcp1}, {plain}, {file}, {missing} and {tmp}.
struct Case {
  std::vector<std::string> words;
  int status;
  std::string says;  // part of the one stderr line (or of stdout when status is 0)
};

class CliTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::MakeDirs(tmp_ / "io");
    ASSERT_EQ(Rcpstore({"demo", "demo"}).status, 0);
    qvtest::MakeDirs(tmp_ / "plain/RCP0001");
    qvtest::WriteFile(tmp_ / "plain/file.txt", "outside the store\n");
    qvtest::WriteFile(tmp_ / "plain/RCP0001/RcpHead.edf", "not a recipe\n");
    symlink((tmp_ / "plain/file.txt").c_str(), (tmp_ / "plain/link").c_str());
  }

  std::string Expand(std::string word) const {
    const std::pair<const char*, std::string> names[] = {{"{demo}", tmp_ / "demo"},
                                                         {"{rg01}", tmp_ / "demo/Recipe/RG01"},
                                                         {"{rcp1}", tmp_ / "demo/Recipe/RG01/RCP0001"},
                                                         {"{plain}", tmp_ / "plain"},
                                                         {"{file}", tmp_ / "plain/file.txt"},
                                                         {"{missing}", tmp_ / "nowhere/RCP0001"},
                                                         {"{tmp}", tmp_.path()}};
    for (const auto& [key, value] : names) {
      for (size_t at = word.find(key); at != std::string::npos; at = word.find(key)) {
        word.replace(at, strlen(key), value);
      }
    }
    return word;
  }

  // Runs rcpstore in the temporary directory with the test's station.
  Outcome Rcpstore(const std::vector<std::string>& words) {
    std::vector<std::string> expanded;
    for (const std::string& w : words) expanded.push_back(Expand(w));
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / "station", expanded, tmp_ / "io");
  }

  int Shell(const std::string& script) {
    int raw = std::system(("cd " + Quote(tmp_.path()) + " && { " + script + "; }").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // Runs every case and checks that nothing below the temporary directory
  // changed: the store, the ordinary directory and the file outside it.
  void ExpectRefusedWithoutChange(const std::vector<Case>& cases) {
    std::map<std::string, std::string> before = Snapshot(tmp_.path());
    for (const Case& c : cases) {
      Outcome run = Rcpstore(c.words);
      std::string line = c.words[0] + (c.words.size() > 1 ? " " + Expand(c.words[1]) : "");
      EXPECT_EQ(run.status, c.status) << line << "\n" << run.err;
      if (c.status == 0) {
        EXPECT_NE(run.out.find(Expand(c.says)), std::string::npos) << line << "\n" << run.out;
        continue;
      }
      EXPECT_EQ(run.err.rfind(c.status == 1 ? "rcpstore: " + line : "rcpstore: ", 0), 0u) << run.err;
      EXPECT_EQ(Occurrences(run.err, "\n"), 1u) << line << "\n" << run.err;
      EXPECT_NE(run.err.find(Expand(c.says)), std::string::npos) << line << "\n" << run.err;
      if (c.status == 1) {
        EXPECT_NE(run.err.find("(error 0x"), std::string::npos) << run.err;
      }
    }
    EXPECT_EQ(Changes(before, Snapshot(tmp_.path())), "");
  }

  qvtest::TempDir tmp_;
};

TEST_F(CliTargetTest, EveryTargetIsWhatItClaimsBeforeAnythingChanges) {
  const char* notRecipe = "not a recipe (expected RCPnnnn";
  const char* notGroup = "not a recipe group (expected RGnn";
  const char* notProject = "not a project directory";
  // Links in the store's place are never taken for what they point to.
  symlink((tmp_ / "plain/RCP0001").c_str(), (tmp_ / "demo/Recipe/RG01/RCP0009").c_str());
  symlink((tmp_ / "demo/Recipe/RG01").c_str(), (tmp_ / "demo/Recipe/RG09").c_str());
  ExpectRefusedWithoutChange({
      {{"recipe", "delete", "{rg01}/RCP0009"}, 1, notRecipe},
      {{"unit", "delete", "{rg01}/RCP0009", "0"}, 1, notRecipe},
      {{"group", "delete", "{demo}/Recipe/RG09", "--yes"}, 1, notGroup},
      {{"subgroup", "add", "{demo}/Recipe/RG09", "X"}, 1, notGroup},
      {{"recipe", "delete", "{rg01}"}, 1, notRecipe},
      {{"recipe", "delete", "{file}"}, 1, "not a directory"},
      {{"recipe", "delete", "{plain}/RCP0001"}, 1, notRecipe},
      {{"recipe", "set", "{missing}", "--title", "x"}, 1, "no such directory"},
      {{"recipe", "bump-version", "{plain}"}, 1, notRecipe},
      {{"recipe", "info", "{demo}"}, 1, notRecipe},
      {{"recipe", "create", "{demo}", "5"}, 1, notGroup},
      {{"recipe", "free", "{plain}"}, 1, notGroup},
      {{"unit", "create", "{rg01}", "3"}, 1, notRecipe},
      {{"unit", "delete", "{rcp1}", "7"}, 1, "there is no RcpPT07.edf"},
      {{"unit", "free", "{rg01}"}, 1, notRecipe},
      {{"group", "delete", "{plain}"}, 1, notGroup},
      {{"group", "delete", "{demo}/Recipe"}, 1, notGroup},
      {{"group", "set", "{rcp1}", "--comment", "x"}, 1, notGroup},
      {{"group", "info", "{demo}"}, 1, notGroup},
      {{"group", "free", "{tmp}/nowhere/"}, 1, "no such directory"},
      {{"group", "create", "{plain}", "3"}, 1, notProject},
      {{"subgroup", "add", "{demo}", "X"}, 1, notGroup},
      {{"subgroup", "put", "{rcp1}", "1", "Mixing"}, 1, notGroup},
      {{"lock", "recipe", "{rg01}"}, 1, notRecipe},
      {{"lock", "recipe", "{missing}"}, 1, "no such directory"},
      {{"lock", "status", "{missing}"}, 1, "no such directory"},
      {{"lock", "status", "{rg01}"}, 1, "a recipe group has no lock of its own"},
      {{"lock", "status", "NoSuch"}, 1, "no project registered under this name"},
      {{"lock", "project", "{plain}"}, 1, notProject},
      {{"tree", "{plain}"}, 1, notProject},
      {{"tree", "{rg01}"}, 1, notProject},
      {{"tree", "plain"}, 1, "give a directory with a '/', e.g. ./plain"},
      {{"ls", "{plain}"}, 1, "not a project, recipe group or recipe directory"},
      {{"clean-temp", "{plain}"}, 1, notProject},
      {{"project", "delete", "{plain}"}, 1, notProject},
      {{"project", "delete", "{tmp}"}, 1, notProject},
      {{"project", "create", "demo", "{tmp}"}, 1, "already exists"},
      {{"project", "create", "P2", "{tmp}/nowhere"}, 1, "no such directory"},
      {{"project", "register", "P2", "{plain}"}, 1, notProject},
      {{"project", "unregister", "NoSuch"}, 1, "no project registered under this name"},
      {{"project", "info", "{demo}"}, 1, "a registered project name, not a directory"},
      {{"recipe", "create", "{rg01}", "1"}, 1, "RCP0001 already exists"},
      {{"group", "create", "{demo}", "1"}, 1, "RG01 already exists"},
      {{"unit", "create", "{rcp1}", "1"}, 1, "RcpPT01.edf already exists"},
      {{"recipe", "create", "{rg01}", "9", "--template", "{tmp}/nowhere.edf"}, 1, "is not a readable file"},
      {{"recipe", "create", "{rg01}", "9", "--template", "{file}"}, 1, "is not a readable data file"},
      {{"recipe", "create", "{rg01}", "9", "--template", "{rcp1}/RcpPT01.edf"}, 1, "is not a recipe header file"},
      {{"unit", "create", "{rcp1}", "9", "--template", "{rcp1}/RcpHead.edf"}, 1, "is not a unit recipe file"},
  });
}

TEST_F(CliTargetTest, NumbersOutsideTheTablesAndBadWordsAreUsageErrors) {
  ExpectRefusedWithoutChange({
      {{"group", "create", "{demo}", "17"}, 2, "N: Value 17 not in range 1 to 16"},
      {{"group", "create", "{demo}", "0"}, 2, "not in range"},
      {{"recipe", "create", "{rg01}", "1001"}, 2, "not in range 1 to 1000"},
      {{"unit", "create", "{rcp1}", "33"}, 2, "not in range 0 to 32"},
      {{"unit", "delete", "{rcp1}", "-1"}, 2, "unit delete"},
      {{"recipe", "set", "{rcp1}", "--unit", "0=x"}, 2, "K=TEXT with K from 1 to 32"},
      {{"subgroup", "put", "{rg01}", "RCP1001", "Mixing"}, 2, "a recipe number 1 to 1000"},
      {{"subgroup", "put", "{rg01}", "{rcp1}", "Mixing"}, 2, "a recipe number 1 to 1000"},
      {{"frob"}, 2, "unknown command 'frob'"},
      {{"recipe", "frob"}, 2, "recipe: unknown command 'frob'"},
      {{"recipe", "set", "{rcp1}", "--frob"}, 2, "unknown option or argument: --frob"},
      {{"recipe"}, 2, "a command is required: free, create"},
      {{"project", "create", "a/b", "{tmp}"}, 2, "a project name is one directory name"},
      {{"project", "create", "..", "{tmp}"}, 2, "a project name is one directory name"},
      {{"project", "register", "x\ny", "{demo}"}, 2, "control characters"},
      {{"help", "frob"}, 2, "unknown command 'frob'"},
  });
}

TEST_F(CliTargetTest, TextsAreRefusedNotCut) {
  std::string longName(2000, 'n');
  ExpectRefusedWithoutChange({
      {{"recipe", "set", "{rcp1}", "--title", "12345678901234567"}, 2, "17 bytes, at most 16 bytes"},
      {{"recipe", "set", "{rcp1}", "--comment", std::string(65, 'c')}, 2, "65 bytes, at most 64 bytes"},
      {{"recipe", "set", "{rcp1}", "--unit", "2=" + std::string(25, 'u')}, 2, "at most 24 bytes"},
      {{"recipe", "create", "{rg01}", "9", "--header-name", "NINEBYTES"}, 2, "9 bytes, at most 8 bytes"},
      {{"unit", "create", "{rcp1}", "9", "--header-name", "NINEBYTES"}, 2, "at most 8 bytes"},
      {{"subgroup", "add", "{rg01}", ""}, 2, "a sub-group name is not empty"},
      {{"subgroup", "add", "{rg01}", "a/b"}, 2, "a sub-group name holds no '/'"},
      {{"subgroup", "add", "{rg01}", "a\nENDSUB,Mixing"}, 2, "line breaks and control characters"},
      {{"subgroup", "add", "{rg01}", "tab\there"}, 2, "control characters"},
      {{"subgroup", "add", "{rg01}", longName}, 2, "too long to be read back as one line"},
      {{"subgroup", "rename", "{rg01}", "x/y", "Mixing"}, 2, "holds no '/'"},
      {{"group", "set", "{rg01}", "--comment", "a\nSERVER,z"}, 2, "line breaks"},
  });
}

TEST_F(CliTargetTest, SubGroupRefusalsEachSayTheirCause) {
  ExpectRefusedWithoutChange({
      {{"subgroup", "add", "{rg01}", "Mixing"}, 1, "sub-group Mixing already exists (error 0x20000106)"},
      {{"subgroup", "add", "{rg01}", "Mixing", "Heating"}, 1, "sub-group Mixing/Heating already exists"},
      {{"subgroup", "add", "{rg01}", "NoSuch", "X"}, 1, "no sub-group NoSuch (error 0x20000116)"},
      {{"subgroup", "remove", "{rg01}", "NoSuch"}, 1, "no sub-group NoSuch"},
      {{"subgroup", "remove", "{rg01}", "Packing", "Heating"}, 1, "no sub-group Packing/Heating"},
      {{"subgroup", "rename", "{rg01}", "X", "NoSuch"}, 1, "no sub-group NoSuch"},
      {{"subgroup", "rename", "{rg01}", "Packing", "Mixing"}, 1, "sub-group Packing already exists"},
      {{"subgroup", "put", "{rg01}", "99", "Mixing"}, 1, "RCP0099 is not a recipe of this group"},
      {{"subgroup", "put", "{rg01}", "RCP0003", "NoSuch"}, 1, "no sub-group NoSuch"},
      {{"subgroup", "put", "{rg01}", "rcp0001", "Packing"}, 1, "RCP0001 is already in sub-group Mixing"},
      {{"subgroup", "take", "{rg01}", "3"}, 1, "RCP0003 is in no sub-group"},
  });
}

TEST_F(CliTargetTest, DeletesSayWhatTheyWouldRemove) {
  ExpectRefusedWithoutChange({
      {{"group", "delete", "{rg01}"}, 1, "it holds 5 recipes; --yes removes them"},
      {{"project", "delete", "Demo"}, 1, "it holds 2 recipe groups"},
      {{"group", "delete", "{rg01}", "--dry-run", "--yes"}, 0, "would remove {rg01}/RCP0005/RcpHead.edf"},
      {{"project", "delete", "{demo}", "--dry-run"}, 0, "would remove {demo}/Recipe/RG02"},
      {{"recipe", "delete", "{rcp1}", "--dry-run"}, 0, "would remove {rcp1}/RcpPT02.edf"},
      {{"unit", "delete", "{rcp1}", "0", "--dry-run"}, 0, "would remove {rcp1}/RcpRP.edf"},
  });
}

// Holds a lock in another process through the library itself.
qvtest::ChildProcess HoldLock(const std::string& recipeDir, const std::string& project) {
  return qvtest::ChildProcess([=] {
    auto* lock = new CQVERcpLock;  // lives until the process is killed
    return static_cast<int>(recipeDir.empty()
                                ? lock->LockProjectDirectory("Demo", project.c_str(), 0, nullptr, nullptr)
                                : lock->LockRecipe("RCP0001", 0, 0, recipeDir.c_str(), 0, nullptr, nullptr));
  });
}

TEST_F(CliTargetTest, LocksHeldByAnotherProcessRefuseEveryChange) {
  const char* held = "RCP0001 is being edited on another station: ";
  {
    qvtest::ChildProcess holder = HoldLock(tmp_ / "demo/Recipe/RG01/RCP0001", "");
    ASSERT_EQ(holder.started(), 0);
    ExpectRefusedWithoutChange({
        {{"recipe", "set", "{rcp1}", "--title", "X"}, 1, held},
        {{"recipe", "bump-version", "{rcp1}"}, 1, held},
        {{"unit", "create", "{rcp1}", "3"}, 1, held},
        {{"unit", "delete", "{rcp1}", "1"}, 1, held},
        {{"recipe", "delete", "{rcp1}"}, 1, held},
        {{"lock", "recipe", "{rcp1}"}, 1, held},
        {{"group", "delete", "{rg01}", "--yes"}, 1, "in use by another process (error 0x00000020)"},
        {{"lock", "status", "{rcp1}"}, 0, "locked by station "},
    });
  }
  qvtest::ChildProcess holder = HoldLock("", tmp_ / "demo");
  ASSERT_EQ(holder.started(), 0);
  held = "Demo is being edited on another station: ";
  ExpectRefusedWithoutChange({
      {{"group", "create", "Demo", "3"}, 1, held},
      {{"group", "set", "{rg01}", "--comment", "x"}, 1, held},
      {{"group", "delete", "{demo}/Recipe/RG02", "--yes"}, 1, held},
      {{"recipe", "create", "{rg01}", "9"}, 1, held},
      {{"recipe", "delete", "{rcp1}"}, 1, held},
      {{"subgroup", "add", "{rg01}", "New"}, 1, held},
      {{"subgroup", "take", "{rg01}", "1"}, 1, held},
      {{"project", "register", "Other", "{demo}"}, 1, held},
      {{"project", "delete", "{demo}", "--yes"}, 1, held},
      {{"clean-temp", "./demo"}, 1, held},
      {{"lock", "project", "Demo"}, 1, held},
      {{"lock", "status", "./demo"}, 0, "locked by station "},
      {{"lock", "status", "Demo"}, 0, "locked by station "},
  });
}

TEST_F(CliTargetTest, ACommandRunUnderLockActsAsTheHolder) {
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + Quote(tmp_ / "station");
  std::string recipe = tmp_ / "demo/Recipe/RG01/RCP0002";
  // The handed-down hold lets the command through and its in-use checks pass.
  Outcome own = Rcpstore({"lock", "recipe", recipe, "--", "sh", "-c",
                          bin + " recipe set " + recipe + " --title Mine && " + bin + " recipe delete " + recipe});
  ASSERT_EQ(own.status, 0) << own.err;
  EXPECT_FALSE(qvtest::Exists(recipe));
  // Its line went with it: a new RCP0002 is not inside the old sub-group.
  EXPECT_EQ(qvtest::ReadFile(tmp_ / "demo/Recipe/RG01/RcpSubGroup.txt").find("RCP0002"), std::string::npos);

  // The variable alone proves nothing: a descriptor of another file, or none.
  std::string rcp1 = tmp_ / "demo/Recipe/RG01/RCP0001";
  for (const std::string& forged :
       std::vector<std::string>{"exec 7<" + rcp1 + "/RcpHead.edf; RCPSTORE_LOCK_FDS=7 ", "RCPSTORE_LOCK_FDS=0,1,2 "}) {
    Outcome other =
        Rcpstore({"lock", "recipe", rcp1, "--", "sh", "-c", forged + bin + " recipe set " + rcp1 + " --title X"});
    EXPECT_EQ(other.status, 1) << forged;
    EXPECT_NE(other.err.find("RCP0001 is being edited on another station"), std::string::npos) << other.err;
  }
  // Nested: a recipe lock taken under the project lock hands both down.
  Outcome nested = Rcpstore({"lock", "project", "./demo", "--", RCPSTORE_BIN, "--station", tmp_ / "station", "lock",
                             "recipe", rcp1, "--", "sh", "-c", bin + " recipe delete " + rcp1});
  EXPECT_EQ(nested.status, 0) << nested.err;
  EXPECT_FALSE(qvtest::Exists(rcp1));
  EXPECT_EQ(Rcpstore({"lock", "status", "Demo"}).out, "not locked (" + (tmp_ / "demo/RcpPjtLock.txt") + ")\n");
}

TEST_F(CliTargetTest, CreatesAndDeletesLeaveNothingHalfDone) {
  std::string group = tmp_ / "demo/Recipe/RG02";
  // A failed template leaves no RCPnnnn behind, so the retry works.
  EXPECT_EQ(Rcpstore({"recipe", "create", group, "7", "--template", tmp_ / "nowhere.edf"}).status, 1);
  EXPECT_FALSE(qvtest::Exists(group + "/RCP0007"));
  ASSERT_EQ(Rcpstore({"recipe", "create", group, "7", "--template", group + "/RCP0001/RcpHead.edf"}).status, 0);

  // --truncate cuts at a character boundary: 'a' and eight two-byte letters.
  std::string title = "a";
  for (int i = 0; i < 8; ++i) title += "\xC3\xA9";
  ASSERT_EQ(Rcpstore({"recipe", "set", group + "/RCP0007", "--title", title, "--truncate"}).status, 0);
  json info = json::parse(Rcpstore({"recipe", "info", group + "/RCP0007", "--json"}).out);
  EXPECT_EQ(info["title"], title.substr(0, 15));

  // A delete cut short after the recipe went is finished by its re-run; then
  // the recipe is simply missing.
  std::string rcp2 = tmp_ / "demo/Recipe/RG01/RCP0002";
  fs::remove_all(rcp2);
  EXPECT_EQ(Rcpstore({"recipe", "delete", rcp2}).status, 0);
  EXPECT_EQ(qvtest::ReadFile(tmp_ / "demo/Recipe/RG01/RcpSubGroup.txt").find("RCP0002"), std::string::npos);
  EXPECT_NE(Rcpstore({"recipe", "delete", rcp2}).err.find("no such directory"), std::string::npos);
  // So is a project delete that left the directory with only its lock file.
  qvtest::WriteFile(tmp_ / "gone/RcpPjtLock.txt", "");
  EXPECT_EQ(Rcpstore({"project", "delete", "./gone"}).status, 0);
  EXPECT_FALSE(qvtest::Exists(tmp_ / "gone"));

  // A project delete with --yes removes the directory and the registration.
  ASSERT_EQ(Rcpstore({"project", "delete", "Demo", "--yes"}).status, 0);
  EXPECT_FALSE(qvtest::Exists(tmp_ / "demo"));
  EXPECT_EQ(Rcpstore({"project", "list"}).out, "");
  EXPECT_EQ(Rcpstore({"tree", "Demo"}).status, 1);
  // A project is never made over an existing one nor at the root.
  ASSERT_EQ(Rcpstore({"project", "create", "P", "."}).status, 0);
  EXPECT_TRUE(qvtest::Exists(tmp_ / "P/Recipe/RcpPJTAttr.txt"));
}

TEST_F(CliTargetTest, ListingsSayWhatTheyLeaveOutAndFullTablesFail) {
  for (int i = 1; i <= 21; ++i) {
    ASSERT_EQ(Rcpstore({"project", "register", "P" + std::to_string(i), "./demo", "--no-attr-file"}).status, 0);
  }
  Outcome list = Rcpstore({"project", "list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(Occurrences(list.out, "\n"), 20u);
  EXPECT_EQ(list.err, "rcpstore: project list: 2 more registered projects not shown (the list holds 20)\n");

  for (int n = 3; n <= 16; ++n) ASSERT_EQ(Rcpstore({"group", "create", "./demo", std::to_string(n)}).status, 0);
  Outcome groups = Rcpstore({"group", "free", "Demo"});
  EXPECT_EQ(groups.status, 1);
  EXPECT_NE(groups.err.find("no free number: all 16 are in use"), std::string::npos) << groups.err;
  for (int n = 6; n <= 1000; ++n) fs::create_directory(tmp_ / "demo/Recipe/RG01/" + QVFormat("RCP%04d", n));
  EXPECT_EQ(Rcpstore({"recipe", "free", "{rg01}"}).status, 1);

  Outcome children = Rcpstore({"ls", "{demo}/Recipe/RG02"});
  EXPECT_EQ(children.status, 0);
  EXPECT_NE(children.out.find("RCP0001"), std::string::npos);
  EXPECT_EQ(
      Shell("QVC_STATION_DIR= " + std::string(RCPSTORE_BIN) + " tree Demo --depth-one --station station >/dev/null"),
      0);
  EXPECT_EQ(Rcpstore({"--version"}).out.rfind("rcpstore 3.", 0), 0u);
  EXPECT_NE(Rcpstore({"help", "subgroup", "put"}).out.find("RECIPE"), std::string::npos);
}

TEST_F(CliTargetTest, ConcurrentSubGroupEditsKeepEveryUpdate) {
  // Each process adds its sub-groups one command at a time; a command refused
  // because another holds the project lock is run again.
  constexpr int kProcesses = 4;
  constexpr int kEach = 8;
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + Quote(tmp_ / "station");
  std::string script;
  for (int p = 0; p < kProcesses; ++p) {
    script += "(for i in $(seq " + std::to_string(kEach) + "); do n=0; until " + bin +
              " subgroup add demo/Recipe/RG02 S" + std::to_string(p) +
              "_$i 2>/dev/null; do n=$((n+1)); [ $n -lt 2000 ] || exit 1; done; done) & ";
  }
  ASSERT_EQ(Shell(script + "wait"), 0);
  std::string file = qvtest::ReadFile(tmp_ / "demo/Recipe/RG02/RcpSubGroup.txt");
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 1; i <= kEach; ++i) {
      std::string name = "S" + std::to_string(p) + "_" + std::to_string(i);
      EXPECT_EQ(Occurrences(file, "STARTSUB," + name + "\r\n"), 1u) << name;
    }
  }
  EXPECT_EQ(Occurrences(file, "STARTSUB,Trials\r\n"), 1u);
  EXPECT_FALSE(qvtest::Exists(tmp_ / "demo/Recipe/RG02/RcpSubGroupwork.txt"));
}

}  // namespace
