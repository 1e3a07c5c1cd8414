// Completion as a user meets it: the script `rcpstore help --bash-completion`
// prints, sourced by an interactive bash on a terminal of its own, with the
// default word breaks and no completion helpers installed, and TAB pressed
// on command lines against a real store.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>

#include "RcpstoreRun.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// An interactive bash on a pseudo-terminal. Keys go in as typed; Ctrl-X
// Ctrl-P prints the line being edited between << and >> and empties it,
// which shows what completion left there. Nothing typed is a key the
// terminal acts on itself (as Ctrl-U is), so keys that arrive while bash is
// not reading them wait for it.
class Terminal {
 public:
  explicit Terminal(const std::map<std::string, std::string>& env) {
    struct winsize size {};
    size.ws_row = 60;
    size.ws_col = 250;
    pid_ = forkpty(&fd_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      execlp("bash", "bash", "--norc", "--noprofile", "-i", nullptr);
      _exit(127);
    }
  }
  ~Terminal() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void Type(const std::string& keys) {
    for (size_t done = 0; done < keys.size();) {
      ssize_t n = write(fd_, keys.data() + done, keys.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // What the terminal shows up to and with the end text; "" after a minute
  // without it.
  std::string ReadUntil(const std::string& end) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      size_t at = shown_.find(end);
      if (at != std::string::npos) {
        std::string out = shown_.substr(0, at + end.size());
        shown_.erase(0, at + end.size());
        return out;
      }
      struct pollfd poll_fd {
        fd_, POLLIN, 0
      };
      char buf[4096];
      if (poll(&poll_fd, 1, 1000) <= 0) continue;
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      shown_.append(buf, static_cast<size_t>(n));
    }
    return "";
  }

  // Types the keys at an empty line; what the terminal showed meanwhile and
  // the line as they left it.
  std::pair<std::string, std::string> Edit(const std::string& keys) {
    Type(keys + "\x18\x10");
    std::string shown = ReadUntil(">>");
    size_t open = shown.rfind("<<");
    if (open == std::string::npos) return {shown, "(no line)"};
    return {shown.substr(0, open), shown.substr(open + 2, shown.size() - open - 4)};
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string shown_;
};

// Every file below a directory with its size and time of change.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    struct stat st;
    if (lstat(entry.path().c_str(), &st) != 0) continue;
    files[entry.path().string()] =
        std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return files;
}

class CliCompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::MakeDirs(tmp_ / "io");
    qvtest::MakeDirs(station_);
    qvtest::MakeDirs(tmp_ / "work/subdir");
    qvtest::WriteFile(tmp_ / "work/lines.txt", "tree @Line1\n");
  }

  void Ok(const std::vector<std::string>& words) {
    qvtest::Outcome run = qvtest::RunRcpstore(tmp_.path(), station_, words, tmp_ / "io");
    ASSERT_EQ(run.status, 0) << words[0] << " " << words[1] << "\n" << run.err;
  }

  // @Line1 with groups 1 (Bread) and 12 (Cakes); recipes 1 (Dough, unit 3
  // Mixer) and 2 (Rye) in group 1, one in group 12; sub-groups Daily (with
  // Night inside) and "Night shift" in group 1. @Other has no groups.
  void MakeStore() {
    Ok({"project", "create", "P", tmp_.path()});
    Ok({"project", "register", "Line1", tmp_ / "P"});
    Ok({"project", "create", "Q", tmp_.path()});
    Ok({"project", "register", "Other", tmp_ / "Q"});
    Ok({"group", "create", "@Line1", "1", "--comment", "Bread"});
    Ok({"group", "create", "@Line1", "12", "--comment", "Cakes"});
    Ok({"recipe", "create", "@Line1/1", "1"});
    Ok({"recipe", "set", "@Line1/1/1", "--title", "Dough", "--unit", "3=Mixer"});
    Ok({"unit", "create", "@Line1/1/1", "3"});
    Ok({"recipe", "create", "@Line1/1", "2"});
    Ok({"recipe", "set", "@Line1/1/2", "--title", "Rye"});
    Ok({"recipe", "create", "@Line1/12", "7"});
    Ok({"subgroup", "add", "@Line1/1", "Daily"});
    Ok({"subgroup", "add", "@Line1/1", "Daily", "Night"});
    Ok({"subgroup", "add", "@Line1/1", "Night shift"});
  }

  // rcpstore __complete WORDS... as the completion script runs it.
  qvtest::Outcome Complete(const std::vector<std::string>& words) {
    std::string cmd = "cd " + qvtest::Quote(tmp_ / "work") + " && QVC_STATION_DIR=" + qvtest::Quote(station_) + " " +
                      RCPSTORE_BIN + " __complete";
    for (const std::string& word : words) cmd += " " + qvtest::Quote(word);
    cmd += " > " + qvtest::Quote(tmp_ / "io/out") + " 2> " + qvtest::Quote(tmp_ / "io/err");
    int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, qvtest::ReadFile(tmp_ / "io/out"),
            qvtest::ReadFile(tmp_ / "io/err")};
  }

  qvtest::TempDir tmp_;
  std::string station_ = tmp_ / "station";
};

TEST_F(CliCompletionTest, TabCompletesAddressesNamesWordsAndPathsInADefaultBash) {
  MakeStore();
  qvtest::Outcome script = qvtest::RunRcpstore(tmp_.path(), station_, {"help", "--bash-completion"}, tmp_ / "io");
  ASSERT_EQ(script.status, 0);
  qvtest::WriteFile(tmp_ / "rcpstore.bash", script.out);
  auto before = Snapshot(tmp_ / "P");
  auto logsBefore = Snapshot(station_);

  Terminal bash({{"PATH", fs::path(RCPSTORE_BIN).parent_path().string() + ":" + getenv("PATH")},
                 {"QVC_STATION_DIR", station_},
                 {"TERM", "dumb"},
                 {"INPUTRC", "/dev/null"},
                 {"HISTFILE", "/dev/null"}});
  bash.Type(
      "PS1='$ '; bind 'set bell-style none'; bind 'set page-completions off'\n"
      "bind -x '\"\\C-x\\C-p\": printf \"<<%s>>\\n\" \"$READLINE_LINE\"; READLINE_LINE='\n"
      "source " +
      qvtest::Quote(tmp_ / "rcpstore.bash") + "; cd " + qvtest::Quote(tmp_ / "work") + "; echo RE''ADY\n");
  ASSERT_NE(bash.ReadUntil("READY\r\n"), "");
  ASSERT_NE(bash.ReadUntil("$ "), "");  // readline reads keys from here on

  struct Case {
    std::string keys;                 // typed at an empty line, tabs included
    std::string line;                 // the line completion leaves
    std::vector<std::string> listed;  // shown in the list of candidates
  };
  const Case cases[] = {
      // Addresses at every level; a level that goes deeper ends in '/'.
      {"rcpstore recipe copy @L\t", "rcpstore recipe copy @Line1/", {}},
      {"rcpstore recipe copy @Line1/\t", "rcpstore recipe copy @Line1/1", {}},
      // A second TAB lists the candidates with their descriptions.
      {"rcpstore group info @Line1/1\t\t", "rcpstore group info @Line1/1", {"@Line1/1   Bread", "@Line1/12  Cakes"}},
      {"rcpstore recipe info @Line1/1/\t\t",
       "rcpstore recipe info @Line1/1/",
       {"@Line1/1/1  Dough", "@Line1/1/2  Rye"}},
      {"rcpstore recipe info @Line1/12/\t", "rcpstore recipe info @Line1/12/7 ", {}},
      {"rcpstore tree @O\t", "rcpstore tree @Other ", {}},
      {"rcpstore unit delete @Line1/1/1/\t", "rcpstore unit delete @Line1/1/1/3 ", {}},
      {"rcpstore unit delete @Line1/1/1 \t", "rcpstore unit delete @Line1/1/1 3 ", {}},
      {"rcpstore unit create @Line1/1/1/3\t\t", "rcpstore unit create @Line1/1/1/3", {"30", "31", "32"}},
      {"rcpstore subgroup put @Line1/1 1,\t\t", "rcpstore subgroup put @Line1/1 1,", {"1,1  Dough", "1,2  Rye"}},
      {"rcpstore log --project=@Li\t", "rcpstore log --project=@Line1 ", {}},
      // Sub-group names, level by level, quoted for the shell.
      {"rcpstore subgroup move @Line1/1/2 D\t", "rcpstore subgroup move @Line1/1/2 Daily ", {}},
      {"rcpstore subgroup move @Line1/1/2 Daily \t", "rcpstore subgroup move @Line1/1/2 Daily Night ", {}},
      {"rcpstore subgroup remove @Line1/1 N\t", "rcpstore subgroup remove @Line1/1 Night\\ shift ", {}},
      {"rcpstore subgroup remove @Line1/1 Night\\ s\t", "rcpstore subgroup remove @Line1/1 Night\\ shift ", {}},
      // Command words and options.
      {"rcpstore sub\t", "rcpstore subgroup ", {}},
      {"rcpstore recipe bu\t", "rcpstore recipe bump-version ", {}},
      {"rcpstore help recipe co\t", "rcpstore help recipe copy ", {}},
      {"rcpstore recipe set @Line1/1/1 --ti\t", "rcpstore recipe set @Line1/1/1 --title ", {}},
      // Paths where a command takes one; a station on the line is the one read.
      {"rcpstore batch ./li\t", "rcpstore batch ./lines.txt ", {}},
      {"rcpstore demo su\t", "rcpstore demo subdir/", {}},
      {"rcpstore --station=../sta\t", "rcpstore --station=../station/", {}},
      {"rcpstore --station subdir recipe copy @\t", "rcpstore --station subdir recipe copy @", {}},
      {"rcpstore --station=subdir tree @\t", "rcpstore --station=subdir tree @", {}},
  };
  for (const Case& c : cases) {
    auto [shown, line] = bash.Edit(c.keys);
    EXPECT_EQ(line, c.line) << c.keys;
    for (const std::string& listed : c.listed) EXPECT_NE(shown.find(listed), std::string::npos) << c.keys << shown;
  }
  // Completion reads: nothing in the project or the station's logs changed.
  EXPECT_EQ(Snapshot(tmp_ / "P"), before);
  auto logsAfter = Snapshot(station_);
  for (const char* log : {"/audit.log", "/errors.log", "/events.log"}) {
    EXPECT_EQ(logsAfter[station_ + log], logsBefore[station_ + log]) << log;
  }
}

// Names from disk reach the terminal escaped, and a line that names nothing
// completes to nothing, quietly.
TEST_F(CliCompletionTest, CandidatesAreSafeToPrintAndFailuresPrintNothing) {
  MakeStore();
  std::string file = tmp_ / "P/Recipe/RG01/RcpSubGroup.txt";
  qvtest::WriteFile(file, qvtest::ReadFile(file) + "STARTSUB,Ev\x1b]0;il\x07\r\nENDSUB,Ev\x1b]0;il\x07\r\n");
  EXPECT_EQ(Complete({"subgroup", "remove", "@Line1/1", "E"}).out, "Ev\\\\x1b\\]0\\;il\\\\x07\n");

  const std::vector<std::string> nothing[] = {
      {"recipe", "info", "@Nope/"},      {"recipe", "info", "@Line1/99/"},       {"recipe", "info", "@Line1/x/"},
      {"recipe", "info", "@Line1/1/1/"}, {"subgroup", "move", "@Line1/9/1", ""}, {"nosuch", ""},
  };
  for (const auto& words : nothing) {
    qvtest::Outcome run = Complete(words);
    EXPECT_EQ(run.status, 0) << words[0] << " " << words[1];
    EXPECT_EQ(run.out + run.err, "") << words[0] << " " << words[1];
  }
}

}  // namespace
