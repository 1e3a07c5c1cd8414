// Two users of one station, in real processes: root administers the
// station's security, another user (uid 65534) reads its rights and is
// refused, through the library and the rcpstore command line, and is shown
// what it cannot read.
#include <grp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "RcpstoreRun.h"
#include "RunInChild.h"
#include "TestProcess.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "libqveeda/QVEFilePath.h"
#include "platform/Accounts.h"
#include "platform/Host.h"
#include "platform/StationDir.h"

using nlohmann::json;

namespace {

namespace fs = std::filesystem;
using qvplatform::testing::ActAsUser;
using qvtest::KeyExists;
using qvtest::Outcome;
using qvtest::RightKey;
using qvtest::SecurityEnabled;

constexpr uid_t kOtherUser = 65534;  // "nobody"

// Drops this process to the other user, with one group as its only one.
bool BecomeOtherUser(gid_t group) {
  gid_t groups[] = {group};
  return setgroups(1, groups) == 0 && setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
         setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
}

// The library in a child process running as the other user.
class SecurityMultiUserTest : public ::testing::Test {
 protected:
  // The station is made and laid out by root, its creator.
  void SetUp() override {
    fs::remove(tmp_ / ".station");
    std::string made;
    bool fresh = false;
    ASSERT_EQ(qvplatform::MakeStationDirectory(&made, &fresh), 0u);
    ActAsUser("root", true);
    ASSERT_TRUE(qvplatform::CallerIsAdministrator());
    uint32_t rc = 0;
    QVCCloseRegistry(qvtest::OpenKey("Batch", "Project List", 0, &rc));  // lays the registry out
    ASSERT_EQ(rc, 0u);
  }
  void TearDown() override { ActAsUser(""); }

  // Runs the call as uid 65534 in the station's group, as an engineer of
  // the station is.
  static qvtest::ChildOutcome AsOtherUser(const std::function<uint32_t()>& call) {
    return qvtest::RunInChild([&] {
      ActAsUser("");
      struct stat st;
      if (stat(qvplatform::StationDirectory().c_str(), &st) != 0 || !BecomeOtherUser(st.st_gid)) return 0xDEADu;
      return call();
    });
  }

  qvtest::TempDir tmp_;
};

TEST_F(SecurityMultiUserTest, AnotherUserCannotSwitchEnrolOrRemove) {
  // The other user may enter the test's directory and the shared station.
  ASSERT_EQ(chmod(tmp_.path().c_str(), 0755), 0);
  struct stat st;
  ASSERT_EQ(stat(qvplatform::StationDirectory().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 03770u);
  struct group* users = getgrnam(qvplatform::kStationGroup);
  if (users != nullptr) {
    EXPECT_EQ(st.st_gid, users->gr_gid);
  }

  // The other user registers a project on root's station, but cannot
  // switch security on.
  qvtest::ChildOutcome child = AsOtherUser([] {
    uint32_t rc = QVCSetCommonRegistryString(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch\\Project List\\Theirs",
                                             "Path", "/p", 1);
    return rc != 0 ? rc : static_cast<uint32_t>(CQVERcpSecurity().SetSecurity(1));
  });
  ASSERT_TRUE(child.returned);
  EXPECT_EQ(child.rc, 0u);
  ASSERT_EQ(stat(qvplatform::RegistryPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(stat((qvplatform::StationDirectory() + "/names.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_FALSE(KeyExists("RecipeSecurity"));

  CQVERcpSecurity security;
  ASSERT_EQ(security.SetSecurity(1), 1);
  ASSERT_EQ(qvplatform::LocalGroupAddMember("RcpSec3", "nobody"), 0u);
  child = AsOtherUser([] {
    CQVERcpSecurity asNobody;
    uint32_t refused = 0;  // one bit per step that was refused as it must be
    refused |= asNobody.SetSecurity(0) == 0 ? 0x01 : 0;
    refused |= asNobody.GetSecurityInfo() == 1 ? 0x02 : 0;
    refused |= qvplatform::LocalGroupAddMember("RcpSec4", "nobody") == ERROR_ACCESS_DENIED ? 0x04 : 0;
    std::vector<WCHAR> name{L'M', L'i', L'n', L'e', 0};
    LOCALGROUP_INFO_1 info{name.data(), nullptr};
    refused |= NetLocalGroupAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr) == ERROR_ACCESS_DENIED ? 0x08 : 0;
    HKEY batch = nullptr;
    QVCOpenRegistry(HKEY_LOCAL_MACHINE, QVC_COMPONENT_ENG, "Batch", nullptr, 0, &batch);
    refused |= RegDeleteKeyA(batch, "RecipeSecurity\\Default\\Run") == ERROR_ACCESS_DENIED ? 0x10 : 0;
    QVCCloseRegistry(batch);
    // Its own rights, as the station's group RcpSec3 gives them.
    refused |= asNobody.CheckSecurity(QVERCP_RIGHT_DELETE) == 1 && asNobody.CheckSecurity(QVERCP_RIGHT_APPROVE) == 0
                   ? 0x20
                   : 0;
    return refused;
  });
  ASSERT_TRUE(child.returned);
  EXPECT_EQ(child.rc, 0x3fu);
  EXPECT_EQ(SecurityEnabled(), 1u);
  for (const char* right : qvtest::kRightKeys) EXPECT_TRUE(KeyExists(RightKey(right))) << right;
  EXPECT_FALSE(qvplatform::LocalGroupExists("Mine"));
}

// The command line run as root or as the other user.
class CliMultiUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root";
    fs::permissions(tmp_.path(), fs::perms::all);
    ASSERT_EQ(std::system((std::string(RCPSTORE_BIN) + " --station " + station_ + " station init >/dev/null").c_str()), 0);
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
    qvtest::ChildOutcome run = qvtest::RunInChild([&] {
      if (!BecomeOtherUser(inStationGroup ? st.st_gid : kOtherUser)) return 99u;
      return static_cast<uint32_t>(qvtest::RunRcpstore(tmp_.path(), station_, args, io_).status);
    }, 60000);
    return {run.returned ? static_cast<int>(run.rc) : -1, qvtest::ReadFile(io_ + "/out"),
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

// A member of the secured station who may not edit cannot reach the project
// through another station by leaving the variable unset: there is none to
// fall back on, and nothing is made for him.
TEST_F(CliMultiUserTest, LeavingTheStationUnsetChangesNothing) {
  MakeSharedProject();
  ASSERT_EQ(AsRoot({"security", "on"}).status, 0);
  ASSERT_EQ(AsRoot({"station", "group", "add-member", "RcpSec1", "nobody"}).status, 0);
  const std::string recipe = demo_ + "/Recipe/RG01/RCP0001";
  const std::string head = qvtest::ReadFile(recipe + "/RcpHead.edf");
  EXPECT_EQ(AsOther({"recipe", "set", recipe, "--title", "Mine"}).status, 1);
  const std::string home = tmp_ / "home";
  qvtest::MakeDirs(home);
  fs::permissions(home, fs::perms::all);
  struct stat st;
  ASSERT_EQ(stat(station_.c_str(), &st), 0);
  qvtest::ChildOutcome run = qvtest::RunInChild([&] {
    if (!BecomeOtherUser(st.st_gid)) return 99u;
    std::string script = "env -u QVC_STATION_DIR HOME=" + home + " XDG_STATE_HOME= " + RCPSTORE_BIN +
                         " recipe set " + recipe + " --title Mine 2>/dev/null";
    int raw = std::system(script.c_str());
    return static_cast<uint32_t>(WIFEXITED(raw) ? WEXITSTATUS(raw) : 98);
  }, 60000);
  ASSERT_TRUE(run.returned);
  if (!fs::exists("/var/lib/qv-station")) {
    EXPECT_EQ(run.rc, 1u);
  }
  EXPECT_EQ(qvtest::ReadFile(recipe + "/RcpHead.edf"), head);
  EXPECT_TRUE(fs::is_empty(home));
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

// A recipe locked by another user is refused to root with that user's
// name, the station, the holder's process and the label it locked under.
TEST_F(CliMultiUserTest, ALockRefusalNamesTheOtherUserWhoHoldsIt) {
  MakeSharedProject();
  const std::string recipe = demo_ + "/Recipe/RG01/RCP0001";
  qvtest::ChildProcess holder([&] {
    if (!BecomeOtherUser(kOtherUser)) return -1;
    auto* lock = new CQVERcpLock;  // lives until the process is killed
    return static_cast<int>(lock->LockRecipe("night shift", 0, 0, recipe.c_str(), 0, nullptr, nullptr));
  });
  ASSERT_EQ(holder.started(), 0);
  Outcome run = AsRoot({"recipe", "bump-version", recipe});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RCP0001 is being edited by nobody on station " + qvplatform::ComputerName() + " (process " +
                         std::to_string(holder.pid()) + ", \"night shift\"), as its lock file claims"),
            std::string::npos)
      << run.err;
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

// Another user of the station replaces the station's logs with a link to
// root's private file, a FIFO, a directory and a line cut short: root's next
// change neither follows, opens nor waits on them, and its audit line is
// whole on a line of its own.
TEST_F(CliMultiUserTest, PlantedStationLogsAreNeitherFollowedNorWaitedOn) {
  MakeSharedProject();
  const std::string privateFile = tmp_ / "private.txt";
  qvtest::WriteFile(privateFile, "root's own\n");
  fs::permissions(privateFile, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(station_, fs::perms::all);  // a station every user may write in
  qvtest::ChildOutcome planted = qvtest::RunInChild([&] {
    struct stat st;
    if (stat(station_.c_str(), &st) != 0 || !BecomeOtherUser(st.st_gid)) return 99u;
    for (const char* log : {"audit.log", "errors.log", "events.log"}) unlink((station_ + "/" + log).c_str());
    bool done = symlink(privateFile.c_str(), (station_ + "/errors.log").c_str()) == 0 &&
                mkfifo((station_ + "/events.log").c_str(), 0666) == 0;
    qvtest::WriteFile(station_ + "/audit.log", "{\"time\":\"2026-12-07T");
    return done ? 0u : 1u;
  });
  ASSERT_TRUE(planted.returned);
  ASSERT_EQ(planted.rc, 0u);

  qvtest::ChildOutcome change = qvtest::RunInChild([&] {
    return static_cast<uint32_t>(AsRoot({"recipe", "set", demo_ + "/Recipe/RG01/RCP0001", "--comment", "c"}).status);
  }, 20000);
  ASSERT_TRUE(change.finished) << "waits on a planted log";
  EXPECT_EQ(change.rc, 0u);
  EXPECT_EQ(qvtest::ReadFile(privateFile), "root's own\n");
  EXPECT_EQ(fs::status(privateFile).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::symlink_status(station_ + "/events.log").type(), fs::file_type::fifo);
  Outcome log = AsRoot({"log", "--json"});
  ASSERT_EQ(log.status, 0) << log.err;
  EXPECT_NE(log.out.find("\"operation\":\"setHeader\""), std::string::npos) << log.out;

  // A trail that cannot be written never holds the change back, and says so.
  fs::remove(station_ + "/audit.log");
  fs::create_directory(station_ + "/audit.log");
  Outcome change2 = AsRoot({"recipe", "set", demo_ + "/Recipe/RG01/RCP0001", "--comment", "d"});
  EXPECT_EQ(change2.status, 0) << change2.err;
  EXPECT_NE(change2.err.find("audit trail not written: setHeader"), std::string::npos) << change2.err;
}

// A station whose registry its users may write grants no right until its
// administrator sets it up; then the rights bind and a member can neither
// rewrite them nor make them go away. A registry that has gone refuses every
// right instead of granting them all.
TEST_F(CliMultiUserTest, RightsBindOnlyOnARegistryItsUsersCannotWrite) {
  MakeSharedProject();
  ASSERT_EQ(AsRoot({"project", "register", "Line1", demo_}).status, 0);
  const std::string registry = station_ + "/registry.db";
  ASSERT_EQ(chmod(registry.c_str(), 0660), 0);  // as stations were laid out before
  const std::string recipe = demo_ + "/Recipe/RG01/RCP0001";
  Outcome run = AsOther({"recipe", "set", recipe, "--comment", "x"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("rcpstore station init"), std::string::npos) << run.err;
  EXPECT_EQ(AsOther({"station", "init"}).status, 1);

  run = AsRoot({"station", "init"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("registry.db: mode 644"), std::string::npos) << run.out;
  EXPECT_EQ(AsRoot({"station", "init"}).out, "station set up already; nothing changed\n");
  struct Expected {
    std::string entry;
    unsigned mode;
  };
  for (const Expected& e : {Expected{"", 03770}, {"/registry.db", 0644}, {"/names.db", 0660}, {"/audit.log", 0660},
                            {"/templates", 0755}, {"/templates/QVUser", 0755}}) {
    struct stat st;
    ASSERT_EQ(lstat((station_ + e.entry).c_str(), &st), 0) << e.entry;
    EXPECT_EQ(st.st_mode & 07777, e.mode) << e.entry;
    EXPECT_EQ(st.st_uid, 0u) << e.entry;
  }
  EXPECT_EQ(AsOther({"recipe", "set", recipe, "--comment", "x"}).status, 0);
  EXPECT_EQ(AsOther({"project", "register", "Line2", demo_}).status, 0);
  EXPECT_NE(AsOther({"project", "list"}).out.find("@Line1"), std::string::npos);

  // Security on, the member in no group: she cannot enrol herself, nor take
  // the registry away from the others.
  ASSERT_EQ(AsRoot({"security", "on"}).status, 0);
  qvtest::ChildOutcome attack = qvtest::RunInChild([&] {
    struct stat st;
    if (stat(station_.c_str(), &st) != 0 || !BecomeOtherUser(st.st_gid)) return 99u;
    sqlite3* db = nullptr;
    bool opened = sqlite3_open(registry.c_str(), &db) == SQLITE_OK;
    bool enrolled = opened && sqlite3_exec(db, "INSERT INTO members VALUES('rcpsec1', 'nobody', 'nobody')", nullptr,
                                           nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    bool removed = unlink(registry.c_str()) == 0 || rename(registry.c_str(), (station_ + "/x").c_str()) == 0;
    return enrolled || removed ? 1u : 0u;
  });
  ASSERT_TRUE(attack.returned);
  EXPECT_EQ(attack.rc, 0u);
  EXPECT_EQ(AsOther({"recipe", "set", recipe, "--comment", "y"}).status, 1);

  ASSERT_EQ(unlink(registry.c_str()), 0);
  run = AsOther({"recipe", "set", recipe, "--comment", "z"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the station's registry cannot be opened"), std::string::npos) << run.err;
  EXPECT_FALSE(qvtest::Exists(registry));
}

// A registered name is another user's way to a project: it is re-pointed
// only when asked, and with security on only by the station's
// administrator; a refused or failed register, or unregister, changes
// nothing, so root's later clean-temp of the name cleans what it always did.
TEST_F(CliMultiUserTest, ANameIsRePointedOnlyWhenAskedAndSecuredByAdministrators) {
  MakeSharedProject();
  ASSERT_EQ(AsRoot({"project", "register", "Line1", demo_}).status, 0);
  const std::string privateStore = tmp_ / "Private";
  ASSERT_EQ(AsRoot({"project", "create", "Private", tmp_.path()}).status, 0);
  const std::string work = privateStore + "/Recipe/RG01/RCP0001/TEMP/work.txt";
  qvtest::MakeDirs(privateStore + "/Recipe/RG01/RCP0001/TEMP");
  qvtest::WriteFile(work, "another user's work");
  ASSERT_EQ(AsOther({"project", "create", "Mine", tmp_.path()}).status, 0);
  const std::string mine = tmp_ / "Mine";
  auto pointsTo = [&](const std::string& name) {
    Outcome info = AsRoot({"project", "info", name, "--json"});
    return info.status == 0 ? json::parse(info.out).value("path", "") : std::string();
  };
  auto refused = [&](const std::vector<std::string>& args, const char* why) {
    Outcome run = AsOther(args);
    EXPECT_EQ(run.status, 1) << args[1];
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    EXPECT_EQ(pointsTo("Line1"), demo_) << args[1];
  };

  refused({"project", "register", "Line1", mine}, "(--replace re-points it)");
  // A register that fails on the way (the other user may not write the
  // private store) leaves the name and the store as they were.
  refused({"project", "register", "Line1", privateStore, "--replace"}, "rcpstore: project register");
  EXPECT_FALSE(qvtest::Exists(privateStore + "/Recipe/.RcpPJTAttr.txt.register"));
  EXPECT_EQ(AsOther({"project", "register", "Fresh", privateStore}).status, 1);
  EXPECT_EQ(pointsTo("Fresh"), "");
  // Registering the name's own directory again changes its attributes only.
  EXPECT_EQ(AsRoot({"project", "register", "Line1", demo_, "--comment", "Line 1"}).status, 0);

  ASSERT_EQ(AsRoot({"security", "on"}).status, 0);
  ASSERT_EQ(AsRoot({"station", "group", "add-member", "RcpSec5", "nobody"}).status, 0);
  const char* onlyAdministrators = "with security on, only an administrator of the station may";
  refused({"project", "register", "Line1", mine, "--replace"}, onlyAdministrators);
  refused({"project", "unregister", "Line1"}, onlyAdministrators);
  EXPECT_EQ(AsOther({"project", "register", "Theirs", mine}).status, 0);
  EXPECT_EQ(pointsTo("Theirs"), mine);

  ASSERT_EQ(AsRoot({"clean-temp", "@Line1"}).status, 0);
  EXPECT_EQ(qvtest::ReadFile(work), "another user's work");
  // The administrator may do both.
  EXPECT_EQ(AsRoot({"project", "register", "Line1", mine, "--replace"}).status, 0);
  EXPECT_EQ(pointsTo("Line1"), mine);
  EXPECT_EQ(AsRoot({"project", "unregister", "Line1"}).status, 0);
  EXPECT_EQ(pointsTo("Line1"), "");
}

// A member plants her own header and unit template in the station's user
// template set: the next user's new recipe and unit recipe are made from
// the system's templates, and the command says why on stderr.
TEST_F(CliMultiUserTest, AUserTemplatePlantedByAMemberIsNotUsed) {
  MakeSharedProject();
  // A station set up before the template folders were made the administrators'.
  fs::remove_all(station_ + "/templates");
  const std::string userSet = station_ + "/templates/QVUser";
  qvtest::ChildOutcome planted = qvtest::RunInChild([&] {
    struct stat st;
    if (stat(station_.c_str(), &st) != 0 || !BecomeOtherUser(st.st_gid)) return 99u;
    qvtest::MakeDirs(userSet);
    for (const char* name : {"RcpHead.edf", "RcpPrt.edf"}) {
      std::string bytes = qvtest::ReadFile(QVETemplateRoot() + "/QVSystem/" + name);
      size_t text = bytes.find(name[3] == 'H' ? "New recipe" : "RCPPRT");
      if (text == std::string::npos) return 1u;
      bytes.replace(text, 6, "PLANTD");
      qvtest::WriteFile(userSet + "/" + name, bytes);
    }
    return 0u;
  });
  ASSERT_TRUE(planted.returned);
  ASSERT_EQ(planted.rc, 0u);

  const std::string group = demo_ + "/Recipe/RG01";
  Outcome run = AsRoot({"recipe", "create", group, "9"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("user template not used"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("not to an administrator of the station"), std::string::npos) << run.err;
  ASSERT_EQ(AsRoot({"unit", "create", group + "/RCP0009", "2"}).status, 0);
  for (const char* file : {"/RCP0009/RcpHead.edf", "/RCP0009/RcpPT02.edf"}) {
    EXPECT_EQ(qvtest::ReadFile(group + file).find("PLANTD"), std::string::npos) << file;
  }
}

// A lock file that another user left 0600 refuses every lock of this user
// and is called stale when no process holds it; verify --repair removes it,
// the project's lock file too, while one that a live process of that user
// holds still refuses.
TEST_F(CliMultiUserTest, VerifyRepairClearsAnotherUsersStaleLockButNotALiveHold) {
  constexpr uid_t kThirdUser = 65533;
  MakeSharedProject();
  const std::string stale = demo_ + "/Recipe/RG01/RCP0001/RcpLock.txt";
  const std::string held = demo_ + "/Recipe/RG01/RCP0002/RcpLock.txt";
  for (const std::string& file : {stale, demo_ + "/RcpPjtLock.txt"}) {
    qvtest::WriteFile(file, "Theirs\n9");
    ASSERT_EQ(chown(file.c_str(), kThirdUser, kThirdUser), 0);
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  }
  unlink(held.c_str());  // the demo's, root's: the holder makes its own
  qvtest::ChildProcess holder([&] {
    if (setresgid(kThirdUser, kThirdUser, kThirdUser) != 0 || setresuid(kThirdUser, kThirdUser, kThirdUser) != 0) {
      return -1;
    }
    int rc = qvtest::HoldFile(held, "Theirs\n9");
    return rc != 0 ? rc : chmod(held.c_str(), 0600);
  });
  ASSERT_EQ(holder.started(), 0);

  Outcome run = AsOther({"recipe", "bump-version", demo_ + "/Recipe/RG01/RCP0001"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RCP0001: no process holds its lock, but the stale lock file cannot be taken (access denied)"),
            std::string::npos)
      << run.err;

  run = AsOther({"verify", demo_, "--repair"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("repaired " + stale + ": no process holds the lock"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("repaired " + demo_ + "/RcpPjtLock.txt: "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(held), std::string::npos) << run.out;

  EXPECT_EQ(AsOther({"recipe", "bump-version", demo_ + "/Recipe/RG01/RCP0001"}).status, 0);
  run = AsOther({"recipe", "bump-version", demo_ + "/Recipe/RG01/RCP0002"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RCP0002 is locked; its lock file claims station "), std::string::npos) << run.err;
  EXPECT_TRUE(qvtest::Exists(held));
}

}  // namespace
