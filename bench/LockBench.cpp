// Lock benchmarks: uncontended lock and unlock cycles of one recipe, and
// processes contending for one project lock (the waits they see).
//
//   rcpstore-lockbench WORK_DIR [CYCLES] [PROCESSES]
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "LibQVBRcpEpa.h"
#include "platform/StationDir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void Uncontended(const std::string& recipe, int cycles) {
  CQVERcpLock lock;
  auto start = Clock::now();
  for (int i = 0; i < cycles; ++i) {
    if (lock.LockRecipe("R", 0, 0, recipe.c_str(), 0, nullptr, nullptr) != 0 || lock.Unlock() != 0) {
      std::fprintf(stderr, "lock failed\n");
      std::exit(1);
    }
  }
  double s = Seconds(Clock::now() - start);
  std::printf("uncontended recipe lock+unlock: %d cycles in %.3f s = %.0f cycles/s\n", cycles, s, cycles / s);
}

// Each process takes the lock `cycles` times, retrying at once when refused;
// it writes the wait of each take, in microseconds, to its pipe.
void Contend(int processes, int cycles) {
  std::vector<int> pipes;
  auto start = Clock::now();
  for (int p = 0; p < processes; ++p) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    if (fork() == 0) {
      close(fds[0]);
      for (int i = 0; i < cycles; ++i) {
        CQVERcpLock lock;
        auto asked = Clock::now();
        while (lock.LockProject("Bench", 0, nullptr, nullptr) != 0) sched_yield();
        double wait = Seconds(Clock::now() - asked) * 1e6;
        lock.Unlock();
        if (write(fds[1], &wait, sizeof wait) != sizeof wait) _exit(1);
      }
      _exit(0);
    }
    close(fds[1]);
    pipes.push_back(fds[0]);
  }
  std::vector<double> waits;
  for (int fd : pipes) {
    double wait;
    while (read(fd, &wait, sizeof wait) == sizeof wait) waits.push_back(wait);
    close(fd);
  }
  while (wait(nullptr) > 0) {
  }
  double s = Seconds(Clock::now() - start);
  std::sort(waits.begin(), waits.end());
  auto at = [&](double q) { return waits.empty() ? 0.0 : waits[static_cast<size_t>(q * (waits.size() - 1))]; };
  std::printf("%d processes contending for one project lock: %zu cycles in %.3f s = %.0f cycles/s; "
              "wait median %.0f us, p99 %.0f us\n",
              processes, waits.size(), s, waits.size() / s, at(0.5), at(0.99));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rcpstore-lockbench WORK_DIR [CYCLES] [PROCESSES]\n");
    return 2;
  }
  std::string work = argv[1];
  int cycles = argc > 2 ? std::atoi(argv[2]) : 5000;
  int processes = argc > 3 ? std::atoi(argv[3]) : 8;
  qvplatform::SetStationDirectory(work + "/station");
  std::filesystem::create_directories(work + "/Bench/Recipe/RG01/RCP0001");
  _QVERcpProjectInfo info{};
  info.strPath = work + "/Bench";
  info.nStatus = 1;
  if (CQVERcpUtil::SetProjectInfo("Bench", &info, 1) != 0) return 1;
  Uncontended(work + "/Bench/Recipe/RG01/RCP0001", cycles);
  Contend(processes, cycles / processes);
  return 0;
}
