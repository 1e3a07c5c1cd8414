// rcpstore lock and rcpstore clean-temp.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace rcpstore {

namespace {

struct LockArgs {
  std::string target;
  std::string name;
  std::vector<std::string> command;
  bool json = false;
};

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

// Holds until standard input closes or SIGINT or SIGTERM arrives.
void HoldUntilReleased() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  char buf[256];
  while (g_stop == 0) {
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
}

// Runs the command and gives its exit status (128 + signal when killed).
int RunCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return ReportFailure("lock: " + command[0], ERROR_NOT_ENOUGH_MEMORY);
  if (child == 0) {
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "rcpstore: lock: cannot run %s\n", argv[0]);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int HoldLock(CQVERcpLock& lock, uint32_t rc, const std::string& what, const std::vector<std::string>& command) {
  if (rc != 0) return ReportFailure(what, rc);
  std::fprintf(stderr, "rcpstore: %s: locked (%s)\n", what.c_str(), lock.m_strLockFile.c_str());
  int status = kExitOk;
  if (command.empty()) {
    HoldUntilReleased();
  } else {
    status = RunCommand(command);
  }
  rc = lock.Unlock();
  if (rc != 0) return ReportFailure(what + ": unlock", rc);
  return status;
}

int LockProject(const LockArgs& args) {
  CQVERcpLock lock;
  uint32_t rc = lock.LockProject(args.target.c_str(), QVERCP_REPORT_MSGBUF, nullptr, nullptr);
  return HoldLock(lock, rc, "lock project " + args.target, args.command);
}

int LockRecipe(const LockArgs& args) {
  CQVERcpLock lock;
  std::string name = args.name;
  if (name.empty()) {
    CString parent;
    CString last;
    QVEEngSplitFilePath(args.target.c_str(), 1, parent, last);
    name = last;
  }
  uint32_t rc = lock.LockRecipe(name.c_str(), 0, 0, args.target.c_str(), QVERCP_REPORT_MSGBUF, nullptr, nullptr);
  return HoldLock(lock, rc, "lock recipe " + args.target, args.command);
}

// A directory is a recipe directory; anything else a registered project.
int Status(const LockArgs& args) {
  qvplatform::FileStat st;
  CString file;
  if (qvplatform::CurrentEnv()->Stat(args.target, &st) == 0 && st.type == qvplatform::EntryType::kDirectory) {
    file = args.target;
    QVEEngCatPath(file, "RcpLock.txt");
  } else {
    _QVERcpProjectInfo info{};
    uint32_t rc = CQVERcpUtil::GetProjectInfo(args.target.c_str(), &info);
    if (info.strPath.empty()) return ReportFailure("lock status " + args.target, rc != 0 ? rc : ERROR_PATH_NOT_FOUND);
    file = info.strPath;
    QVEEngCatPath(file, "RcpPjtLock.txt");
  }
  bool held = qvplatform::IsHeld(file);
  char computer[256] = {};
  int number = 0;
  if (FILE* f = std::fopen(qvplatform::CurrentEnv()->Resolve(file).c_str(), "rb")) {
    char text[256] = {};
    size_t got = std::fread(text, 1, sizeof text - 1, f);
    text[got] = 0;
    std::sscanf(text, "%255s\n%d", computer, &number);
    std::fclose(f);
  }
  if (args.json) {
    return PrintLine(JsonObject()
                         .Field("lockFile", file)
                         .Field("held", held)
                         .Field("computer", std::string(computer))
                         .Field("holder", static_cast<int64_t>(number))
                         .Text());
  }
  if (!held) return PrintLine("not locked (" + file + ")");
  return PrintLine("locked by " + std::string(computer) + " (holder " + std::to_string(number) + ")");
}

}  // namespace

void AddLockCommand(CLI::App& app, int* exitStatus) {
  auto* lock = app.add_subcommand("lock", "Lock a project or recipe against editing by other stations");
  lock->require_subcommand(1);
  auto args = std::make_shared<LockArgs>();
  const char* commandHelp = "Command to run while the lock is held (after --); without one, hold until "
                            "standard input closes or the process is interrupted";

  auto* p = lock->add_subcommand("project", "Lock a registered project");
  p->add_option("NAME", args->target, "Project name")->required();
  p->add_option("COMMAND", args->command, commandHelp);
  p->callback([=] { *exitStatus = LockProject(*args); });

  auto* r = lock->add_subcommand("recipe", "Lock a recipe");
  r->add_option("RECIPE_DIR", args->target, "Recipe directory")->required();
  r->add_option("--name", args->name, "Name of the lock in messages and events (default: the directory's name)");
  r->add_option("COMMAND", args->command, commandHelp);
  r->callback([=] { *exitStatus = LockRecipe(*args); });

  auto* s = lock->add_subcommand("status", "Whether a project or recipe is locked now, and by whom");
  s->add_option("TARGET", args->target, "Recipe directory, or the name of a registered project")->required();
  s->add_flag("--json", args->json, "Print JSON");
  s->callback([=] { *exitStatus = Status(*args); });

  auto* clean = app.add_subcommand("clean-temp", "Empty the TEMP directory of every recipe of a project");
  clean->add_option("PROJECT", args->target, "Project name")->required();
  clean->callback([=] {
    uint32_t rc = CQVERcpUtil::DeleteTempFile(args->target.c_str());
    *exitStatus = ExitFor("clean-temp " + args->target, rc);
  });
}

}  // namespace rcpstore
