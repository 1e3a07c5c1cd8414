// The rcpstore command line as two users of one station, in real processes:
// root administers the station's security, another user (uid 65534) reads
// its rights, is refused, and is shown what it cannot read.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "RcpstoreRun.h"
#include "TestSupport.h"

using nlohmann::json;

namespace {

namespace fs = std::filesystem;
using qvtest::Outcome;

constexpr uid_t kOtherUser = 65534;  // "nobody"

class CliMultiUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root";
    fs::permissions(tmp_.path(), fs::perms::all);
    qvtest::MakeDirs(io_);
    fs::permissions(io_, fs::perms::all);
  }

  Outcome AsRoot(const std::vector<std::string>& args) {
    return qvtest::RunRcpstore(tmp_.path(), station_, args, io_);
  }

  // Runs rcpstore as the other user, with the station's group as its own
  // unless told otherwise.
  Outcome AsOther(const std::vector<std::string>& args, bool inStationGroup = true) {
    struct stat st;
    if (stat(station_.c_str(), &st) != 0) return {-1, "", "no station"};
    unlink((io_ + "/out").c_str());  // root's, from an earlier run
    unlink((io_ + "/err").c_str());
    pid_t pid = fork();
    if (pid == 0) {
      gid_t groups[] = {inStationGroup ? st.st_gid : kOtherUser};
      if (setgroups(1, groups) != 0 || setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
          setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
        _exit(99);
      }
      _exit(qvtest::RunRcpstore(tmp_.path(), station_, args, io_).status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, qvtest::ReadFile(io_ + "/out"),
            qvtest::ReadFile(io_ + "/err")};
  }

  // A demo project that every user may write, as a shared project is.
  void MakeSharedProject() {
    ASSERT_EQ(AsRoot({"demo", demo_}).status, 0);
    fs::permissions(demo_, fs::perms::all);
    for (const auto& entry : fs::recursive_directory_iterator(demo_)) {
      fs::permissions(entry.path(), entry.is_directory() ? fs::perms::all : fs::perms(0666));
    }
  }

  qvtest::TempDir tmp_;
  std::string station_ = tmp_ / "station";
  std::string io_ = tmp_ / "io";
  std::string demo_ = tmp_ / "demo";
};

TEST_F(CliMultiUserTest, AnAdministratorSwitchesSecurityAndEnrolsMembers) {
  Outcome run = AsRoot({"security", "off"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("never switched on"), std::string::npos) << run.err;

  ASSERT_EQ(AsRoot({"security", "on"}).status, 0);
  ASSERT_EQ(AsRoot({"station", "group", "add-member", "RcpSec4", "nobody"}).status, 0);
  run = AsRoot({"security", "groups", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  json groups = json::parse(run.out)["groups"];
  ASSERT_EQ(groups.size(), 5u);
  EXPECT_EQ(groups[3]["name"], "RcpSec4");
  EXPECT_EQ(groups[3]["members"], json::array({"nobody"}));
  EXPECT_FALSE(groups[0]["comment"].get<std::string>().empty());

  run = AsRoot({"station", "group", "add-member", "RcpSec4", "no-such-user-here"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("there is no user no-such-user-here"), std::string::npos) << run.err;
  EXPECT_EQ(AsRoot({"security", "check", "approval"}).status, 2);

  // The member holds what its group gives; the check's exit status says so.
  run = AsOther({"security", "check", "approve", "delete", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(json::parse(run.out)["user"], "nobody");
  run = AsOther({"security", "check", "approve", "download", "--json"});
  EXPECT_EQ(run.status, 1);
  json check = json::parse(run.out);
  EXPECT_EQ(check["allowed"], false);
  EXPECT_EQ(check["rights"]["approve"], true);
  EXPECT_EQ(check["rights"]["download"], false);

  ASSERT_EQ(AsRoot({"station", "group", "remove-member", "RcpSec4", "nobody"}).status, 0);
  run = AsRoot({"station", "group", "remove-member", "RcpSec4", "nobody"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("nobody is not a member of RcpSec4"), std::string::npos) << run.err;
  ASSERT_EQ(AsRoot({"security", "off"}).status, 0);
  EXPECT_EQ(json::parse(AsOther({"security", "status", "--json"}).out)["security"], "off");

  // Every switch that took effect is in the audit trail, by whom.
  std::vector<std::string> switches;
  std::istringstream trail(qvtest::ReadFile(station_ + "/audit.log"));
  for (std::string line; std::getline(trail, line);) {
    json entry = json::parse(line);
    if (entry["operation"] != "switchSecurity" || entry["result"] != 0) continue;
    EXPECT_EQ(entry["user"], "root");
    switches.push_back(entry["detail"]);
  }
  EXPECT_EQ(switches, (std::vector<std::string>{"on", "off"}));
}

// Which right each change asks for is the library's; here, how a refusal
// reads, and that a user outside the station's group is told why.
TEST_F(CliMultiUserTest, ARefusedChangeNamesTheUserAndTheRight) {
  MakeSharedProject();
  ASSERT_EQ(AsRoot({"security", "on"}).status, 0);
  ASSERT_EQ(AsRoot({"station", "group", "add-member", "RcpSec1", "nobody"}).status, 0);
  const std::string group = demo_ + "/Recipe/RG01";
  Outcome run = AsOther({"recipe", "create", group, "7"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "rcpstore: recipe create " + group + " 7: user nobody lacks the create right (error 0x00000005)\n");
  run = AsOther({"recipe", "create", group, "8"}, false);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the station's registry cannot be opened"), std::string::npos) << run.err;
  EXPECT_EQ(AsOther({"security", "status"}, false).status, 1);
  EXPECT_FALSE(qvtest::Exists(group + "/RCP0007"));
  EXPECT_FALSE(qvtest::Exists(group + "/RCP0008"));
}

// A group that the other user may not read is shown with why, the rest
// whole, and the tree exits 1.
TEST_F(CliMultiUserTest, TreeShowsAGroupItCannotReadAndExitsOne) {
  MakeSharedProject();
  fs::permissions(demo_ + "/Recipe/RG02", fs::perms::owner_all);
  Outcome run = AsOther({"tree", demo_, "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("1 of its nodes could not be read"), std::string::npos) << run.err;
  json tree = json::parse(run.out, nullptr, false);
  ASSERT_FALSE(tree.is_discarded()) << run.out;
  const json& groups = tree["children"];
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_FALSE(groups[0].contains("error"));
  EXPECT_EQ(groups[0]["children"].size(), 4u);  // two recipes, Mixing and Packing
  EXPECT_TRUE(groups[1].contains("error"));
  EXPECT_TRUE(groups[1]["children"].empty());
}

}  // namespace
