// What the rcpstore command line itself does with its words: refusals are
// one line with the command, its target, the cause and the code, and exit 1;
// bad words exit 2 before anything changes; deletes say what they would
// remove; locks are handed down to the command run under them; listings say
// what they leave out.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "LibQVBRcpEpa.h"
#include "RcpstoreRun.h"
#include "StoreGen.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/Host.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using qvtest::Outcome;
using qvtest::Quote;

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

  // The files of the store and of the directory beside it, by their bytes'
  // hashes; an unlocked lock file stays behind, empty, and is left out.
  std::map<std::string, size_t> Stored() const {
    std::map<std::string, size_t> files;
    for (const std::string dir : {"demo/", "plain/"}) {
      for (const auto& [path, bytes] : qvtest::Snapshot(tmp_ / dir)) {
        if (bytes.empty() && path.find("Lock.txt") != std::string::npos) continue;
        files[dir + path] = std::hash<std::string>{}(bytes);
      }
    }
    return files;
  }

  // Runs every case and checks that no file of the store or beside it changed.
  void ExpectRefusedWithoutChange(const std::vector<Case>& cases) {
    std::map<std::string, size_t> before = Stored();
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
    EXPECT_EQ(Stored(), before);
  }

  qvtest::TempDir tmp_;
};

// The store's own refusals, as the command line passes them on, for a
// directory, an address and a bare word: the checks themselves are the
// library's.
TEST_F(CliTargetTest, RefusalsAreOneLineWithTheirCommandTargetAndCode) {
  ExpectRefusedWithoutChange({
      {{"recipe", "delete", "{rg01}"}, 1, "not a recipe (expected RCPnnnn"},
      {{"tree", "{tmp}/nowhere"}, 1, "{tmp}/nowhere: no such directory (error 0x00000003)"},
      {{"tree", "plain"}, 1, "give a directory with a '/', e.g. ./plain"},
      {{"edf", "dump", "{file}"}, 1, "(error 0x00000570)"},
  });
}

// Words the command line refuses itself, before the store is asked: numbers
// outside the tables, unknown words, and (one of each option kind; the rules
// are the library's) texts that would not fit.
TEST_F(CliTargetTest, BadWordsAndTextsThatDoNotFitAreUsageErrors) {
  ExpectRefusedWithoutChange({
      {{"group", "create", "{demo}", "17"}, 2, "N must be a number from 1 to 16, not '17'"},
      {{"recipe", "create", "{rg01}", "1001"}, 2, "from 1 to 1000"},
      {{"unit", "create", "{rcp1}", "33"}, 2, "from 0 to 32"},
      {{"recipe", "info", "@Demo/17"}, 2, "RECIPE: '17' is not a group number (1 to 16)"},
      {{"recipe", "info", "@Demo/1/1/"}, 0, "@Demo/1/1"},
      {{"recipe", "create", "7", "@Demo/1"}, 2, "the group comes first: rcpstore recipe create @Demo/1 7"},
      {{"subgroup", "move", "Daily", "@Demo/1/1"}, 2, "the recipe comes first: rcpstore subgroup move @Demo/1/1 Daily"},
      {{"recipe", "copy", "@Demo/1/1", "@Demo/2/3"}, 2,
       "DEST_GROUP: a group (@PROJECT/G) is expected, not the recipe @Demo/2/3; meant: rcpstore recipe copy "
       "@Demo/1/1 @Demo/2 3"},
      {{"recipe", "crate"}, 2, "unknown command 'crate' (did you mean create?)"},
      {{"-V"}, 2, "unknown option '-V' (did you mean --version?)"},
      {{"recipe", "set", "{rcp1}", "--titel", "x"}, 2, "(did you mean --title?)"},
      {{"security", "check", "runn"}, 2, "RIGHT must be one of run, read, create, edit, delete, approve, download, "
                                         "not 'runn' (did you mean run?)"},
      {{"help", "recipe", "copy"}, 0, "Usage: rcpstore recipe copy [OPTIONS] SRC DEST_GROUP [N]"},
      {{"unit", "delete", "{rcp1}", "-1"}, 2, "unit delete"},
      {{"recipe", "set", "{rcp1}", "--unit", "0=x"}, 2, "K=TEXT with K from 1 to 32"},
      {{"subgroup", "put", "{rg01}", "RCP1001", "Mixing"}, 2, "a recipe number 1 to 1000"},
      {{"frob"}, 2, "unknown command 'frob'"},
      {{"recipe", "frob"}, 2, "recipe: unknown command 'frob'"},
      {{"recipe", "set", "{rcp1}", "--frob"}, 2, "unknown option or argument: --frob"},
      {{"recipe"}, 2, "a command is required: free, create"},
      {{"tree"}, 2, "rcpstore: "},
      {{"project", "register", "P", "{demo}", "--status", "X"}, 2, "rcpstore: "},
      {{"help", "frob"}, 2, "unknown command 'frob'"},
      {{"recipe", "set", "{rcp1}", "--title", "12345678901234567"}, 2, "17 bytes, at most 16 bytes"},
      {{"unit", "create", "{rcp1}", "9", "--header-name", "NINEBYTES"}, 2, "at most 8 bytes"},
      {{"group", "set", "{rg01}", "--comment", "a\nSERVER,z"}, 2, "line breaks"},
  });
  EXPECT_EQ(Rcpstore({}).status, 2);
  // --truncate cuts at a character boundary instead: 'a' and eight two-byte letters.
  std::string title = "a";
  for (int i = 0; i < 8; ++i) title += "\xC3\xA9";
  ASSERT_EQ(Rcpstore({"recipe", "set", "{rcp1}", "--title", title, "--truncate"}).status, 0);
  EXPECT_EQ(json::parse(Rcpstore({"recipe", "info", "{rcp1}", "--json"}).out)["title"], title.substr(0, 15));
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

// Which changes each lock refuses is the library's; here, how the lock
// commands report a hold and pass on the held command's exit status.
TEST_F(CliTargetTest, LockCommandsReportHoldsAndPassOnTheExitStatus) {
  {
    qvtest::ChildProcess holder = qvtest::HoldLock(tmp_ / "demo/Recipe/RG01/RCP0001", "");
    ASSERT_EQ(holder.started(), 0);
    ExpectRefusedWithoutChange({{{"lock", "status", "{rcp1}"}, 0, "locked; the lock file claims station "}});
    json held = json::parse(Rcpstore({"lock", "status", "{rcp1}", "--json"}).out);
    EXPECT_EQ(held["held"], true);
    EXPECT_GT(held["holder"], 0);
    EXPECT_EQ(held["user"], qvplatform::CallerUserName());
    EXPECT_EQ(held["process"], holder.pid());
    EXPECT_EQ(held["label"], "RCP0001");
  }
  json free = json::parse(Rcpstore({"lock", "status", "{rcp1}", "--json"}).out);
  EXPECT_EQ(free["held"], false);
  EXPECT_EQ(free["path"], tmp_ / "demo/Recipe/RG01/RCP0001/RcpLock.txt");
  EXPECT_EQ(free["address"], "@Demo/1/1");
  EXPECT_EQ(Rcpstore({"lock", "recipe", "{rcp1}", "--", "false"}).status, 1);
  EXPECT_EQ(Rcpstore({"lock", "recipe", "{rcp1}", "--", "sh", "-c", "exit 3"}).status, 3);
  EXPECT_EQ(Rcpstore({"lock", "project", "Nope", "--", "true"}).status, 1);
  qvtest::ChildProcess holder = qvtest::HoldLock("", tmp_ / "demo");
  ASSERT_EQ(holder.started(), 0);
  ExpectRefusedWithoutChange({
      {{"lock", "project", "Demo"}, 1, "Demo is being edited by "},
      {{"lock", "status", "Demo"}, 0, "locked; the lock file claims station "},
  });
}

// The holder hears its lock taken as a result on stdout; another process of
// the same station is refused with the holder's user, station, process and
// the label it locked under.
TEST_F(CliTargetTest, ALockRefusalNamesTheHolder) {
  std::string rcp1 = Expand("{rcp1}");
  std::string other = "env -u RCPSTORE_LOCK_FDS " + std::string(RCPSTORE_BIN) + " --station " +
                      Quote(tmp_ / "station") + " recipe bump-version " + Quote(rcp1) + " 2>&1; echo pid $PPID";
  Outcome held = Rcpstore({"lock", "recipe", rcp1, "--name", "evening batch", "--", "sh", "-c", other});
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(held.err, "");
  std::string pid = held.out.substr(held.out.rfind("pid ") + 4);
  pid.pop_back();
  EXPECT_EQ(held.out, "locked recipe " + rcp1 + " (" + rcp1 + "/RcpLock.txt)\nrcpstore: recipe bump-version " + rcp1 +
                          ": RCP0001 is being edited by " + qvplatform::CallerUserName() + " on station " +
                          qvplatform::ComputerName() + " (process " + pid +
                          ", \"evening batch\"), as its lock file claims (error 0x20200003)\npid " + pid + "\n");
  EXPECT_EQ(held.out.find("another station"), std::string::npos);
}

TEST_F(CliTargetTest, ACommandRunUnderLockActsAsTheHolder) {
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + Quote(tmp_ / "station");
  std::string recipe = tmp_ / "demo/Recipe/RG01/RCP0002";
  // The handed-down hold lets the command through and its in-use checks pass.
  Outcome own = Rcpstore({"lock", "recipe", recipe, "--", "sh", "-c",
                          bin + " recipe set " + recipe + " --title Mine && " + bin + " recipe delete " + recipe});
  ASSERT_EQ(own.status, 0) << own.err;
  EXPECT_FALSE(qvtest::Exists(recipe));

  // The variable alone proves nothing: a descriptor of another file, or none.
  std::string rcp1 = tmp_ / "demo/Recipe/RG01/RCP0001";
  for (const std::string& forged :
       std::vector<std::string>{"exec 7<" + rcp1 + "/RcpHead.edf; RCPSTORE_LOCK_FDS=7 ", "RCPSTORE_LOCK_FDS=0,1,2 "}) {
    Outcome other =
        Rcpstore({"lock", "recipe", rcp1, "--", "sh", "-c", forged + bin + " recipe set " + rcp1 + " --title X"});
    EXPECT_EQ(other.status, 1) << forged;
    EXPECT_NE(other.err.find("RCP0001 is being edited by "), std::string::npos) << other.err;
  }
  // Nested: a recipe lock taken under the project lock hands both down.
  Outcome nested = Rcpstore({"lock", "project", "./demo", "--", RCPSTORE_BIN, "--station", tmp_ / "station", "lock",
                             "recipe", rcp1, "--", "sh", "-c", bin + " recipe delete " + rcp1});
  EXPECT_EQ(nested.status, 0) << nested.err;
  EXPECT_FALSE(qvtest::Exists(rcp1));
  EXPECT_EQ(Rcpstore({"lock", "status", "Demo"}).out, "not locked (" + (tmp_ / "demo/RcpPjtLock.txt") + ")\n");
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
}

}  // namespace

// A station is chosen, never made behind the user's back: a missing one is an
// error that names the path, what chose it and how to make it, and nothing is
// created on the way.
TEST_F(CliTargetTest, AStationIsChosenAndNeverMadeOnFirstUse) {
  const std::string bin = RCPSTORE_BIN;
  struct Choice {
    std::string script;
    std::string says;
  };
  std::vector<Choice> choices{
      {"QVC_STATION_DIR={tmp}/typo " + bin + " tree @Demo", "the station directory {tmp}/typo (QVC_STATION_DIR)"},
      {bin + " --station {tmp}/nowhere/deep/st project list", "the station directory {tmp}/nowhere/deep/st (--station)"},
      {bin + " --station {tmp}/nowhere/st station init", "the station directory {tmp}/nowhere/st cannot be made"},
      {bin + " --station {tmp}/station tree @Nope", "no project registered under the name Nope at station {tmp}/station"},
  };
  if (!fs::exists("/var/lib/qv-station")) {
    choices.push_back({"env -u QVC_STATION_DIR HOME={tmp}/home XDG_STATE_HOME={tmp}/home " + bin + " project list",
                       "this computer has no station: /var/lib/qv-station does not exist; root makes it with "
                       "`rcpstore station init`"});
  }
  for (const Choice& choice : choices) {
    EXPECT_EQ(Shell(Expand(choice.script) + " 2> io/err"), 1) << choice.script;
    EXPECT_NE(qvtest::ReadFile(tmp_ / "io/err").find(Expand(choice.says)), std::string::npos)
        << choice.script << "\n" << qvtest::ReadFile(tmp_ / "io/err");
  }
  EXPECT_FALSE(fs::exists(tmp_ / "nowhere"));
  EXPECT_FALSE(fs::exists(tmp_ / "typo"));
  EXPECT_FALSE(fs::exists(tmp_ / "home"));

  // station init makes the station itself; root's is shared by its group.
  ASSERT_EQ(Shell(bin + " --station made station init > io/out"), 0);
  EXPECT_NE(qvtest::ReadFile(tmp_ / "io/out").find("made the station directory made"), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat((tmp_ / "made").c_str(), &st), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(st.st_mode & 07777, 03770u);
  }
}
