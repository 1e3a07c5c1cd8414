// The store's changes and checks through its API, on a small project: wrong
// targets, refusals and locks held by other processes change nothing; copies
// and moves carry every byte; a re-run finishes what a killed change left.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Every entry below a directory with its type and, for files, a hash of the
// content; the station directory and empty lock files (an unlocked lock file
// stays) left out.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (auto walk = fs::recursive_directory_iterator(root); walk != fs::recursive_directory_iterator(); ++walk) {
    std::string name = walk->path().filename().string();
    if (name == ".station") {
      walk.disable_recursion_pending();
      continue;
    }
    struct stat st;
    lstat(walk->path().c_str(), &st);
    if ((name == "RcpLock.txt" || name == "RcpPjtLock.txt") && st.st_size == 0) continue;
    std::string what = S_ISDIR(st.st_mode) ? "dir" : S_ISLNK(st.st_mode) ? "link" : "file:";
    if (S_ISREG(st.st_mode)) what += std::to_string(std::hash<std::string>{}(qvtest::ReadFile(walk->path())));
    entries[walk->path().string()] = what;
  }
  return entries;
}

// A call of the store and a part of the cause it must fail with.
struct Refusal {
  const char* what;
  std::function<void()> call;
  std::string cause;
};

class StoreApiTest : public ::testing::Test {
 protected:
  // Project Demo at tmp/demo: group 1 with recipes 1-5 (1 in Mixing, 2 in
  // Mixing/Heating, 4 in Packing), group 2 with recipes 1-3; every recipe has
  // its procedure file and unit recipes 1 and 2.
  void SetUp() override {
    rcpstore::CreateProject("demo", tmp_.path());
    rcpstore::RegisterProject("Demo", demo_);
    for (unsigned g : {1u, 2u}) {
      rcpstore::CreateGroup("@Demo", g, rcpstore::GroupAttributes{"Group " + std::to_string(g), {}});
      for (unsigned n = 1; n <= (g == 1 ? 5u : 3u); ++n) {
        std::string at = "@Demo/" + std::to_string(g) + "/" + std::to_string(n);
        rcpstore::CreateRecipe("@Demo/" + std::to_string(g), n, "H");
        rcpstore::SetRecipeTexts(at, rcpstore::RecipeTexts{"Batch " + std::to_string(n), "c", {{1, "Mixer"}}});
        for (unsigned unit : {0u, 1u, 2u}) rcpstore::CreateUnit(at, unit, "H");
      }
    }
    rcpstore::AddSubGroup(rg01_, {"Packing"});
    rcpstore::AddSubGroup(rg01_, {"Mixing"});
    rcpstore::AddSubGroup(rg01_, {"Mixing", "Heating"});
    rcpstore::PutInSubGroup(rg01_, {1}, {"Mixing"});
    rcpstore::PutInSubGroup(rg01_, {2}, {"Mixing", "Heating"});
    rcpstore::PutInSubGroup(rg01_, {4}, {"Packing"});
    qvtest::MakeDirs(tmp_ / "plain/RCP0001");
    qvtest::WriteFile(tmp_ / "plain/file.txt", "outside the store\n");
    qvtest::WriteFile(tmp_ / "plain/RCP0001/RcpHead.edf", "not a recipe\n");
  }

  // Runs every refusal, as a command would, in a scope of its own, and checks
  // that nothing below the temporary directory changed.
  void ExpectRefusedWithoutChange(const std::vector<Refusal>& refusals) {
    std::map<std::string, std::string> before = Snapshot(tmp_.path());
    for (const Refusal& refusal : refusals) {
      try {
        rcpstore::OpenedProjects opened;
        refusal.call();
        ADD_FAILURE() << refusal.what << ": not refused";
      } catch (const rcpstore::Failure& failure) {
        EXPECT_NE(failure.cause.find(refusal.cause), std::string::npos) << refusal.what << ": " << failure.cause;
      }
    }
    EXPECT_EQ(Snapshot(tmp_.path()), before);
  }

  qvtest::TempDir tmp_;
  std::string demo_ = tmp_ / "demo";
  std::string rg01_ = demo_ + "/Recipe/RG01";
  std::string rg02_ = demo_ + "/Recipe/RG02";
  std::string rcp1_ = rg01_ + "/RCP0001";
  std::string plain_ = tmp_ / "plain";
};

TEST_F(StoreApiTest, EveryTargetIsWhatItClaimsBeforeAnythingChanges) {
  using namespace rcpstore;
  const std::string notRecipe = "not a recipe (expected RCPnnnn";
  const std::string notGroup = "not a recipe group (expected RGnn";
  const std::string notProject = "not a project directory";
  const std::string missing = tmp_ / "nowhere/RCP0001";
  const std::string file = plain_ + "/file.txt";
  // Links in the store's place are never taken for what they point to.
  symlink((plain_ + "/RCP0001").c_str(), (rg01_ + "/RCP0009").c_str());
  symlink(rg01_.c_str(), (demo_ + "/Recipe/RG09").c_str());
  std::string linkedRecipe = rg01_ + "/RCP0009";
  std::string linkedGroup = demo_ + "/Recipe/RG09";
  ExpectRefusedWithoutChange({
      {"delete a linked recipe", [&] { DeleteRecipe(linkedRecipe); }, notRecipe},
      {"delete a unit of a linked recipe", [&] { DeleteUnit(linkedRecipe, 0); }, notRecipe},
      {"delete a linked group", [&] { DeleteGroup(linkedGroup); }, notGroup},
      {"sub-group in a linked group", [&] { AddSubGroup(linkedGroup, {"X"}); }, notGroup},
      {"delete a group as a recipe", [&] { DeleteRecipe(rg01_); }, notRecipe},
      {"delete a file as a recipe", [&] { DeleteRecipe(file); }, "not a directory"},
      {"delete a recipe outside a store", [&] { DeleteRecipe(plain_ + "/RCP0001"); }, notRecipe},
      {"texts of a missing recipe", [&] { SetRecipeTexts(missing, RecipeTexts{"x", {}, {}}); }, "no such directory"},
      {"recipe in a project", [&] { CreateRecipe(demo_, 5, "H"); }, notGroup},
      {"a plain directory as a group", [&] { GroupTarget(plain_); }, notGroup},
      {"unit in a group", [&] { CreateUnit(rg01_, 3, "H"); }, notRecipe},
      {"delete a missing unit", [&] { DeleteUnit(rcp1_, 7); }, "there is no RcpPT07.edf"},
      {"delete the Recipe directory", [&] { DeleteGroup(demo_ + "/Recipe"); }, notGroup},
      {"a recipe's group attributes", [&] { SetGroupAttributes(rcp1_, GroupAttributes{"x", {}}); }, notGroup},
      {"a missing project", [&] { ProjectTarget(tmp_ / "nowhere/"); }, "no such directory"},
      {"group in a plain directory", [&] { CreateGroup(plain_, 3); }, notProject},
      {"sub-group in a project", [&] { AddSubGroup(demo_, {"X"}); }, notGroup},
      {"put into a recipe", [&] { PutInSubGroup(rcp1_, {1}, {"Mixing"}); }, notGroup},
      {"lock of a missing recipe", [&] { ReadLockState(missing); }, "no such directory"},
      {"lock of a group", [&] { ReadLockState(rg01_); }, "a recipe group has no lock of its own"},
      {"lock of no project", [&] { ReadLockState("NoSuch"); }, "no project registered under the name NoSuch at station"},
      {"a group as a project", [&] { ProjectTarget(rg01_); }, notProject},
      {"a bare name", [&] { ProjectTarget("plain"); }, "give a directory with a '/', e.g. ./plain"},
      {"any target", [&] { AnyTarget(plain_); }, "not a project, recipe group or recipe directory"},
      {"clean a plain directory", [&] { CleanTemp(plain_); }, notProject},
      {"delete a plain project", [&] { DeleteProject(plain_); }, notProject},
      {"project over a project", [&] { CreateProject("demo", tmp_.path()); }, "already exists"},
      {"project in nowhere", [&] { CreateProject("P2", tmp_ / "nowhere"); }, "no such directory"},
      {"register a plain directory", [&] { RegisterProject("P2", plain_); }, notProject},
      {"unregister no project", [&] { UnregisterProject("NoSuch"); }, "no project registered under the name NoSuch at station"},
      {"a directory as a name", [&] { ProjectItem(demo_); }, "a registered project name, not a directory"},
      {"recipe over a recipe", [&] { CreateRecipe(rg01_, 1, "H"); }, "RCP0001 already exists"},
      {"copy over a recipe", [&] { CopyRecipe(rcp1_, rg02_, 3); }, "RCP0003 of @Demo/2 already exists"},
      {"move over a recipe", [&] { MoveRecipe(rcp1_, rg02_, 3); }, "RCP0003 of @Demo/2 already exists"},
      {"missing template", [&] { CreateRecipe(rg01_, 9, "H", tmp_ / "nowhere.edf"); }, "is not a readable file"},
      {"template not a data file", [&] { CreateRecipe(rg01_, 9, "H", file); }, "is not a readable data file"},
      {"unit as a header template", [&] { CreateRecipe(rg01_, 9, "H", rcp1_ + "/RcpPT01.edf"); },
       "is not a recipe header file"},
      {"header as a unit template", [&] { CreateUnit(rcp1_, 9, "H", rcp1_ + "/RcpHead.edf"); },
       "is not a unit recipe file"},
  });
}

// What a change would store is checked before anything is touched: a text a
// store file could not give back as written is refused, never cut.
TEST_F(StoreApiTest, TextsAndArgumentsTheStoreCannotKeepAreRefused) {
  using namespace rcpstore;
  ProjectAttributes twoLines;
  twoLines.comment = "line\nbreak";
  ExpectRefusedWithoutChange({
      {"a line break in a sub-group name", [&] { AddSubGroup(rg01_, {"A\nB"}); }, "sub-group name: line breaks"},
      {"an empty sub-group name", [&] { AddSubGroup(rg01_, {""}); }, "a sub-group name is not empty"},
      {"a sub-group name over a line", [&] { AddSubGroup(rg01_, {std::string(2000, 'n')}); }, "too long to be read"},
      {"a control character in a project name", [&] { RegisterProject("x\ty", demo_); }, "no control characters"},
      {"a comment wider than its field", [&] { SetRecipeTexts(rcp1_, RecipeTexts{{}, std::string(65, 'c'), {}}); },
       "comment: 65 bytes"},
      {"a '/' in a new sub-group name", [&] { RenameSubGroup(rg01_, {"Mixing"}, "A/B"); }, "holds no '/'"},
      {"a line break in a group comment", [&] { SetGroupAttributes(rg01_, GroupAttributes{"a\rb", {}}); },
       "comment: line breaks"},
      {"an empty server name", [&] { CreateGroup(demo_, 3, GroupAttributes{{}, std::vector<std::string>{""}}); },
       "a server name is not empty"},
      {"a project name with a '/'", [&] { CreateProject("a/b", tmp_.path()); }, "one directory name"},
      {"a registration comment over two lines", [&] { RegisterProject("P2", demo_, twoLines); }, "comment: line"},
      {"a title wider than its field", [&] { SetRecipeTexts(rcp1_, RecipeTexts{std::string(17, 'x'), {}, {}}); },
       "title: 17 bytes, at most 16"},
      {"a unit text wider than its field", [&] { SetRecipeTexts(rcp1_, RecipeTexts{{}, {}, {{3, std::string(25, 'u')}}}); },
       "unit 3 text: 25 bytes"},
      {"a header name wider than its field", [&] { CreateRecipe(rg01_, 9, "NINEBYTES"); }, "header name: 9 bytes"},
      {"a title that would split lines", [&] { SetRecipeTexts(rcp1_, RecipeTexts{"t\r\nx", {}, {}}); },
       "title: line breaks"},
      {"an escape sequence in a header name", [&] { CreateRecipe(rg01_, 9, "H\x1b[2J"); }, "header name: line breaks"},
      {"a group with recipes, without them", [&] { DeleteGroup(rg01_, DeleteOptions{false, false}); },
       "it holds 5 recipes"},
      {"a project with groups, without them", [&] { DeleteProject("Demo", DeleteOptions{false, false}); },
       "it holds 2 recipe groups"},
      {"a recipe list with a word", [&] { RecipeNumbersGiven("1,RCP12"); }, "RCPnnnn, not RCP12"},
      {"a unit beside another unit's address", [&] { UnitTarget("@Demo/1/1/2", 3); }, "the address names unit 2"},
      {"a recipe without its unit number", [&] { UnitTarget(rcp1_); }, "a unit number N is expected"},
      {"a trail time that is none", [&] { ReadAuditTrail(AuditFilter{.since = "the day after"}); }, "a time such as"},
      {"a command that cannot start", [&] { CommandLocks().RunHolding({tmp_ / "nowhere/cmd"}); }, "cannot run"},
  });
}

// Dry runs, searches and the trail read the store and change nothing; a
// command run holding a lock finds it handed down and gives its status.
TEST_F(StoreApiTest, ReadsAndDryRunsChangeNothing) {
  using namespace rcpstore;
  std::map<std::string, std::string> before = Snapshot(tmp_.path());
  ChangeReport wouldGo = DeleteGroup(rg02_, DeleteOptions{true, false});
  std::vector<std::string> paths;
  for (const Change& change : wouldGo) paths.push_back(change.detail);
  EXPECT_EQ(paths.size(), 1 + 3 * 6u + 1) << "the group, its attribute file, 3 recipes of 5 files each";
  EXPECT_NE(std::find(paths.begin(), paths.end(), rg02_ + "/RCP0003/RcpPT02.edf"), paths.end());
  ChangeReport unit = DeleteUnit(rcp1_, 0, DeleteOptions{true});
  ASSERT_EQ(unit.size(), 1u);
  EXPECT_EQ(unit[0].detail, rcp1_ + "/RcpRP.edf");

  struct Search {
    RecipeFilter filter;
    std::vector<std::string> found;
  };
  const Search searches[] = {
      {{"Batch [12]", {}, {}}, {"@Demo/1/1", "@Demo/1/2", "@Demo/2/1", "@Demo/2/2"}},
      {{{}, {}, "Mixing"}, {"@Demo/1/1", "@Demo/1/2"}},
      {{{}, {}, "Mix*/Heat*"}, {"@Demo/1/2"}},
      {{"Batch 4", {}, "Packing"}, {"@Demo/1/4"}},
      {{"Batch ?", {}, "Packing"}, {"@Demo/1/4"}},
      {{{}, {}, "Heating"}, {}},  // a sub-group is named from the top
      {{{}, "x*", {}}, {}},
      {{"bATCH [12]", {}, {}, true}, {"@Demo/1/1", "@Demo/1/2", "@Demo/2/1", "@Demo/2/2"}},
      {{{}, {}, "mix*/HEAT*", true}, {"@Demo/1/2"}},
  };
  for (const Search& search : searches) {
    std::vector<std::string> found;
    for (const StoreItem& item : FindRecipes("Demo", search.filter)) found.push_back(AddressOf(item.target));
    EXPECT_EQ(found, search.found) << search.filter.title.value_or("") << search.filter.subGroup.value_or("");
  }

  // The trail skips what does not parse, however long, and filters by
  // project, time and user.
  std::vector<AuditEntry> all = ReadAuditTrail({});
  ASSERT_GT(all.size(), 20u);
  std::string trail = ReadStationInfo().directory + "/audit.log";
  qvtest::WriteFile(trail, qvtest::ReadFile(trail) + "not json\n" + std::string(3 << 20, '{') + "\n{\"time\":");
  EXPECT_EQ(ReadAuditTrail({}).size(), all.size());
  EXPECT_EQ(ReadAuditTrail({.project = "Demo"}).size(), all.size());
  size_t belowGroup2 = ReadAuditTrail({.project = demo_ + "/Recipe/RG02"}).size();
  EXPECT_TRUE(belowGroup2 > 0 && belowGroup2 < all.size()) << belowGroup2 << " of " << all.size();
  EXPECT_EQ(ReadAuditTrail({.since = "2999-01-01"}).size(), 0u);
  EXPECT_EQ(ReadAuditTrail({.since = all.front().time, .user = all.front().user}).size(), all.size());
  EXPECT_EQ(ReadAuditTrail({.user = "nobody-at-all"}).size(), 0u);

  EXPECT_EQ(Snapshot(tmp_.path()), before);

  CommandLocks locks;
  locks.LockProject(ProjectTarget("Demo"));
  EXPECT_EQ(locks.RunHolding({"sh", "-c", "test -n \"$RCPSTORE_LOCK_FDS\" && exit 7"}), 7);
}

TEST_F(StoreApiTest, SubGroupEditsAreCheckedAgainstTheArrangement) {
  using namespace rcpstore;
  ExpectRefusedWithoutChange({
      {"add twice", [&] { AddSubGroup(rg01_, {"Mixing"}); }, "sub-group Mixing already exists"},
      {"add nested twice", [&] { AddSubGroup(rg01_, {"Mixing", "Heating"}); }, "sub-group Mixing/Heating already exists"},
      {"add below nothing", [&] { AddSubGroup(rg01_, {"NoSuch", "X"}); }, "no sub-group NoSuch"},
      {"remove nothing", [&] { RemoveSubGroup(rg01_, {"NoSuch"}); }, "no sub-group NoSuch"},
      {"remove under another", [&] { RemoveSubGroup(rg01_, {"Packing", "Heating"}); }, "no sub-group Packing/Heating"},
      {"rename nothing", [&] { RenameSubGroup(rg01_, {"NoSuch"}, "X"); }, "no sub-group NoSuch"},
      {"rename onto a sibling", [&] { RenameSubGroup(rg01_, {"Mixing"}, "Packing"); }, "sub-group Packing already exists"},
      {"put a stranger", [&] { PutInSubGroup(rg01_, {99}, {"Mixing"}); }, "RCP0099 is not a recipe of this group"},
      {"put into nothing", [&] { PutInSubGroup(rg01_, {3}, {"NoSuch"}); }, "no sub-group NoSuch"},
      {"put one placed", [&] { PutInSubGroup(rg01_, {3, 1}, {"Packing"}); }, "RCP0001 is already in sub-group Mixing"},
      {"take one unplaced", [&] { TakeOutOfSubGroups(rg01_, {3}); }, "RCP0003 is in no sub-group"},
      {"move into nothing", [&] { MoveToSubGroup(rg01_, {1}, {"Nowhere"}); }, "no sub-group Nowhere"},
      {"move a stranger", [&] { MoveToSubGroup(rg01_, {1, 9}, {"Packing"}); }, "RCP0009 is not a recipe of this group"},
  });

  // A move of several rewrites the file once: the recipes go first into the
  // sub-group, in the order given.
  ChangeReport moved = MoveToSubGroup(rg01_, {2, 1, 5}, {"Packing"});
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(AddressOf(moved[0].item.target), "@Demo/1/1");
  EXPECT_EQ(qvtest::ReadFile(rg01_ + "/RcpSubGroup.txt"),
            qvtest::Crlf("STARTSUB,Mixing\nSTARTSUB,Heating\nENDSUB,Heating\nENDSUB,Mixing\n"
                         "STARTSUB,Packing\nNODE,RCP0002\nNODE,RCP0001\nNODE,RCP0005\nNODE,RCP0004\nENDSUB,Packing\n"));
  EXPECT_FALSE(qvtest::Exists(rg01_ + "/RcpSubGroupwork.txt"));
  MoveToSubGroup(rg01_, {5}, {});
  EXPECT_EQ(SubGroupOf(RecipeTarget(rg01_ + "/RCP0005")), "");

  // The sub-groups one level down a path, empty ones too.
  Target group = GroupTarget(rg01_);
  EXPECT_EQ(SubGroupsOf(group, {}), (std::vector<std::string>{"Mixing", "Packing"}));
  EXPECT_EQ(SubGroupsOf(group, {"Mixing"}), std::vector<std::string>{"Heating"});
  EXPECT_TRUE(SubGroupsOf(group, {"Mixing", "Heating"}).empty());
  EXPECT_TRUE(SubGroupsOf(group, {"Packing", "Heating"}).empty());
}

TEST_F(StoreApiTest, LocksHeldByAnotherProcessRefuseEveryChange) {
  using namespace rcpstore;
  std::string held = "RCP0001 is being edited by ";
  {
    qvtest::ChildProcess holder = qvtest::HoldLock(rcp1_, "");
    ASSERT_EQ(holder.started(), 0);
    ExpectRefusedWithoutChange({
        {"texts", [&] { SetRecipeTexts(rcp1_, RecipeTexts{"X", {}, {}}); }, held},
        {"bump", [&] { BumpVersion(rcp1_); }, held},
        {"unit create", [&] { CreateUnit(rcp1_, 3, "H"); }, held},
        {"unit delete", [&] { DeleteUnit(rcp1_, 1); }, held},
        {"recipe delete", [&] { DeleteRecipe(rcp1_); }, held},
        {"recipe move", [&] { MoveRecipe(rcp1_, rg02_); }, held},
        {"recipe lock", [&] { CommandLocks().LockRecipe(RecipeTarget(rcp1_), "RCP0001"); }, held},
    });
    LockState state = ReadLockState(rcp1_);
    EXPECT_TRUE(state.held);
    EXPECT_EQ(state.file, rcp1_ + "/RcpLock.txt");
  }
  EXPECT_FALSE(ReadLockState(rcp1_).held);
  qvtest::ChildProcess holder = qvtest::HoldLock("", demo_);
  ASSERT_EQ(holder.started(), 0);
  held = "Demo is being edited by ";
  ExpectRefusedWithoutChange({
      {"group create", [&] { CreateGroup("Demo", 3); }, held},
      {"group set", [&] { SetGroupAttributes(rg01_, GroupAttributes{"x", {}}); }, held},
      {"group delete", [&] { DeleteGroup(rg02_); }, held},
      {"recipe create", [&] { CreateRecipe(rg01_, 9, "H"); }, held},
      {"recipe delete", [&] { DeleteRecipe(rcp1_); }, held},
      {"recipe copy", [&] { CopyRecipe(rcp1_, rg02_); }, held},
      {"sub-group add", [&] { AddSubGroup(rg01_, {"New"}); }, held},
      {"sub-group take", [&] { TakeOutOfSubGroups(rg01_, {1}); }, held},
      {"register", [&] { RegisterProject("Other", demo_); }, held},
      {"project delete", [&] { DeleteProject(demo_); }, held},
      {"clean temp", [&] { CleanTemp("Demo"); }, held},
      {"project lock", [&] { CommandLocks().LockProject(ProjectTarget("Demo")); }, held},
  });
  EXPECT_TRUE(ReadLockState("Demo").held);
  EXPECT_TRUE(ReadLockState(demo_).held);
}

// Every form of an address and the directory name the same thing; a
// malformed address says what it expected.
TEST_F(StoreApiTest, AddressesAndDirectoriesNameTheSameThings) {
  using namespace rcpstore;
  const std::string recipe = rg01_ + "/RCP0003";
  for (const std::string given : {"@Demo/1/3", "@Demo/RG01/RCP0003", "@Demo/01/0003", recipe.c_str()}) {
    OpenedProjects opened;
    Target target = RecipeTarget(given);
    EXPECT_EQ(AddressOf(target), "@Demo/1/3") << given;
    EXPECT_EQ(PathOf(target), recipe) << given;
  }
  EXPECT_EQ(AddressText(ParseAddress("@Demo/RG01/RCP0003/RcpPT04")), "@Demo/1/3/4");
  EXPECT_EQ(PathOfAddress(ParseAddress("@Demo/1/3/4")), recipe + "/RcpPT04.edf");
  ExpectRefusedWithoutChange({
      {"group 17", [] { ParseAddress("@Demo/17"); }, "'17' is not a group number (1 to 16)"},
      {"recipe 1001", [] { ParseAddress("@Demo/1/1001"); }, "'1001' is not a recipe number (1 to 1000)"},
      {"too deep", [] { ParseAddress("@Demo/1/3/4/5"); }, "not a store address"},
      {"no name", [] { ParseAddress("@"); }, "not a store address"},
      {"empty group", [] { ParseAddress("@Demo//"); }, "'' is not a group number"},
      {"unregistered", [] { RecipeTarget("@Nope/1/3"); }, "no project registered under the name Nope"},
      {"a group", [] { RecipeTarget("@Demo/1"); }, "not a recipe (expected RCPnnnn"},
      {"a missing recipe", [] { RecipeTarget("@Demo/1/9"); }, "there is no @Demo/1/9"},
  });
  // A directory whose name starts with '@' is reached as a path only.
  CreateProject("@Demo", tmp_.path());
  EXPECT_TRUE(IsAddress("@Demo") && !IsAddress("./@Demo"));
  EXPECT_EQ(AddressOf(ProjectTarget(tmp_ / "@Demo")), "");
  EXPECT_EQ(PathOf(ProjectTarget("@Demo")), demo_);
}

// The data files of a recipe and their bytes.
std::map<std::string, std::string> FilesOf(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".edf") files[entry.path().filename().string()] = qvtest::ReadFile(entry.path());
  }
  return files;
}

TEST_F(StoreApiTest, CopyAndMoveCarryEveryByte) {
  using namespace rcpstore;
  const std::string source = rg01_ + "/RCP0002";
  BumpVersion(source);
  std::map<std::string, std::string> before = FilesOf(source);
  ASSERT_EQ(before.size(), 4u);

  ChangeReport copy = CopyRecipe(source, rg02_, 7);
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_EQ(copy[0].detail, "copied from @Demo/1/2");
  std::map<std::string, std::string> copied = FilesOf(rg02_ + "/RCP0007");
  EXPECT_EQ(copied["RcpRP.edf"], before["RcpRP.edf"]);
  EXPECT_EQ(copied["RcpPT02.edf"], before["RcpPT02.edf"]);
  EXPECT_NE(copied["RcpHead.edf"], before["RcpHead.edf"]);  // stamped as created now
  EXPECT_EQ(ReadRecipeHead(rg02_ + "/RCP0007").version, 0);
  EXPECT_EQ(ReadRecipeHead(rg02_ + "/RCP0007").title, "Batch 2");
  EXPECT_EQ(SubGroupOf(RecipeTarget(rg02_ + "/RCP0007")), "");
  EXPECT_EQ(FilesOf(source), before);
  // Without a number: the source's when free there, else the lowest free one.
  EXPECT_EQ(AddressOf(CopyRecipe(rg01_ + "/RCP0005", rg02_)[0].item.target), "@Demo/2/5");
  EXPECT_EQ(AddressOf(CopyRecipe(rg01_ + "/RCP0003", rg01_)[0].item.target), "@Demo/1/6");

  // A move keeps the recipe as it is and takes it out of its sub-group.
  ChangeReport moved = MoveRecipe(source, rg02_, 20);
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_EQ(FilesOf(rg02_ + "/RCP0020"), before);
  EXPECT_FALSE(qvtest::Exists(source));
  EXPECT_EQ(qvtest::ReadFile(rg01_ + "/RcpSubGroup.txt").find("RCP0002"), std::string::npos);
}

TEST_F(StoreApiTest, ARerunFinishesWhatAKilledChangeLeft) {
  using namespace rcpstore;
  // A recipe delete cut short after the directory went: the re-run removes
  // its sub-group line; then the recipe is simply missing.
  const std::string rcp2 = rg01_ + "/RCP0002";
  fs::remove_all(rcp2);
  DeleteRecipe(rcp2);
  EXPECT_EQ(qvtest::ReadFile(rg01_ + "/RcpSubGroup.txt").find("RCP0002"), std::string::npos);
  try {
    DeleteRecipe(rcp2);
    ADD_FAILURE() << "a missing recipe deleted";
  } catch (const Failure& failure) {
    EXPECT_NE(failure.cause.find("no such directory"), std::string::npos) << failure.cause;
  }
  // A damaged header does not stop a delete: it is the remedy.
  const std::string head = rg01_ + "/RCP0004/RcpHead.edf";
  qvtest::WriteFile(head, qvtest::ReadFile(head).substr(0, 40));
  ChangeReport removed = DeleteRecipe(rg01_ + "/RCP0004");
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_NE(removed[0].item.error, "");
  EXPECT_FALSE(qvtest::Exists(rg01_ + "/RCP0004"));
  EXPECT_EQ(qvtest::ReadFile(rg01_ + "/RcpSubGroup.txt").find("RCP0004"), std::string::npos);
  // A project delete that left the directory with only its lock file.
  qvtest::WriteFile(tmp_ / "gone/RcpPjtLock.txt", "");
  DeleteProject(tmp_ / "gone");
  EXPECT_FALSE(qvtest::Exists(tmp_ / "gone"));
  // A project delete removes the directory and every name it goes by.
  RegisterProject("Again", demo_);
  DeleteProject("Demo");
  EXPECT_FALSE(qvtest::Exists(demo_));
  EXPECT_TRUE(RegisteredProjects().empty());
}

}  // namespace
