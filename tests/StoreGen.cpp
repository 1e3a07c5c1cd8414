#include "StoreGen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "LibQVBRcpEpa.h"
#include "RcpHidden.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace qvtest {

namespace fs = std::filesystem;

namespace {

std::string Group(const std::string& project, int group) { return project + "/Recipe/" + QVFormat("RG%02d", group); }

std::string Recipe(const std::string& project, int group, int recipe) {
  return Group(project, group) + QVFormat("/RCP%04d", recipe);
}

void Expect(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("store generator: " + what);
}

// A child that does something and is killed before it can undo it.
void KilledAfter(const std::function<int()>& step) {
  ChildProcess child(step);
  Expect(child.started() == 0, "child step");
  child.Kill();
}

}  // namespace

void BuildStore(const std::string& parent, const std::string& name, int groups, int recipes,
                int firstGroupRecipes) {
  Expect(CQVERcpUtil::CreateProject(name.c_str(), parent.c_str()) == 0, "project");
  std::string project = parent + "/" + name;
  CQVERcpDirInfo first;
  first.m_strName = "RCP0001";
  for (int g = 1; g <= groups; ++g) {
    Expect(CQVERcpUtil::CreateRecipeGroup(project.c_str(), g) == 0, "group");
    for (int r = 1; r <= (g == 1 ? std::max(recipes, firstGroupRecipes) : recipes); ++r) {
      std::string recipe = Recipe(project, g, r);
      Expect(CQVERcpUtil::CreateRecipe("HEAD", Group(project, g).c_str(), r, nullptr) == 0, "recipe");
      Expect(CQVERcpUtil::CreateUnitRecipe("HEAD", recipe.c_str(), 0, nullptr) == 0, "procedure");
      Expect(CQVERcpUtil::CreateUnitRecipe("HEAD", recipe.c_str(), 1, nullptr) == 0, "unit");
    }
    Expect(CQVERcpUtil::InsertSubGroup(Group(project, g).c_str(), {"Area"}) == 0, "sub-group");
    Expect(CQVERcpUtil::InsertItemToSubGroup(Group(project, g).c_str(), {"Area"}, &first) == 0, "placement");
  }
}

std::vector<Defect> PlantDefects(const std::string& project) {
  const std::string root = project + "/Recipe";
  auto group = [&](int g) { return Group(project, g); };
  auto recipe = [&](int r) { return Recipe(project, 1, r); };
  std::vector<Defect> defects;
  auto plant = [&](const std::string& path, const char* kind, bool repairable) {
    defects.push_back({path, kind, repairable});
  };

  MakeDirs(root + "/Junk");
  plant(root + "/Junk", "strayDirectory", false);
  MakeDirs(root + "/RG17");
  plant(root + "/RG17", "groupNumber", false);
  fs::remove(root + "/RcpPJTAttr.txt");
  plant(root + "/RcpPJTAttr.txt", "missingFile", true);
  KilledAfter([&] {
    static CQVERcpLock lock;
    return static_cast<int>(lock.LockProjectDirectory("P", project.c_str(), 0, nullptr, nullptr));
  });
  plant(project + "/RcpPjtLock.txt", "staleLock", true);

  fs::remove(group(2) + "/RcpGrAttr.txt");
  plant(group(2) + "/RcpGrAttr.txt", "missingFile", true);
  fs::remove(group(3) + "/RcpGrAttr.txt");
  MakeDirs(group(3) + "/RcpGrAttr.txt");
  plant(group(3) + "/RcpGrAttr.txt", "unreadableFile", false);
  MakeDirs(group(4) + "/RCP1001");
  plant(group(4) + "/RCP1001", "recipeNumber", false);
  const std::string subGroups = "/RcpSubGroup.txt";
  WriteFile(group(5) + subGroups, ReadFile(group(5) + subGroups) + "NODE,RCP0099\r\n");
  plant(group(5) + subGroups, "unknownRecipeNode", true);
  WriteFile(group(6) + subGroups, ReadFile(group(6) + subGroups) + "NODE,RCP0001\r\n");
  plant(group(6) + subGroups, "repeatedNode", true);
  WriteFile(group(7) + subGroups, ReadFile(group(7) + subGroups) + "STARTSUB,Open\r\nNODE,RCP0003\r\n");
  plant(group(7) + subGroups, "unclosedSubGroup", true);
  WriteFile(group(8) + subGroups, "ENDSUB,Nothing\r\n" + ReadFile(group(8) + subGroups));
  plant(group(8) + subGroups, "unopenedEndSub", true);
  WriteFile(group(9) + "/RcpSubGroupwork.txt", "STARTSUB,Half");
  plant(group(9) + "/RcpSubGroupwork.txt", "leftover", true);
  std::string build;
  KilledAfter([&] {
    static rcphidden::HiddenBuild hidden(group(10), "RCP0012");
    return static_cast<int>(hidden.Begin());
  });
  for (const auto& entry : fs::directory_iterator(group(10))) {
    std::string name = entry.path().filename().string();
    if (name.rfind(".RCP0012.new-", 0) == 0 && entry.is_directory()) build = entry.path().string();
  }
  plant(build, "leftover", true);  // its hold file goes with it
  fs::rename(group(11) + "/RCP0002", group(11) + "/.RCP0002.trash-77-ab");
  plant(group(11) + "/.RCP0002.trash-77-ab", "leftover", true);
  fs::rename(group(12) + "/RCP0002", group(12) + "/RCP00021765000000");
  plant(group(12) + "/RCP00021765000000", "checkName", true);
  WriteFile(group(13) + "/.RCP0005.new-1-ab.hold", "");
  plant(group(13) + "/.RCP0005.new-1-ab.hold", "leftover", true);

  fs::remove(recipe(2) + "/RcpHead.edf");
  plant(recipe(2) + "/RcpHead.edf", "missingFile", false);
  fs::resize_file(recipe(3) + "/RcpHead.edf", 20);
  plant(recipe(3) + "/RcpHead.edf", "damagedFile", false);
  WriteFile(recipe(4) + "/RcpPT01.edf", "not a data file");
  plant(recipe(4) + "/RcpPT01.edf", "damagedFile", false);
  WriteFile(recipe(5) + "/RcpPT33.edf", ReadFile(recipe(5) + "/RcpPT01.edf"));
  plant(recipe(5) + "/RcpPT33.edf", "unitNumber", false);
  fs::create_symlink("/etc/passwd", recipe(6) + "/RcpPT02.edf");
  plant(recipe(6) + "/RcpPT02.edf", "specialFile", false);
  Expect(mkfifo((recipe(7) + "/Pipe").c_str(), 0600) == 0, "fifo");
  plant(recipe(7) + "/Pipe", "specialFile", false);
  KilledAfter([&] {
    static CQVERcpLock lock;
    return static_cast<int>(lock.LockRecipe("RCP0008", 0, 0, recipe(8).c_str(), 0, nullptr, nullptr));
  });
  plant(recipe(8) + "/RcpLock.txt", "staleLock", true);
  WriteFile(recipe(9) + "/RcpHead.edf.new", "half a header");
  plant(recipe(9) + "/RcpHead.edf.new", "leftover", true);
  fs::remove(recipe(10) + "/RcpRP.edf");
  MakeDirs(recipe(10) + "/RcpRP.edf");
  plant(recipe(10) + "/RcpRP.edf", "unreadableFile", false);
  fs::copy_file(recipe(11) + "/RcpRP.edf", recipe(11) + "/RcpHead.edf", fs::copy_options::overwrite_existing);
  plant(recipe(11) + "/RcpHead.edf", "damagedFile", false);
  return defects;
}

std::map<std::string, std::string> Snapshot(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(directory); it != fs::recursive_directory_iterator(); ++it) {
    std::string name = it->path().filename().string();
    if (name[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file() && !it->is_symlink()) {
      files[fs::relative(it->path(), directory).string()] = ReadFile(it->path().string());
    }
  }
  return files;
}

}  // namespace qvtest
