#include "RcpEnrolment.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpHistory.h"
#include "RcpSignKeys.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcpsign {

namespace {

using Json = nlohmann::json;

constexpr size_t kLongestKeysFile = 1 << 20;
constexpr size_t kLongestStoreLog = 64 << 20;
constexpr char kKeysSuffix[] = ".keys";

std::string Field(const Json& line, const char* key) {
  auto it = line.find(key);
  return it != line.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Each line of a text, the last one also when no line feed ends it.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool SelfSigned(const Enrolment& e) { return e.by == e.user && e.byKey == e.key; }

// Trusts the first self-signed enrolment that verifies, then every one
// signed by a trusted key of its signer, until nothing changes.
void WorkOutTrust(ProjectKeys* keys) {
  auto verifies = [](const Enrolment& e) { return Verifies(e.byKey, EnrolmentText(e), e.signature); };
  std::vector<Enrolment>& all = keys->enrolments;
  std::sort(all.begin(), all.end(), [](const Enrolment& a, const Enrolment& b) { return a.time < b.time; });
  auto anchor = std::find_if(all.begin(), all.end(), [&](const Enrolment& e) { return SelfSigned(e) && verifies(e); });
  if (anchor != all.end()) anchor->trusted = true;
  for (bool grew = true; grew;) {
    grew = false;
    for (Enrolment& e : all) {
      if (e.trusted || SelfSigned(e) || !keys->Trusts(e.by, e.byKey) || !verifies(e)) continue;
      e.trusted = grew = true;
    }
  }
  for (const Enrolment& e : all) {
    if (!e.trusted) {
      keys->problems.push_back("the key enrolled for " + rcpstore::Printable(e.user) + " by " +
                               rcpstore::Printable(e.by) + " at " + rcpstore::Printable(e.time) +
                               " is not signed by a key the project trusts");
    }
  }
}

}  // namespace

std::string HistoryDirectory(const std::string& projectDirectory) { return projectDirectory + "/Recipe/.history"; }
std::string KeysDirectory(const std::string& projectDirectory) { return HistoryDirectory(projectDirectory) + "/keys"; }

bool ParseEnrolment(const std::string& line, Enrolment* out) {
  Json json = Json::parse(line, nullptr, false);
  if (!json.is_object()) return false;
  *out = {Field(json, "user"), Field(json, "key"),       Field(json, "time"),
          Field(json, "by"),   Field(json, "byKey"), Field(json, "signature")};
  std::string bytes;
  return IsUserName(out->user) && IsUserName(out->by) && FromHex(out->key, kKeyBytes, &bytes) &&
         FromHex(out->byKey, kKeyBytes, &bytes) && FromHex(out->signature, kSignatureBytes, &bytes);
}

std::string EnrolmentLine(const Enrolment& e) {
  Json line{{"user", e.user}, {"key", e.key}, {"time", e.time}, {"by", e.by}, {"byKey", e.byKey}, {"signature", e.signature}};
  return line.dump();
}

std::string EnrolmentText(const Enrolment& e) {
  return SignedText("rcpstore key enrolment 1",
                    {{"user", e.user}, {"key", e.key}, {"time", e.time}, {"by", e.by}, {"byKey", e.byKey}});
}

bool ProjectKeys::Trusts(const std::string& user, const std::string& keyHex) const {
  return std::any_of(enrolments.begin(), enrolments.end(),
                     [&](const Enrolment& e) { return e.trusted && e.user == user && e.key == keyHex; });
}

bool ProjectKeys::TrustsAny() const {
  return std::any_of(enrolments.begin(), enrolments.end(), [](const Enrolment& e) { return e.trusted; });
}

ProjectKeys ReadProjectKeys(const std::string& projectDirectory) {
  ProjectKeys keys;
  std::string directory = KeysDirectory(projectDirectory);
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return keys;
  for (const qvplatform::DirEntry& entry : entries) {
    if (entry.type != qvplatform::EntryType::kFile || !EndsWith(entry.name, kKeysSuffix)) continue;
    std::string user = entry.name.substr(0, entry.name.size() - sizeof kKeysSuffix + 1);
    for (const std::string& line : Lines(ReadStoreFile(directory + "/" + entry.name, kLongestKeysFile))) {
      Enrolment e;
      if (!ParseEnrolment(line, &e) || e.user != user) {
        keys.problems.push_back("a line of " + rcpstore::Printable(entry.name) + " is no enrolment of " +
                                rcpstore::Printable(user));
        continue;
      }
      keys.enrolments.push_back(std::move(e));
    }
  }
  WorkOutTrust(&keys);
  return keys;
}

std::string ReadStoreFile(const std::string& path, size_t maxBytes) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return "";
  rcpstore::Check(rc, "cannot read " + rcpstore::Printable(path));
  std::string bytes;
  char block[65536];
  for (size_t got = 0;; bytes.append(block, got)) {
    rcpstore::Check(file->Read(block, sizeof block, &got), "cannot read " + rcpstore::Printable(path));
    if (got == 0) break;
    if (bytes.size() + got > maxBytes) rcpstore::Fail(rcpstore::Printable(path) + " is too large", kDamaged);
  }
  return bytes;
}

void AppendStoreLine(const std::string& directory, const std::string& name, const std::string& line) {
  rcpstore::Check(rcphistory::MakeDirectories(directory), "cannot make " + rcpstore::Printable(directory));
  QVEEngTextWriter writer;
  // The work file is held before the old lines are read, so that two
  // writers follow each other and neither loses the other's line.
  rcpstore::Check(writer.Create(directory + "/." + name + ".work"), "cannot write in " + rcpstore::Printable(directory));
  std::string text = ReadStoreFile(directory + "/" + name, kLongestStoreLog);
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += line + "\n";
  writer.WriteBinary(text.data(), text.size());
  rcpstore::Check(writer.Commit(directory + "/" + name), "cannot write " + rcpstore::Printable(directory + "/" + name));
}

}  // namespace rcpsign
