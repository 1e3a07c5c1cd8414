// verify's look at the history: every object against the hash that names
// it, every version log against its objects, and every recipe's files
// against its log's last version. A repair only ever adds: a recipe whose
// files its log does not record gets a version; nothing kept is removed.
#include "RcpAudit.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "RcpVerify.h"
#include "platform/Env.h"

namespace rcpverify {

namespace {

using qvplatform::DirEntry;
using qvplatform::EntryType;

// The entries of the type that are no work copies and no hidden names.
std::vector<DirEntry> Entries(const std::string& directory, EntryType type) {
  std::vector<DirEntry> kept;
  for (DirEntry& entry : rcphistory::EntriesOf(directory, type)) {
    if (!rcphidden::IsWorkCopy(entry.name) && entry.name[0] != '.') kept.push_back(std::move(entry));
  }
  return kept;
}

// Every object whose bytes do not give its name.
void CheckObjects(const std::string& history, std::vector<Finding>* findings) {
  std::string objects = history + "/objects";
  for (const DirEntry& prefix : Entries(objects, EntryType::kDirectory)) {
    for (const DirEntry& object : Entries(objects + "/" + prefix.name, EntryType::kFile)) {
      std::string path = objects + "/" + prefix.name + "/" + object.name;
      std::string bytes;
      uint32_t rc = rcphistory::ReadWhole(path, &bytes);
      if (rc == 0 && rcphistory::HashOf(bytes) == object.name) continue;
      findings->push_back({path, "historyObject",
                           rc != 0 ? "a kept content that cannot be read"
                                   : "a kept content whose bytes no longer match its SHA-256 (changed or damaged)",
                           false, ""});
    }
  }
}

// The recipe a log belongs to: Recipe/RGnn/RCPnnnn for .history/recipes/RGnn/RCPnnnn.log.
std::string RecipeOfLog(const std::string& recipeRoot, const std::string& group, const std::string& log) {
  return recipeRoot + "/" + group + "/" + log.substr(0, log.size() - 4);
}

void CheckLog(const std::string& recipe, const std::string& log, bool repair, std::vector<Finding>* findings) {
  int damaged = 0;
  std::vector<rcphistory::Version> versions = rcphistory::Versions(recipe, &damaged);
  rcphistory::KeptContents kept(recipe, versions);
  if (damaged != 0) {
    findings->push_back({log, "historyLog", std::to_string(damaged) + " line(s) that do not read as versions", false, ""});
  }
  for (const rcphistory::Version& version : versions) {
    for (const auto& [name, hash] : version.files) {
      std::string bytes;
      if (kept.Read(hash, &bytes) == 0) continue;
      findings->push_back({log, "historyLog",
                           "version " + std::to_string(version.number) + ": the content of " + name +
                               " is missing or damaged (" + hash + ")",
                           false, ""});
    }
  }
  // A recipe that is gone (a delete or move cut short) is the next clean-up's to record.
  std::map<std::string, std::string> now;
  qvplatform::FileStat st;
  bool present = qvplatform::CurrentEnv()->StatEntry(recipe, &st) == 0 && st.type == EntryType::kDirectory;
  if (!present || versions.empty() || rcphistory::CurrentFiles(recipe, &now) != 0 || now == versions.back().files) return;
  findings->push_back({recipe, "historyBehind",
                       "the recipe's files are not its history's last version (changed outside the store, or a "
                       "change cut short)",
                       false, ""});
  if (!repair) return;
  const char* what = "recorded the recipe's files as a new version of its history";
  uint32_t rc = rcphistory::Reconcile(recipe);
  rcpaudit::Record("repair", recipe, rc, what);
  if (rc != 0) return;
  findings->back().repaired = true;
  findings->back().repair = what;
}

}  // namespace

void VerifyHistory(const std::string& recipeRoot, bool repair, std::vector<Finding>* findings) {
  std::string history = recipeRoot + "/" + rcphistory::kHistoryName;
  CheckObjects(history, findings);
  std::string logs = history + "/recipes";
  for (const DirEntry& group : Entries(logs, EntryType::kDirectory)) {
    for (const DirEntry& log : Entries(logs + "/" + group.name, EntryType::kFile)) {
      if (log.name.size() != 11 || log.name.compare(7, 4, ".log") != 0) continue;
      CheckLog(RecipeOfLog(recipeRoot, group.name, log.name), logs + "/" + group.name + "/" + log.name, repair,
               findings);
    }
  }
}

}  // namespace rcpverify
