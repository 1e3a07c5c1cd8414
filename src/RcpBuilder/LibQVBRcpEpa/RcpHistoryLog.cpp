// The version logs of the history: one JSON object per line, appended under
// the hold of the log's work file, so that two writers follow one another.
// A line is appended and flushed; a new log, or one whose last line a crash
// cut short, is written whole (without the stump) and renamed into place.
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/JsonText.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVCCommon/QVCTime.h"
#include "RcpHistory.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaFile.h"
#include "platform/Env.h"
#include "platform/Host.h"
#include "platform/Registry.h"
#include "platform/Win32Types.h"

namespace rcphistory {

namespace {

using Json = nlohmann::json;

thread_local std::string t_reason;

using rcpstore::LastName;
using rcpstore::Parent;

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
  auto kept = line.find("kept");
  if (kept == line.end()) return version;
  if (!kept->is_object()) return std::nullopt;
  for (const auto& [hash, packed] : kept->items()) {
    if (!packed.is_string()) return std::nullopt;
    version.packed[hash] = packed.get<std::string>();
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
  if (!version.packed.empty()) line["kept"] = version.packed;
  return line.dump();
}

// Calls each(line) for the complete lines of a log, from its end while
// each returns true.
template <typename Each>
void LinesBackwards(const std::string& bytes, Each each) {
  size_t end = bytes.rfind('\n');
  while (end != std::string::npos && end > 0) {
    size_t feed = bytes.rfind('\n', end - 1);
    size_t begin = feed == std::string::npos ? 0 : feed + 1;
    std::string line = bytes.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && !each(std::move(line))) return;
    end = feed;
  }
}

// The last complete lines of a log: at most its last kTail bytes, from the
// first line that begins in them (all of them when no line feed is there).
// *whole: the tail is the whole log; *logSize: the log's size.
constexpr uint64_t kTail = 16 << 10;
uint32_t ReadTail(const std::string& log, std::string* tail, bool* whole, uint64_t* logSize) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(log, &file)) return rc;
  if (uint32_t rc = file->Size(logSize)) return rc;
  uint64_t size = *logSize;
  *whole = size <= kTail;
  if (uint32_t rc = file->Skip(*whole ? 0 : size - kTail)) return rc;
  tail->assign(std::min(size, kTail), '\0');
  size_t got = 0;
  for (size_t at = 0; at < tail->size(); at += got) {
    if (uint32_t rc = file->Read(tail->data() + at, tail->size() - at, &got)) return rc;
    if (got == 0) {
      tail->resize(at);
      break;
    }
  }
  if (!*whole) tail->erase(0, tail->find('\n') + 1);
  return 0;
}

// The end of a log, read without reading the log whole unless its last
// version line is longer than the tail.
struct LogEnd {
  bool exists = false;
  bool endsLine = true;  // false after a stump that a crash left
  uint64_t size = 0;
  std::optional<Version> last;
};

// The version of a log's last line, parsed once for the two reads of the
// same line that a change makes (before it, and under the log's hold).
std::optional<Version> ParsedLast(std::string line) {
  thread_local std::string lastLine;
  thread_local std::optional<Version> lastVersion;
  if (line != lastLine) {
    lastVersion = Parsed(line);
    lastLine = std::move(line);
  }
  return lastVersion;
}

uint32_t ReadEnd(const std::string& log, LogEnd* end) {
  std::string bytes;
  bool whole = false;
  uint32_t rc = ReadTail(log, &bytes, &whole, &end->size);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return 0;
  if (rc != 0) return rc;
  end->exists = true;
  end->endsLine = bytes.empty() || bytes.back() == '\n';
  auto lastParsed = [&](std::string line) {
    end->last = ParsedLast(std::move(line));
    return !end->last;
  };
  LinesBackwards(bytes, lastParsed);
  if (end->last || whole) return 0;
  if (uint32_t read = ReadWhole(log, &bytes, kLargestLog)) return read;
  LinesBackwards(bytes, lastParsed);
  return 0;
}

// Appends a line to an existing log and flushes it.
uint32_t AppendLine(const std::string& log, const std::string& line) {
  std::unique_ptr<qvplatform::WritableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForAppend(log, &file)) return rc;
  if (uint32_t rc = file->Append(line.data(), line.size())) return rc;
  if (uint32_t rc = file->Sync()) return rc;
  return file->Close();
}

// Writes a new log, or one whose last line a crash cut short, whole and
// without the stump, through the work file out holds; *offset: where the
// line begins.
uint32_t WriteWhole(QVEEngTextWriter* out, const std::string& log, const std::string& line, uint64_t* offset) {
  std::string bytes;
  uint32_t rc = ReadWhole(log, &bytes, kLargestLog);
  if (rc != 0 && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) return rc;
  size_t whole = bytes.rfind('\n');
  bytes.resize(whole == std::string::npos ? 0 : whole + 1);
  *offset = bytes.size();
  if (uint32_t written = out->WriteBinary(bytes.data(), bytes.size())) return written;
  if (uint32_t written = out->WriteBinary(line.data(), line.size())) return written;
  return out->Commit(log);
}

// The log's work file, held: another writer of the same log finishes first.
// It is opened for writing only when the log is written whole. The first
// log of a group makes the group's history directory.
uint32_t HoldWork(QVEEngTextWriter* out, const std::string& log) {
  uint32_t rc = out->Hold(log + ".new");
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) {
    rc = MakeDirectories(Parent(log));
    if (rc == 0) rc = out->Hold(log + ".new");
  }
  for (int i = 0; i < 300 && rc == ERROR_SHARING_VIOLATION; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    rc = out->Hold(log + ".new");
  }
  return rc;
}

}  // namespace

std::string HistoryDirOf(const std::string& recipeDirectory) {
  return Parent(Parent(recipeDirectory)) + "/" + kHistoryName;
}

std::string LogPathOf(const std::string& recipeDirectory) {
  return HistoryDirOf(recipeDirectory) + "/recipes/" + GroupName(LastName(Parent(recipeDirectory))) + "/" +
         RecipeName(LastName(recipeDirectory)) + ".log";
}

std::vector<Version> Versions(const std::string& recipeDirectory, int* damaged) {
  std::string bytes;
  std::vector<Version> versions;
  if (ReadWhole(LogPathOf(recipeDirectory), &bytes, kLargestLog) != 0) return versions;
  LinesBackwards(bytes, [&](std::string line) {
    std::optional<Version> version = Parsed(line);
    if (version) {
      versions.push_back(std::move(*version));
    } else if (damaged != nullptr) {
      ++*damaged;
    }
    return true;
  });
  std::reverse(versions.begin(), versions.end());
  return versions;
}

std::optional<Version> LastVersion(const std::string& recipeDirectory) {
  LogEnd end;
  ReadEnd(LogPathOf(recipeDirectory), &end);
  return end.last;
}

uint32_t AppendVersion(const std::string& recipeDirectory, Version version,
                       const std::map<std::string, std::string>& contents, bool whenChanged) {
  std::string log = LogPathOf(recipeDirectory);
  QVEEngTextWriter out;
  if (uint32_t rc = HoldWork(&out, log)) return rc;
  LogEnd end;
  if (uint32_t rc = ReadEnd(log, &end)) return rc;
  if (whenChanged && (end.last ? end.last->files == version.files : version.files.empty())) return 0;
  version.number = end.last ? end.last->number + 1 : 1;
  version.time = QVCUtcNow();
  version.user = qvplatform::CallerUserName();
  version.station = qvplatform::ComputerName();
  if (version.reason.empty()) version.reason = t_reason;
  if (uint32_t kept = KeepContents(recipeDirectory, contents, end.last ? &*end.last : nullptr, &version)) return kept;
  std::string line = Line(version) + "\n";
  uint64_t offset = end.size;
  uint32_t rc = end.exists && end.endsLine ? AppendLine(log, line) : WriteWhole(&out, log, line, &offset);
  if (rc == 0) NoteKept(log, version, offset);
  return rc;
}

}  // namespace rcphistory

namespace rcpstore {

ChangeReason::ChangeReason(std::string reason) : outer_(std::move(rcphistory::t_reason)) {
  rcphistory::t_reason = std::move(reason);
}
ChangeReason::~ChangeReason() { rcphistory::t_reason = std::move(outer_); }
const std::string& ChangeReason::Current() { return rcphistory::t_reason; }

}  // namespace rcpstore
