// The version logs of the history: one JSON object per line, appended by
// rewriting the log durably under the hold of its work file, so that two
// writers follow one another and a crash leaves the old log or the new one.
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/JsonText.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVCCommon/QVCTime.h"
#include "RcpHistory.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Host.h"
#include "platform/Registry.h"
#include "platform/Win32Types.h"

namespace rcphistory {

namespace {

using Json = nlohmann::json;

thread_local std::string t_reason;

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Last(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// "RG01" for any spelling of a group directory's name.
std::string GroupName(const std::string& name) {
  unsigned number = 0;
  for (size_t i = 2; i < name.size() && i < 4; ++i) {
    if (name[i] < '0' || name[i] > '9') return name;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return name.size() == 4 && number >= 1 && number <= rcpstore::kMaxGroupNo ? rcpstore::GroupDirectoryName(number)
                                                                            : name;
}

std::string RecipeName(const std::string& name) {
  unsigned number = rcpstore::RecipeNumberOf(name);
  return number != 0 ? rcpstore::RecipeDirectoryName(number) : name;
}

std::string Text(const Json& line, const char* key) {
  auto it = line.find(key);
  return it != line.end() && it->is_string() ? rcpstore::JsonUnescaped(it->get<std::string>()) : std::string();
}

std::optional<Version> Parsed(const std::string& text) {
  Json line = Json::parse(text, nullptr, false);
  if (!line.is_object() || !line.contains("version") || !line["version"].is_number_integer()) return std::nullopt;
  Version version;
  version.number = line["version"].get<int64_t>();
  version.time = Text(line, "time");
  version.user = Text(line, "user");
  version.station = Text(line, "station");
  version.operation = Text(line, "operation");
  version.reason = Text(line, "reason");
  version.headerVersion = Text(line, "headerVersion");
  version.from = Text(line, "from");
  auto files = line.find("files");
  if (files == line.end() || !files->is_object()) return std::nullopt;
  for (const auto& [name, hash] : files->items()) {
    if (!hash.is_string()) return std::nullopt;
    version.files[rcpstore::JsonUnescaped(name)] = hash.get<std::string>();
  }
  return version;
}

std::string Line(const Version& version) {
  Json files = Json::object();
  for (const auto& [name, hash] : version.files) files[rcpstore::JsonEscaped(name)] = hash;
  Json line = {{"version", version.number},
               {"time", version.time},
               {"user", rcpstore::JsonEscaped(version.user)},
               {"station", rcpstore::JsonEscaped(version.station)},
               {"operation", version.operation},
               {"files", files}};
  if (!version.reason.empty()) line["reason"] = rcpstore::JsonEscaped(version.reason);
  if (!version.headerVersion.empty()) line["headerVersion"] = rcpstore::JsonEscaped(version.headerVersion);
  if (!version.from.empty()) line["from"] = rcpstore::JsonEscaped(version.from);
  return line.dump();
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = bytes.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// The log's work file, held: another writer of the same log finishes first.
uint32_t CreateWork(QVEEngTextWriter* out, const std::string& log) {
  uint32_t rc = out->Create(log + ".new");
  for (int i = 0; i < 300 && rc == ERROR_SHARING_VIOLATION; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    rc = out->Create(log + ".new");
  }
  return rc;
}

}  // namespace

std::string HistoryDirOf(const std::string& recipeDirectory) {
  return Parent(Parent(recipeDirectory)) + "/" + kHistoryName;
}

std::string LogPathOf(const std::string& recipeDirectory) {
  return HistoryDirOf(recipeDirectory) + "/recipes/" + GroupName(Last(Parent(recipeDirectory))) + "/" +
         RecipeName(Last(recipeDirectory)) + ".log";
}

std::vector<Version> Versions(const std::string& recipeDirectory, int* damaged) {
  std::string bytes;
  std::vector<Version> versions;
  if (ReadWhole(LogPathOf(recipeDirectory), &bytes) != 0) return versions;
  for (const std::string& line : Lines(bytes)) {
    std::optional<Version> version = Parsed(line);
    if (version) {
      versions.push_back(std::move(*version));
    } else if (damaged != nullptr) {
      ++*damaged;
    }
  }
  return versions;
}

std::optional<Version> LastVersion(const std::string& recipeDirectory) {
  std::vector<Version> versions = Versions(recipeDirectory);
  if (versions.empty()) return std::nullopt;
  return versions.back();
}

uint32_t AppendVersion(const std::string& recipeDirectory, Version version) {
  std::string log = LogPathOf(recipeDirectory);
  if (uint32_t rc = MakeDirectories(Parent(log))) return rc;
  QVEEngTextWriter out;
  if (uint32_t rc = CreateWork(&out, log)) return rc;
  std::string bytes;
  uint32_t rc = ReadWhole(log, &bytes);
  if (rc != 0 && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) return rc;
  int64_t last = 0;
  for (const std::string& line : Lines(bytes)) {
    if (std::optional<Version> parsed = Parsed(line)) last = std::max(last, parsed->number);
  }
  version.number = last + 1;
  version.time = QVCUtcNow();
  version.user = qvplatform::CallerUserName();
  version.station = qvplatform::ComputerName();
  if (version.reason.empty()) version.reason = t_reason;
  if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
  if (uint32_t written = out.WriteBinary(bytes.data(), bytes.size())) return written;
  std::string line = Line(version) + "\n";
  if (uint32_t written = out.WriteBinary(line.data(), line.size())) return written;
  return out.Commit(log);
}

}  // namespace rcphistory

namespace rcpstore {

ChangeReason::ChangeReason(std::string reason) : outer_(std::move(rcphistory::t_reason)) {
  rcphistory::t_reason = std::move(reason);
}
ChangeReason::~ChangeReason() { rcphistory::t_reason = std::move(outer_); }
const std::string& ChangeReason::Current() { return rcphistory::t_reason; }

}  // namespace rcpstore
