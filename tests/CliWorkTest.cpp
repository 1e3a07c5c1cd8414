// A day's work through the rcpstore command line, as a real process on a
// fresh station: store addresses, listings and search, sub-group moves, and
// the JSON schema of every command.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "JsonSchema.h"
#include "RcpstoreRun.h"
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

TEST_F(CliWorkTest, AddressesRoundTripAndAreNeverPaths) {
  MakeLine1();
  std::string recipe = tmp_ / "P/Recipe/RG01/RCP0003";
  // Every form of an address and the directory name the same recipe.
  for (const std::string& given : {std::string("@Line1/1/3"), std::string("@Line1/RG01/RCP0003"),
                                   std::string("@Line1/01/0003"), recipe}) {
    json info = Json({"recipe", "info", given});
    EXPECT_EQ(info["address"], "@Line1/1/3") << given;
    EXPECT_EQ(info["path"], recipe) << given;
  }
  EXPECT_EQ(Json({"group", "info", "@Line1/RG01"})["address"], "@Line1/1");
  EXPECT_EQ(Json({"project", "info", "@Line1"})["address"], "@Line1");
  EXPECT_EQ(Ok({"unit", "create", "@Line1/1/3", "4"}), "created unit @Line1/1/3/4\n");
  EXPECT_TRUE(qvtest::Exists(recipe + "/RcpPT04.edf"));
  EXPECT_EQ(Json({"unit", "delete", "@Line1/1/3/RcpPT04"})["removed"][0]["address"], "@Line1/1/3/4");
  EXPECT_FALSE(qvtest::Exists(recipe + "/RcpPT04.edf"));

  const std::pair<std::string, std::string> refused[] = {
      {"@Line1/17", "'17' is not a group number (1 to 16)"},
      {"@Line1/1/1001", "'1001' is not a recipe number (1 to 1000)"},
      {"@Line1/1/3/4/5", "not a store address"},
      {"@", "not a store address"},
      {"@Line1/", "'' is not a group number"},
      {"@Nope/1/3", "no project registered under the name Nope"},
      {"@Line1/1", "not a recipe (expected RCPnnnn"},
      {"@Line1/1/9", "no such directory"}};
  for (const auto& [given, cause] : refused) {
    Outcome run = Rcpstore({"recipe", "info", given});
    EXPECT_EQ(run.status, 1) << given;
    EXPECT_EQ(run.err.rfind("rcpstore: recipe info " + given + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(cause), std::string::npos) << given << ": " << run.err;
  }

  // A directory whose name starts with '@' is reached as a path only.
  Ok({"project", "create", "@Line1", tmp_.path()});
  EXPECT_EQ(Json({"tree", "./@Line1"})["address"], nullptr);
  EXPECT_EQ(Json({"tree", "@Line1"})["path"], tmp_ / "P");
  EXPECT_EQ(Ok({"group", "create", "./@Line1", "1"}), "created group " + (tmp_ / "@Line1/Recipe/RG01") + "\n");
}

TEST_F(CliWorkTest, ListingsAndSearchShowTitlesVersionsAndPlaces) {
  MakeLine1();
  std::string list = Ok({"recipe", "list", "@Line1/1"});
  EXPECT_NE(list.find("@Line1/1/2  Mix B  v0  "), std::string::npos) << list;
  EXPECT_NE(list.find("  Trials/Night/\n@Line1/1/3  Heat  v2  "), std::string::npos) << list;
  json all = Json({"recipe", "list", "@Line1"});
  EXPECT_EQ(Addresses(all), (std::vector<std::string>{"@Line1/1/1", "@Line1/1/2", "@Line1/1/3", "@Line1/1/4",
                                                      "@Line1/1/5", "@Line1/2/1"}));
  EXPECT_EQ(all[2]["title"], "Heat");
  EXPECT_EQ(all[2]["version"], 2);
  EXPECT_EQ(all[4]["subGroup"], "Trials/Night");

  const std::pair<std::vector<std::string>, std::vector<std::string>> searches[] = {
      {{"--title", "Mix*"}, {"@Line1/1/1", "@Line1/1/2", "@Line1/1/5"}},
      {{"--title", "Mix ?"}, {"@Line1/1/1", "@Line1/1/2"}},
      {{"--comment", "dry*"}, {"@Line1/1/2", "@Line1/1/5"}},
      {{"--title", "Mix*", "--comment", "wet"}, {"@Line1/1/1"}},
      {{"--sub-group", "Trials"}, {"@Line1/1/2", "@Line1/1/5"}},
      {{"--sub-group", "Trials/Night"}, {"@Line1/1/2", "@Line1/1/5"}},
      {{"--sub-group", "Night"}, {}},
      {{"--title", "nothing"}, {}}};
  for (const auto& [options, expected] : searches) {
    std::vector<std::string> words{"find", "@Line1"};
    words.insert(words.end(), options.begin(), options.end());
    EXPECT_EQ(Addresses(Json(words)), expected) << options[0] << " " << options[1];
  }
  EXPECT_EQ(Addresses(Json({"find", "@Line1/2", "--title", "*"})), std::vector<std::string>{"@Line1/2/1"});

  json groups = Json({"group", "list", "@Line1"});
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0]["recipes"], 5);
  EXPECT_EQ(groups[0]["comment"], "Production");
  EXPECT_EQ(Ok({"group", "list", "Line1"}), "@Line1/1  5 recipes  Production\n@Line1/2  1 recipes\n");

  std::string tree = Ok({"tree", "@Line1"});
  EXPECT_NE(tree.find("│   ├── @Line1/1/3  Heat  v2\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("│   └── Trials/\n│       └── Night/\n│           ├── @Line1/1/2  Mix B  v0\n"), std::string::npos)
      << tree;
  std::string plain = Ok({"tree", "@Line1", "--plain"});
  EXPECT_NE(plain.find("│   ├── RCP0003\n"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("Heat"), std::string::npos) << plain;
  json plainTree = Json({"tree", "@Line1", "--plain"});
  EXPECT_FALSE(plainTree["children"][0]["children"][0].contains("title"));

  // A recipe whose header is damaged is listed, not a reason to fail.
  qvtest::WriteFile(tmp_ / "P/Recipe/RG02/RCP0001/RcpHead.edf", "damaged");
  json damaged = Json({"recipe", "list", "@Line1/2"});
  ASSERT_EQ(damaged.size(), 1u);
  EXPECT_TRUE(damaged[0].contains("error"));
  EXPECT_EQ(Rcpstore({"recipe", "list", "@Line1/1/3"}).status, 1);

  // Deleting is the remedy for a damaged recipe: it goes with its sub-group line.
  std::string head = tmp_ / "P/Recipe/RG01/RCP0005/RcpHead.edf";
  qvtest::WriteFile(head, qvtest::ReadFile(head).substr(0, 40));
  json removed = Json({"recipe", "delete", "@Line1/1/5"});
  EXPECT_EQ(Addresses(removed["removed"]), std::vector<std::string>{"@Line1/1/5"});
  EXPECT_TRUE(removed["removed"][0].contains("error"));
  EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG01/RCP0005"));
  EXPECT_EQ(qvtest::ReadFile(tmp_ / "P/Recipe/RG01/RcpSubGroup.txt").find("RCP0005"), std::string::npos);
}

// A group that the user may not read is shown with why, the rest whole, and
// the tree exits 1: run as a second user (the test runs as root).
TEST_F(CliWorkTest, TreeShowsAGroupItCannotReadAndExitsOne) {
  if (geteuid() != 0) GTEST_SKIP() << "a second user needs root";
  MakeLine1();
  chmod(tmp_.path().c_str(), 0755);
  chmod((tmp_ / "P/Recipe/RG02").c_str(), 0700);
  qvtest::MakeDirs(tmp_ / "other");
  chmod((tmp_ / "other").c_str(), 0777);
  std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + qvtest::Quote(RCPSTORE_BIN) +
                        " --station " + qvtest::Quote(tmp_ / "other") + " tree " + qvtest::Quote(tmp_ / "P") +
                        " --json > " + qvtest::Quote(tmp_ / "io/out") + " 2> " + qvtest::Quote(tmp_ / "io/err");
  int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  std::string err = qvtest::ReadFile(tmp_ / "io/err");
  EXPECT_NE(err.find("1 of its nodes could not be read"), std::string::npos) << err;
  json tree = json::parse(qvtest::ReadFile(tmp_ / "io/out"), nullptr, false);
  ASSERT_FALSE(tree.is_discarded());
  const json& groups = tree["children"];
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_FALSE(groups[0].contains("error"));
  EXPECT_EQ(groups[0]["comment"], "Production");
  EXPECT_EQ(groups[0]["children"].size(), 4u);  // three recipes and Trials
  EXPECT_TRUE(groups[1].contains("error"));
  EXPECT_TRUE(groups[1]["children"].empty());
}

TEST_F(CliWorkTest, SubGroupMoveRewritesTheFileOnce) {
  MakeLine1();
  std::string file = tmp_ / "P/Recipe/RG01/RcpSubGroup.txt";
  Ok({"subgroup", "add", "@Line1/1", "Done"});
  json moved = Json({"subgroup", "move", "@Line1/1/2,1,RCP0004", "Done"});
  EXPECT_EQ(Addresses(moved["changed"]), (std::vector<std::string>{"@Line1/1/1", "@Line1/1/2", "@Line1/1/4"}));
  EXPECT_EQ(qvtest::ReadFile(file), qvtest::Crlf("STARTSUB,Done\nNODE,RCP0002\nNODE,RCP0001\nNODE,RCP0004\n"
                                                 "ENDSUB,Done\nSTARTSUB,Trials\nSTARTSUB,Night\nNODE,RCP0005\n"
                                                 "ENDSUB,Night\nENDSUB,Trials\n"));
  EXPECT_FALSE(qvtest::Exists(tmp_ / "P/Recipe/RG01/RcpSubGroupwork.txt"));

  // Refused moves leave the file byte for byte.
  std::string before = qvtest::ReadFile(file);
  Outcome missing = Rcpstore({"subgroup", "move", "@Line1/1/1", "Nowhere"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no sub-group Nowhere"), std::string::npos) << missing.err;
  EXPECT_EQ(Rcpstore({"subgroup", "move", "@Line1/1/1,9", "Done"}).status, 1);
  EXPECT_EQ(Rcpstore({"subgroup", "put", "@Line1/1", "3,1", "Done"}).status, 1);  // 1 is placed already
  EXPECT_EQ(qvtest::ReadFile(file), before);

  // With no NAME the recipes go to the group's top level; take and put take several.
  EXPECT_EQ(Ok({"subgroup", "move", "@Line1/1/5"}), "changed recipe @Line1/1/5: at the group's top level\n");
  Ok({"subgroup", "take", "@Line1/1", "1", "2"});
  Ok({"subgroup", "put", "@Line1/1", "1,2,3", "Trials", "Night"});
  json night = Json({"find", "@Line1", "--sub-group", "Trials/Night"});
  EXPECT_EQ(Addresses(night), (std::vector<std::string>{"@Line1/1/1", "@Line1/1/2", "@Line1/1/3"}));
  EXPECT_EQ(Addresses(Json({"find", "@Line1", "--sub-group", "Done"})), std::vector<std::string>{"@Line1/1/4"});
}

TEST_F(CliWorkTest, EveryJsonOutputFollowsTheSchema) {
  MakeLine1();
  std::string unregistered = tmp_ / "Q";
  const std::vector<std::vector<std::string>> reads = {
      {"tree", "@Line1"}, {"tree", "@Line1", "--plain"}, {"tree", "@Line1", "--depth-one"},
      {"project", "info", "Line1"}, {"project", "list"}, {"station", "info"},
      {"group", "list", "@Line1"}, {"group", "info", "@Line1/1"}, {"group", "free", "@Line1"},
      {"recipe", "list", "@Line1"}, {"recipe", "info", "@Line1/1/2"}, {"recipe", "free", "@Line1/1"},
      {"find", "@Line1", "--title", "*"}, {"unit", "free", "@Line1/1/1"}, {"ls", "@Line1"},
      {"ls", "@Line1/1"}, {"ls", "@Line1/1/1"}, {"ls", "@Line1/1/1", "--children"},
      {"lock", "status", "@Line1"}, {"lock", "status", "@Line1/1/1"}, {"edf", "dump", "@Line1/1/1"}};
  for (const auto& words : reads) Json(words);

  EXPECT_EQ(Json({"project", "create", "Q", tmp_.path()})["made"][0]["address"], nullptr);
  EXPECT_EQ(Json({"group", "create", unregistered, "1"})["made"][0]["path"], unregistered + "/Recipe/RG01");
  EXPECT_EQ(Json({"tree", unregistered})["children"][0]["address"], nullptr);
  json created = Json({"recipe", "create", "@Line1/2", "9", "--header-name", "H9"});
  EXPECT_EQ(created["made"][0]["headerName"], "H9");
  EXPECT_EQ(created["made"][0]["version"], 0);
  json bumped = Json({"recipe", "bump-version", "@Line1/2/9"});
  EXPECT_EQ(bumped["changed"][0]["version"], 1);
  EXPECT_EQ(Ok({"recipe", "bump-version", "@Line1/2/9"}), "changed recipe @Line1/2/9: version 2\n");
  const std::vector<std::vector<std::string>> changes = {
      {"recipe", "set", "@Line1/2/9", "--title", "Nine"}, {"unit", "create", "@Line1/2/9", "0"},
      {"unit", "create", "@Line1/2/9/2"}, {"unit", "delete", "@Line1/2/9", "0"},
      {"group", "set", "@Line1/2", "--comment", "Two"}, {"subgroup", "add", "@Line1/2", "S"},
      {"subgroup", "put", "@Line1/2", "9", "S"}, {"subgroup", "rename", "@Line1/2", "T", "S"},
      {"subgroup", "take", "@Line1/2", "9"}, {"subgroup", "remove", "@Line1/2", "T"},
      {"clean-temp", "@Line1"}, {"recipe", "delete", "@Line1/2/9"}, {"group", "delete", "@Line1/2", "--yes"},
      {"project", "register", "Q2", unregistered}, {"project", "unregister", "@Q2"},
      {"project", "delete", unregistered, "--yes"}};
  for (const auto& words : changes) {
    json report = Json(words);
    EXPECT_EQ(report["made"].size() + report["changed"].size() + report["removed"].size(), 1u) << words[1];
  }
  json removed = Json({"recipe", "delete", "@Line1/1/1"})["removed"][0];
  EXPECT_EQ(removed["address"], "@Line1/1/1");
  EXPECT_EQ(removed["title"], "Mix A");
}

// The station's own commands speak the same schema: security, verify,
// export and import, the audit trail and the path catalogue.
TEST_F(CliWorkTest, StationCommandsFollowTheSchemaToo) {
  MakeLine1();
  const std::string archive = tmp_ / "line1.tar.gz";
  EXPECT_EQ(Json({"security", "status"})["security"], "absent");
  EXPECT_EQ(Json({"security", "on"})["security"], "on");
  EXPECT_EQ(Json({"security", "check", "create", "approve"})["rights"]["approve"], true);
  EXPECT_EQ(Json({"security", "groups"})["groups"].size(), 5u);
  EXPECT_EQ(Json({"station", "group", "add-member", "RcpSec1", "root"})["enrolled"], true);
  EXPECT_EQ(Json({"station", "group", "remove-member", "RcpSec1", "root"})["enrolled"], false);
  EXPECT_EQ(Json({"security", "off"})["security"], "off");
  EXPECT_EQ(Json({"verify", "@Line1"})["findings"], json::array());
  EXPECT_EQ(Json({"export", "@Line1", archive})["address"], "@Line1");
  EXPECT_EQ(Json({"import", archive, tmp_ / "Copy", "--name", "Copy"})["address"], "@Copy");
  json trail = Json({"log", "--project", "Line1"});
  ASSERT_FALSE(trail.empty());
  EXPECT_EQ(trail.back()["operation"], "bumpVersion");
  EXPECT_EQ(Json({"log"}).back()["operation"], "setProject");
  EXPECT_FALSE(Json({"path", "--list"}).empty());
  EXPECT_EQ(Json({"path", "GetSystemAttributePath", "--project", "@Line1"})["member"], "GetSystemAttributePath");
}

// The data files of a recipe and their bytes.
std::map<std::string, std::string> FilesOf(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".edf") files[entry.path().filename().string()] = qvtest::ReadFile(entry.path());
  }
  return files;
}

TEST_F(CliWorkTest, CopyAndMoveCarryEveryByte) {
  MakeLine1();
  std::string rg01 = tmp_ / "P/Recipe/RG01";
  std::string rg02 = tmp_ / "P/Recipe/RG02";
  Ok({"unit", "create", "@Line1/1/2", "0"});
  Ok({"unit", "create", "@Line1/1/2", "3"});
  Ok({"recipe", "set", "@Line1/1/2", "--unit", "3=Dryer"});
  Ok({"recipe", "bump-version", "@Line1/1/2"});
  std::map<std::string, std::string> source = FilesOf(rg01 + "/RCP0002");
  ASSERT_EQ(source.size(), 3u);

  json copy = Json({"recipe", "copy", "@Line1/1/2", "@Line1/2", "7"})["made"][0];
  EXPECT_EQ(copy["address"], "@Line1/2/7");
  EXPECT_EQ(copy["title"], "Mix B");
  EXPECT_EQ(copy["version"], 0);  // a new recipe's, the source is at 1
  EXPECT_EQ(copy["subGroup"], "");
  EXPECT_EQ(copy["units"].size(), 2u);
  EXPECT_EQ(copy["units"][1]["text"], "Dryer");
  std::map<std::string, std::string> copied = FilesOf(rg02 + "/RCP0007");
  EXPECT_EQ(copied["RcpRP.edf"], source["RcpRP.edf"]);
  EXPECT_EQ(copied["RcpPT03.edf"], source["RcpPT03.edf"]);
  EXPECT_NE(copied["RcpHead.edf"], source["RcpHead.edf"]);  // stamped as created now
  EXPECT_EQ(FilesOf(rg01 + "/RCP0002"), source);

  // Without N: the source's number when free there, else the lowest free one.
  EXPECT_EQ(Ok({"recipe", "copy", "@Line1/1/3", "@Line1/2"}), "created recipe @Line1/2/3: copied from @Line1/1/3\n");
  EXPECT_EQ(Ok({"recipe", "copy", "@Line1/1/3", "@Line1/1"}), "created recipe @Line1/1/6: copied from @Line1/1/3\n");
  Outcome taken = Rcpstore({"recipe", "copy", "@Line1/1/3", "@Line1/2", "7"});
  EXPECT_EQ(taken.status, 1);
  EXPECT_NE(taken.err.find("RCP0007 of @Line1/2 already exists"), std::string::npos) << taken.err;
  EXPECT_EQ(FilesOf(rg02 + "/RCP0007"), copied);

  // A move keeps the recipe as it is and takes it out of its sub-group.
  std::map<std::string, std::string> moving = FilesOf(rg01 + "/RCP0002");
  json moved = Json({"recipe", "move", "@Line1/1/2", "@Line1/2", "20"});
  EXPECT_EQ(moved["removed"][0]["address"], "@Line1/1/2");
  EXPECT_EQ(moved["made"][0]["address"], "@Line1/2/20");
  EXPECT_EQ(moved["made"][0]["version"], 1);
  EXPECT_EQ(FilesOf(rg02 + "/RCP0020"), moving);
  EXPECT_FALSE(qvtest::Exists(rg01 + "/RCP0002"));
  EXPECT_EQ(qvtest::ReadFile(rg01 + "/RcpSubGroup.txt").find("RCP0002"), std::string::npos);

  // A recipe locked by another process stays where it is.
  std::string bin = std::string(RCPSTORE_BIN) + " --station " + qvtest::Quote(tmp_ / "station");
  Outcome locked = Rcpstore({"lock", "recipe", "@Line1/1/5", "--", "sh", "-c",
                             "env -u RCPSTORE_LOCK_FDS " + bin + " recipe move @Line1/1/5 @Line1/2"});
  EXPECT_NE(locked.status, 0);
  EXPECT_NE(locked.err.find("is being edited"), std::string::npos) << locked.err;
  EXPECT_TRUE(qvtest::Exists(rg01 + "/RCP0005/RcpHead.edf"));
  EXPECT_FALSE(qvtest::Exists(rg02 + "/RCP0005"));
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
  EXPECT_EQ(run.out, "created group @Line1/3\ncreated recipe @Line1/3/1\nchanged recipe @Line1/3/1\nrefused\n");
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
  EXPECT_EQ(run.out, "created recipe " + rg01 + "/RCP0001\ncreated project @Foo: registered " + tmp_ / "P" +
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
