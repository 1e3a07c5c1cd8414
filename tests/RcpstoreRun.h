// Runs the rcpstore command line as a real process.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace qvtest {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs "rcpstore --station STATION WORDS..." in the directory cwd, in a
// UTF-8 locale (the tree's box characters) unless the environment sets
// LC_ALL; its output passes through files in ioDir.
inline Outcome RunRcpstore(const std::string& cwd, const std::string& station, const std::vector<std::string>& words,
                           const std::string& ioDir) {
  std::string cmd = "mkdir -p " + Quote(station) + " && cd " + Quote(cwd) + " && LC_ALL=${LC_ALL:-C.UTF-8} " + RCPSTORE_BIN + " --station " + Quote(station);
  for (const auto& w : words) cmd += " " + Quote(w);
  cmd += " > " + Quote(ioDir + "/out") + " 2> " + Quote(ioDir + "/err");
  int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(ioDir + "/out"), ReadFile(ioDir + "/err")};
}

}  // namespace qvtest
