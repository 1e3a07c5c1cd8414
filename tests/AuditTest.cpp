// The audit trail: one line per change the store makes, written through the
// library, read back with rcpstore log.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Station.h"
#include "RcpstoreRun.h"
#include "TestSupport.h"
#include "platform/Registry.h"

using nlohmann::json;

namespace {

std::vector<json> TrailLines(const std::string& station) {
  std::vector<json> lines;
  std::istringstream in(qvtest::ReadFile(station + "/audit.log"));
  std::string line;
  while (std::getline(in, line)) lines.push_back(json::parse(line));
  return lines;
}

// The process's local time is a fixed zone while one lives.
class FixedZone {
 public:
  explicit FixedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  FixedZone(const FixedZone&) = delete;
  FixedZone& operator=(const FixedZone&) = delete;

 private:
  std::optional<std::string> old_;
};

class AuditTest : public ::testing::Test {
 protected:
  std::string station() const { return tmp_ / ".station"; }
  std::string project() const { return tmp_ / "P"; }
  std::string group() const { return project() + "/Recipe/RG02"; }
  std::string recipe() const { return group() + "/RCP0007"; }

  // Project P, registered, with group 2: three lines of the trail.
  void MakeProjectWithGroup() {
    _QVERcpProjectInfo info = qvtest::ProjectInfo(project());
    ASSERT_EQ(CQVERcpUtil::CreateProject("P", tmp_.path().c_str()), 0u);
    ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), 0u);
    ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(project().c_str(), 2), 0u);
  }

  qvtest::TempDir tmp_;
};

// Every change of the store gives one line, with the path it changed and its
// result; a failed change is recorded with its failure; a change made inside
// another (the unit file's header stamped while it is built) is not recorded
// on its own.
TEST_F(AuditTest, EveryChangeLeavesOneLineWithItsResult) {
  CQVERcpDirInfo item;
  item.m_strName = "RCP0007";
  _QVERcpFileDetailInfo texts;
  texts.strTitle = "Mix";
  MakeProjectWithGroup();
  EXPECT_EQ(CQVERcpUtil::CreateRecipeGroup(project().c_str(), 2), QVC_ERR_EXISTS);
  _QVERcpGroupInfo groupInfo;
  ASSERT_EQ(CQVERcpUtil::SetRecipeGroupInfo(group().c_str(), &groupInfo), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 7, nullptr), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("H", recipe().c_str(), 3, nullptr), 0u);
  ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe().c_str(), &texts), 0u);
  ASSERT_EQ(CQVERcpUtil::ChangeRcpInfo(recipe().c_str(), [](_QVERcpFileDetailInfo* t) { t->strComment = "c"; }), 0u);
  ASSERT_EQ(CQVERcpUtil::SetRcpHeadVersion((recipe() + "/RcpHead.edf").c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(group().c_str(), {"A"}), 0u);
  ASSERT_EQ(CQVERcpUtil::RenameSubGroup(group().c_str(), "B", {"A"}), 0u);
  ASSERT_EQ(CQVERcpUtil::InsertItemToSubGroup(group().c_str(), {"B"}, &item), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteItemFromSubGroup(group().c_str(), {"B"}, &item), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteSubGroup(group().c_str(), {"B"}), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteUnitRecipe(recipe().c_str(), 3), 0u);
  EXPECT_NE(CQVERcpUtil::DeleteUnitRecipe(recipe().c_str(), 3), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteRecipe(recipe().c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteRecipeGroup(group().c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteProjectInfo("P"), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteProject(project().c_str()), 0u);

  struct Expected {
    const char* operation;
    std::string path;
    bool ok;
    const char* detail;
  };
  const std::string unit = recipe() + "/RcpPT03.edf";
  const std::string head = recipe() + "/RcpHead.edf";
  const std::vector<Expected> expected = {
      {"createProject", project(), true, nullptr},     {"setProject", project(), true, "P"},
      {"createGroup", group(), true, nullptr},         {"createGroup", group(), false, nullptr},
      {"setGroup", group(), true, nullptr},            {"createRecipe", recipe(), true, nullptr},
      {"createUnit", unit, true, nullptr},             {"setHeader", head, true, nullptr},
      {"setHeader", head, true, nullptr},              {"bumpVersion", head, true, nullptr},
      {"insertSubGroup", group(), true, "A"},          {"renameSubGroup", group(), true, "A -> B"},
      {"placeRecipe", group(), true, "B/RCP0007"},     {"unplaceRecipe", group(), true, "RCP0007"},
      {"deleteSubGroup", group(), true, "B"},          {"deleteUnit", unit, true, nullptr},
      {"deleteUnit", unit, false, nullptr},            {"deleteRecipe", recipe(), true, nullptr},
      {"deleteGroup", group(), true, nullptr},         {"unregisterProject", "", true, "P"},
      {"deleteProject", project(), true, nullptr}};
  std::vector<json> lines = TrailLines(station());
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i]["operation"], expected[i].operation);
    EXPECT_EQ(lines[i]["path"], expected[i].path);
    EXPECT_EQ(lines[i]["result"] == 0, expected[i].ok);
    EXPECT_EQ(lines[i].contains("detail"), expected[i].detail != nullptr);
    if (expected[i].detail != nullptr) {
      EXPECT_EQ(lines[i]["detail"], expected[i].detail);
    }
    EXPECT_EQ(lines[i]["user"], qvplatform::CallerUserName());
    EXPECT_EQ(lines[i]["pid"], getpid());
    EXPECT_EQ(lines[i]["time"].get<std::string>().size(), 20u);
  }
  EXPECT_EQ(lines[3]["result"], QVC_ERR_EXISTS);
}

// Copies, moves, sub-group moves and the emptying of work directories are
// changes too, each one line naming what it made and where from.
TEST_F(AuditTest, CopiesMovesAndCleaningAreRecorded) {
  MakeProjectWithGroup();
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group().c_str(), 7, nullptr), 0u);
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(group().c_str(), {"A"}), 0u);
  const std::string copy = group() + "/RCP0008";
  const std::string moved = group() + "/RCP0009";
  ASSERT_EQ(CQVERcpUtil::CopyRecipe(recipe().c_str(), group().c_str(), 8), 0u);
  ASSERT_EQ(CQVERcpUtil::MoveRecipe(copy.c_str(), group().c_str(), 9), 0u);
  ASSERT_EQ(CQVERcpUtil::MoveItemsToSubGroup(group().c_str(), {"A"}, {"RCP0007", "RCP0009"}), 0u);
  EXPECT_NE(CQVERcpUtil::CopyRecipe(recipe().c_str(), group().c_str(), 9), 0u);
  ASSERT_EQ(CQVERcpUtil::DeleteTempFile("P"), 0u);

  const std::vector<std::vector<json>> expected = {
      {"copyRecipe", copy, recipe(), 0},         {"moveRecipe", moved, copy, 0},
      {"moveItems", group(), "RCP0007,RCP0009 -> A", 0}, {"copyRecipe", moved, recipe(), QVC_ERR_EXISTS},
      {"cleanTemp", "", "P", 0}};
  std::vector<json> lines = TrailLines(station());
  ASSERT_GE(lines.size(), expected.size());
  lines.erase(lines.begin(), lines.end() - static_cast<long>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(lines[i]["operation"], expected[i][0]) << i;
    if (!expected[i][1].get<std::string>().empty()) {
      EXPECT_EQ(lines[i]["path"], expected[i][1]) << i;
    }
    EXPECT_EQ(lines[i]["detail"], expected[i][2]) << i;
    EXPECT_EQ(lines[i]["result"], expected[i][3]) << i;
  }
}

// A trail that cannot be written neither fails nor undoes the change; the
// lost line is recorded as a failure instead.
TEST_F(AuditTest, ATrailThatCannotBeWrittenLosesNoChange) {
  qvtest::MakeDirs(station() + "/audit.log");
  qvtest::MakeDirs(project() + "/Recipe");
  qvtest::ErrorCapture errors;
  EXPECT_EQ(CQVERcpUtil::CreateRecipeGroup(project().c_str(), 5), 0u);
  EXPECT_TRUE(qvtest::Exists(project() + "/Recipe/RG05/RcpGrAttr.txt"));
  ASSERT_EQ(errors.records().size(), 1u);
  EXPECT_EQ(errors.records()[0].code, static_cast<uint32_t>(ERROR_WRITE_FAULT));
  EXPECT_NE(errors.records()[0].text.find("createGroup " + project() + "/Recipe/RG05"), std::string::npos);
  EXPECT_NE(qvtest::ReadFile(station() + "/errors.log").find("audit trail not written"), std::string::npos);
}

// The trail finds a project's changes by what the project is, whatever path
// named it or names it now; a line of an older trail, which has no identity,
// by its path.
TEST_F(AuditTest, AProjectsChangesAreFoundWhateverPathNamedIt) {
  MakeProjectWithGroup();
  ASSERT_EQ(symlink(tmp_.path().c_str(), (tmp_ / "shared").c_str()), 0);
  const std::string viaLink = tmp_ / "shared/P";
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(viaLink.c_str(), 3), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateProject("Q", tmp_.path().c_str()), 0u);
  qvtest::WriteFile(station() + "/audit.log",
                    qvtest::ReadFile(station() + "/audit.log") + "{\"operation\":\"createGroup\",\"path\":\"" +
                        project() + "/Recipe/RG09\"}\n");
  const std::vector<std::pair<std::string, size_t>> found = {
      {project(), 5}, {"P", 5}, {viaLink + "/", 4}, {viaLink + "/Recipe/RG03", 1}, {project() + "/Recipe/RG02", 1}};
  for (const auto& [given, count] : found) {
    EXPECT_EQ(rcpstore::ReadAuditTrail({.project = given}).size(), count) << given;
  }
}

// The store's changes leave one line each: a registration one setProject,
// the delete of a recipe that no sub-group holds no failed unplaceRecipe.
// The project is found by its name with or without its @, registrations
// included, also once the name is gone; a name the station never had fails.
TEST_F(AuditTest, StoreChangesLeaveOneLineAndTheProjectIsFoundByItsName) {
  using rcpstore::ReadAuditTrail;
  rcpstore::CreateProject("P", tmp_.path());
  rcpstore::RegisterProject("Line1", project());
  rcpstore::CreateGroup("@Line1", 2);
  rcpstore::CreateRecipe("@Line1/2", 7, "H");
  rcpstore::CreateRecipe("@Line1/2", 8, "H");
  rcpstore::AddSubGroup("@Line1/2", {"A"});
  rcpstore::PutInSubGroup("@Line1/2", {8}, {"A"});
  rcpstore::DeleteRecipe("@Line1/2/7");
  rcpstore::DeleteRecipe("@Line1/2/8");
  rcpstore::RegisterProject("Line2", project());
  rcpstore::UnregisterProject("@Line2");

  std::vector<std::string> operations;
  for (const json& line : TrailLines(station())) {
    operations.push_back(line["operation"].get<std::string>() + (line["result"] == 0 ? "" : " failed"));
  }
  EXPECT_EQ(operations, (std::vector<std::string>{"createProject", "setProject", "createGroup", "createRecipe",
                                                  "createRecipe", "insertSubGroup", "moveItems", "deleteRecipe",
                                                  "deleteRecipe", "unplaceRecipe", "setProject", "unregisterProject"}));

  struct Read {
    rcpstore::AuditFilter filter;
    size_t count;
  };
  const std::string first = TrailLines(station()).front()["time"];
  const Read reads[] = {
      {{.project = "Line1"}, 11},
      {{.project = "@Line1"}, 11},
      {{.project = "@Line2"}, 2},
      {{.project = "Line2", .last = 1}, 1},
      {{.last = 3}, 3},
      {{.until = first}, 0},
      {{.project = "@Line1", .since = "1 hour ago", .until = "2999-01-01", .last = 100}, 11},
  };
  for (const Read& read : reads) {
    EXPECT_EQ(ReadAuditTrail(read.filter).size(), read.count) << read.filter.project << " " << read.filter.last;
  }
  EXPECT_EQ(ReadAuditTrail({.project = "Line2", .last = 1})[0].operation, "unregisterProject");
  try {
    ReadAuditTrail({.project = "@Nope"});
    ADD_FAILURE() << "an unknown project was read";
  } catch (const rcpstore::Failure& failure) {
    EXPECT_NE(failure.cause.find("no project Nope is registered on the station " + station()), std::string::npos)
        << failure.cause;
  }
}

// A reader gives times in local time, in the trail's UTC or counted back
// from now; each becomes the trail's form, and the trail's times read back
// in local time. Here local time is two hours ahead of UTC, without summer time.
TEST_F(AuditTest, TrailTimesAreReadInLocalUtcAndRelativeForms) {
  FixedZone zone("XYZ-2");
  std::tm noon{};
  noon.tm_year = 2026 - 1900, noon.tm_mon = 11, noon.tm_mday = 7, noon.tm_hour = 12;
  const std::time_t now = timegm(&noon);  // 14:00 local
  const std::pair<const char*, const char*> taken[] = {
      {"2026-12-07 02:41", "2026-12-07T00:41:00Z"}, {"2026-12-07 02:41:30", "2026-12-07T00:41:30Z"},
      {"2026-12-07", "2026-12-06T22:00:00Z"},       {"2026-12-07T01:41:00Z", "2026-12-07T01:41:00Z"},
      {"2026-12-07T01:41", "2026-12-07T01:41:00Z"}, {"2026-12-07T01", "2026-12-07T01:00:00Z"},
      {"2024-02-29", "2024-02-28T22:00:00Z"},       {"today", "2026-12-06T22:00:00Z"},
      {"yesterday", "2026-12-05T22:00:00Z"},        {"1 hour ago", "2026-12-07T11:00:00Z"},
      {"30 minutes ago", "2026-12-07T11:30:00Z"},   {"2 days ago", "2026-12-05T12:00:00Z"},
      {"1 week ago", "2026-11-30T12:00:00Z"},       {"90 seconds ago", "2026-12-07T11:58:30Z"},
  };
  for (const auto& [given, utc] : taken) {
    EXPECT_EQ(rcpstore::TrailTime(given, now), utc) << given;
    EXPECT_EQ(rcpstore::TrailTimeProblem(given), "") << given;
  }
  for (const char* wrong :
       {"", "2026-13-01", "2026-02-30", "2025-02-29", "2026-12-07 24:00", "2026-12-7", "tomorrow", "2 fortnights ago",
        "-1 hours ago", "1 hour", "1 hour ago now", "1234567 days ago", "2026-12-07T01:41:00ZZ", "2026-12-07 02:41Z"}) {
    EXPECT_NE(rcpstore::TrailTimeProblem(wrong).find("a time such as 2026-12-07 02:41"), std::string::npos) << wrong;
  }
  EXPECT_EQ(rcpstore::LocalTime("2026-12-07T00:41:30Z"), "2026-12-07 02:41:30");
  EXPECT_EQ(rcpstore::LocalTime("2026-12-31T23:00:00Z"), "2027-01-01 01:00:00");
  EXPECT_EQ(rcpstore::LocalTime("2026-12-07T00:41"), "2026-12-07T00:41");
}

// A detail is kept byte for byte; the log command prints the trail as text
// and reads the rotated file first.
TEST_F(AuditTest, LogPrintsTheTrailAndReadsTheRotatedFileFirst) {
  const std::string odd = "caf\xe9";
  const std::string other = tmp_ / "Q";
  ASSERT_EQ(CQVERcpUtil::CreateProject(odd.c_str(), tmp_.path().c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateProject("Q", tmp_.path().c_str()), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup((tmp_ / odd).c_str(), 1), 0u);
  const std::string quoted = "say \"h\xc3\xa9\" \\ back";
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup((tmp_ / "Q/Recipe/RG01").c_str(), {quoted}), QVC_ERR_TEXT_FILE_OPEN);
  EXPECT_EQ(TrailLines(station()).back()["detail"], quoted);
  auto log = [&](const std::vector<std::string>& words) {
    std::vector<std::string> all = {"log"};
    all.insert(all.end(), words.begin(), words.end());
    return qvtest::RunRcpstore(tmp_.path(), station(), all, tmp_.path());
  };

  // Filtering is the library's; here, the text form and the rotated file.
  qvtest::Outcome text = log({"--project", other});
  EXPECT_EQ(text.out.find(odd), std::string::npos);
  EXPECT_NE(text.out.find("createProject\t" + other + "\tok"), std::string::npos);
  EXPECT_EQ(json::parse(log({"--json"}).out).size(), 4u);

  // The rotated file is older: its lines come first. A torn line is skipped.
  qvtest::WriteFile(station() + "/audit.log.1",
                    "{\"time\":\"2001-01-01T00:00:00Z\",\"operation\":\"createGroup\",\"path\":\"/old\"}\n{\"ti");
  json all = json::parse(log({"--json"}).out);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0]["path"], "/old");

  // The command line takes times and a count; not on a terminal, times stay
  // UTC. A time it cannot read is a usage error; an unknown project fails,
  // naming the station.
  struct Case {
    std::vector<std::string> words;
    int status;
    size_t lines;
    std::string says;  // on stdout, or on stderr when it fails
  };
  const Case cases[] = {
      {{"-n", "2"}, 0, 2, ""},
      {{"--until", "2001-01-02"}, 0, 1, "2001-01-01T00:00:00Z\t"},
      {{"--since", "2 days ago", "--until", "2999-01-01 00:00"}, 0, 4, ""},
      {{"--since", "today", "--last", "1"}, 0, 1, ""},
      {{"--since", "soon"}, 2, 0, "--since: a time such as 2026-12-07 02:41"},
      {{"--until", "2026-12-07T25"}, 2, 0, "--until: a time such as"},
      {{"-n", "0"}, 2, 0, "--last"},
      {{"--project", "@Nope"}, 1, 0, "no project Nope is registered on the station " + station()},
  };
  for (const Case& c : cases) {
    qvtest::Outcome run = log(c.words);
    EXPECT_EQ(run.status, c.status) << c.words[0] << " " << c.words[1] << "\n" << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), static_cast<long>(c.lines)) << c.words[1];
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.says), std::string::npos) << c.words[1] << "\n" << run.err;
  }

  // On a terminal (here a pseudo-terminal of script(1)) the time is local.
  if (access("/usr/bin/script", X_OK) == 0) {
    std::string command =
        std::string(RCPSTORE_BIN) + " --station " + qvtest::Quote(station()) + " log --until 2001-01-02";
    std::string run = "TZ=XYZ-2 /usr/bin/script -qc " + qvtest::Quote(command) + " /dev/null > " +
                      qvtest::Quote(tmp_ / "tty") + " < /dev/null";
    ASSERT_EQ(std::system(run.c_str()), 0);
    EXPECT_EQ(qvtest::ReadFile(tmp_ / "tty").rfind("2001-01-01 02:00:00\t", 0), 0u) << qvtest::ReadFile(tmp_ / "tty");
  }
}

}  // namespace
