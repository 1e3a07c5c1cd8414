// A project directory that a user of another station has booby-trapped:
// links to files and directories outside the store, FIFOs, directories where
// files belong and files where directories belong, at every name the store
// reads or writes. Every library call must end (no hang, no crash) with a
// failure or a safe result, and nothing outside the store may change.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "RunInChild.h"
#include "TestSupport.h"
#include "platform/Win32Types.h"

namespace fs = std::filesystem;

namespace {

enum class Trap { kLinkToFile, kLinkToDirectory, kFifo, kDirectory, kFile };

const char* TrapName(Trap trap) {
  switch (trap) {
    case Trap::kLinkToFile: return "link to a file outside";
    case Trap::kLinkToDirectory: return "link to a directory outside";
    case Trap::kFifo: return "FIFO";
    case Trap::kDirectory: return "directory";
    case Trap::kFile: return "file";
  }
  return "";
}

// Type, mode and bytes (or link target) of everything below a directory.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st;
    lstat(entry.path().c_str(), &st);
    std::string value = std::to_string(st.st_mode) + ":";
    if (S_ISREG(st.st_mode)) value += qvtest::ReadFile(entry.path());
    if (S_ISLNK(st.st_mode)) value += fs::read_symlink(entry.path()).string();
    entries[fs::relative(entry.path(), root).string()] = value;
  }
  return entries;
}

// A small store (project P, group RG01, recipe RCP0001 with a unit recipe,
// a sub-group and a work directory) beside a sentinel tree "outside" whose
// names are those the store uses, so a followed link would reach them.
class Store {
 public:
  Store() {
    EXPECT_EQ(CQVERcpUtil::CreateProject("P", tmp_.path().c_str()), 0u);
    _QVERcpProjectInfo info{};
    info.strPath = project();
    info.nStatus = 1;
    EXPECT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 0), 0u);
    EXPECT_EQ(CQVERcpUtil::CreateRecipeGroup(project().c_str(), 1), 0u);
    EXPECT_EQ(CQVERcpUtil::CreateRecipe("HEAD", group().c_str(), 1, nullptr), 0u);
    EXPECT_EQ(CQVERcpUtil::CreateUnitRecipe("UNIT", recipe().c_str(), 1, nullptr), 0u);
    EXPECT_EQ(CQVERcpUtil::InsertSubGroup(group().c_str(), {"S"}), 0u);
    qvtest::WriteFile(recipe() + "/TEMP/work.tmp", "w");
    qvtest::WriteFile(outside() + "/victim.txt", "victim");
    for (const char* name : {"RcpHead.edf", "RcpPT01.edf", "RcpLock.txt", "RcpPjtLock.txt", "RcpGrAttr.txt",
                             "RcpPJTAttr.txt", "RcpSubGroup.txt", "TEMP/keep.txt", "RCP0001/RcpHead.edf",
                             "RCP0001/TEMP/keep.txt", "RG01/RcpGrAttr.txt", "RG01/RCP0001/TEMP/keep.txt"}) {
      qvtest::WriteFile(outside() + "/dir/" + name, std::string("sentinel ") + name);
    }
  }

  std::string project() const { return tmp_ / "P"; }
  std::string group() const { return tmp_ / "P/Recipe/RG01"; }
  std::string recipe() const { return tmp_ / "P/Recipe/RG01/RCP0001"; }
  std::string outside() const { return tmp_ / "outside"; }

  // Moves the directory at path outside and puts a link to it in its place,
  // so that a call following the link would find a whole store there.
  void LinkOut(const std::string& path) const {
    std::string moved = outside() + "/moved";
    fs::rename(path, moved);
    fs::create_directory_symlink(moved, path);
  }

  // Puts the trap in place of whatever stands at the path.
  void Plant(const std::string& path, Trap trap) const {
    fs::remove_all(path);
    switch (trap) {
      case Trap::kLinkToFile: fs::create_symlink(outside() + "/victim.txt", path); break;
      case Trap::kLinkToDirectory: fs::create_directory_symlink(outside() + "/dir", path); break;
      case Trap::kFifo: mkfifo(path.c_str(), 0666); break;
      case Trap::kDirectory: qvtest::WriteFile(path + "/inside.txt", "x"); break;
      case Trap::kFile: qvtest::WriteFile(path, "x"); break;
    }
  }

 private:
  qvtest::TempDir tmp_;
};

struct Call {
  const char* name;
  std::function<uint32_t(const Store&)> run;
  bool mustFail = false;  // the call needs the trapped name itself
};

// Places of the store, the traps planted there, and the calls that use them.
struct Place {
  std::function<std::string(const Store&)> path;
  std::vector<Trap> traps;
  std::vector<Call> calls;
};

uint32_t Tree(const Store& store) {
  CQVERcpDirInfo project;
  project.m_nKind = QVERCP_KIND_PROJECT;
  std::string parent = store.project().substr(0, store.project().rfind('/'));
  project.m_strParentPath = parent;
  project.m_strName = "P";
  project.m_strProject = "P";
  return CQVERcpUtil::GetDirectoryList(&project, 1, 1);
}

uint32_t LockAndUnlock(const Store& store, bool project) {
  CQVERcpLock lock;
  uint32_t rc = project ? lock.LockProject("P", 0, nullptr, nullptr)
                        : lock.LockRecipe("R", 0, 0, store.recipe().c_str(), 0, nullptr, nullptr);
  if (rc == 0) rc = lock.Unlock();
  return rc;
}

uint32_t SetHead(const Store& store, const std::string& file) {
  _QVERcpFileDetailInfo info;
  info.strComment = "c";
  return file.empty() ? CQVERcpUtil::SetRcpInfo(store.recipe().c_str(), &info)
                      : CQVERcpUtil::SetRcpFileInfo((store.recipe() + "/" + file).c_str(), &info);
}

uint32_t GetHead(const Store& store, const std::string& file) {
  _QVERcpFileDetailInfo info;
  uint32_t kind = 0;
  return CQVERcpUtil::GetRcpFileInfo((store.recipe() + "/" + file).c_str(), &kind, &info);
}

uint32_t SetGroup(const Store& store) {
  _QVERcpGroupInfo info;
  info.strComment = "c";
  info.astrServer = {"s"};
  return CQVERcpUtil::SetRecipeGroupInfo(store.group().c_str(), &info);
}

uint32_t GetGroup(const Store& store) {
  _QVERcpGroupInfo info;
  return CQVERcpUtil::GetRecipeGroupInfo(store.group().c_str(), &info);
}

uint32_t SetProject(const Store& store) {
  _QVERcpProjectInfo info{};
  info.strPath = store.project();
  info.nStatus = 2;
  return CQVERcpUtil::SetProjectInfo("P", &info, 1);
}

uint32_t GetProject(const Store&) {
  _QVERcpProjectInfo info{};
  return CQVERcpUtil::GetProjectInfo("P", &info);
}

uint32_t AddSubGroup(const Store& store) { return CQVERcpUtil::InsertSubGroup(store.group().c_str(), {"T"}); }

uint32_t ListRecipe(const Store& store) {
  CQVERcpFileInfoArray files;
  return CQVERcpUtil::GetFileList(store.recipe().c_str(), files);
}

uint32_t CleanTemp(const Store&) { return CQVERcpUtil::DeleteTempFile("P"); }

// The project's lock, which finishes or drops what the records beside it say.
uint32_t StoreLock(const Store& store) {
  return qvtest::CodeOf([&] {
    rcpstore::CommandLocks locks;
    locks.LockProject(rcpstore::ProjectTarget(store.project()));
  });
}

uint32_t Register(const Store& store) {
  rcpstore::ProjectAttributes attributes;
  attributes.comment = "c";
  return qvtest::CodeOf([&] { rcpstore::RegisterProject("P", store.project(), attributes); });
}

uint32_t MoveRecipe(const Store& store) {
  return qvtest::CodeOf([&] { rcpstore::MoveRecipe(store.recipe(), store.group(), 2); });
}

std::function<std::string(const Store&)> InRecipe(const std::string& name) {
  return [name](const Store& s) { return s.recipe() + "/" + name; };
}

std::function<std::string(const Store&)> InGroup(const std::string& name) {
  return [name](const Store& s) { return s.group() + "/" + name; };
}

std::function<std::string(const Store&)> InProject(const std::string& name) {
  return [name](const Store& s) { return s.project() + "/" + name; };
}

const std::vector<Trap> kFileTraps = {Trap::kLinkToFile, Trap::kLinkToDirectory, Trap::kFifo, Trap::kDirectory};
const std::vector<Trap> kDirectoryTraps = {Trap::kLinkToDirectory, Trap::kFile, Trap::kFifo};
// A record of a change in progress may also be a crafted file.
const std::vector<Trap> kRecordTraps = {Trap::kLinkToFile, Trap::kLinkToDirectory, Trap::kFifo, Trap::kDirectory,
                                        Trap::kFile};

std::vector<Place> Places() {
  auto head = [](const Store& s) { return GetHead(s, "RcpHead.edf"); };
  auto unit = [](const Store& s) { return GetHead(s, "RcpPT01.edf"); };
  auto setHead = [](const Store& s) { return SetHead(s, ""); };
  auto setUnit = [](const Store& s) { return SetHead(s, "RcpPT01.edf"); };
  auto lockRecipe = [](const Store& s) { return LockAndUnlock(s, false); };
  auto lockProject = [](const Store& s) { return LockAndUnlock(s, true); };
  auto deleteRecipe = [](const Store& s) { return CQVERcpUtil::DeleteRecipe(s.recipe().c_str()); };
  auto deleteGroup = [](const Store& s) { return CQVERcpUtil::DeleteRecipeGroup(s.group().c_str()); };
  auto deleteProject = [](const Store& s) { return CQVERcpUtil::DeleteProject(s.project().c_str()); };
  auto inUse = [](const Store& s) { return CQVERcpUtil::DirAccessCheck(s.recipe().c_str()); };
  return {
      {InGroup("RcpSubGroup.txt"), kFileTraps, {{"tree", Tree}, {"insert sub-group", AddSubGroup, true}}},
      {InGroup("RcpSubGroupwork.txt"), kFileTraps, {{"insert sub-group", AddSubGroup}, {"tree", Tree}}},
      {InRecipe("RcpHead.edf"), kFileTraps,
       {{"read header", head, true}, {"write header", setHead, true}, {"list", ListRecipe}, {"tree", Tree}}},
      {InRecipe("RcpHead.edf.new"), kFileTraps, {{"write header", setHead}, {"list", ListRecipe}}},
      {InRecipe("RcpPT01.edf"), kFileTraps,
       {{"read unit", unit, true}, {"write unit", setUnit, true}, {"list", ListRecipe}}},
      {InRecipe("RcpPT01.edf.new"), kFileTraps, {{"write unit", setUnit}}},
      {InGroup("RcpGrAttr.txt"), kFileTraps,
       {{"read group", GetGroup, true}, {"write group", SetGroup}, {"tree", Tree}}},
      {InGroup("RcpGrAttr.txt.new"), kFileTraps, {{"write group", SetGroup}}},
      {InProject("Recipe/RcpPJTAttr.txt"), kFileTraps,
       {{"read project", GetProject, true}, {"write project", SetProject}}},
      {InProject("Recipe/RcpPJTAttr.txt.new"), kFileTraps, {{"write project", SetProject}}},
      {InProject("RcpPjtLock.txt"), kFileTraps, {{"lock project", lockProject, true}}},
      {InProject("Recipe/.RcpPJTAttr.txt.register"), kRecordTraps,
       {{"read project", GetProject}, {"store lock", StoreLock}, {"register", Register}}},
      {InProject("Recipe/.move-RG01-RCP0001"), kRecordTraps, {{"store lock", StoreLock}, {"move", MoveRecipe}}},
      {InProject("Recipe/.move-..-RCP0001"), kRecordTraps, {{"store lock", StoreLock}}},
      {InRecipe("RcpLock.txt"), kFileTraps,
       {{"lock recipe", lockRecipe, true}, {"in-use check", inUse}, {"clean temp", CleanTemp},
        {"delete recipe", deleteRecipe}}},
      {InRecipe("TEMP"), kDirectoryTraps, {{"tree", Tree}, {"clean temp", CleanTemp}, {"delete recipe", deleteRecipe}}},
      {[](const Store& s) { return s.recipe(); }, kDirectoryTraps,
       {{"tree", Tree}, {"list", ListRecipe}, {"clean temp", CleanTemp}, {"delete recipe", deleteRecipe},
        {"delete group", deleteGroup}}},
      {[](const Store& s) { return s.group(); }, kDirectoryTraps,
       {{"tree", Tree}, {"clean temp", CleanTemp}, {"delete group", deleteGroup}, {"delete project", deleteProject}}},
      {InProject("Recipe"), kDirectoryTraps, {{"tree", Tree}, {"clean temp", CleanTemp}, {"delete project", deleteProject}}},
  };
}

TEST(HostileTreeTest, EveryTrapFailsSafelyAndNothingOutsideChanges) {
  int cases = 0;
  for (const Place& place : Places()) {
    for (Trap trap : place.traps) {
      Store store;
      std::string path = place.path(store);
      store.Plant(path, trap);
      const auto sentinel = Snapshot(store.outside());
      for (const Call& call : place.calls) {
        SCOPED_TRACE(path + " as " + TrapName(trap) + ", " + call.name);
        qvtest::ChildOutcome outcome = qvtest::RunInChild([&] { return call.run(store); });
        ++cases;
        ASSERT_TRUE(outcome.finished) << "hangs";
        ASSERT_TRUE(outcome.returned) << "crashes";
        if (call.mustFail) {
          EXPECT_NE(outcome.rc, 0u);
        }
        EXPECT_EQ(Snapshot(store.outside()), sentinel);
      }
    }
  }
  RecordProperty("cases", cases);
  std::printf("hostile cases: %d\n", cases);
}

// An entry point of the store, called on the store's paths.
struct Named {
  const char* name;
  std::function<uint32_t(const Store&)> run;
};

std::string Head(const Store& s) { return s.recipe() + "/RcpHead.edf"; }
std::string Unit(const Store& s) { return s.recipe() + "/RcpPT01.edf"; }
uint32_t OpenCheck(const std::string& path, bool directory) {
  constexpr unsigned long kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  return directory ? CQVERcpUtil::CheckDirFile(path.c_str(), FILE_GENERIC_READ_ACCESS, kShare)
                   : CQVERcpUtil::CheckFile(path.c_str(), FILE_GENERIC_READ_ACCESS, kShare);
}

uint32_t ScanGroup(const Store& store) {
  CQVERcpDirInfo group;
  group.SetFullPath(store.group().c_str());
  return CQVERcpUtil::GetDirectoryList(&group, 1, 1);
}

uint32_t ReadSubGroups(const Store& store) {
  CQVERcpDirInfo group;
  return CQVERcpUtil::ReadSubGroupFile(store.group().c_str(), &group);
}

uint32_t PlaceRecipe(const Store& store, bool insert) {
  CQVERcpDirInfo recipe;
  recipe.SetFullPath(store.recipe().c_str());
  return insert ? CQVERcpUtil::InsertItemToSubGroup(store.group().c_str(), {"S"}, &recipe)
                : CQVERcpUtil::DeleteItemFromSubGroup(store.group().c_str(), {"S"}, &recipe);
}

std::vector<Named> RecipeCalls() {
  return {
      {"set header", [](const Store& s) { return SetHead(s, ""); }},
      {"set unit", [](const Store& s) { return SetHead(s, "RcpPT01.edf"); }},
      {"read header", [](const Store& s) { return GetHead(s, "RcpHead.edf"); }},
      {"recipe info",
       [](const Store& s) {
         _QVERcpFileDetailInfo info;
         uint32_t number = 0;
         return CQVERcpUtil::GetRcpInfo(s.recipe().c_str(), &number, &info);
       }},
      {"head version", [](const Store& s) { return CQVERcpUtil::SetRcpHeadVersion(Head(s).c_str()); }},
      {"lock recipe", [](const Store& s) { return LockAndUnlock(s, false); }},
      {"delete recipe", [](const Store& s) { return CQVERcpUtil::DeleteRecipe(s.recipe().c_str()); }},
      {"free units",
       [](const Store& s) {
         int32_t table[QVERCP_UNITS];
         return CQVERcpUtil::FindFreeUnitNo(s.recipe().c_str(), table);
       }},
      {"unit duplicate", [](const Store& s) { return CQVERcpUtil::CheckUnitDuplicate(s.recipe().c_str(), 1); }},
      {"create unit", [](const Store& s) { return CQVERcpUtil::CreateUnitRecipe("U", s.recipe().c_str(), 2, nullptr); }},
      {"delete unit", [](const Store& s) { return CQVERcpUtil::DeleteUnitRecipe(s.recipe().c_str(), 1); }},
      {"in-use check", [](const Store& s) { return CQVERcpUtil::DirAccessCheck(s.recipe().c_str()); }},
      {"file in-use check", [](const Store& s) { return CQVERcpUtil::FileAccessCheck(Unit(s).c_str()); }},
      {"open check", [](const Store& s) { return OpenCheck(Head(s), false); }},
      {"directory open check", [](const Store& s) { return OpenCheck(s.recipe(), true); }},
      {"list", ListRecipe},
  };
}

std::vector<Named> GroupCalls() {
  return {
      {"write group", SetGroup},
      {"read group", GetGroup},
      {"delete group", [](const Store& s) { return CQVERcpUtil::DeleteRecipeGroup(s.group().c_str()); }},
      {"free recipes",
       [](const Store& s) {
         int32_t table[QVERCP_RECIPE_TABLE];
         return CQVERcpUtil::FindFreeRcpNo(s.group().c_str(), table);
       }},
      {"recipe duplicate", [](const Store& s) { return CQVERcpUtil::CheckRcpDuplicate(s.group().c_str(), 1); }},
      {"create recipe", [](const Store& s) { return CQVERcpUtil::CreateRecipe("H", s.group().c_str(), 2, nullptr); }},
      {"insert sub-group", AddSubGroup},
      {"delete sub-group", [](const Store& s) { return CQVERcpUtil::DeleteSubGroup(s.group().c_str(), {"S"}); }},
      {"rename sub-group", [](const Store& s) { return CQVERcpUtil::RenameSubGroup(s.group().c_str(), "U", {"S"}); }},
      {"place recipe", [](const Store& s) { return PlaceRecipe(s, true); }},
      {"take recipe out", [](const Store& s) { return PlaceRecipe(s, false); }},
      {"read sub-groups", ReadSubGroups},
      {"scan group", ScanGroup},
  };
}

std::vector<Named> ProjectCalls() {
  return {
      {"write project", SetProject},
      {"read project", GetProject},
      {"free groups",
       [](const Store& s) {
         int32_t table[QVERCP_GROUP_TABLE];
         return CQVERcpUtil::FindFreeRcpGroupNo(s.project().c_str(), table);
       }},
      {"group duplicate", [](const Store& s) { return CQVERcpUtil::CheckRcpGroupDuplicate(s.project().c_str(), 1); }},
      {"create group", [](const Store& s) { return CQVERcpUtil::CreateRecipeGroup(s.project().c_str(), 2); }},
      {"delete project", [](const Store& s) { return CQVERcpUtil::DeleteProject(s.project().c_str()); }},
      {"tree", Tree},
      {"clean temp", CleanTemp},
  };
}

std::vector<Named> TempCalls() {
  return {
      {"list work files",
       [](const Store& s) {
         CQVERcpFileInfoArray files;
         return CQVERcpUtil::GetFileList((s.recipe() + "/TEMP").c_str(), files);
       }},
      {"open work file", [](const Store& s) { return OpenCheck(s.recipe() + "/TEMP/work.tmp", false); }},
  };
}

// Calls that reach the linked directory only by scanning the level above.
std::vector<Named> ScanningCalls() {
  return {{"tree", Tree}, {"clean temp", CleanTemp}, {"lock project", [](const Store& s) { return LockAndUnlock(s, true); }}};
}

std::vector<Named> Joined(std::initializer_list<std::vector<Named>> lists) {
  std::vector<Named> all;
  for (const auto& list : lists) all.insert(all.end(), list.begin(), list.end());
  return all;
}

TEST(HostileTreeTest, ALinkAboveTheNameIsRefusedAndNothingOutsideChanges) {
  struct Linked {
    std::function<std::string(const Store&)> path;
    std::vector<Named> refused;  // every call whose path leads through the link
  };
  const std::vector<Linked> links = {
      {InProject("Recipe"), Joined({RecipeCalls(), GroupCalls(), ProjectCalls(), TempCalls()})},
      {[](const Store& s) { return s.group(); }, Joined({RecipeCalls(), GroupCalls(), TempCalls()})},
      {[](const Store& s) { return s.recipe(); }, Joined({RecipeCalls(), TempCalls()})},
      {InRecipe("TEMP"), TempCalls()},
  };
  int cases = 0;
  for (const Linked& link : links) {
    Store store;
    store.LinkOut(link.path(store));
    const auto outside = Snapshot(store.outside());
    auto run = [&](const Named& call, bool mustRefuse) {
      SCOPED_TRACE(link.path(store) + " linked out, " + call.name);
      qvtest::ChildOutcome outcome = qvtest::RunInChild([&] { return call.run(store); });
      ++cases;
      ASSERT_TRUE(outcome.finished && outcome.returned);
      if (mustRefuse) {
        EXPECT_EQ(outcome.rc, static_cast<uint32_t>(ERROR_CANT_ACCESS_FILE));
      }
      EXPECT_EQ(Snapshot(store.outside()), outside);
    };
    for (const Named& call : link.refused) run(call, true);
    for (const Named& call : ScanningCalls()) run(call, false);
  }
  RecordProperty("cases", cases);
  std::printf("linked-directory cases: %d\n", cases);
}

// The walk ends at the project directory: links leading to it, and store
// names among its ancestors, are the caller's; a path climbing back out of
// a store directory, or naming a linked store directory in another case, is
// refused.
TEST(HostileTreeTest, OnlyTheStoreBelowTheProjectDirectoryIsChecked) {
  qvtest::TempDir tmp;
  std::string real = tmp.path() + "/real/RG05";
  ASSERT_EQ(CQVERcpUtil::CreateProject("P", real.c_str()), 0u);
  fs::create_directory_symlink(tmp.path() + "/real", tmp.path() + "/home");
  fs::create_directory_symlink(real, tmp.path() + "/TEMP");
  std::string project = tmp.path() + "/home/RG05/P";
  _QVERcpProjectInfo info{};
  info.strPath = project;
  info.nStatus = 1;
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(project.c_str(), 1), 0u);
  std::string group = project + "/Recipe/RG01";
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group.c_str(), 1, nullptr), 0u);
  std::string recipe = group + "/RCP0001";
  std::string viaTemp = tmp.path() + "/TEMP/P/Recipe/RG01/./RCP0001";
  _QVERcpFileDetailInfo detail;
  detail.strComment = "through links above the project";
  EXPECT_EQ(CQVERcpUtil::SetRcpInfo(viaTemp.c_str(), &detail), 0u);
  uint32_t number = 0;
  _QVERcpFileDetailInfo back;
  EXPECT_EQ(CQVERcpUtil::GetRcpInfo(recipe.c_str(), &number, &back), 0u);
  EXPECT_EQ(back.strComment, detail.strComment);

  fs::create_directory(project + "/Recipe/RG02");
  EXPECT_EQ(CQVERcpUtil::SetRcpInfo((project + "/Recipe/RG02/../RG01/RCP0001").c_str(), &detail),
            static_cast<uint32_t>(ERROR_CANT_ACCESS_FILE));
  fs::rename(project + "/Recipe", tmp.path() + "/moved");
  fs::create_directory_symlink(tmp.path() + "/moved", project + "/Recipe");
  EXPECT_EQ(CQVERcpUtil::SetRcpInfo((project + "/RECIPE/rg01/RCP0001").c_str(), &detail),
            static_cast<uint32_t>(ERROR_CANT_ACCESS_FILE));
}

// A project whose parent lies behind a link, as under a linked home
// directory, keeps working for every kind of operation.
TEST(HostileTreeTest, AProjectBehindALinkedParentWorks) {
  qvtest::TempDir tmp;
  qvtest::MakeDirs(tmp.path() + "/real");
  fs::create_directory_symlink(tmp.path() + "/real", tmp.path() + "/home");
  std::string parent = tmp.path() + "/home";
  std::string project = parent + "/P";
  ASSERT_EQ(CQVERcpUtil::CreateProject("P", parent.c_str()), 0u);
  _QVERcpProjectInfo info{};
  info.strPath = project;
  info.nStatus = 2;
  info.strComment = "linked home";
  ASSERT_EQ(CQVERcpUtil::SetProjectInfo("P", &info, 1), 0u);
  ASSERT_EQ(CQVERcpUtil::CreateRecipeGroup(project.c_str(), 1), 0u);
  std::string group = project + "/Recipe/RG01";
  ASSERT_EQ(CQVERcpUtil::CreateRecipe("H", group.c_str(), 1, nullptr), 0u);
  std::string recipe = group + "/RCP0001";
  EXPECT_EQ(CQVERcpUtil::CreateUnitRecipe("U", recipe.c_str(), 1, nullptr), 0u);
  EXPECT_EQ(CQVERcpUtil::InsertSubGroup(group.c_str(), {"S"}), 0u);
  _QVERcpFileDetailInfo detail;
  detail.strComment = "kept";
  EXPECT_EQ(CQVERcpUtil::SetRcpInfo(recipe.c_str(), &detail), 0u);
  {
    CQVERcpLock projectLock;
    CQVERcpLock recipeLock;
    EXPECT_EQ(projectLock.LockProject("P", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(recipeLock.LockRecipe("R", 0, 0, recipe.c_str(), 0, nullptr, nullptr), 0u);
  }
  EXPECT_TRUE(qvtest::Exists(tmp.path() + "/real/P/Recipe/RG01/RCP0001/RcpPT01.edf"));

  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = parent;
  root.m_strName = "P";
  EXPECT_EQ(CQVERcpUtil::GetDirectoryList(&root, 1, 1), 0u);
  EXPECT_EQ(qvtest::Shape(root), "RG01[RCP0001,S[]]");
  CQVERcpFileInfoArray files;
  EXPECT_EQ(CQVERcpUtil::GetFileList(recipe.c_str(), files), 0u);
  EXPECT_EQ(files.size(), 2u);
  _QVERcpProjectInfo read{};
  EXPECT_EQ(CQVERcpUtil::GetProjectInfo("P", &read), 0u);
  EXPECT_EQ(read.strComment, info.strComment);
  EXPECT_EQ(CQVERcpUtil::DeleteTempFile("P"), 0u);
  EXPECT_EQ(CQVERcpUtil::DeleteUnitRecipe(recipe.c_str(), 1), 0u);
  EXPECT_EQ(CQVERcpUtil::DeleteRecipe(recipe.c_str()), 0u);
  EXPECT_EQ(CQVERcpUtil::DeleteRecipeGroup(group.c_str()), 0u);
  EXPECT_EQ(CQVERcpUtil::DeleteProject(project.c_str()), 0u);
  EXPECT_FALSE(qvtest::Exists(tmp.path() + "/real/P/Recipe"));
}

}  // namespace
