// Fault injection: every writing operation of the store runs with its n-th
// write-path call of the file seam failing (ENOSPC, then EIO), for n = 1, 2,
// ... until the operation no longer reaches the fault. Each time the
// operation must report the failure, and the store must be as it was before,
// byte for byte; or, for a fault after the step that puts the change in
// force (flushing the directory after the final rename, removing a hidden
// leftover), the store must show the whole change. A fault in a write of
// the recipes' history refuses the change or leaves it in force, and the
// next clean-up records it.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "FaultInjectionEnv.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVCCommon/QVCTime.h"
#include "RcpEnrolment.h"
#include "RcpHistory.h"
#include "TestSupport.h"
#include "platform/ErrorMap.h"

namespace {

namespace fs = std::filesystem;

// A store tree as names and contents: "d" for a directory, "f:" and the
// bytes for a file, "l:" and the target for a link.
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const std::string& root) {
  Snapshot tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(entry.path(), root).string();
    fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) {
      tree[name] = "l:" + fs::read_symlink(entry.path()).string();
    } else if (fs::is_directory(status)) {
      tree[name] = "d";
    } else if (fs::is_regular_file(status)) {
      tree[name] = "f:" + qvtest::ReadFile(entry.path().string());
    } else {
      tree[name] = "other";
    }
  }
  return tree;
}

bool IsHidden(const std::string& relative) {
  for (const auto& part : fs::path(relative)) {
    if (part.string().size() > 1 && part.string()[0] == '.') return true;
  }
  return false;
}

bool InHistory(const std::string& relative) {
  for (const auto& part : fs::path(relative)) {
    if (part == rcphistory::kHistoryName) return true;
  }
  return false;
}

// The tree without the entries drop names.
Snapshot Without(const Snapshot& tree, bool (*drop)(const std::string&)) {
  Snapshot rest;
  for (const auto& [name, what] : tree) {
    if (!drop(name)) rest.emplace(name, what);
  }
  return rest;
}

// What scans and listings see: hidden leftovers dropped.
Snapshot Visible(const Snapshot& tree) { return Without(tree, IsHidden); }
Snapshot WithoutHistory(const Snapshot& tree) { return Without(tree, InHistory); }

// Every recipe of the project, and every address with a log, is its log's
// last version.
bool HistoryRecordsFiles(const std::string& project) {
  std::set<std::string> recipes;
  for (const auto& entry : fs::recursive_directory_iterator(project + "/Recipe")) {
    std::string name = entry.path().filename().string();
    if (name == rcphistory::kHistoryName) continue;
    if (entry.is_directory() && name.rfind("RCP", 0) == 0 && !InHistory(entry.path().string())) {
      recipes.insert(entry.path().string());
    }
    if (entry.path().extension() == ".log" && InHistory(entry.path().string())) {
      recipes.insert(project + "/Recipe/" + entry.path().parent_path().filename().string() + "/" +
                     entry.path().stem().string());
    }
  }
  for (const std::string& recipe : recipes) {
    std::map<std::string, std::string> files;
    std::optional<rcphistory::Version> last = rcphistory::LastVersion(recipe);
    if (rcphistory::CurrentFiles(recipe, &files) != 0 || !last || last->files != files) return false;
  }
  return true;
}

// The names whose entries differ between two trees, for the report.
std::string Difference(const Snapshot& want, const Snapshot& got) {
  std::ostringstream out;
  for (const auto& [name, what] : want) {
    auto it = got.find(name);
    if (it == got.end()) out << " -" << name;
    else if (it->second != what) out << " ~" << name;
  }
  for (const auto& [name, what] : got) {
    if (want.count(name) == 0) out << " +" << name;
  }
  return out.str();
}

// The paths of the store every operation works on: project P with group
// RG01 (attribute and sub-group files), recipes RCP0001 (with unit 1) and
// RCP0002.
struct Store {
  std::string root;
  std::string project() const { return root + "/P"; }
  std::string group() const { return project() + "/Recipe/RG01"; }
  std::string recipe(int n) const { return group() + "/RCP000" + std::to_string(n); }
};

CQVERcpDirInfo RecipeNode(const char* name) {
  CQVERcpDirInfo node;
  node.SetRcpDirInfo(nullptr, name);
  return node;
}

uint32_t Build(const Store& s) {
  _QVERcpGroupInfo group;
  group.strComment = "first";
  group.astrServer = {"S1"};
  CQVERcpDirInfo first = RecipeNode("RCP0001");
  uint32_t rc = CQVERcpUtil::CreateProject("P", s.root.c_str());
  if (rc == 0) rc = CQVERcpUtil::CreateRecipeGroup(s.project().c_str(), 1);
  if (rc == 0) rc = CQVERcpUtil::SetRecipeGroupInfo(s.group().c_str(), &group);
  for (int n = 1; n <= 2 && rc == 0; ++n) rc = CQVERcpUtil::CreateRecipe("H", s.group().c_str(), n, nullptr);
  if (rc == 0) rc = CQVERcpUtil::CreateUnitRecipe("U", s.recipe(1).c_str(), 1, nullptr);
  if (rc == 0) rc = CQVERcpUtil::InsertSubGroup(s.group().c_str(), {"SubA"});
  if (rc == 0) rc = CQVERcpUtil::InsertItemToSubGroup(s.group().c_str(), {"SubA"}, &first);
  return rc;
}

// One writing operation. prepare runs before the fault is armed (taking the
// lock that Unlock then releases); the lock lives in the context.
struct Context {
  Store store;
  CQVERcpLock lock;
};

using Site = qvtest::NthCallFaultEnv::Site;

struct Operation {
  const char* name;
  std::function<uint32_t(Context&)> run;
  std::function<uint32_t(Context&)> prepare;
  // A delete: once its target has been moved aside (by the in-use check or
  // into the trash) a failure returns its error and the next run of the same
  // delete finishes it.
  bool finishedByRerun = false;
};

void PrintTo(const Operation& operation, std::ostream* out) { *out << operation.name; }

uint32_t SetRecipeComment(Context& c) {
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  if (uint32_t rc = CQVERcpUtil::GetRcpInfo(c.store.recipe(1).c_str(), &number, &info)) return rc;
  info.strComment = "changed";
  info.strUnitComment[0] = "unit changed";
  return CQVERcpUtil::SetRcpInfo(c.store.recipe(1).c_str(), &info);
}

// The locks of the store's API taken and given up once, so that their lock
// files are there before and after an API change.
uint32_t LockFilesMade(Context& c) {
  return qvtest::CodeOf([&] {
    rcpstore::CommandLocks locks;
    rcpstore::Target recipe = rcpstore::RecipeTarget(c.store.recipe(1));
    locks.LockProject(recipe);
    locks.LockRecipe(recipe, "RCP0001");
  });
}

constexpr int32_t kFrozenClock = 1700000000;


const std::vector<Operation>& Operations() {
  static const std::vector<Operation> kOperations = {
      {"SetProjectInfo",
       [](Context& c) {
         _QVERcpProjectInfo info{};
         info.strPath = c.store.project();
         info.nStatus = 2;
         info.strComment = "changed";
         return CQVERcpUtil::SetProjectInfo("P", &info, 1);
       },
       nullptr},
      {"CreateProject", [](Context& c) { return CQVERcpUtil::CreateProject("Q", c.store.root.c_str()); }, nullptr},
      {"CreateRecipeGroup", [](Context& c) { return CQVERcpUtil::CreateRecipeGroup(c.store.project().c_str(), 2); },
       nullptr},
      {"SetRecipeGroupInfo",
       [](Context& c) {
         _QVERcpGroupInfo info;
         info.strComment = "changed";
         info.astrServer = {"S2", "S3"};
         return CQVERcpUtil::SetRecipeGroupInfo(c.store.group().c_str(), &info);
       },
       nullptr},
      {"DeleteRecipeGroup", [](Context& c) { return CQVERcpUtil::DeleteRecipeGroup(c.store.group().c_str()); },
       nullptr, true},
      {"CreateRecipe", [](Context& c) { return CQVERcpUtil::CreateRecipe("H3", c.store.group().c_str(), 3, nullptr); },
       nullptr},
      {"SetRcpInfo", SetRecipeComment, nullptr},
      {"SetRcpHeadVersion",
       [](Context& c) { return CQVERcpUtil::SetRcpHeadVersion((c.store.recipe(1) + "/RcpHead.edf").c_str()); },
       nullptr},
      {"CreateUnitRecipe",
       [](Context& c) { return CQVERcpUtil::CreateUnitRecipe("U2", c.store.recipe(1).c_str(), 2, nullptr); },
       nullptr},
      {"DeleteUnitRecipe", [](Context& c) { return CQVERcpUtil::DeleteUnitRecipe(c.store.recipe(1).c_str(), 1); },
       nullptr, true},
      {"DeleteRecipe", [](Context& c) { return CQVERcpUtil::DeleteRecipe(c.store.recipe(2).c_str()); }, nullptr,
       true},
      {"DeleteProject", [](Context& c) { return CQVERcpUtil::DeleteProject(c.store.project().c_str()); }, nullptr,
       true},
      {"InsertSubGroup", [](Context& c) { return CQVERcpUtil::InsertSubGroup(c.store.group().c_str(), {"SubB"}); },
       nullptr},
      {"DeleteSubGroup", [](Context& c) { return CQVERcpUtil::DeleteSubGroup(c.store.group().c_str(), {"SubA"}); },
       nullptr},
      {"RenameSubGroup",
       [](Context& c) { return CQVERcpUtil::RenameSubGroup(c.store.group().c_str(), "SubZ", {"SubA"}); }, nullptr},
      {"InsertItemToSubGroup",
       [](Context& c) {
         CQVERcpDirInfo second = RecipeNode("RCP0002");
         return CQVERcpUtil::InsertItemToSubGroup(c.store.group().c_str(), {"SubA"}, &second);
       },
       nullptr},
      {"DeleteItemFromSubGroup",
       [](Context& c) {
         CQVERcpDirInfo first = RecipeNode("RCP0001");
         return CQVERcpUtil::DeleteItemFromSubGroup(c.store.group().c_str(), {"SubA"}, &first);
       },
       nullptr},
      {"MoveItemsToSubGroup",
       [](Context& c) { return CQVERcpUtil::MoveItemsToSubGroup(c.store.group().c_str(), {}, {"RCP0001"}); },
       nullptr},
      {"CopyRecipe",
       [](Context& c) { return CQVERcpUtil::CopyRecipe(c.store.recipe(1).c_str(), c.store.group().c_str(), 3); },
       nullptr},
      {"MoveRecipe",
       [](Context& c) { return CQVERcpUtil::MoveRecipe(c.store.recipe(2).c_str(), c.store.group().c_str(), 4); },
       nullptr, true},
      // The store's recorded changes: one failed after its commit is
      // finished by the next lock of the project, which its re-run takes.
      {"MoveRecipeRecorded",
       [](Context& c) { return qvtest::CodeOf([&] { rcpstore::MoveRecipe(c.store.recipe(1), c.store.group(), 4); }); },
       LockFilesMade, true},
      {"RegisterProject",
       [](Context& c) {
         rcpstore::ProjectAttributes changed;
         changed.comment = "changed";
         return qvtest::CodeOf([&] { rcpstore::RegisterProject("P", c.store.project(), changed); });
       },
       LockFilesMade, true},
      {"LockProject", [](Context& c) { return c.lock.LockProject("P", 0, nullptr, nullptr); }, nullptr},
      {"LockRecipe",
       [](Context& c) {
         return c.lock.LockRecipe("RCP0001", 0, 0, c.store.recipe(1).c_str(), 0, nullptr, nullptr);
       },
       nullptr},
      {"Unlock", [](Context& c) { return c.lock.Unlock(); },
       [](Context& c) { return c.lock.LockProject("P", 0, nullptr, nullptr); }},
  };
  return kOperations;
}

// Whether a failed call may leave the whole change in force. With the
// failure returned: flushing the directory after the final rename (the new
// content may not be on disk yet) and removing what lies under a hidden name
// (a leftover that the next operation on the directory removes). Without:
// any call whose failure the operation overcame, except a flush, whose
// failure must never be swallowed.
bool MayLeaveCommitted(const Site& site, uint32_t rc, const std::string& root) {
  if (rc == 0) return site.call != qvtest::Call::kSync && site.call != qvtest::Call::kSyncDirectory;
  if (site.call == qvtest::Call::kSyncDirectory) return true;
  return site.call == qvtest::Call::kRemove && IsHidden(fs::relative(site.path, root).string());
}

std::string Lines(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "\n  " + item;
  return text;
}

class FaultInjectionTest : public ::testing::TestWithParam<Operation> {
 protected:
  FaultInjectionTest() {
    pristine_.root = tmp_ / "pristine";
    live_.store.root = tmp_ / "store";
    qvcommon::testing::FreezeClock(&kFrozenClock);
  }
  ~FaultInjectionTest() override { qvcommon::testing::FreezeClock(nullptr); }

  // A fresh copy of the pristine store at the live path (registered there),
  // with the operation's preparation done.
  void Reset() {
    live_.lock.Unlock();
    fs::remove_all(live_.store.root);
    fs::copy(pristine_.root, live_.store.root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    if (GetParam().prepare) {
      ASSERT_EQ(GetParam().prepare(live_), 0u);
    }
  }

  // Runs the operation with the n-th write-path call failing; false once the
  // operation ran without reaching it.
  bool RunWithFault(int n, uint32_t code, const Snapshot& done, std::vector<std::string>* failures) {
    Reset();
    Snapshot before = Take(live_.store.root);
    qvtest::NthCallFaultEnv env(n, code);
    uint32_t rc;
    {
      qvplatform::ScopedEnv scoped(&env);
      rc = GetParam().run(live_);
    }
    if (!env.failed()) {
      EXPECT_EQ(rc, 0u) << "without a fault";
      return false;
    }
    ++sites_;
    const Site& site = *env.failed();
    Snapshot after = Take(live_.store.root);
    // Below a trash name, the history goes with the project being deleted.
    std::string history = live_.store.project() + "/Recipe/" + rcphistory::kHistoryName + "/";
    if (site.path.compare(0, history.size(), history) == 0) return HistoryFault(rc, before, after, done, n, code, failures);
    bool rolledBack = rc != 0 && after == before;
    bool committed = MayLeaveCommitted(site, rc, live_.store.root) && Visible(after) == Visible(done);
    if (committed && !rolledBack) ++(rc != 0 ? committedReported_ : committedQuiet_);
    bool finished = !rolledBack && !committed && rc != 0 && GetParam().finishedByRerun && FinishedByRerun(done);
    if (finished) ++finishedByRerun_;
    if (!rolledBack && !committed && !finished) {
      std::ostringstream what;
      what << GetParam().name << " call " << n << " (" << qvtest::CallName(site.call) << " "
           << fs::relative(site.path, live_.store.root).string() << ") error " << code << ": returned " << rc
           << ", store" << (after == before ? " unchanged" : " changed:" + Difference(before, after));
      failures->push_back(what.str());
    }
    return true;
  }

  // A failed write of the history: the change refused (store as it was)
  // or in force, and after the next clean-up each recipe's files are its
  // log's last version.
  bool HistoryFault(uint32_t rc, const Snapshot& before, const Snapshot& after, const Snapshot& done, int n,
                    uint32_t code, std::vector<std::string>* failures) {
    ++historySites_;
    bool old = rc != 0 && WithoutHistory(after) == WithoutHistory(before);
    bool whole = Visible(after) == Visible(done);
    rcphistory::ReconcileProject(live_.store.project());
    if ((old || whole) && HistoryRecordsFiles(live_.store.project())) return true;
    std::ostringstream what;
    what << GetParam().name << " history call " << n << " error " << code << ": returned " << rc
         << (old || whole ? ", history behind its recipes after the clean-up" : ", store half changed");
    failures->push_back(what.str());
    return true;
  }

  // Runs the operation once more, without faults: it must reach the state
  // of a run that never failed.
  bool FinishedByRerun(const Snapshot& done) {
    if (GetParam().run(live_) != 0) return false;
    return Visible(Take(live_.store.root)) == Visible(done);
  }

  qvtest::TempDir tmp_;
  Store pristine_;
  Context live_;
  int sites_ = 0;
  int committedReported_ = 0;  // the change in force, the failure returned
  int committedQuiet_ = 0;     // the change in force, the failure overcome
  int finishedByRerun_ = 0;    // a delete left part way, the failure returned
  int historySites_ = 0;       // faults in writes of the history
};

TEST_P(FaultInjectionTest, AFailedWriteLeavesTheStoreAsItWas) {
  ASSERT_EQ(Build(pristine_), 0u);
  _QVERcpProjectInfo project{};
  project.strPath = live_.store.project();
  project.nStatus = 1;
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &project, 0), 0u);

  Reset();
  ASSERT_EQ(GetParam().run(live_), 0u);
  const Snapshot done = Take(live_.store.root);

  std::vector<std::string> failures;
  for (int err : {ENOSPC, EIO}) {
    for (int n = 1; RunWithFault(n, qvplatform::Win32FromErrno(err), done, &failures); ++n) {
    }
  }
  live_.lock.Unlock();
  RecordProperty("sites", sites_);
  std::cout << "[ sites    ] " << GetParam().name << ": " << sites_ << " fault sites, committed after the commit point "
            << committedReported_ << " with the error returned and " << committedQuiet_ << " without, "
            << finishedByRerun_ << " finished by a re-run, " << historySites_ << " in the history, " << failures.size()
            << " failing\n";
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << sites_ << " sites failed:" << Lines(failures);
}

// What a project holds, but for the directories and the work files that a
// failed write may leave.
Snapshot FilesHeld(const Snapshot& tree) {
  Snapshot files;
  for (const auto& [relative, what] : tree) {
    std::string name = fs::path(relative).filename().string();
    bool work = (name[0] == '.' && fs::path(name).extension() == ".work") || fs::path(name).extension() == ".new";
    if (what != "d" && !work) files.emplace(relative, what);
  }
  return files;
}

// Project P, registered, and the caller's signing key pair.
class SigningFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", (tmp / "config").c_str(), 1), 0);
    rcpstore::CreateProject("p", tmp.path());
    rcpstore::RegisterProject("P", project);
    key = rcpstore::MakeUserKey(false);
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  // Runs change on the project as it is now with a fault at each of its Env
  // calls in turn, until a run makes no call fail: after each, the project
  // is as it was with the failure returned, or the change is whole.
  void ExpectEachFaultUndoneOrWhole(const std::function<uint32_t()>& change, const std::function<bool()>& whole) {
    fs::copy(project, pristine, fs::copy_options::recursive);
    const Snapshot before = FilesHeld(Take(project));
    ASSERT_EQ(change(), 0u);
    ASSERT_TRUE(whole());
    std::vector<std::string> failures;
    int n = 1;
    for (;; ++n) {
      fs::remove_all(project);
      fs::copy(pristine, project, fs::copy_options::recursive);
      qvtest::NthCallFaultEnv env(n, ERROR_DISK_FULL);
      uint32_t rc;
      {
        qvplatform::ScopedEnv scoped(&env);
        rc = change();
      }
      if (!env.failed()) break;
      Snapshot after = FilesHeld(Take(project));
      if ((rc != 0 && after == before) || whole()) continue;
      failures.push_back("call " + std::to_string(n) + " (" + qvtest::CallName(env.failed()->call) + " " +
                         env.failed()->path + "): returned " + std::to_string(rc) +
                         ", neither undone nor whole:" + Difference(before, after));
    }
    EXPECT_GT(n, 3);
    EXPECT_TRUE(failures.empty()) << Lines(failures);
  }

  qvtest::TempDir tmp;
  const std::string project = tmp / "p";
  const std::string pristine = tmp / "pristine";
  std::string key;
};

// A fault in any write of an enrolment leaves the project's enrolled keys
// as they were, with the failure reported, or the enrolment whole. The
// directories it made may stay, empty. The enrolment's line carries its
// time: whole is what the project trusts.
TEST_F(SigningFaultTest, AFaultLeavesTheKeysAsTheyWereOrTheEnrolmentWhole) {
  ExpectEachFaultUndoneOrWhole(
      [&] { return qvtest::CodeOf([&] { rcpstore::EnrolKey("@P", rcpstore::CallerName(), key); }); },
      [&] {
        rcpsign::ProjectKeys keys = rcpsign::ReadProjectKeys(project);
        return keys.enrolments.size() == 1 && keys.problems.empty() && keys.TrustsAny();
      });
}

// A fault in any write of a signature leaves the project as it was, with
// the failure reported, or the signature whole. Root signs a version that
// another user made: the fixture names that user in the version's line,
// since the harness runs as one user.
TEST_F(SigningFaultTest, AFaultLeavesTheProjectAsItWasOrTheSignatureWhole) {
  rcpstore::EnrolKey("@P", rcpstore::CallerName(), key);
  rcpstore::CreateGroup("@P", 1, rcpstore::GroupAttributes{"one", {}});
  rcpstore::CreateRecipe("@P/1", 1, "H");
  rcpstore::SetRecipeTexts("@P/1/1", {"Dough", {}, {}});  // a change takes the recipe's lock, as a signature does
  qvtest::MakeVersionsOf(project + "/Recipe/RG01/RCP0001", "daemon");
  ExpectEachFaultUndoneOrWhole(
      [] {
        return qvtest::CodeOf([] { rcpstore::SignRecipe("@P/1/1", rcpstore::SignatureMeaning::kReview, "checked"); });
      },
      [] {
        rcpstore::RecipeStatus status = rcpstore::ReadRecipeStatus("@P/1/1");
        return status.state == "reviewed" && status.current.size() == 1 && status.earlier.empty();
      });
}

INSTANTIATE_TEST_SUITE_P(Store, FaultInjectionTest, ::testing::ValuesIn(Operations()),
                         [](const ::testing::TestParamInfo<Operation>& info) { return std::string(info.param.name); });

}  // namespace
