#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "LibQVBRcpEpa/JsonText.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpHistory.h"
#include "RcpJsonText.h"
#include "RcpSignKeys.h"
#include "RcpSignatureLog.h"
#include "platform/Env.h"

namespace rcpsign {

namespace {

using Json = nlohmann::json;
using rcpstore::LastName;
using rcpstore::Parent;
using rcpstore::Printable;
using rcpstore::RecipeSignature;

constexpr size_t kLongestSignatureLog = 64 << 20;
constexpr char kSignatureSuffix[] = ".sig";

std::string Text(const Json& line, const char* key) {
  auto it = line.find(key);
  return it != line.end() && it->is_string() ? rcpstore::JsonUnescaped(it->get<std::string>()) : std::string();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Described(const RecipeSignature& s) {
  return "the " + s.meaning + " by " + Printable(s.signer) + " at " + Printable(s.time);
}

rcpstore::Finding Found(const std::string& path, const char* kind, const std::string& cause) {
  rcpstore::Finding finding;
  finding.path = path;
  finding.kind = kind;
  finding.cause = cause;
  return finding;
}

// Whether the recipe's files now are a version that its history recorded
// after the signature: an honest change, which makes the recipe a draft.
bool RecordedSince(const std::string& recipeDirectory, const RecipeSignature& signature, const std::string& content) {
  std::optional<rcphistory::Version> last = rcphistory::LastVersion(recipeDirectory);
  if (!last || last->number <= signature.version) return false;
  std::vector<std::pair<std::string, std::string>> files(last->files.begin(), last->files.end());
  return ContentHashOf(files) == content;
}

void VerifyLog(const std::string& projectDirectory, const std::string& log, const ProjectKeys& keys,
               std::vector<rcpstore::Finding>* findings) {
  size_t damaged = 0;
  std::vector<RecipeSignature> signatures = ReadSignatures(log, keys, &damaged);
  if (damaged != 0) {
    findings->push_back(Found(log, "badSignature", std::to_string(damaged) + " lines of the log are no signature"));
  }
  for (const RecipeSignature& s : signatures) {
    if (s.valid) continue;
    const char* why = Verifies(s.key, SignatureText(s), s.signature) ? "its key is not enrolled for the signer"
                                                                     : "it does not match what it names";
    findings->push_back(Found(log, "badSignature", Described(s) + " does not hold: " + why));
  }
  auto last = std::find_if(signatures.rbegin(), signatures.rend(), [](const RecipeSignature& s) { return s.valid; });
  std::string name = LastName(log);
  std::string recipe = projectDirectory + "/Recipe/" + LastName(Parent(log)) + "/" +
                       name.substr(0, name.size() - sizeof kSignatureSuffix + 1);
  qvplatform::FileStat st;
  if (last == signatures.rend() || qvplatform::CurrentEnv()->StatEntry(recipe, &st) != 0) return;
  std::string content = rcpstore::RecipeContentHash(recipe);
  if (content == last->content || RecordedSince(recipe, *last, content)) return;
  findings->push_back(Found(recipe, "signedContentChanged",
                            "the files are not the content that " + Described(*last) +
                                " signed, and no version of its history since records them"));
}

}  // namespace

std::string SignatureDirectory(const std::string& projectDirectory, unsigned groupNo) {
  return HistoryDirectory(projectDirectory) + "/recipes/" + rcpstore::GroupDirectoryName(groupNo);
}

std::string SignatureFileName(unsigned recipeNo) { return rcpstore::RecipeDirectoryName(recipeNo) + kSignatureSuffix; }

bool ParseSignature(const std::string& line, RecipeSignature* out) {
  Json json = Json::parse(line, nullptr, false);
  if (!json.is_object()) return false;
  auto version = json.find("version");
  if (version == json.end() || !version->is_number_integer()) return false;
  *out = {};
  out->meaning = Text(json, "meaning");
  out->signer = Text(json, "signer");
  out->time = Text(json, "time");
  out->address = Text(json, "address");
  out->location = Text(json, "location");
  out->version = version->get<int64_t>();
  out->content = Text(json, "content");
  out->trail = Text(json, "trail");
  out->trailHash = Text(json, "trailHash");
  out->reason = Text(json, "reason");
  out->key = Text(json, "key");
  out->signature = Text(json, "signature");
  return (out->meaning == "review" || out->meaning == "approve") && IsUserName(out->signer);
}

std::string SignatureLine(const RecipeSignature& s) {
  auto field = [](const char* key, const std::string& value) { return "\"" + std::string(key) + "\":" + rcpjson::Quote(value); };
  return "{" + field("meaning", s.meaning) + "," + field("signer", s.signer) + "," + field("time", s.time) + "," +
         field("address", s.address) + "," + field("location", s.location) + ",\"version\":" +
         std::to_string(s.version) + "," + field("content", s.content) + "," + field("trail", s.trail) + "," +
         field("trailHash", s.trailHash) + "," + field("reason", s.reason) + "," + field("key", s.key) + "," +
         field("signature", s.signature) + "}";
}

std::string SignatureText(const RecipeSignature& s) {
  return SignedText("rcpstore recipe signature 1",
                    {{"meaning", s.meaning},
                     {"signer", s.signer},
                     {"time", s.time},
                     {"address", s.address},
                     {"location", s.location},
                     {"version", std::to_string(s.version)},
                     {"content", s.content},
                     {"trail", s.trail},
                     {"trailHash", s.trailHash},
                     {"reason", s.reason},
                     {"key", s.key}});
}

std::vector<RecipeSignature> ReadSignatures(const std::string& path, const ProjectKeys& keys, size_t* damaged) {
  std::vector<RecipeSignature> signatures;
  std::string text = ReadStoreFile(path, kLongestSignatureLog);
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    RecipeSignature s;
    if (ParseSignature(text.substr(at, end - at), &s)) {
      s.valid = Verifies(s.key, SignatureText(s), s.signature) && keys.Trusts(s.signer, s.key);
      signatures.push_back(std::move(s));
    } else if (damaged != nullptr) {
      ++*damaged;
    }
    at = end + 1;
  }
  return signatures;
}

bool IsSignedFile(const std::string& name) {
  std::string lower = Lower(name);
  if (lower == "rcphead.edf" || lower == "rcprp.edf") return true;
  if (lower.size() != 11 || lower.compare(0, 5, "rcppt") != 0 || lower.compare(7, 4, ".edf") != 0) return false;
  if (!std::isdigit(static_cast<unsigned char>(lower[5])) || !std::isdigit(static_cast<unsigned char>(lower[6]))) {
    return false;
  }
  int unit = (lower[5] - '0') * 10 + (lower[6] - '0');
  return unit >= 1 && unit <= 32;
}

std::string ContentHashOf(std::vector<std::pair<std::string, std::string>> files) {
  files.erase(std::remove_if(files.begin(), files.end(), [](const auto& f) { return !IsSignedFile(f.first); }),
              files.end());
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& [name, hash] : files) text += name + " " + hash + "\n";
  return rcphistory::HashOf(text);
}

std::vector<std::string> SignatureLogs(const std::string& projectDirectory) {
  std::vector<std::string> logs;
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::string recipes = HistoryDirectory(projectDirectory) + "/recipes";
  std::vector<qvplatform::DirEntry> groups;
  if (env->ReadDirectory(recipes, &groups) != 0) return logs;
  for (const qvplatform::DirEntry& group : groups) {
    std::vector<qvplatform::DirEntry> files;
    if (group.type != qvplatform::EntryType::kDirectory || env->ReadDirectory(recipes + "/" + group.name, &files) != 0) {
      continue;
    }
    for (const qvplatform::DirEntry& file : files) {
      const std::string& name = file.name;
      bool sig = name.size() > 4 && name.compare(name.size() - 4, 4, kSignatureSuffix) == 0 && name[0] != '.';
      if (file.type == qvplatform::EntryType::kFile && sig) logs.push_back(recipes + "/" + group.name + "/" + name);
    }
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

void VerifySignatures(const std::string& projectDirectory, std::vector<rcpstore::Finding>* findings) {
  ProjectKeys keys = ReadProjectKeys(projectDirectory);
  for (const std::string& problem : keys.problems) {
    findings->push_back(Found(KeysDirectory(projectDirectory), "untrustedKey", problem));
  }
  for (const std::string& log : SignatureLogs(projectDirectory)) VerifyLog(projectDirectory, log, keys, findings);
}

}  // namespace rcpsign
