// Writers in several processes at once: versions appended to one recipe's
// log, and chained lines appended to one station log that rotates. Each
// keeps every line and its order.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RcpHistory.h"
#include "TestSupport.h"
#include "platform/AppendLog.h"

namespace {

using nlohmann::json;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

// Runs write(w) in processes w = 0 .. count - 1 at once; each must return 0.
void InProcesses(int count, const std::function<int(int w)>& write) {
  std::vector<pid_t> children;
  for (int w = 0; w < count; ++w) {
    pid_t pid = fork();
    if (pid == 0) _exit(write(w));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

// Writers in several processes append to one log at once, after a crash
// cut its last line short: every version is kept and numbered once, and
// the cut line is gone.
TEST(VersionLogConcurrencyTest, ConcurrentWritersAfterACutLineLoseNoVersion) {
  qvtest::TempDir tmp;
  const std::string rcp = tmp / "P/Recipe/RG01/RCP0001";
  qvtest::MakeDirs(tmp / "P/Recipe");
  rcphistory::Version first;
  first.operation = "createRecipe";
  first.files["RcpHead.edf"] = rcphistory::HashOf("first");
  ASSERT_EQ(rcphistory::AppendVersion(rcp, first, {{first.files["RcpHead.edf"], "first"}}), 0u);
  std::string log = rcphistory::LogPathOf(rcp);
  std::string whole = qvtest::ReadFile(log);
  qvtest::WriteFile(log, whole + whole.substr(0, whole.size() / 2));
  constexpr int kWriters = 4;
  constexpr int kEach = 10;
  InProcesses(kWriters, [&](int w) {
    int failures = 0;
    for (int i = 0; i < kEach; ++i) {
      std::string content = "writer " + std::to_string(w) + ", edit " + std::to_string(i);
      rcphistory::Version version;
      version.operation = "setHeader";
      version.files["RcpHead.edf"] = rcphistory::HashOf(content);
      failures += rcphistory::AppendVersion(rcp, version, {{rcphistory::HashOf(content), content}}) != 0;
    }
    return failures;
  });
  int damaged = 0;
  std::vector<rcphistory::Version> versions = rcphistory::Versions(rcp, &damaged);
  EXPECT_EQ(damaged, 0);
  ASSERT_EQ(versions.size(), 1u + kWriters * kEach);
  rcphistory::KeptContents kept(rcp, versions);
  for (size_t i = 0; i < versions.size(); ++i) {
    EXPECT_EQ(versions[i].number, static_cast<int64_t>(i + 1));
    std::string bytes;
    EXPECT_EQ(kept.Read(versions[i].files.at("RcpHead.edf"), &bytes), 0u) << "version " << i + 1;
  }
}

// Writers in several processes chain their lines through one lock, also
// across the rotation of a small log.
TEST(TrailChainTest, ConcurrentWritersAndRotationKeepTheChain) {
  qvtest::TempDir tmp;
  qvtest::UseStation(tmp.path());
  constexpr int kWriters = 6;
  constexpr int kLines = 40;
  InProcesses(kWriters, [&](int w) {
    qvplatform::AppendLog log("chain.log", 4096);
    for (int i = 0; i < kLines; ++i) {
      log.AppendAfter([&](const std::string& last) {
        std::string prev = std::to_string(std::hash<std::string>{}(last));
        return "{\"writer\":" + std::to_string(w) + ",\"prev\":\"" + prev + "\"}";
      });
    }
    return 0;
  });
  std::vector<std::string> lines = Lines(qvtest::ReadFile(tmp.path() + "/chain.log.1"));
  std::vector<std::string> current = Lines(qvtest::ReadFile(tmp.path() + "/chain.log"));
  ASSERT_FALSE(lines.empty());
  lines.insert(lines.end(), current.begin(), current.end());
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string prev = json::parse(lines[i])["prev"];
    EXPECT_EQ(prev, std::to_string(std::hash<std::string>{}(lines[i - 1]))) << "line " << i;
  }
}

}  // namespace
