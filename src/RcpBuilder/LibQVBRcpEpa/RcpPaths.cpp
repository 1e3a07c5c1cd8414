#include <sstream>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Paths.h"
#include "LibQVBRcpEpa/Target.h"
#include "libqveeda/QVEFilePathCatalogue.h"

namespace rcpstore {

namespace {

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

std::vector<std::string> Words(const std::string& text) {
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
bool Fits(const PathMember& member, const std::vector<std::string>& given) {
  const std::vector<std::string> words = Words(member.arguments);
  size_t required = 0;
  for (const std::string& word : words) required += word.front() != '[';
  if (given.size() < required || given.size() > words.size()) return false;
  for (size_t i = 0; i < given.size(); ++i) {
    if (words[i].find("NUMBER") != std::string::npos && !IsNumber(given[i])) return false;
  }
  return true;
}

}  // namespace

size_t FindPathMember(const std::string& name, const std::vector<std::string>& arguments) {
  const std::vector<PathMember>& members = PathMembers();
  std::string forms;
  size_t found = members.size();
  for (size_t i = 0; i < members.size(); ++i) {
    if (name != members[i].name) continue;
    forms += std::string(forms.empty() ? "" : " or ") + name + " " + members[i].arguments;
    if (!Fits(members[i], arguments)) continue;
    if (found == members.size() || members[i].arguments.find("NUMBER") != std::string::npos) found = i;
  }
  if (found != members.size()) return found;
  if (forms.empty()) Fail("no catalogue member " + name, QVC_ERR_NOT_FOUND);
  Fail("expected " + forms, ERROR_INVALID_PARAMETER);
}

const std::vector<PathMember>& PathMembers() {
  static const std::vector<PathMember> members = [] {
    std::vector<PathMember> list;
    for (const QVEFilePathMember& member : QVEFilePathMembers()) {
      list.push_back({member.name, member.arguments, member.key != nullptr ? member.key : "",
                      member.folderKey != nullptr ? member.folderKey : ""});
    }
    return list;
  }();
  return members;
}

std::string ResolveEngineeringPath(size_t index, const std::vector<std::string>& arguments, const std::string& project) {
  const std::vector<QVEFilePathMember>& members = QVEFilePathMembers();
  if (index >= members.size()) Fail("no such catalogue member", ERROR_INVALID_PARAMETER);
  OpenedProjects opened;
  CQVEFilePath resolver;
  if (project.empty()) {
    Check(resolver.InitNoProject());
  } else {
    Check(resolver.Init(ProjectDirectory(project).c_str()));
  }
  QVEFilePathArguments given;
  given.values = arguments;
  CString path;
  if (uint32_t rc = members[index].call(resolver, given, &path)) Fail(Cause(rc), rc);
  return path;
}

}  // namespace rcpstore
