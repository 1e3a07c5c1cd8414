// The audit trail checked: each line must carry the hash of the line
// before it, and the trail must still hold the line that each signature
// made on this station signed.
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpAudit.h"
#include "RcpHistory.h"
#include "RcpSignatureLog.h"

namespace rcpstore {

namespace {

using Json = nlohmann::json;

struct Chain {
  TrailCheck check;
  std::unordered_set<std::string> hashes;
  std::string lastHash;  // of the line read last
  std::string firstTime;  // of the first line the trail holds
  bool chained = false;   // a line with a hash was read
};

void Broken(Chain* chain, const std::string& file, size_t line, const std::string& cause) {
  if (!chain->check.brokenFile.empty()) return;
  chain->check.brokenFile = file;
  chain->check.brokenLine = line;
  chain->check.cause = cause;
}

// Lines written before the chain (no hash) are its start; after the first
// line with a hash every line that the store wrote carries one. A line that
// is no JSON (a stump a writer left) is only a link of the chain.
void Link(Chain* chain, const std::string& file, size_t number, std::string_view text) {
  Json line = Json::parse(text, nullptr, false);
  auto prev = line.is_object() ? line.find(rcpaudit::kChainKey) : line.end();
  bool first = chain->check.lines == 1;
  if (prev != line.end() && prev->is_string()) {
    if (!first && prev->get<std::string>() != chain->lastHash) {
      Broken(chain, file, number,
             "it does not carry the hash of the line before it: a line before it was taken out or edited, or it was "
             "moved");
    }
    chain->chained = true;
  } else if (line.is_object() && chain->chained) {
    Broken(chain, file, number, "it carries no hash of the line before it, after lines that do: it was put in or edited");
  }
  if (first && line.is_object() && line.contains("time") && line["time"].is_string()) {
    chain->firstTime = line["time"].get<std::string>();
  }
}

std::vector<std::string> ProjectDirectories(const std::vector<std::string>& given) {
  std::vector<std::string> directories;
  if (given.empty()) {
    for (const StoreItem& item : ListedProjects()) directories.push_back(item.target.project);
  }
  for (const std::string& project : given) directories.push_back(ProjectTarget(project).project);
  return directories;
}

// A signature names the trail's last line when it was made, and its own
// audit line follows that line; a trail without the line, or where nothing
// follows it, lost its end after the signature. Signatures older than the
// trail's first line were rotated out with their lines.
void LookForSignedLines(Chain* chain, const std::vector<std::string>& projects) {
  const std::string trail = rcpaudit::TrailIdentity();
  rcpsign::ProjectKeys none;
  for (const std::string& project : ProjectDirectories(projects)) {
    for (const std::string& log : rcpsign::SignatureLogs(project)) {
      for (const RecipeSignature& s : rcpsign::ReadSignatures(log, none, nullptr)) {
        if (s.trail != trail || s.trailHash.empty() || s.time < chain->firstTime) continue;
        ++chain->check.signatures;
        if (chain->hashes.count(s.trailHash) == 0 || s.trailHash == chain->lastHash) {
          chain->check.missing.push_back("the " + s.meaning + " of " + Printable(s.address) + " by " + Printable(s.signer) +
                                         " at " + Printable(s.time));
        }
      }
    }
  }
}

}  // namespace

TrailCheck CheckAuditTrail(const std::vector<std::string>& projects) {
  RequireStation();
  OpenedProjects opened;
  Chain chain;
  for (const std::string& file : rcpaudit::TrailFiles()) {
    size_t number = 0;
    rcpaudit::EachLine(file, [&](std::string_view text) {
      ++number;
      ++chain.check.lines;
      Link(&chain, file, number, text);
      chain.lastHash = rcphistory::HashOf(std::string(text));
      chain.hashes.insert(chain.lastHash);
    });
  }
  LookForSignedLines(&chain, projects);
  return chain.check;
}

}  // namespace rcpstore
