// The rcpstore command line, run as a real process.
#include <nlohmann/json.hpp>

#include "RcpstoreRun.h"
#include "TestSupport.h"

using nlohmann::json;

namespace {

using qvtest::Outcome;
using qvtest::Quote;

class CliTest : public ::testing::Test {
 protected:
  Outcome Rcpstore(const std::vector<std::string>& args) {
    return qvtest::RunRcpstore(".", tmp_ / "station", args, tmp_.path());
  }

  json Tree(const std::string& dir) {
    Outcome run = Rcpstore({"tree", dir, "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out);
  }

  static std::vector<std::string> Names(const json& node) {
    std::vector<std::string> names;
    for (const auto& child : node["children"]) names.push_back(child["name"]);
    return names;
  }

  qvtest::TempDir tmp_;
};

TEST_F(CliTest, DemoLaysOutAProjectAndTreePrintsIt) {
  std::string demo = tmp_ / "demo";
  Outcome run = Rcpstore({"demo", demo});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("│   │   └── Heating/\n│   │       └── @Demo/1/2  Batch 1-2  v0\n"), std::string::npos) << run.out;
  EXPECT_TRUE(qvtest::Exists(tmp_ / "demo/Recipe/RG01/RCP0001/TEMP"));
  EXPECT_TRUE(qvtest::Exists(tmp_ / "station/errors.log"));

  json root = Tree(demo);
  EXPECT_EQ(root["kind"], "project");
  EXPECT_EQ(root["address"], "@Demo");  // a registered directory goes by its registered name
  EXPECT_EQ(Tree("Demo")["address"], "@Demo");
  EXPECT_EQ(root["path"], demo);
  ASSERT_EQ(Names(root), (std::vector<std::string>{"RG01", "RG02"}));
  const json& rg01 = root["children"][0];
  EXPECT_EQ(Names(rg01), (std::vector<std::string>{"RCP0003", "RCP0005", "Mixing", "Packing"}));
  const json& heating = rg01["children"][2]["children"][1];
  EXPECT_EQ(heating["subGroup"], "Mixing/Heating");
  EXPECT_EQ(heating["children"][0]["address"], "@Demo/1/2");
  EXPECT_EQ(heating["children"][0]["subGroup"], "Mixing/Heating");
  EXPECT_EQ(heating["children"][0]["title"], "Batch 1-2");
  EXPECT_TRUE(qvtest::Exists(demo + "/Recipe/RG01/RcpGrAttr.txt"));
  EXPECT_EQ(heating["children"][0]["path"], demo + "/Recipe/RG01/RCP0002");

  EXPECT_EQ(Names(Tree(demo + "/"))[1], "RG02");
  Outcome flat = Rcpstore({"tree", demo, "--depth-one", "--json"});
  EXPECT_TRUE(json::parse(flat.out)["children"][0]["children"].empty());
  Outcome plain = Rcpstore({"tree", demo, "--no-subgroups", "--json"});
  EXPECT_EQ(Names(json::parse(plain.out)["children"][0]).size(), 5u);

  Outcome again = Rcpstore({"demo", demo});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("error 0x20000106"), std::string::npos) << again.err;
}

TEST_F(CliTest, SubGroupCommandsEditTheArrangement) {
  std::string demo = tmp_ / "demo";
  ASSERT_EQ(Rcpstore({"demo", demo}).status, 0);
  std::string rg02 = demo + "/Recipe/RG02";
  ASSERT_EQ(Rcpstore({"subgroup", "add", rg02, "Trials", "Night"}).status, 0);
  ASSERT_EQ(Rcpstore({"subgroup", "put", rg02, "rcp0003", "Trials", "Night"}).status, 0);
  ASSERT_EQ(Rcpstore({"subgroup", "rename", rg02, "Day", "Trials", "Night"}).status, 0);
  json group = Tree(demo)["children"][1];
  EXPECT_EQ(Names(group), (std::vector<std::string>{"RCP0001", "Trials"}));
  EXPECT_EQ(Names(group["children"][1]), (std::vector<std::string>{"Day", "RCP0002"}));

  Outcome dup = Rcpstore({"subgroup", "put", rg02, "RCP0003", "Trials"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_EQ(dup.err, "rcpstore: subgroup put " + rg02 +
                        ": RCP0003 is already in sub-group Trials/Day (take it out first, or move it) (error 0x20000106)\n");

  ASSERT_EQ(Rcpstore({"subgroup", "take", rg02, "RCP0003"}).status, 0);
  ASSERT_EQ(Rcpstore({"subgroup", "remove", rg02, "Trials"}).status, 0);
  EXPECT_EQ(Names(Tree(demo)["children"][1]), (std::vector<std::string>{"RCP0001", "RCP0002", "RCP0003"}));
}

TEST_F(CliTest, FailuresAndUsageErrorsHaveTheirExitStatus) {
  Outcome missing = Rcpstore({"tree", tmp_ / "nowhere"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "rcpstore: tree " + (tmp_ / "nowhere") + ": no such directory (error 0x00000003)\n");
  EXPECT_EQ(Rcpstore({}).status, 2);
  EXPECT_EQ(Rcpstore({"tree"}).status, 2);
  EXPECT_EQ(Rcpstore({"bogus"}).status, 2);
  EXPECT_EQ(Rcpstore({"subgroup", "add", tmp_.path()}).status, 2);
  Outcome help = Rcpstore({"subgroup", "put", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("RECIPE"), std::string::npos);
}

TEST_F(CliTest, ProjectAndGroupCommandsWorkOnTheStation) {
  ASSERT_EQ(Rcpstore({"project", "create", "P1", tmp_.path()}).status, 0);
  std::string dir = tmp_ / "P1";
  ASSERT_EQ(Rcpstore({"project", "register", "Line1", dir, "--comment", "first", "--status", "U"}).status, 0);
  ASSERT_EQ(Rcpstore({"project", "register", "Line1", dir, "--host", "stn7", "--auto-version"}).status, 0);
  json info = json::parse(Rcpstore({"project", "info", "Line1", "--json"}).out);
  EXPECT_EQ(info["path"], dir);
  EXPECT_EQ(info["comment"], "first");
  EXPECT_EQ(info["status"], "unchecked");
  EXPECT_EQ(info["host"], "stn7");
  EXPECT_EQ(info["versionMode"], "auto");
  EXPECT_EQ(info["revision"], "R3.00.00");
  json list = json::parse(Rcpstore({"project", "list", "--json"}).out);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["name"], "Line1");
  EXPECT_EQ(Rcpstore({"project", "register", "Line1", dir, "--status", "X"}).status, 2);

  EXPECT_EQ(Rcpstore({"group", "free", dir, "--json"}).out,
            "{\"address\":\"@Line1\",\"free\":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16],\"path\":\"" + dir + "\"}\n");
  ASSERT_EQ(Rcpstore({"group", "create", dir, "3", "--comment", "Dosing", "--server", "S1"}).status, 0);
  Outcome dup = Rcpstore({"group", "create", dir, "3"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_NE(dup.err.find("error 0x20000106"), std::string::npos);
  std::string group = dir + "/Recipe/RG03";
  ASSERT_EQ(Rcpstore({"group", "set", group, "--server", "S2", "--server", "S3"}).status, 0);
  json g = json::parse(Rcpstore({"group", "info", group, "--json"}).out);
  EXPECT_EQ(g["comment"], "Dosing");
  EXPECT_EQ(g["servers"], json::array({"S2", "S3"}));
  EXPECT_EQ(Rcpstore({"group", "free", dir}).out.substr(0, 6), "1 2 4 ");
  EXPECT_EQ(Names(Tree("Line1")), (std::vector<std::string>{"RG03"}));
  ASSERT_EQ(Rcpstore({"group", "delete", group}).status, 0);
  EXPECT_FALSE(qvtest::Exists(group));

  json station = json::parse(Rcpstore({"station", "info", "--json"}).out);
  EXPECT_EQ(station["registry"], tmp_ / "station/registry.db");
  EXPECT_EQ(station["path"], tmp_ / "station");
  ASSERT_EQ(Rcpstore({"project", "unregister", "Line1"}).status, 0);
  EXPECT_EQ(Rcpstore({"project", "info", "Line1"}).status, 1);
  ASSERT_EQ(Rcpstore({"project", "delete", dir}).status, 0);
  EXPECT_FALSE(qvtest::Exists(dir));
}

TEST_F(CliTest, LockCommandsHoldRunAndReport) {
  std::string demo = tmp_ / "demo";
  ASSERT_EQ(Rcpstore({"demo", demo}).status, 0);
  std::string recipe = demo + "/Recipe/RG01/RCP0001";
  // While the command runs the lock is held: the command itself acts as the
  // holder, a process that did not inherit the hold is refused.
  std::string inner = std::string(RCPSTORE_BIN) + " --station " + Quote(tmp_ / "station") + " lock project Demo -- true";
  Outcome nested = Rcpstore({"lock", "project", "Demo", "--", "sh", "-c",
                             inner + "; echo inherited=$?; env -u RCPSTORE_LOCK_FDS " + inner + "; echo other=$?"});
  EXPECT_EQ(nested.status, 0) << nested.err;
  EXPECT_NE(nested.out.find("inherited=0"), std::string::npos) << nested.out;
  EXPECT_NE(nested.out.find("other=1"), std::string::npos) << nested.out;
  EXPECT_NE(nested.err.find("lock project Demo: Demo is being edited on another station"), std::string::npos)
      << nested.err;

  Outcome status = Rcpstore({"lock", "recipe", recipe, "--", "false"});
  EXPECT_EQ(status.status, 1);
  json free = json::parse(Rcpstore({"lock", "status", recipe, "--json"}).out);
  EXPECT_EQ(free["held"], false);
  EXPECT_EQ(free["path"], recipe + "/RcpLock.txt");
  EXPECT_EQ(free["address"], "@Demo/1/1");
  EXPECT_EQ(Rcpstore({"lock", "status", "Demo"}).out, "not locked (" + demo + "/RcpPjtLock.txt)\n");
  EXPECT_EQ(Rcpstore({"lock", "project", "Nope", "--", "true"}).status, 1);

  qvtest::WriteFile(recipe + "/TEMP/x.tmp", "x");
  ASSERT_EQ(Rcpstore({"clean-temp", "Demo"}).status, 0);
  EXPECT_FALSE(qvtest::Exists(recipe + "/TEMP/x.tmp"));
  EXPECT_TRUE(qvtest::Exists(recipe + "/TEMP"));
  EXPECT_EQ(Rcpstore({"clean-temp", "Nope"}).status, 1);
}

TEST_F(CliTest, RecipeCommandsMakeDescribeAndListRecipes) {
  std::string demo = tmp_ / "demo";
  ASSERT_EQ(Rcpstore({"demo", demo}).status, 0);
  std::string group = demo + "/Recipe/RG02";
  EXPECT_EQ(Rcpstore({"recipe", "free", group}).out, "4-1000\n");
  Outcome dup = Rcpstore({"recipe", "create", group, "3"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_NE(dup.err.find("error 0x20000106"), std::string::npos);
  ASSERT_EQ(Rcpstore({"recipe", "create", group, "7", "--header-name", "H7"}).status, 0);
  std::string recipe = group + "/RCP0007";
  ASSERT_EQ(Rcpstore({"recipe", "set", recipe, "--title", "Seven", "--unit", "2=Dryer"}).status, 0);
  EXPECT_EQ(Rcpstore({"recipe", "set", recipe, "--unit", "33=x"}).status, 2);
  ASSERT_EQ(Rcpstore({"recipe", "bump-version", recipe}).status, 0);
  json info = json::parse(Rcpstore({"recipe", "info", recipe, "--json"}).out);
  EXPECT_EQ(info["number"], 7);
  EXPECT_EQ(info["headerName"], "H7");
  EXPECT_EQ(info["title"], "Seven");
  EXPECT_TRUE(info["units"].empty());  // only the unit files that exist
  EXPECT_EQ(info["version"], 1);

  ASSERT_EQ(Rcpstore({"unit", "create", recipe, "2"}).status, 0);
  EXPECT_EQ(Rcpstore({"unit", "create", recipe, "2"}).status, 1);
  EXPECT_EQ(json::parse(Rcpstore({"unit", "free", recipe, "--json"}).out)["free"][1], 3);
  json withUnit = json::parse(Rcpstore({"recipe", "info", recipe, "--json"}).out);
  ASSERT_EQ(withUnit["units"].size(), 1u);
  EXPECT_EQ(withUnit["units"][0]["text"], "Dryer");
  EXPECT_EQ(withUnit["units"][0]["address"], "@Demo/2/7/2");
  json files = json::parse(Rcpstore({"ls", recipe, "--json"}).out);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1]["name"], "RcpPT02.edf");
  EXPECT_EQ(files[1]["number"], 2);
  EXPECT_EQ(files[1]["title"], "Seven");
  EXPECT_EQ(files[1]["comment"], "Dryer");
  json children = json::parse(Rcpstore({"ls", "--children", group, "--json"}).out);
  EXPECT_EQ(children.back()["name"], "Trials");
  EXPECT_EQ(children[0]["kind"], "recipe");
  EXPECT_EQ(children[0]["title"], "Batch 2-1");

  json dump = json::parse(Rcpstore({"edf", "dump", recipe + "/RcpHead.edf", "--json"}).out);
  EXPECT_EQ(dump["header"]["fileKind"], "header");
  EXPECT_EQ(dump["records"][0]["fields"]["title"], "Seven");
  qvtest::WriteFile(tmp_ / "junk.edf", "junk");
  Outcome junk = Rcpstore({"edf", "dump", tmp_ / "junk.edf"});
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.err.find("error 0x00000570"), std::string::npos) << junk.err;

  ASSERT_EQ(Rcpstore({"unit", "delete", recipe, "2"}).status, 0);
  ASSERT_EQ(Rcpstore({"recipe", "delete", recipe}).status, 0);
  EXPECT_FALSE(qvtest::Exists(recipe));
}

TEST_F(CliTest, JsonStaysValidForAnyStoredName) {
  ASSERT_EQ(Rcpstore({"project", "create", "p", tmp_.path()}).status, 0);
  std::string group = tmp_ / "p/Recipe/RG01";
  ASSERT_EQ(Rcpstore({"group", "create", tmp_ / "p", "1"}).status, 0);
  ASSERT_EQ(Rcpstore({"recipe", "create", group, "1"}).status, 0);
  qvtest::WriteFile(group + "/RcpSubGroup.txt", "STARTSUB,\"q\"\"\\\x01\xff\xc3\xa9\"\nNODE,RCP0001\nENDSUB,x\n");
  json root = Tree(tmp_ / "p");
  // The byte 0xff is not UTF-8: it is kept as U+0000 and its hex digits.
  EXPECT_EQ(root["children"][0]["children"][0]["name"], std::string("q\"\\\x01\0ff\xc3\xa9", 9));
}

}  // namespace
