// A child process that holds something until it is killed, for tests that
// need a real second station.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

#include "LibQVBRcpEpa.h"
#include "libqvecommon/QVEEngFile.h"
#include "platform/FileApi.h"

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
  pid_t pid() const { return pid_; }
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

// Holds a file for writing, sharing reading only, as an editing station
// does; given a text, the file is made afresh with it. A ChildProcess's setup.
inline int HoldFile(const std::string& path, const std::optional<std::string>& text = std::nullopt) {
  HANDLE handle;
  uint32_t rc = QVEEngCreateFile(path.c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ,
                                 text ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr, &handle, 0);
  DWORD written = 0;
  if (rc != 0 || !text) return static_cast<int>(rc);
  return ::WriteFile(handle, text->data(), static_cast<DWORD>(text->size()), &written, nullptr) ? 0 : -1;
}

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
