// rcpstore path: the engineering path catalogue, member by member.
#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "LibQVBRcpEpa/Paths.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct PathArgs {
  std::vector<std::string> words;  // MEMBER ARGS...
  std::string project;
  bool list = false;
};

std::vector<std::string> BlankSeparated(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The member that fits; a refusal is a usage error of the word it concerns.
size_t MemberFitting(const std::string& name, const std::vector<std::string>& given) {
  try {
    return FindPathMember(name, given);
  } catch (const Failure& failure) {
    bool unknown = failure.code == QVC_ERR_NOT_FOUND;
    throw CLI::ValidationError(unknown ? "MEMBER" : "ARGS",
                               unknown ? failure.cause + " (see rcpstore path --list)" : failure.cause);
  }
}

int Resolve(size_t member, const std::vector<std::string>& given, const std::string& project) {
  std::string path = ResolveEngineeringPath(member, given, project);
  if (!Output().json) return PrintLine(Printable(path));
  return PrintJson({{"member", PathMembers()[member].name}, {"arguments", JsonTexts(given)}, {"path", JsonText(path)}});
}

Json KeyOrNull(const std::string& key) { return key.empty() ? Json(nullptr) : Json(key); }

Json MemberJson(const PathMember& member) {
  return {{"member", member.name},
          {"arguments", BlankSeparated(member.arguments)},
          {"key", KeyOrNull(member.key)},
          {"folderKey", KeyOrNull(member.folderKey)}};
}

// The member's call, and its keys in a column.
std::string MemberLine(const PathMember& member) {
  std::string keys = member.key;
  if (!member.folderKey.empty() && member.folderKey != member.key) keys += " / " + member.folderKey;
  std::string call = member.name + (member.arguments.empty() ? "" : " ") + member.arguments;
  return call + std::string(call.size() < 52 ? 52 - call.size() : 1, ' ') + keys;
}

}  // namespace

void AddPathCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = AddCommand(app, "path", "Resolve an engineering path by its catalogue member",
                         "rcpstore path GetFCSProgPath FCS0101 --project @Line1");
  auto args = std::make_shared<PathArgs>();
  cmd->add_option("MEMBER ARGS", args->words, "Catalogue member and its arguments (see --list)");
  cmd->add_option("--project", args->project, "Project directory (with a '/') or registered name");
  cmd->add_flag("--list", args->list, "List the members with their arguments and keys");
  cmd->callback([=] {
    if (args->list) {
      *exitStatus = Run("path --list", [] { return PrintList(PathMembers(), MemberJson, MemberLine); });
      return;
    }
    if (args->words.empty()) throw CLI::ValidationError("MEMBER", "a catalogue member, or --list");
    const std::vector<std::string> given(args->words.begin() + 1, args->words.end());
    size_t member = MemberFitting(args->words.front(), given);
    *exitStatus = Run("path " + args->words.front(), [&] { return Resolve(member, given, args->project); });
  });
}

}  // namespace rcpstore::cli
