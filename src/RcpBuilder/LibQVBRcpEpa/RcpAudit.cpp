#include "RcpAudit.h"

#include <unistd.h>

#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCTime.h"
#include "LibQVBRcpEpa/Printable.h"
#include "RcpHistory.h"
#include "RcpJsonText.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "RcpStorePath.h"
#include "platform/AppendLog.h"
#include "platform/Env.h"
#include "platform/Host.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"
#include "platform/StoreRoot.h"
#include "platform/Win32Types.h"

namespace {

constexpr char kSource[] = "RcpAudit";
constexpr uint16_t kMsgInternal = 9168;
constexpr int64_t kTrailLimit = 16 << 20;
// Longer lines than any the store writes are not read into memory.
constexpr size_t kLongestLine = 1 << 20;

thread_local int t_depth = 0;

qvplatform::AppendLog& Trail() {
  static auto* log = new qvplatform::AppendLog(rcpaudit::kTrailName, kTrailLimit);
  return *log;
}

// What a change was made to, however it is named.
struct Change {
  const char* operation;
  std::string path;
  std::string project;  // the identity of its project directory, or ""
};

std::string Line(const Change& change, uint32_t result, const std::string& detail) {
  std::string line = "{\"time\":" + rcpjson::Quote(QVCUtcNow()) + ",\"station\":" +
                     rcpjson::Quote(qvplatform::ComputerName()) + ",\"user\":" +
                     rcpjson::Quote(qvplatform::CallerUserName()) + ",\"pid\":" + std::to_string(getpid()) +
                     ",\"operation\":" + rcpjson::Quote(change.operation) + ",\"path\":" + rcpjson::Quote(change.path) +
                     ",\"result\":" + std::to_string(result);
  if (!detail.empty()) line += ",\"detail\":" + rcpjson::Quote(detail);
  if (!change.project.empty()) line += ",\"project\":" + rcpjson::Quote(change.project);
  return line;
}

void Write(const Change& change, uint32_t result, const std::string& detail) {
  try {
    std::string line = Line(change, result, detail);
    // Each line carries the hash of the line before it, so that a line taken
    // out, edited or moved breaks the chain.
    if (Trail().AppendAfter([&](const std::string& last) {
          return line + ",\"" + rcpaudit::kChainKey + "\":\"" + rcphistory::HashOf(last) + "\"}";
        })) {
      return;
    }
  } catch (...) {
    // Falls through to the failure record: the change itself stands.
  }
  std::string text = std::string("audit trail not written: ") + change.operation + " " + change.path;
  _QVCSetError(kMsgInternal, kSource, __LINE__, ERROR_WRITE_FAULT, text.c_str());
  // The change stands; whoever made it hears that the trail lacks it.
  QVEEngPutMsgBuf(rcpstore::Printable(text).c_str());
}

// A version the history could not keep: the next clean-up of the project
// records the recipe's content as it then is.
void NotKept(const Change& change, uint32_t rc) {
  std::string text = std::string("recipe history not written: ") + change.operation + " " + change.path;
  _QVCSetError(kMsgInternal, kSource, __LINE__, rc, text.c_str());
  QVEEngPutMsgBuf(rcpstore::Printable(text).c_str());
}

// Keeps the nesting count right however the change ends.
class Depth {
 public:
  Depth() { ++t_depth; }
  ~Depth() { --t_depth; }
  Depth(const Depth&) = delete;
  Depth& operator=(const Depth&) = delete;
  bool outermost() const { return t_depth == 1; }
};

}  // namespace

namespace rcpaudit {

uint32_t Recorded(const char* operation, const char* path, const std::function<uint32_t()>& change) {
  return Recorded(operation, path, nullptr, change);
}

uint32_t Recorded(const char* operation, const char* path, const char* detail,
                  const std::function<uint32_t()>& change) {
  Depth depth;
  // Everything the change does below its project is reached from the
  // project's open directory, opened here unless the caller has it open.
  qvplatform::StoreRootScope projectOpened;
  rcppath::OpenProjectOf(path);
  // A project is named by what it is before a delete, after a create.
  Change made{operation, path != nullptr ? path : "", ProjectIdentity(path != nullptr ? path : "")};
  if (!depth.outermost()) return change();
  // What a recipe held is kept before the change; without it there is no change.
  rcphistory::RecordedChange history(operation, made.path, detail != nullptr ? detail : "");
  uint32_t result = history.Begin();
  if (result != 0) {
    NotKept(made, result);
  } else {
    result = change();
    if (uint32_t kept = history.Finish(result)) NotKept(made, kept);
  }
  if (made.project.empty()) made.project = ProjectIdentity(made.path);
  Write(made, result, detail != nullptr ? detail : "");
  return result;
}

void Record(const char* operation, const std::string& path, uint32_t result, const std::string& detail) {
  Write({operation, path, ProjectIdentity(path)}, result, detail);
}

std::string ProjectIdentity(const std::string& path) {
  qvplatform::FileStat st;
  if (path.empty() || qvplatform::CurrentEnv()->Stat(rcppath::ProjectOf(path), &st) != 0 ||
      st.type != qvplatform::EntryType::kDirectory) {
    return "";
  }
  return std::to_string(st.device) + ":" + std::to_string(st.inode);
}

std::string SubGroupText(const std::vector<std::string>& names, const char* newName) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : "/") + name;
  return newName != nullptr ? text + " -> " + newName : text;
}

std::string SubGroupText(const std::vector<std::string>& names, const std::string& recipe) {
  std::string text = SubGroupText(names, nullptr);
  return text.empty() ? recipe : text + "/" + recipe;
}

std::string LastLineHash() {
  std::string last = Trail().LastLine();
  return last.empty() ? "" : rcphistory::HashOf(last);
}

std::string TrailIdentity() { return qvplatform::ComputerName() + ":" + qvplatform::StationDirectory(); }

void EachLine(const std::string& path, const std::function<void(std::string_view)>& use) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (qvplatform::CurrentEnv()->OpenForRead(path, &file) != 0) return;
  std::string carry;
  bool skipping = false;
  char buf[65536];
  for (size_t got = 0; file->Read(buf, sizeof buf, &got) == 0 && got > 0;) {
    carry.append(buf, got);
    size_t at = 0;
    for (size_t end; (end = carry.find('\n', at)) != std::string::npos; at = end + 1) {
      use(skipping ? std::string_view() : std::string_view(carry).substr(at, end - at));
      skipping = false;
    }
    carry.erase(0, at);
    if (carry.size() > kLongestLine) {
      carry.clear();
      skipping = true;
    }
  }
}

std::vector<std::string> TrailFiles() {
  std::string current = Trail().Path();
  if (current.empty()) return {};
  return {current + ".1", current};
}

}  // namespace rcpaudit
