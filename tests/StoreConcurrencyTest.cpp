// The store under several creators and readers at once: processes released
// at the same moment to create one group or recipe number, and two threads
// listing two recipes over and over. One creator wins and nothing replaces
// its work; a listing on one thread never shows what another thread read.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "LibQVBRcpEpa.h"
#include "TestSupport.h"

namespace {

// Runs op in `count` processes released at the same moment; their exit codes.
std::vector<int> RaceInProcesses(int count, const std::function<int(int)>& op) {
  int gate[2];
  if (pipe(gate) != 0) return {};
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char go;
      _exit(read(gate[0], &go, 1) == 0 ? op(i) : 99);
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // end of file releases every child at once
  std::vector<int> codes;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return codes;
}

TEST(StoreConcurrencyTest, ProcessesCreatingTheSameNumberNeverReplaceOneAnother) {
  qvtest::TempDir tmp;
  const std::string project = tmp / "P1";
  const std::string group = project + "/Recipe/RG02";
  qvtest::MakeDirs(project + "/Recipe");
  std::vector<int> groups = RaceInProcesses(6, [&](int) {
    uint32_t rc = CQVERcpUtil::CreateRecipeGroup(project.c_str(), 2);
    return rc == 0 ? 0 : rc == QVC_ERR_EXISTS ? 1 : 2;
  });
  EXPECT_EQ(std::count(groups.begin(), groups.end(), 0), 1);
  EXPECT_EQ(std::count(groups.begin(), groups.end(), 1), 5) << ::testing::PrintToString(groups);

  std::vector<int> recipes = RaceInProcesses(6, [&](int i) {
    std::string head = "H" + std::to_string(i);
    uint32_t rc = CQVERcpUtil::CreateRecipe(head.c_str(), group.c_str(), 5, nullptr);
    return rc == 0 ? 10 + i : rc == QVC_ERR_EXISTS ? 1 : rc & 0xff;
  });
  ASSERT_EQ(std::count(recipes.begin(), recipes.end(), 1), 5) << ::testing::PrintToString(recipes);
  int winner = *std::max_element(recipes.begin(), recipes.end()) - 10;
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  ASSERT_EQ(CQVERcpUtil::GetRcpInfo((group + "/RCP0005").c_str(), &number, &info), 0u);
  EXPECT_EQ(info.strHeadName, "H" + std::to_string(winner));
  // No loser's build is left beside the winner's recipe, hidden or not.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(group)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"RCP0005", "RcpGrAttr.txt"}));
}

// The files of a recipe directory, with their unit numbers and texts.
std::string Listing(const std::string& recipe) {
  CQVERcpFileInfoArray files;
  CQVERcpUtil::GetFileList(recipe.c_str(), files);
  std::string out;
  for (const auto& f : files) {
    out += f->GetFileName() + ":" + std::to_string(f->m_nUnitNo) + ":" + f->m_strTitle + ":" + f->m_strComment + ";";
  }
  return out;
}

TEST(StoreConcurrencyTest, ListingsOnTwoThreadsGiveWhatEachGivesAlone) {
  qvtest::TempDir tmp;
  const std::string group = tmp / "P/Recipe/RG03";
  qvtest::MakeDirs(group);
  std::vector<std::string> recipes;
  for (unsigned n : {12u, 13u}) {
    ASSERT_EQ(CQVERcpUtil::CreateRecipe("HEAD", group.c_str(), n, nullptr), 0u);
    recipes.push_back(group + "/RCP00" + std::to_string(n));
    _QVERcpFileDetailInfo info;
    info.strTitle = "Recipe " + std::to_string(n);
    info.strComment = "Comment " + std::to_string(n);
    info.strUnitComment[0] = "Unit of " + std::to_string(n);
    ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipes.back().c_str(), &info), 0u);
    ASSERT_EQ(CQVERcpUtil::CreateUnitRecipe("U", recipes.back().c_str(), 1, nullptr), 0u);
  }
  std::atomic<int> mismatches{0};
  auto run = [&](const std::string& dir, const std::string& want) {
    for (int i = 0; i < 200; ++i) {
      if (Listing(dir) != want) ++mismatches;
    }
  };
  std::thread a(run, recipes[0], Listing(recipes[0]));
  std::thread b(run, recipes[1], Listing(recipes[1]));
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
