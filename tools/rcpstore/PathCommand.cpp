// rcpstore path: the engineering path catalogue, member by member.
#include <CLI/CLI.hpp>
#include <cstring>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "Json.h"
#include "LibQVCCommon/QVCCodes.h"
#include "Output.h"
#include "Report.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"
#include "libqveeda/QVEFilePathCatalogue.h"
#include "platform/Win32Types.h"

namespace rcpstore::cli {

namespace {

struct PathArgs {
  std::vector<std::string> words;  // MEMBER ARGS...
  std::string project;
  bool list = false;
};

std::vector<std::string> Words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Whether the given arguments fit a member's: every required one present,
// no more than it takes, digits wherever it takes a NUMBER.
bool Fits(const QVEFilePathMember& member, const std::vector<std::string>& given) {
  const std::vector<std::string> words = Words(member.arguments);
  size_t required = 0;
  for (const std::string& word : words) required += word.front() != '[';
  if (given.size() < required || given.size() > words.size()) return false;
  for (size_t i = 0; i < given.size(); ++i) {
    if (words[i].find("NUMBER") != std::string::npos && !IsNumber(given[i])) return false;
  }
  return true;
}

// The member of that name whose arguments fit; where a name and a number
// form both fit (digits given), the number form.
const QVEFilePathMember& FindMember(const std::string& name, const std::vector<std::string>& given) {
  bool known = false;
  const QVEFilePathMember* found = nullptr;
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    if (name != member.name) continue;
    known = true;
    if (!Fits(member, given)) continue;
    if (found == nullptr || std::strstr(member.arguments, "NUMBER") != nullptr) found = &member;
  }
  if (found != nullptr) return *found;
  if (!known) throw CLI::ValidationError("MEMBER", "no catalogue member " + name + " (see rcpstore path --list)");
  std::string forms;
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    if (name == member.name) forms += std::string(forms.empty() ? "" : " or ") + name + " " + member.arguments;
  }
  throw CLI::ValidationError("ARGS", "expected " + forms);
}

std::string Cause(uint32_t rc) {
  switch (rc) {
    case QVEEDA_ERR_UNKNOWN_KEY: return "the key names no path of this kind";
    case QVEEDA_ERR_NO_PROJECT: return "a project path needs --project";
    case ERROR_INVALID_NAME: return "a station or file name must be one plain name";
    case QVC_ERR_CANNOT_EXECUTE: return "an argument is missing or out of range";
    default: return CodeMeaning(rc);
  }
}

std::string ProjectDirectory(const std::string& given) {
  return NamesDirectory(given) && !IsAddress(given) ? ExistingDirectory(given) : ProjectTarget(given).project;
}

int Resolve(const PathArgs& args, const QVEFilePathMember& member) {
  CQVEFilePath resolver;
  if (args.project.empty()) {
    Check(resolver.InitNoProject());
  } else {
    Check(resolver.Init(ProjectDirectory(args.project).c_str()));
  }
  QVEFilePathArguments arguments;
  arguments.values.assign(args.words.begin() + 1, args.words.end());
  CString path;
  if (uint32_t rc = member.call(resolver, arguments, &path)) Fail(Cause(rc), rc);
  if (!Output().json) return PrintLine(path);
  Json given = Json::array();
  for (const std::string& value : arguments.values) given.push_back(JsonText(value));
  return PrintJson({{"member", member.name}, {"arguments", given}, {"path", JsonText(path)}});
}

Json KeyOrNull(const char* key) { return key != nullptr ? Json(key) : Json(nullptr); }

int List(bool json) {
  Json members = Json::array();
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    if (json) {
      members.push_back({{"member", member.name},
                         {"arguments", Words(member.arguments)},
                         {"key", KeyOrNull(member.key)},
                         {"folderKey", KeyOrNull(member.folderKey)}});
      continue;
    }
    std::string keys = member.key != nullptr ? member.key : "";
    if (member.folderKey != nullptr && std::strcmp(member.folderKey, member.key) != 0) keys += " / " + std::string(member.folderKey);
    std::string call = std::string(member.name) + (*member.arguments != 0 ? " " : "") + member.arguments;
    PrintLine(call + std::string(call.size() < 52 ? 52 - call.size() : 1, ' ') + keys);
  }
  return json ? PrintJson(members) : kExitOk;
}

}  // namespace

void AddPathCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = app.add_subcommand("path", "Resolve an engineering path by its catalogue member");
  auto args = std::make_shared<PathArgs>();
  cmd->add_option("MEMBER ARGS", args->words, "Catalogue member and its arguments (see --list)");
  cmd->add_option("--project", args->project, "Project directory (with a '/') or registered name");
  cmd->add_flag("--list", args->list, "List the members with their arguments and keys");
  Example(*cmd, "rcpstore path GetFCSProgPath FCS0101 --project @Line1");
  cmd->callback([=] {
    if (args->list) {
      *exitStatus = Run("path --list", [&] { return List(Output().json); });
      return;
    }
    if (args->words.empty()) throw CLI::ValidationError("MEMBER", "a catalogue member, or --list");
    const std::vector<std::string> given(args->words.begin() + 1, args->words.end());
    const QVEFilePathMember& member = FindMember(args->words.front(), given);
    *exitStatus = Run("path " + args->words.front(), [&] { return Resolve(*args, member); });
  });
}

}  // namespace rcpstore::cli
