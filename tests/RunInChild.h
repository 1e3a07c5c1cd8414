// Runs one call in a child process that must end within a time limit, so a
// test can tell a failure from a crash or a hang.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

namespace qvtest {

struct ChildOutcome {
  bool finished = false;  // ended before the limit (else killed)
  bool returned = false;  // ended by returning from the call (no crash)
  uint32_t rc = 0;        // the call's result
};

inline ChildOutcome RunInChild(const std::function<uint32_t()>& call, int limitMs = 5000) {
  ChildOutcome outcome;
  int fds[2];
  if (pipe(fds) != 0) return outcome;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    uint32_t rc = call();
    _exit(write(fds[1], &rc, sizeof rc) == sizeof rc ? 0 : 1);
  }
  close(fds[1]);
  int status = 0;
  const struct timespec step = {0, 2 * 1000 * 1000};
  for (int waited = 0; !outcome.finished && waited < limitMs; waited += 2) {
    outcome.finished = waitpid(pid, &status, WNOHANG) == pid;
    if (!outcome.finished) nanosleep(&step, nullptr);
  }
  if (!outcome.finished) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  outcome.returned = outcome.finished && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                     read(fds[0], &outcome.rc, sizeof outcome.rc) == sizeof outcome.rc;
  close(fds[0]);
  return outcome;
}

}  // namespace qvtest
