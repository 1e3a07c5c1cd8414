// A day's work through the rcpstore command line, as a real process on a
// fresh station: listings and search, the text and JSON every command
// prints, batches, and the help of every command.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "JsonSchema.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpstoreRun.h"
#include "TestProcess.h"
#include "TestSupport.h"

using nlohmann::json;

namespace {

using qvtest::Outcome;

class CliWorkTest : public ::testing::Test {
 protected:
  void SetUp() override { qvtest::MakeDirs(tmp_ / "io"); }

  Outcome Rcpstore(const std::vector<std::string>& words) {
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / "station", words, tmp_ / "io");
  }

  // Runs a command that must succeed.
  std::string Ok(const std::vector<std::string>& words) {
    Outcome run = Rcpstore(words);
    EXPECT_EQ(run.status, 0) << words[0] << " " << (words.size() > 1 ? words[1] : "") << "\n" << run.err;
    return run.out;
  }

  json Json(std::vector<std::string> words) {
    words.push_back("--json");
    std::string out = Ok(words);
    json value = json::parse(out, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << out;
    qvtest::ExpectSchema(value, words[0] + " " + words[1]);
    return value;
  }

  // Project Line1 with group 1 (recipes 1-5) and group 2 (recipe 1), known
  // titles and comments, recipes 2 and 5 in Trials/Night, recipe 3 at version 2.
  void MakeLine1() {
    Ok({"project", "create", "P", tmp_.path()});
    Ok({"project", "register", "Line1", tmp_ / "P"});
    Ok({"group", "create", "@Line1", "1", "--comment", "Production"});
    Ok({"group", "create", "@Line1", "2"});
    const char* titles[] = {"Mix A", "Mix B", "Heat", "Pack", "Mixer test"};
    const char* comments[] = {"wet", "dry mix", "oven", "boxes", "dry run"};
    for (int n = 1; n <= 5; ++n) {
      Ok({"recipe", "create", "@Line1/1", std::to_string(n)});
      Ok({"recipe", "set", "@Line1/1/" + std::to_string(n), "--title", titles[n - 1], "--comment", comments[n - 1]});
    }
    Ok({"recipe", "create", "@Line1/2", "1"});
    Ok({"subgroup", "add", "@Line1/1", "Trials"});
    Ok({"subgroup", "add", "@Line1/1", "Trials", "Night"});
    Ok({"subgroup", "put", "@Line1/1", "2,5", "Trials", "Night"});
    Ok({"recipe", "bump-version", "@Line1/1/3"});
    Ok({"recipe", "bump-version", "@Line1/1/3"});
  }

  static std::vector<std::string> Addresses(const json& items) {
    std::vector<std::string> out;
    for (const json& item : items) out.push_back(item["address"]);
    return out;
  }

  qvtest::TempDir tmp_;
};

TEST_F(CliWorkTest, ListingsAndSearchShowTitlesVersionsAndPlaces) {
  MakeLine1();
  std::string list = Ok({"recipe", "list", "@Line1/1"});
  EXPECT_NE(list.find("@Line1/1/2  Mix B  v0  "), std::string::npos) << list;
  EXPECT_NE(list.find("  Trials/Night/\n@Line1/1/3  Heat  v2  "), std::string::npos) << list;

  // How a filter matches is the library's; here, that each option reaches it.
  const std::pair<std::vector<std::string>, std::vector<std::string>> searches[] = {
      {{"--title", "Mix*"}, {"@Line1/1/1", "@Line1/1/2", "@Line1/1/5"}},
      {{"--title", "Mix*", "--comment", "wet"}, {"@Line1/1/1"}},
      {{"--comment", "dry*"}, {"@Line1/1/2", "@Line1/1/5"}},
      {{"--sub-group", "Trials/Night"}, {"@Line1/1/2", "@Line1/1/5"}}};
  for (const auto& [options, expected] : searches) {
    std::vector<std::string> words{"find", "@Line1"};
    words.insert(words.end(), options.begin(), options.end());
    EXPECT_EQ(Addresses(Json(words)), expected) << options[0] << " " << options[1];
  }
  EXPECT_EQ(Addresses(Json({"find", "@Line1/2", "--title", "*"})), std::vector<std::string>{"@Line1/2/1"});

  EXPECT_EQ(Ok({"group", "list", "Line1"}), "@Line1/1  5 recipes  Production\n@Line1/2  1 recipes\n");

  std::string tree = Ok({"tree", "@Line1"});
  EXPECT_NE(tree.find("│   ├── @Line1/1/3  Heat  v2\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("│   └── Trials/\n│       └── Night/\n│           ├── @Line1/1/2  Mix B  v0\n"), std::string::npos)
      << tree;
  std::string plain = Ok({"tree", "@Line1", "--plain"});
  EXPECT_NE(plain.find("│   ├── RCP0003\n"), std::string::npos) << plain;
  // A group's address shows that group alone.
  EXPECT_EQ(Ok({"tree", "@Line1/2", "--plain"}).substr(tree.find('\n') + 1), "└── RG02\n    └── RCP0001\n");
  // Outside a UTF-8 locale the tree is drawn in ASCII.
  setenv("LC_ALL", "C", 1);
  EXPECT_NE(Ok({"tree", "@Line1", "--plain"}).find("|   |-- RCP0003\n"), std::string::npos);
  unsetenv("LC_ALL");
  EXPECT_EQ(plain.find("Heat"), std::string::npos) << plain;
  json plainTree = Json({"tree", "@Line1", "--plain"});
  EXPECT_FALSE(plainTree["children"][0]["children"][0].contains("title"));

  // A recipe whose header is damaged is listed, not a reason to fail.
  qvtest::WriteFile(tmp_ / "P/Recipe/RG02/RCP0001/RcpHead.edf", "damaged");
  json damaged = Json({"recipe", "list", "@Line1/2"});
  ASSERT_EQ(damaged.size(), 1u);
  EXPECT_TRUE(damaged[0].contains("error"));
}

TEST_F(CliWorkTest, DemoLaysOutAProjectAndTreePrintsIt) {
  const std::string demo = tmp_ / "demo";
  std::string out = Ok({"demo", demo});
  EXPECT_NE(out.find("│   │   └── Heating/\n│   │       └── @Demo/1/2  Batch 1-2  v0\n"), std::string::npos) << out;
  EXPECT_TRUE(qvtest::Exists(demo + "/Recipe/RG01/RCP0001/TEMP"));
  auto names = [](const json& node) {
    std::vector<std::string> all;
    for (const auto& child : node["children"]) all.push_back(child["name"]);
    return all;
  };
  json root = Json({"tree", demo + "/"});
  EXPECT_EQ(root["address"], "@Demo");  // a registered directory goes by its registered name
  EXPECT_EQ(root["path"], demo);
  ASSERT_EQ(names(root), (std::vector<std::string>{"RG01", "RG02"}));
  EXPECT_EQ(names(root["children"][0]), (std::vector<std::string>{"RCP0003", "RCP0005", "Mixing", "Packing"}));
  const json& heated = root["children"][0]["children"][2]["children"][1]["children"][0];
  EXPECT_EQ(heated["address"], "@Demo/1/2");
  EXPECT_EQ(heated["subGroup"], "Mixing/Heating");
  EXPECT_EQ(heated["path"], demo + "/Recipe/RG01/RCP0002");
  EXPECT_EQ(names(Json({"tree", "Demo", "--no-subgroups"})["children"][0]).size(), 5u);
  EXPECT_EQ(Rcpstore({"demo", demo}).status, 1);
}

TEST_F(CliWorkTest, JsonStaysValidForAnyStoredName) {
  Ok({"project", "create", "p", tmp_.path()});
  Ok({"group", "create", tmp_ / "p", "1"});
  Ok({"recipe", "create", tmp_ / "p/Recipe/RG01", "1"});
  qvtest::WriteFile(tmp_ / "p/Recipe/RG01/RcpSubGroup.txt",
                    "STARTSUB,\"q\"\"\\\x01\xff\xc3\xa9\"\nNODE,RCP0001\nENDSUB,x\n");
  // The byte 0xff is not UTF-8: it is kept as U+0000 and its hex digits.
  EXPECT_EQ(Json({"tree", tmp_ / "p"})["children"][0]["children"][0]["name"], std::string("q\"\\\x01\0ff\xc3\xa9", 9));
}

// Texts planted on disk by another user (a lock holder's text, a title, a
// sub-group name, an audit path with a forged line) reach the terminal
// escaped in every text output and refusal, never as control characters.
TEST_F(CliWorkTest, TextsFromDiskArePrintedWithTheirControlsEscaped) {
  Ok({"project", "create", "P", tmp_.path()});
  Ok({"project", "register", "Line1", tmp_ / "P"});
  Ok({"group", "create", "@Line1", "1"});
  Ok({"recipe", "create", "@Line1/1", "1"});
  const std::string recipe = tmp_ / "P/Recipe/RG01/RCP0001";
  _QVERcpFileDetailInfo info;
  uint32_t kind = 0;
  ASSERT_EQ(CQVERcpUtil::GetRcpFileInfo((recipe + "/RcpHead.edf").c_str(), &kind, &info), 0u);
  info.strTitle = "T\x1b]2;owned\x07";
  ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe.c_str(), &info), 0u);
  qvtest::WriteFile(tmp_ / "P/Recipe/RG01/RcpSubGroup.txt",
                    "STARTSUB,S\x1b[2J\xc2\x9b\\\xff\nNODE,RCP0001\nENDSUB,x\n");
  qvtest::ChildProcess holder = qvtest::HoldLock(recipe, "");
  ASSERT_EQ(holder.started(), 0);
  qvtest::WriteFile(recipe + "/RcpLock.txt", "H\x1b]0;x\x07\x7f\n7");
  qvtest::WriteFile(
      tmp_ / "station/audit.log",
      "{\"time\":\"2026-12-06T19:20:00Z\",\"station\":\"s\",\"user\":\"u\",\"pid\":1,"
      "\"operation\":\"deleteRecipe\",\"path\":\"/p\\t\\n2026-12-06T19:21:00Z\\tforged\",\"result\":0}\n");

  struct Case {
    std::vector<std::string> words;
    int status;
    std::string shown;  // the planted text as it must appear, escaped
  };
  const Case cases[] = {
      {{"lock", "status", "@Line1/1/1"}, 0, "station H\\x1b]0;x\\x07\\x7f, holder 7"},
      {{"recipe", "bump-version", "@Line1/1/1"}, 1, "its lock file claims station H\\x1b]0;x\\x07\\x7f (holder 7)"},
      {{"tree", "@Line1"}, 0, "T\\x1b]2;owned\\x07  v0"},
      {{"tree", "@Line1"}, 0, "S\\x1b[2J\\u009b\\\\\\xff/"},
      {{"log"}, 0, "/p\\x09\\x0a2026-12-06T19:21:00Z\\x09forged\tok\n"},
  };
  for (const Case& c : cases) {
    Outcome run = Rcpstore(c.words);
    std::string shown = run.out + run.err;
    EXPECT_EQ(run.status, c.status) << c.words[0] << "\n" << shown;
    EXPECT_NE(shown.find(c.shown), std::string::npos) << c.words[0] << "\n" << shown;
    EXPECT_EQ(shown.find_first_of("\x1b\x07\x7f\x9b\xff"), std::string::npos) << c.words[0] << "\n" << shown;
  }
}

// One command line, and what its JSON must hold: at the pointer, the value,
// or each key of an object given as the value. A change reports `entries`
// things made, changed and removed.
struct JsonCase {
  std::vector<std::string> words;
  std::string pointer;
  json value;
  size_t entries = 0;
};

// Every command's JSON follows the schema and says what the command did.
TEST_F(CliWorkTest, EveryJsonOutputFollowsTheSchema) {
  MakeLine1();
  const std::string q = tmp_ / "Q";
  const std::string archive = tmp_ / "line1.tar.gz";
  const std::vector<JsonCase> reads = {
      {{"tree", "@Line1"}, "/children/0/children/1", {{"address", "@Line1/1/3"}, {"title", "Heat"}, {"version", 2}}},
      {{"tree", "@Line1", "--depth-one"}, "/children/0/children", json::array()},
      {{"project", "info", "Line1"}, "", {{"path", tmp_ / "P"}, {"status", "checked"}, {"revision", "R3.00.00"}}},
      {{"project", "list"}, "/0/name", "Line1"},
      {{"station", "info"}, "", {{"path", tmp_ / "station"}, {"registry", tmp_ / "station/registry.db"}}},
      {{"group", "list", "@Line1"}, "/0", {{"recipes", 5}, {"comment", "Production"}}},
      {{"group", "info", "@Line1/RG01"}, "/address", "@Line1/1"},
      {{"group", "free", "@Line1"}, "", {{"address", "@Line1"}, {"free", {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}}},
      {{"recipe", "list", "@Line1"}, "/4", {{"address", "@Line1/1/5"}, {"subGroup", "Trials/Night"}}},
      {{"recipe", "info", "@Line1/01/0003"}, "", {{"address", "@Line1/1/3"}, {"path", tmp_ / "P/Recipe/RG01/RCP0003"},
                                                  {"units", json::array()}, {"version", 2}}},
      {{"recipe", "free", "@Line1/1"}, "/free/0", 6},
      {{"unit", "free", "@Line1/1/1"}, "/free/0", 1},
      {{"ls", "@Line1"}, "/0/kind", "group"},
      {{"ls", "@Line1/1"}, "/0/kind", "recipe"},
      {{"ls", "@Line1/1/1"}, "/0/name", "RcpHead.edf"},
      {{"ls", "@Line1/1", "--children"}, "/3", {{"kind", "subGroup"}, {"name", "Trials"}}},
      {{"lock", "status", "@Line1"}, "", {{"held", false}, {"path", tmp_ / "P/RcpPjtLock.txt"}}},
      {{"lock", "status", "@Line1/1/1"}, "/address", "@Line1/1/1"},
      {{"edf", "dump", "@Line1/1/1"}, "/records/0/fields/title", "Mix A"},
      {{"security", "status"}, "/security", "absent"},
      {{"security", "on"}, "/security", "on"},
      {{"security", "check", "create", "approve"}, "/rights/approve", true},
      {{"security", "groups"}, "/groups/4/name", "RcpSec5"},
      {{"station", "group", "add-member", "RcpSec1", "root"}, "/enrolled", true},
      {{"station", "group", "remove-member", "RcpSec1", "root"}, "/enrolled", false},
      {{"security", "off"}, "/security", "off"},
      {{"verify", "@Line1"}, "/findings", json::array()},
      {{"export", "@Line1", archive}, "/address", "@Line1"},
      {{"import", archive, tmp_ / "Copy", "--name", "Copy"}, "/address", "@Copy"},
      {{"log", "--project", "Line1"}, "/0/operation", "createProject"},
      {{"path", "--list"}, "", nullptr},
      {{"path", "GetSystemAttributePath", "--project", "@Line1"}, "/member", "GetSystemAttributePath"},
  };
  const std::vector<JsonCase> changes = {
      {{"project", "create", "Q", tmp_.path()}, "/made/0/address", nullptr, 1},
      {{"group", "create", q, "1"}, "/made/0/path", q + "/Recipe/RG01", 1},
      {{"tree", q}, "/children/0/address", nullptr},
      {{"recipe", "create", "@Line1/2", "9", "--header-name", "H9"}, "/made/0", {{"headerName", "H9"}, {"version", 0}}, 1},
      {{"recipe", "bump-version", "@Line1/2/9"}, "/changed/0/version", 1, 1},
      {{"recipe", "set", "@Line1/2/9", "--title", "Nine", "--unit", "2=Dryer"}, "/changed/0/title", "Nine", 1},
      {{"unit", "create", "@Line1/2/9", "0"}, "/made/0/kind", "unit", 1},
      {{"unit", "create", "@Line1/2/9/2"}, "/made/0/address", "@Line1/2/9/2", 1},
      {{"recipe", "info", "@Line1/2/9"}, "/units/1", {{"text", "Dryer"}, {"address", "@Line1/2/9/2"}}},
      {{"unit", "delete", "@Line1/2/9", "0"}, "/removed/0/number", 0, 1},
      {{"unit", "delete", "@Line1/2/9/RcpPT02"}, "/removed/0/address", "@Line1/2/9/2", 1},
      {{"group", "set", "@Line1/2", "--comment", "Two", "--server", "S2", "--server", "S3"}, "/changed/0/servers",
       json::array({"S2", "S3"}), 1},
      {{"subgroup", "add", "@Line1/2", "S"}, "/made/0/kind", "subGroup", 1},
      {{"subgroup", "put", "@Line1/2", "9", "S"}, "/changed/0/subGroup", "S", 1},
      {{"subgroup", "rename", "@Line1/2", "S", "T"}, "/changed/0/name", "T", 1},
      {{"subgroup", "take", "@Line1/2", "9"}, "/changed/0/subGroup", "", 1},
      {{"subgroup", "move", "@Line1/1/2,1", "Trials"}, "/changed/1/subGroup", "Trials", 2},
      {{"subgroup", "remove", "@Line1/2", "T"}, "/removed/0/name", "T", 1},
      {{"clean-temp", "@Line1"}, "", nullptr, 1},
      {{"recipe", "copy", "@Line1/1/2", "@Line1/2", "7"}, "/made/0", {{"address", "@Line1/2/7"}, {"title", "Mix B"}}, 1},
      {{"recipe", "move", "@Line1/1/4", "@Line1/2", "20"}, "/made/0/address", "@Line1/2/20", 2},
      {{"recipe", "delete", "@Line1/1/1"}, "/removed/0", {{"address", "@Line1/1/1"}, {"title", "Mix A"}}, 1},
      {{"recipe", "delete", "@Line1/2/9"}, "", nullptr, 1},
      {{"group", "delete", "@Line1/2", "--yes"}, "", nullptr, 1},
      {{"project", "register", "Q2", q, "--comment", "first", "--status", "U"}, "", nullptr, 1},
      {{"project", "register", "Q2", q, "--host", "stn7", "--auto-version"}, "", nullptr, 1},
      {{"project", "info", "Q2"}, "", {{"comment", "first"}, {"status", "unchecked"}, {"host", "stn7"},
                                       {"versionMode", "auto"}}},
      {{"project", "unregister", "@Q2"}, "", nullptr, 1},
      {{"project", "delete", q, "--yes"}, "", nullptr, 1},
  };
  for (const std::vector<JsonCase>* table : {&reads, &changes}) {
    for (const JsonCase& c : *table) {
      json got = Json(c.words);
      std::string where = c.words[0] + " " + c.words[1] + " " + c.pointer;
      if (c.entries > 0) {
        EXPECT_EQ(got["made"].size() + got["changed"].size() + got["removed"].size(), c.entries) << where;
      }
      if (c.pointer.empty() && c.value.is_null()) continue;
      const json& at = got[json::json_pointer(c.pointer)];
      if (!c.value.is_object()) {
        EXPECT_EQ(at, c.value) << where;
        continue;
      }
      for (const auto& [key, value] : c.value.items()) EXPECT_EQ(at[key], value) << where << " " << key;
    }
  }
}

// How each kind of change reads as text, one line each.
TEST_F(CliWorkTest, ChangesPrintOneLineEach) {
  MakeLine1();
  const std::pair<std::vector<std::string>, std::string> lines[] = {
      {{"unit", "create", "@Line1/1/3", "4"}, "created unit @Line1/1/3/4\n"},
      {{"recipe", "bump-version", "@Line1/1/3"}, "changed recipe @Line1/1/3: version 3\n"},
      {{"recipe", "copy", "@Line1/1/3", "@Line1/2"}, "created recipe @Line1/2/3: copied from @Line1/1/3\n"},
      {{"recipe", "copy", "@Line1/1/3", "@Line1/1"}, "created recipe @Line1/1/6: copied from @Line1/1/3\n"},
      {{"group", "free", "@Line1"}, "3-16\n"},
      {{"recipe", "free", "@Line1/2"}, "2 4-1000\n"},
      {{"recipe", "create", "@Line1/2"}, "created recipe @Line1/2/2\n"},  // the lowest free number
      {{"group", "create", tmp_ / "P", "5"}, "created group @Line1/5\n"},
  };
  for (const auto& [words, out] : lines) EXPECT_EQ(Ok(words), out) << words[0] << " " << words[1];
  // Recipes are given as numbers, names, or lists of them.
  Ok({"subgroup", "take", "@Line1/1", "2", "RCP0005"});
  Ok({"subgroup", "put", "@Line1/1", "1,2,rcp0003", "Trials", "Night"});
  json night = Json({"find", "@Line1", "--sub-group", "Trials/Night"});
  EXPECT_EQ(Addresses(night), (std::vector<std::string>{"@Line1/1/1", "@Line1/1/2", "@Line1/1/3"}));
  EXPECT_EQ(Ok({"subgroup", "move", "@Line1/1/3"}), "changed recipe @Line1/1/3: at the group's top level\n");
}

TEST_F(CliWorkTest, BatchStopsAtTheFirstFailureAndNamesIt) {
  Ok({"project", "create", "P", tmp_.path()});
  Ok({"project", "register", "Line1", tmp_ / "P"});
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + qvtest::Quote(tmp_ / "station");
  qvtest::WriteFile(tmp_ / "work.txt",
                    "group create @Line1 3\n"
                    "  # recipes of group 3\n"
                    "\n"
                    "recipe create @Line1/3 1\n"
                    "recipe set @Line1/3/1 --title 'Two words' --comment \"say \\\"hi\\\"\"\n"
                    // The batch holds the project lock between its lines: a
                    // process that does not inherit it is refused.
                    "lock project @Line1 -- sh -c 'env -u RCPSTORE_LOCK_FDS " + bin +
                        " group create @Line1 4 || echo refused'\n"
                    "recipe create @Line1/3 1\n"
                    "recipe create @Line1/3 2\n");
  Outcome run = Rcpstore({"batch", "work.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "created group @Line1/3\ncreated recipe @Line1/3/1\nchanged recipe @Line1/3/1\nlocked project @Line1 (" +
                         tmp_ / "P/RcpPjtLock.txt" + ")\nrefused\n");
  std::string last = run.err.substr(run.err.rfind("rcpstore: batch"));
  EXPECT_EQ(last, "rcpstore: batch work.txt: line 7 failed: recipe create @Line1/3 1; the 1 commands after it were "
                  "not run (error 0x2000010A)\n");
  json recipe = Json({"recipe", "info", "@Line1/3/1"});
  EXPECT_EQ(recipe["title"], "Two words");
  EXPECT_EQ(recipe["comment"], "say \"hi\"");
  EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG03/RCP0002"));
  EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG04"));

  // A line that cannot be split into words stops the batch before any runs.
  qvtest::WriteFile(tmp_ / "open.txt", "recipe create @Line1/3 5\nrecipe set @Line1/3/5 --title 'open\n");
  Outcome open = Rcpstore({"batch", "open.txt"});
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.err.find("line 2: an open quote (nothing was run)"), std::string::npos) << open.err;
  EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG03/RCP0005"));
  Outcome usage = Rcpstore({"batch", "-"});  // empty standard input: nothing to do
  EXPECT_EQ(usage.status, 0);

  // With --json every line prints its JSON value on a line of its own.
  qvtest::WriteFile(tmp_ / "json.txt", "recipe create @Line1/3 2\nrecipe list @Line1/3\nbogus\n");
  Outcome lines = Rcpstore({"batch", "json.txt", "--json"});
  EXPECT_EQ(lines.status, 1);
  EXPECT_NE(lines.err.find("line 3 failed: bogus"), std::string::npos) << lines.err;
  std::istringstream out(lines.out);
  std::string line;
  size_t count = 0;
  for (; std::getline(out, line); ++count) qvtest::ExpectSchema(json::parse(line), "batch line");
  EXPECT_EQ(count, 2u);
}

// A batch stopped by SIGINT or SIGTERM ends the line that runs, releases
// its lock, and names the line to go on from; going on from there runs each
// line exactly once.
TEST_F(CliWorkTest, StoppedBatchSaysWhereToGoOn) {
  Ok({"project", "create", "P", tmp_.path()});
  Ok({"project", "register", "Line1", tmp_ / "P"});
  Ok({"group", "create", "@Line1", "1"});
  const size_t recipes = 60;
  std::string work = "# one recipe a line\n";
  for (size_t n = 1; n <= recipes; ++n) work += "recipe create @Line1/1 " + std::to_string(n) + "\n";
  qvtest::WriteFile(tmp_ / "work.txt", work);

  std::string from = "1";
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int out = open((tmp_ / "io/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open((tmp_ / "io/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || chdir(tmp_.path().c_str()) != 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(99);
      std::string station = tmp_ / "station";
      execl(RCPSTORE_BIN, RCPSTORE_BIN, "--station", station.c_str(), "batch", "work.txt", "--from", from.c_str(),
            static_cast<char*>(nullptr));
      _exit(98);
    }
    // Stopped once it has run a few lines.
    auto linesDone = [&] {
      std::string out = qvtest::ReadFile(tmp_ / "io/out");
      return std::count(out.begin(), out.end(), '\n');
    };
    for (int wait = 0; wait < 5000 && linesDone() < 3; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, signal);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    std::string err = qvtest::ReadFile(tmp_ / "io/err");
    ASSERT_TRUE(WIFEXITED(raw)) << err;
    EXPECT_EQ(WEXITSTATUS(raw), status) << err;
    const std::string goOn = "to go on: rcpstore batch work.txt --from ";
    const size_t stopped = err.find("stopped by SIG");
    ASSERT_NE(stopped, std::string::npos) << err;
    ASSERT_NE(err.find(goOn), std::string::npos) << err;
    unsigned line = 0;
    unsigned last = 0;
    ASSERT_EQ(std::sscanf(err.c_str() + stopped, "stopped by SIG%*[A-Z] after line %u: recipe create @Line1/1 %u", &line,
                          &last),
              2)
        << err;
    from = err.substr(err.find(goOn) + goOn.size());
    from = from.substr(0, from.find('\n'));
    EXPECT_EQ(line, last + 1) << "the comment is line 1";
    EXPECT_EQ(from, std::to_string(last + 2));
    EXPECT_TRUE(qvtest::Exists(tmp_ / "P/Recipe/RG01/" + rcpstore::RecipeDirectoryName(last)));
    EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG01/" + rcpstore::RecipeDirectoryName(last + 1)));
    EXPECT_EQ(Json({"lock", "status", "@Line1"})["held"], false);
  }
  Outcome rest = Rcpstore({"batch", "work.txt", "--from", from});
  EXPECT_EQ(rest.status, 0) << rest.err;
  EXPECT_EQ(rest.out.substr(0, rest.out.find('\n')),
            "created recipe @Line1/1/" + std::to_string(std::stoul(from) - 1));
  EXPECT_EQ(Json({"recipe", "list", "@Line1/1"}).size(), recipes);
  EXPECT_EQ(Json({"verify", "@Line1"})["findings"], json::array());
}

// A slip gets a refusal that names the fix, never a change that changes
// nothing or loses an arrangement unasked.
TEST_F(CliWorkTest, SlipsAreRefusedWithTheFix) {
  MakeLine1();
  const std::string head = tmp_ / "P/Recipe/RG01/RCP0003/RcpHead.edf";
  const std::string arrangement = tmp_ / "P/Recipe/RG01/RcpSubGroup.txt";
  const std::string before = qvtest::ReadFile(head) + qvtest::ReadFile(arrangement);
  struct Case {
    std::vector<std::string> words;
    int status;
    std::string said;  // on stderr, or on stdout when the command succeeds
  };
  const Case cases[] = {
      {{"recipe", "set", "@Line1/1/3"}, 2, "nothing to change: give --title, --comment or --unit K=TEXT"},
      {{"group", "set", "@Line1/1"}, 2, "nothing to change: give --comment or --server"},
      {{"find", "@Line1", "--comment", "DRY*"}, 1,
       "rcpstore: find @Line1: no recipe matches comment 'DRY*'\n"},
      {{"find", "@Line1", "--comment", "DRY*", "--title", "x", "-i"}, 1,
       "no recipe matches title 'x', comment 'DRY*' (ignoring case)\n"},
      {{"find", "@Line1", "--comment", "DRY*", "-i"}, 0, "@Line1/1/2  Mix B"},
      {{"subgroup", "remove", "@Line1/1", "Trials"}, 1,
       "sub-group Trials holds 2 recipes, which would move up to the group's top level; --yes removes it"},
      {{"subgroup", "remove", "@Line1/1", "Trials", "--dry-run"}, 0,
       "would remove sub-group Trials in @Line1/1: its recipes move up\n"
       "would change recipe @Line1/1/2: at the group's top level\n"
       "would change recipe @Line1/1/5: at the group's top level\n"},
  };
  for (const Case& c : cases) {
    Outcome run = Rcpstore(c.words);
    EXPECT_EQ(run.status, c.status) << c.words[0] << " " << c.words[1] << "\n" << run.err;
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.said), std::string::npos) << run.out << run.err;
  }
  EXPECT_EQ(qvtest::ReadFile(head) + qvtest::ReadFile(arrangement), before);
  EXPECT_TRUE(Rcpstore({"find", "@Line1", "--title", "x", "--json"}).err.empty());
  EXPECT_EQ(Ok({"subgroup", "remove", "@Line1/1", "Trials", "Night", "--yes"}),
            "removed sub-group Trials/Night in @Line1/1: its recipes move up\n"
            "changed recipe @Line1/1/2: in sub-group Trials\nchanged recipe @Line1/1/5: in sub-group Trials\n");

  // Beyond ASCII, letters fold as far as the C.UTF-8 towlower goes.
  Ok({"recipe", "set", "@Line1/2/1", "--title", "ÉCLAIR Ωmega"});
  EXPECT_EQ(Addresses(Json({"find", "@Line1", "--title", "éclair ω*", "-i"})), std::vector<std::string>{"@Line1/2/1"});

  // The unit texts the header holds show for units that have no file yet.
  Ok({"recipe", "set", "@Line1/2/1", "--unit", "3=unit three"});
  EXPECT_NE(Ok({"recipe", "info", "@Line1/2/1"}).find("\nunit 3: (no file)  unit three\n"), std::string::npos);
  json info = Json({"recipe", "info", "@Line1/2/1"});
  EXPECT_EQ(info["units"], json::array());
  EXPECT_EQ(info["unitTexts"][2], (json{{"number", 3}, {"text", "unit three"}}));

  // An archive goes through a pipe: export to standard output, import from
  // standard input, the report of the export on stderr.
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + qvtest::Quote(tmp_ / "station");
  std::string pipe = "cd " + qvtest::Quote(tmp_.path()) + " && " + bin + " export @Line1 - 2>io/err | " + bin +
                     " import - Copy --name Copy >io/out";
  ASSERT_EQ(std::system(pipe.c_str()), 0) << qvtest::ReadFile(tmp_ / "io/err");
  std::string exported = qvtest::ReadFile(tmp_ / "io/err");
  EXPECT_TRUE(exported.rfind("exported ", 0) == 0 && exported.find(" to standard output\n") != std::string::npos)
      << exported;
  EXPECT_NE(qvtest::ReadFile(tmp_ / "io/out").find(" files into " + tmp_ / "Copy/Recipe, registered as Copy\n"),
            std::string::npos);
  EXPECT_EQ(Json({"recipe", "info", "@Copy/2/1"})["title"], "ÉCLAIR Ωmega");
}

// A batch names its project on every line; a registration made meanwhile,
// by another process or by a line of the batch, shows from the next line on.
TEST_F(CliWorkTest, BatchLinesSeeRegistrationsMadeMeanwhile) {
  Ok({"project", "create", "P", tmp_.path()});
  Ok({"group", "create", tmp_ / "P", "1"});
  std::string rg01 = tmp_ / "P/Recipe/RG01";
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + qvtest::Quote(tmp_ / "station");
  qvtest::WriteFile(tmp_ / "work.txt", "recipe create " + rg01 + " 1\n" +
                                           "lock project " + tmp_ / "P" + " -- " + bin + " project register Foo " +
                                           tmp_ / "P" + "\n" + "recipe create " + rg01 + " 2\n" +
                                           "project unregister Foo\n" + "recipe create " + rg01 + " 3\n");
  Outcome run = Rcpstore({"batch", "work.txt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "created recipe " + rg01 + "/RCP0001\nlocked project " + tmp_ / "P" + " (" + tmp_ / "P/RcpPjtLock.txt" +
                         ")\ncreated project @Foo: registered " + tmp_ / "P" +
                         "\ncreated recipe @Foo/1/2\nremoved project @Foo: unregistered; its directory stays\n" +
                         "created recipe " + rg01 + "/RCP0003\n");
}

TEST_F(CliWorkTest, EveryCommandHasAnExampleInItsHelpAndTheManPage) {
  std::string man = Ok({"help", "--man"});
  size_t commands = 0;
  std::string helpLines;  // every command's --help, as lines of a batch
  std::vector<std::string> usages;
  for (size_t at = man.find("\n.SS "); at != std::string::npos; at = man.find("\n.SS ", at + 1)) {
    size_t end = man.find("\n.SS ", at + 1);
    std::string section = man.substr(at, end == std::string::npos ? std::string::npos : end - at);
    EXPECT_NE(section.find("Example: rcpstore "), std::string::npos) << section;
    std::string words = section.substr(5, section.find('\n', 1) - 5);
    std::vector<std::string> help{"help"};
    for (size_t from = 0, space = 0; from < words.size(); from = space + 1) {
      space = std::min(words.find(' ', from), words.size());
      std::string word = words.substr(from, space - from);
      for (size_t dash = word.find("\\-"); dash != std::string::npos; dash = word.find("\\-")) word.erase(dash, 1);
      help.push_back(word);
    }
    EXPECT_NE(Ok(help).find("Example: rcpstore "), std::string::npos) << words;
    ++commands;
    if (help[1] == "batch" || help[1] == "help") continue;  // rcpstore's own, not a batch line's
    std::string line;
    for (size_t i = 1; i < help.size(); ++i) line += help[i] + " ";
    helpLines += line + "--help\n";
    usages.push_back("Usage: rcpstore " + line);
  }
  EXPECT_GE(commands, 40u);
  // A batch line builds only the commands of its first word: each one must
  // still be there.
  qvtest::WriteFile(tmp_ / "help.txt", helpLines);
  std::string batchHelp = Ok({"batch", "help.txt"});
  for (const std::string& usage : usages) EXPECT_NE(batchHelp.find(usage), std::string::npos) << usage;
  qvtest::WriteFile(tmp_ / "completion.bash", Ok({"help", "--bash-completion"}));
  EXPECT_EQ(std::system(("bash -n " + qvtest::Quote(tmp_ / "completion.bash")).c_str()), 0);
}

}  // namespace
