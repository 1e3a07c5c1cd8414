// A child process that holds something until it is killed, for tests that
// need a real second station.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "LibQVBRcpEpa.h"

namespace qvtest {

class ChildProcess {
 public:
  // Runs setup in a child; the child reports setup's result and then waits
  // to be killed. started() is that result.
  explicit ChildProcess(const std::function<int()>& setup) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      int rc = setup();
      if (write(fds[1], &rc, sizeof rc) != sizeof rc) _exit(1);
      for (;;) pause();
    }
    close(fds[1]);
    if (read(fds[0], &result_, sizeof result_) != sizeof result_) result_ = -1;
    close(fds[0]);
  }
  ~ChildProcess() { Kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int started() const { return result_; }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int result_ = -1;
};

// A second station holding the lock of a recipe directory, or with no
// recipe, of the project (registered as Demo) at project.
inline ChildProcess HoldLock(const std::string& recipeDir, const std::string& project) {
  return ChildProcess([=] {
    auto* lock = new CQVERcpLock;  // lives until the process is killed
    return static_cast<int>(recipeDir.empty()
                                ? lock->LockProjectDirectory("Demo", project.c_str(), 0, nullptr, nullptr)
                                : lock->LockRecipe("RCP0001", 0, 0, recipeDir.c_str(), 0, nullptr, nullptr));
  });
}

}  // namespace qvtest
