// A program of a plant built against the installed store with its public
// API only: it resolves a group by its address, creates a recipe under the
// store's locks, moves it into a sub-group and reads the tree with its
// title, checking the change report of each step; then it is refused a
// create while another process holds the project lock and, as a user
// without the create right, once security is on. Run as root.
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <LibQVBRcpEpa/Changes.h>
#include <LibQVBRcpEpa/Failure.h>
#include <LibQVBRcpEpa/Locks.h>
#include <LibQVBRcpEpa/Reads.h>
#include <LibQVBRcpEpa/Station.h>
#include <LibQVBRcpEpa/Target.h>
#include <cstdio>
#include <string>

using namespace rcpstore;

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "api_example: %s\n", what);
    ++failures;
  }
}

bool OneChange(const ChangeReport& report, Change::Verb verb, StoreItem::Kind kind) {
  return report.size() == 1 && report[0].verb == verb && report[0].item.kind == kind;
}

const TreeNode* Find(const TreeNode& node, unsigned recipeNo) {
  if (node.kind == StoreItem::Kind::kRecipe && node.target.recipeNo == recipeNo) return &node;
  for (const TreeNode& child : node.children) {
    if (const TreeNode* found = Find(child, recipeNo)) return found;
  }
  return nullptr;
}

// The failure code of a create of recipe 8, run in a child process that
// first becomes another user of the station's group when one is given; 0
// when it succeeded.
uint32_t CreateInChild(uid_t user) {
  struct stat station;
  if (stat(ReadStationInfo().directory.c_str(), &station) != 0) return 1;
  int pipefd[2];
  if (pipe(pipefd) != 0) return 1;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipefd[0]);
    gid_t groups[] = {station.st_gid};
    if (user != 0 && (setgroups(1, groups) != 0 || setresgid(user, user, user) != 0 ||
                      setresuid(user, user, user) != 0)) {
      _exit(99);
    }
    uint32_t code = 0;
    try {
      CreateRecipe("@P/1", 8, "R8");
    } catch (const Failure& failure) {
      code = failure.code;
    }
    ssize_t written = write(pipefd[1], &code, sizeof code);
    _exit(written == sizeof code ? 0 : 98);
  }
  close(pipefd[1]);
  uint32_t code = 1;
  if (read(pipefd[0], &code, sizeof code) != sizeof code) code = 1;
  close(pipefd[0]);
  waitpid(pid, nullptr, 0);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  try {
    CreateProject("Plant", dir);
    RegisterProject("P", dir + "/Plant");
    CreateGroup("@P", 1);

    Target group = GroupTarget("@P/1");
    Expect(group.groupNo == 1 && group.group == dir + "/Plant/Recipe/RG01", "@P/1 resolves to its group");
    Expect(OneChange(CreateRecipe("@P/1", 7, "R7"), Change::Verb::kMade, StoreItem::Kind::kRecipe),
           "a create reports the recipe made");
    RecipeTexts texts;
    texts.title = "Dough";
    Expect(OneChange(SetRecipeTexts("@P/1/7", texts), Change::Verb::kChanged, StoreItem::Kind::kRecipe),
           "a change of texts reports the recipe changed");
    Expect(OneChange(AddSubGroup("@P/1", {"Trials"}), Change::Verb::kMade, StoreItem::Kind::kSubGroup),
           "a new sub-group is reported made");
    ChangeReport moved = MoveToSubGroup("@P/1", {7}, {"Trials"});
    Expect(OneChange(moved, Change::Verb::kChanged, StoreItem::Kind::kRecipe) && moved[0].item.subGroup == "Trials",
           "a recipe moved into a sub-group is reported there");

    TreeNode tree = ReadTree(ProjectTarget("@P"), TreeRead{});
    const TreeNode* recipe = Find(tree, 7);
    Expect(recipe != nullptr && recipe->head.title == "Dough" && recipe->subGroup == "Trials",
           "the tree shows the recipe with its title in its sub-group");
    Expect(UnreadNodes(tree) == 0, "every node of the tree is read");

    // Another process holds the project lock.
    {
      int ready[2];
      if (pipe(ready) != 0) return 3;
      pid_t holder = fork();
      if (holder == 0) {
        close(ready[0]);
        CommandLocks locks;
        locks.LockProject(ProjectTarget("@P"));
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1) _exit(98);
        pause();
        _exit(0);
      }
      close(ready[1]);
      char byte = 0;
      Expect(read(ready[0], &byte, 1) == 1, "the holder takes the project lock");
      Expect(CreateInChild(0) == QVERCP_ERR_LOCKED, "a create is refused while another process holds the lock");
      kill(holder, SIGTERM);
      waitpid(holder, nullptr, 0);
    }

    // Security on: a user without the create right is refused.
    SwitchSecurity(true);
    Expect(CreateInChild(65534) == ERROR_ACCESS_DENIED, "a create is refused without the create right");
    SwitchSecurity(false);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "api_example: %s (0x%08X)\n", failure.cause.c_str(), failure.code);
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
