// A child process that holds something until it is killed, for tests that
// need a real second station.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

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

}  // namespace qvtest
