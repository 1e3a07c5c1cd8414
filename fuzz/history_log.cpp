// A recipe's version log as another station, a crash or a hand edit may
// leave it. Every reader must agree on its versions, hand out no content
// that does not match its hash, and a version appended to it must keep
// every version it had, number the new one after the last and keep its
// content, unless the last version names that content already: the store
// takes what its last version names as kept (verify reports it missing).
// The input is the log, then optionally a form feed and the log's index,
// which only guides and must never make a content count as kept.
#include <algorithm>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "RcpHistory.h"

namespace {

using qvfuzz::Require;

void Unpack(const std::string& text) {
  std::string bytes;
  if (rcphistory::Unpacked(text, &bytes) != 0) return;
  std::string again;
  Require(rcphistory::Unpacked(rcphistory::Packed(bytes), &again) == 0 && again == bytes,
          "a content does not unpack as it was packed");
}

// The fields a version line holds, to compare two readings of one line.
bool Same(const rcphistory::Version& a, const rcphistory::Version& b) {
  return a.number == b.number && a.time == b.time && a.user == b.user && a.operation == b.operation &&
         a.reason == b.reason && a.files == b.files && a.packed == b.packed;
}

void Log(const std::string& text, const std::string* index) {
  const std::string recipe = qvfuzz::ScratchDir() + "/P/Recipe/RG01/RCP0001";
  std::filesystem::remove_all(qvfuzz::ScratchDir() + "/P");
  std::string log = rcphistory::LogPathOf(recipe);
  qvfuzz::MakeDirs(log.substr(0, log.find_last_of('/')));
  qvfuzz::WriteFile(log, text);
  if (index != nullptr) qvfuzz::WriteFile(log.substr(0, log.size() - 4) + ".idx", *index);

  std::vector<rcphistory::Version> before = rcphistory::Versions(recipe);
  std::optional<rcphistory::Version> last = rcphistory::LastVersion(recipe);
  Require(before.empty() ? !last : last && Same(*last, before.back()), "the last version is not the log's last");
  rcphistory::KeptContents kept(recipe, before);
  for (const rcphistory::Version& version : before) {
    for (const auto& [name, hash] : version.files) {
      std::string bytes;
      if (kept.Read(hash, &bytes) == 0) Require(rcphistory::HashOf(bytes) == hash, "a content is not its hash");
    }
  }

  const std::string content = "the new content";
  rcphistory::Version next;
  next.operation = "setHeader";
  next.files["RcpHead.edf"] = rcphistory::HashOf(content);
  Require(rcphistory::AppendVersion(recipe, next, {{next.files["RcpHead.edf"], content}}) == 0, "append failed");
  std::vector<rcphistory::Version> after = rcphistory::Versions(recipe);
  Require(after.size() == before.size() + 1, "a version was lost or added");
  for (size_t i = 0; i < before.size(); ++i) Require(Same(before[i], after[i]), "an earlier version changed");
  Require(after.back().number == (last ? last->number : 0) + 1, "the new version is not numbered after the last");
  const std::string& hash = next.files["RcpHead.edf"];
  bool named = last && std::any_of(last->files.begin(), last->files.end(),
                                   [&](const auto& file) { return file.second == hash; });
  std::string bytes;
  Require(named || (rcphistory::KeptContents(recipe, after).Read(hash, &bytes) == 0 && bytes == content),
          "the new content is not kept");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t feed = text.find('\f');
  std::string index = feed == std::string::npos ? std::string() : text.substr(feed + 1);
  if (feed != std::string::npos) text.resize(feed);
  Unpack(text);
  Log(text, feed == std::string::npos ? nullptr : &index);
  return 0;
}
