// Every changing command of rcpstore, run by root on a shared project while
// a second user (uid 65534) swaps the store's directories, and the hidden
// builds and trash it finds, for links into root's private copy of the same
// store, back and forth as fast as it can. However the swaps fall, nothing
// outside the store may be read into it, written, moved or removed: the
// private tree keeps every byte and mode, and no private file ever turns up
// in the shared store or in an exported archive.
//
// QV_RACE_RUNS sets the runs per command (20 by default, as in CI; the long
// run uses 1000). Each command prints one line of figures.
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "RcpstoreRun.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kAttacker = 65534;  // "nobody"
constexpr char kSecret[] = "secret.txt";

// What the attacker is told and what it answers, in memory shared with it.
struct Control {
  std::atomic<int> command{0};  // 0 swap, 1 pause, 2 stop
  std::atomic<int> paused{0};
  std::atomic<long> swaps{0};
};

// A directory of the shared store and the private one the attacker points
// a link at in its place.
struct Swap {
  std::string shared;
  std::string victim;
};

// The attacker's process, stopped and reaped however the test ends.
class Attacker {
 public:
  explicit Attacker(Control* control) : control_(control) {}
  ~Attacker() {
    if (pid_ > 0) Stop();
  }
  void Started(pid_t pid) { pid_ = pid; }
  // True when it ran as the second user to the end.
  bool Stop() {
    control_->command.store(2);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  Control* control_;
  pid_t pid_ = -1;
};

// Every entry below a directory with its type, mode and content; links are
// recorded as links, never followed.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st;
    lstat(entry.path().c_str(), &st);
    std::string what = std::to_string(st.st_mode) + ":" + std::to_string(st.st_uid);
    if (S_ISREG(st.st_mode)) what += ":" + qvtest::ReadFile(entry.path());
    out[entry.path().string().substr(root.size())] = what;
  }
  return out;
}

// The paths that were added, removed or changed between two snapshots.
std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after) {
  std::vector<std::string> changed;
  for (const auto& [path, what] : before) {
    auto now = after.find(path);
    if (now == after.end()) changed.push_back("removed " + path);
    if (now != after.end() && now->second != what) changed.push_back("changed " + path);
  }
  for (const auto& [path, what] : after) {
    if (before.count(path) == 0) changed.push_back("added " + path);
  }
  return changed;
}

// The paths of every file named secret.txt below root (links not entered).
std::vector<std::string> SecretsBelow(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename() == kSecret) found.push_back(entry.path());
  }
  return found;
}

// The entry names of a gzip'd tar archive.
std::vector<std::string> ArchiveNames(const std::string& path) {
  std::vector<std::string> names;
  archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
  if (archive_read_open_filename(a, path.c_str(), 65536) == ARCHIVE_OK) {
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK) names.push_back(archive_entry_pathname(entry));
  }
  archive_read_free(a);
  return names;
}

// One swap in the attacker: the directory and a link to the private one
// exchange names for a moment, then exchange back; whatever a victim did
// meanwhile, the directory goes back to its name if it can.
void SwapOnce(const Swap& swap, std::mt19937& random) {
  std::string link = fs::path(swap.shared).parent_path() / ".swap";
  std::error_code ignored;
  fs::remove_all(link, ignored);
  if (symlink(swap.victim.c_str(), link.c_str()) != 0) return;
  if (renameat2(AT_FDCWD, swap.shared.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
    if (renameat2(AT_FDCWD, swap.shared.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) != 0) {
      renameat2(AT_FDCWD, link.c_str(), AT_FDCWD, swap.shared.c_str(), RENAME_NOREPLACE);
    }
  }
  unlink(link.c_str());
}

// The hidden entries (builds, trash, an export's part file) in a directory.
std::vector<std::string> HiddenEntries(const std::string& directory) {
  std::vector<std::string> found;
  if (DIR* d = opendir(directory.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 2 && name[0] == '.' && name != ".swap") found.push_back(directory + "/" + name);
    }
    closedir(d);
  }
  return found;
}

[[noreturn]] void Attack(Control* control, const std::vector<Swap>& swaps, const std::vector<std::string>& hunted,
                         const std::string& victimDir) {
  if (setresgid(kAttacker, kAttacker, kAttacker) != 0 || setresuid(kAttacker, kAttacker, kAttacker) != 0) _exit(3);
  std::mt19937 random(getpid());
  while (control->command.load() != 2) {
    if (control->command.load() == 1) {
      control->paused.store(1);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      continue;
    }
    control->paused.store(0);
    std::vector<Swap> targets = swaps;
    for (const std::string& directory : hunted) {
      for (const std::string& hidden : HiddenEntries(directory)) targets.push_back({hidden, victimDir});
    }
    SwapOnce(targets[random() % targets.size()], random);
    control->swaps.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
  }
  _exit(0);
}

struct Command {
  const char* name;
  std::vector<std::string> words;  // {P} the project, {B} the backup directory, {A} a made archive
  bool unregisters = false;
};

const Command kCommands[] = {
    {"recipe_delete", {"recipe", "delete", "@Race/1/1"}},
    {"recipe_move", {"recipe", "move", "@Race/1/1", "@Race/2"}},
    {"recipe_copy", {"recipe", "copy", "@Race/1/1", "@Race/2"}},
    {"recipe_create", {"recipe", "create", "@Race/1", "5"}},
    {"recipe_set", {"recipe", "set", "@Race/1/1", "--title", "changed"}},
    {"unit_create", {"unit", "create", "@Race/1/1", "3"}},
    {"group_delete", {"group", "delete", "@Race/1", "--yes"}},
    {"project_delete", {"project", "delete", "{P}", "--yes"}, true},
    {"clean_temp", {"clean-temp", "@Race"}},
    {"verify_repair", {"verify", "@Race", "--repair"}},
    {"import_replace", {"import", "{A}", "{P}", "--replace"}},
    {"export", {"export", "@Race", "{B}/x.tgz"}},
    {"subgroup_add", {"subgroup", "add", "@Race/1", "Daily"}},
    {"subgroup_move", {"subgroup", "move", "@Race/1/1", "Weekly"}},
};

class RaceHarnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    previousMask_ = umask(0);  // the store's directories are the attacker's to write, as in a shared project
    chmod(tmp_.path().c_str(), 0755);
    for (const char* dir : {"shared", "shared/backup", "io"}) qvtest::MakeDirs(tmp_ / dir);
    qvtest::MakeDirs(tmp_ / "station");
    chmod((tmp_ / "station").c_str(), 0700);
    MakeStore();
    fs::copy(project(), tmp_ / "pristine", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    ASSERT_EQ(Rcpstore({"export", "@Race", tmp_ / "made.tgz"}).status, 0);
    MakePrivateCopy();
  }
  void TearDown() override {
    if (geteuid() == 0) umask(previousMask_);
  }

  std::string project() const { return tmp_ / "shared/Plant"; }
  std::string privateProject() const { return tmp_ / "private/Plant"; }

  qvtest::Outcome Rcpstore(const std::vector<std::string>& words) {
    std::vector<std::string> expanded;
    for (std::string word : words) {
      if (word == "{P}") word = project();
      if (word == "{A}") word = tmp_ / "made.tgz";
      if (word.rfind("{B}", 0) == 0) word = tmp_ / "shared/backup" + word.substr(3);
      expanded.push_back(word);
    }
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / "station", expanded, tmp_ / "io");
  }

  void MakeStore() {
    const std::vector<std::vector<std::string>> steps = {
        {"project", "create", "Plant", tmp_ / "shared"},
        {"project", "register", "Race", project()},
        {"group", "create", "@Race", "1"},
        {"group", "create", "@Race", "2"},
        {"recipe", "create", "@Race/1", "1"},
        {"recipe", "create", "@Race/1", "2"},
        {"recipe", "create", "@Race/2", "1"},
        {"unit", "create", "@Race/1/1", "1"},
        {"subgroup", "add", "@Race/1", "Weekly"}};
    for (const auto& step : steps) ASSERT_EQ(Rcpstore(step).status, 0) << step[0] << " " << step[1];
    qvtest::MakeDirs(project() + "/Recipe/RG01/RCP0001/TEMP");
    qvtest::WriteFile(project() + "/Recipe/RG01/RCP0001/TEMP/work.dat", "work");
  }

  // Root's own copy of the store, out of the attacker's reach, with a
  // secret in every directory and a file where an export's part would go.
  void MakePrivateCopy() {
    qvtest::MakeDirs(tmp_ / "private");
    fs::copy(project(), privateProject(), fs::copy_options::recursive);
    for (const auto& entry : fs::recursive_directory_iterator(tmp_ / "private")) {
      if (entry.is_directory()) qvtest::WriteFile(entry.path() / kSecret, "root's own\n");
    }
    qvtest::WriteFile(tmp_ / (std::string("private/") + kSecret), "root's own\n");
    chmod((tmp_ / "private").c_str(), 0700);
  }

  // The shared store as it was made, the project registered, the backup
  // directory empty but for links planted at names an export might use.
  void Restore() {
    fs::remove_all(project());
    fs::copy(tmp_ / "pristine", project(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove_all(tmp_ / "shared/backup");
    qvtest::MakeDirs(tmp_ / "shared/backup");
    for (const char* name : {"x.tgz.part", ".x.tgz.part", "x.tgz.tmp"}) {
      symlink((tmp_ / (std::string("private/") + kSecret)).c_str(), (tmp_ / (std::string("shared/backup/") + name)).c_str());
    }
  }

  void Pause(Control* control) {
    control->command.store(1);
    while (control->paused.load() != 1) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }

  void Resume(Control* control) {
    control->command.store(0);
    while (control->paused.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }

  qvtest::TempDir tmp_;
  mode_t previousMask_ = 0;
};

TEST_F(RaceHarnessTest, NothingOutsideTheStoreIsEverReadWrittenMovedOrRemoved) {
  const char* runsText = std::getenv("QV_RACE_RUNS");
  const int runs = runsText != nullptr ? std::max(1, std::atoi(runsText)) : 20;
  const std::string store = project() + "/Recipe";
  const std::string mirror = privateProject() + "/Recipe";
  const std::vector<Swap> swaps = {{project(), privateProject()},
                                   {store, mirror},
                                   {store + "/RG01", mirror + "/RG01"},
                                   {store + "/RG02", mirror + "/RG02"},
                                   {store + "/RG01/RCP0001", mirror + "/RG01/RCP0001"},
                                   {store + "/RG01/RCP0002", mirror + "/RG01/RCP0002"},
                                   {store + "/RG01/RCP0001/TEMP", mirror + "/RG01/RCP0001/TEMP"}};
  const std::vector<std::string> hunted = {tmp_ / "shared", project(), store, store + "/RG01", store + "/RG02",
                                           tmp_ / "shared/backup"};
  std::map<std::string, std::string> before = Snapshot(tmp_ / "private");

  auto* control = static_cast<Control*>(
      mmap(nullptr, sizeof(Control), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(control, MAP_FAILED);
  new (control) Control;
  control->command.store(1);
  Restore();
  Attacker attacker(control);
  pid_t pid = fork();
  if (pid == 0) Attack(control, swaps, hunted, mirror + "/RG01");
  attacker.Started(pid);

  for (const Command& command : kCommands) {
    int failed = 0;
    int reachedRuns = 0;
    int leakedRuns = 0;
    std::vector<std::string> reached;  // what runs did to the private files
    std::vector<std::string> leaked;   // private files that turned up in the shared store or an archive
    long swapsBefore = control->swaps.load();
    // Run 0 goes unswapped, and must work: the command is right as written.
    for (int run = 0; run <= runs; ++run) {
      Pause(control);
      Restore();
      if (run > 0) Resume(control);
      int status = Rcpstore(command.words).status;
      ASSERT_TRUE(run > 0 || status == 0) << command.name << " fails with no swaps";
      if (status != 0) ++failed;
      Pause(control);
      std::map<std::string, std::string> after = Snapshot(tmp_ / "private");
      std::vector<std::string> changes = Changed(before, after);
      before = after;
      std::vector<std::string> secrets = SecretsBelow(tmp_ / "shared");
      for (const std::string& name : ArchiveNames(tmp_ / "shared/backup/x.tgz")) {
        if (name.find(kSecret) != std::string::npos) secrets.push_back("x.tgz:" + name);
      }
      reachedRuns += changes.empty() ? 0 : 1;
      leakedRuns += secrets.empty() ? 0 : 1;
      reached.insert(reached.end(), changes.begin(), changes.end());
      leaked.insert(leaked.end(), secrets.begin(), secrets.end());
      if (command.unregisters) {
        Restore();
        ASSERT_EQ(Rcpstore({"project", "register", "Race", project()}).status, 0);
      }
    }
    std::printf("%-15s %d runs: %d refused or failed, %ld swaps; %d reached private files, %d leaked them\n",
                command.name, runs, failed, control->swaps.load() - swapsBefore, reachedRuns, leakedRuns);
    std::fflush(stdout);
    EXPECT_EQ(reached, std::vector<std::string>()) << command.name << " reached root's private files";
    EXPECT_EQ(leaked, std::vector<std::string>()) << command.name << " brought private files into the store";
  }
  EXPECT_TRUE(attacker.Stop()) << "the attacker could not drop to its uid";
}

}  // namespace
