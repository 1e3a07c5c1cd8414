#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "RcpHidden.h"
#include "RcpLockText.h"
#include "RcpPlacement.h"
#include "RcpProjectFile.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace rcpstore {

namespace {

std::vector<int> DescriptorsNamed(const char* text) {
  std::vector<int> fds;
  for (const char* p = text; p != nullptr && *p != 0;) {
    char* end = nullptr;
    long fd = std::strtol(p, &end, 10);
    if (end == p) break;
    if (fd > STDERR_FILENO && fd < 65536) fds.push_back(static_cast<int>(fd));
    p = *end == ',' ? end + 1 : end;
  }
  return fds;
}

// Once a command holds the lock over its directories it finishes or undoes
// what killed commands left there, so that its re-run completes their work.
void CleanLeftovers(const std::vector<std::string>& directories) {
  for (const std::string& directory : directories) {
    if (!directory.empty()) CQVERcpUtil::CleanLeftovers(directory.c_str());
  }
}

struct KeptLock {
  std::string file;
  std::unique_ptr<CQVERcpLock> lock;
  // What the batch's commands settled under it: while it is kept no other
  // station changes the project's structure, so once is enough.
  std::set<std::string> settled;
};

// The locks kept by the KeptProjectLocks alive; null when none is.
std::vector<KeptLock>* g_kept = nullptr;

// The kept lock of the lock file, or null.
CQVERcpLock* Kept(const std::string& lockFile) {
  if (g_kept == nullptr) return nullptr;
  auto found = std::find_if(g_kept->begin(), g_kept->end(), [&](const KeptLock& kept) { return kept.file == lockFile; });
  return found == g_kept->end() ? nullptr : found->lock.get();
}

// Whether a command under the lock must settle what (a directory's
// leftovers, the project's cut-short moves): always, unless the lock is kept
// for a batch and an earlier command of the batch settled it.
bool FirstUnder(const std::string& lockFile, const std::string& what) {
  if (g_kept == nullptr) return true;
  auto found = std::find_if(g_kept->begin(), g_kept->end(), [&](const KeptLock& kept) { return kept.file == lockFile; });
  return found == g_kept->end() || found->settled.insert(what).second;
}

void Release(CQVERcpLock& lock) {
  qvplatform::DropHold(qvplatform::ShareDescriptor(lock.m_hLockFile));
  lock.Unlock();
}

// A recipe or a project (by name, address or directory): what has a lock.
Target Lockable(const std::string& given) {
  if (!NamesDirectory(given)) return ProjectTarget(given);
  Target target = AnyTarget(given);
  if (!target.group.empty() && target.recipe.empty()) {
    Fail("a recipe group has no lock of its own (its project's lock covers it)", QVERCP_ERR_INVALID_NAME);
  }
  return target;
}

// The holder as its lock file says, read without following a link or
// waiting on anything but a regular file.
rcplock::Holder ReadHolder(const std::string& file) {
  std::unique_ptr<qvplatform::ReadableFile> opened;
  if (qvplatform::CurrentEnv()->OpenForRead(file, &opened) != 0) return {};
  char text[rcplock::kTextLimit] = {};
  size_t got = 0;
  if (opened->Read(text, sizeof text, &got) != 0) got = 0;
  return rcplock::HolderOf(std::string_view(text, got));
}

}  // namespace

LockState ReadLockState(const std::string& given) {
  OpenedProjects opened;
  LockState state;
  state.target = Lockable(given);
  const Target& target = state.target;
  state.file = target.recipe.empty() ? target.project + "/RcpPjtLock.txt" : target.recipe + "/RcpLock.txt";
  state.held = qvplatform::IsHeld(state.file);
  if (!state.held) return state;
  rcplock::Holder holder = ReadHolder(state.file);
  state.station = holder.station;
  state.holder = holder.number;
  state.user = holder.user;
  state.process = holder.process;
  state.label = holder.label;
  return state;
}

KeptProjectLocks::KeptProjectLocks() { g_kept = new std::vector<KeptLock>(); }

KeptProjectLocks::~KeptProjectLocks() {
  for (KeptLock& kept : *g_kept) Release(*kept.lock);
  delete g_kept;
  g_kept = nullptr;
}

CommandLocks::CommandLocks() : inherited_(DescriptorsNamed(std::getenv(kLockFdsVariable))) {}

CommandLocks::~CommandLocks() { ReleaseAll(); }

void CommandLocks::LockProject(const Target& target) {
  std::string lockFile = target.project + "/RcpPjtLock.txt";
  if (CQVERcpLock* kept = Kept(lockFile)) {
    // Held for the whole batch; a command run under `lock` inherits it too.
    lastLockFile_ = lockFile;
    held_.push_back(qvplatform::ShareDescriptor(kept->m_hLockFile));
  } else {
    bool taken = Take(lockFile, [&](CQVERcpLock& lock, std::string* message) {
      return lock.LockProjectDirectory(target.projectName.c_str(), target.project.c_str(), 0, message, nullptr);
    });
    if (taken) KeepLast(lockFile);
  }
  for (const std::string& directory : {target.project, target.project + "/Recipe", target.group}) {
    if (directory.empty()) continue;
    if (FirstUnder(lockFile, directory)) {
      CleanLeftovers({directory});
    } else {
      rcphidden::CleanEachDirectoryOnce::RecordCleaned(directory);  // the command's own steps skip it too
    }
  }
  // A recipe's own directory changes under its recipe lock alone: always cleaned.
  CleanLeftovers({target.recipe});
  if (FirstUnder(lockFile, "moves and registration")) {  // no directory's name
    rcpplacement::SettleMoves(target.project);
    rcpproject::SettleRegistration(target.project);
  }
}

void CommandLocks::LockRecipe(const Target& target, const std::string& name) {
  Take(target.recipe + "/RcpLock.txt", [&](CQVERcpLock& lock, std::string* message) {
    return lock.LockRecipe(name.c_str(), 0, 0, target.recipe.c_str(), 0, message, nullptr);
  });
  CleanLeftovers({target.recipe});
}

bool CommandLocks::Take(const std::string& lockFile, const std::function<uint32_t(CQVERcpLock&, std::string*)>& lock) {
  lastLockFile_ = lockFile;
  if (Adopted(lockFile)) return false;
  auto taken = std::make_unique<CQVERcpLock>();
  std::string message;
  uint32_t rc = lock(*taken, &message);
  // The refusal says what failed: another holder, or the lock file's own failure.
  if (rc != 0 && !message.empty()) {
    if (message.back() == '.') message.pop_back();
    Fail(message, rc);
  }
  Check(rc);
  // This command's own hold is no other's: its in-use checks must not count it.
  int fd = qvplatform::ShareDescriptor(taken->m_hLockFile);
  qvplatform::AdoptHold(lockFile, fd);
  held_.push_back(fd);
  taken_.push_back(std::move(taken));
  return true;
}

void CommandLocks::KeepLast(const std::string& lockFile) {
  if (g_kept == nullptr) return;
  std::erase(held_, qvplatform::ShareDescriptor(taken_.back()->m_hLockFile));
  g_kept->push_back({lockFile, std::move(taken_.back()), {}});
  taken_.pop_back();
}

bool CommandLocks::Adopted(const std::string& lockFile) {
  for (int fd : inherited_) {
    if (qvplatform::AdoptHold(lockFile, fd)) {
      held_.push_back(fd);
      return true;
    }
  }
  return false;
}

void CommandLocks::ReleaseAll() {
  while (!taken_.empty()) {
    std::erase(held_, qvplatform::ShareDescriptor(taken_.back()->m_hLockFile));
    Release(*taken_.back());
    taken_.pop_back();
  }
}

std::string CommandLocks::HandDown() const {
  std::vector<int> fds = inherited_;
  for (int fd : held_) {
    if (std::find(fds.begin(), fds.end(), fd) == fds.end()) fds.push_back(fd);
  }
  std::string text;
  for (int fd : fds) text += (text.empty() ? "" : ",") + std::to_string(fd);
  return text;
}

void CommandLocks::KeepAcrossExec() const {
  for (int fd : held_) fcntl(fd, F_SETFD, 0);
}

int CommandLocks::RunHolding(const std::vector<std::string>& command) const {
  if (command.empty()) Fail("no command to run", ERROR_INVALID_PARAMETER);
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::string handDown = HandDown();
  // The child tells through a pipe closed by a successful exec why it could not start.
  int failed[2];
  if (pipe2(failed, O_CLOEXEC) != 0) Fail("cannot start " + command[0], ERROR_NOT_ENOUGH_MEMORY);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    KeepAcrossExec();
    setenv(kLockFdsVariable, handDown.c_str(), 1);
    execvp(argv[0], argv.data());
    int error = errno;
    [[maybe_unused]] ssize_t told = write(failed[1], &error, sizeof error);
    _exit(127);
  }
  close(failed[1]);
  int error = 0;
  ssize_t told = child < 0 ? 0 : read(failed[0], &error, sizeof error);
  close(failed[0]);
  if (child < 0) Fail("cannot start " + command[0], ERROR_NOT_ENOUGH_MEMORY);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (told == sizeof error) Fail("cannot run " + command[0] + ": " + std::strerror(error), ERROR_FILE_NOT_FOUND);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace rcpstore
