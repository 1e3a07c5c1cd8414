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

}  // namespace

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
