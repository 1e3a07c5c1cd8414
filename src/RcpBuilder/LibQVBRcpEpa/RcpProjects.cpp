// Projects: their registrations as read, and the changes that create,
// register, unregister and delete them.
#include <strings.h>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpChanged.h"
#include "RcpProjectFile.h"
#include "libqvecommon/QVEEngFile.h"

namespace rcpstore {

namespace {

_QVERcpProjectInfo DefaultInfo() {
  _QVERcpProjectInfo info{};
  info.nStatus = 1;
  info.nVersionMode = 0;
  return info;
}

StoreItem Described(const std::string& name, const _QVERcpProjectInfo& info) {
  Target target;
  target.project = info.strPath;
  target.projectName = name;
  target.registered = true;
  StoreItem item = PlainItem(target);
  item.described = true;
  item.project = ProjectInfo{info.strPath,     info.nStatus == 1,  info.strComment,         info.strPjtHost,
                             info.strRevision, info.strRefPjtDir, info.nVersionMode != 0};
  return item;
}

// The registration of a name; *rc why it is incomplete.
_QVERcpProjectInfo Registration(const std::string& name, uint32_t* rc) {
  _QVERcpProjectInfo info = DefaultInfo();
  *rc = CQVERcpUtil::GetProjectInfo(name.c_str(), &info);
  return info;
}

void Apply(const ProjectAttributes& attributes, _QVERcpProjectInfo* info) {
  if (attributes.comment) info->strComment = *attributes.comment;
  if (attributes.host) info->strPjtHost = *attributes.host;
  if (attributes.refDir) info->strRefPjtDir = *attributes.refDir;
  if (attributes.checked) info->nStatus = *attributes.checked ? 1 : 2;
  if (attributes.autoVersion) info->nVersionMode = *attributes.autoVersion ? 1 : 0;
}

}  // namespace

StoreItem ProjectItem(const std::string& given) {
  std::string name = ProjectNameGiven(given);
  if (NamesDirectory(name)) Fail("a registered project name, not a directory, is expected", ERROR_INVALID_NAME);
  RequireStation();
  uint32_t rc = 0;
  _QVERcpProjectInfo info = Registration(name, &rc);
  if (info.strPath.empty()) FailUnregistered(name);
  Check(rc);
  return Described(name, info);
}

std::vector<StoreItem> ListedProjects() {
  RequireStation();
  CStringArray names;
  Check(CQVERcpUtil::GetProjectList(names));
  std::vector<StoreItem> projects;
  for (const std::string& name : names) {
    uint32_t rc = 0;
    projects.push_back(Described(name, Registration(name, &rc)));
  }
  return projects;
}

void RequireNameMayLeadTo(const std::string& name, const std::string& projectDirectory, bool replace) {
  std::string registered = rcpproject::RegisteredDirectory(name);
  if (registered.empty() || registered == projectDirectory) return;
  for (const std::string& same : NamesRegisteredFor(projectDirectory)) {
    if (strcasecmp(same.c_str(), name.c_str()) == 0) return;
  }
  if (!replace) Fail("\"" + name + "\" is registered for " + registered + " (--replace re-points it)", QVC_ERR_EXISTS);
  RequireAdministratorWhileSecured("re-point a registered name");
}

ChangeReport CreateProject(const std::string& name, const std::string& parentDir) {
  RequireNoProblem("project name", ProjectNameProblem(name));
  OpenedProjects opened;
  std::string parent = ExistingDirectory(parentDir);
  std::string dir = parent + "/" + name;
  // A create killed after its project was in place left only its hold beside it.
  CQVERcpUtil::CleanLeftovers(parent.c_str());
  if (Exists(dir)) Fail(Printable(dir) + " already exists", QVC_ERR_EXISTS);
  Check(CQVERcpUtil::CreateProject(name.c_str(), parent.c_str()));
  return {Made(PlainItem(ProjectAt(dir)), "register it to give it an address: rcpstore project register NAME " + dir)};
}

// The attributes the directory's file holds, changed as given, written with
// the registration, all or nothing.
ChangeReport RegisterProject(const std::string& name, const std::string& dir, const ProjectAttributes& attributes) {
  RequireNoProblem("project name", ProjectNameProblem(name));
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"comment", &attributes.comment}, {"host", &attributes.host}, {"reference directory", &attributes.refDir}};
  for (const auto& [what, text] : texts) {
    if (*text) RequireNoProblem(what, OneLineProblem(**text));
  }
  RequireStation();
  OpenedProjects opened;
  Target target = ProjectAt(dir);
  RequireNameMayLeadTo(name, target.project, attributes.replace);
  CommandLocks locks;
  if (attributes.writeFile) locks.LockProject(target);
  uint32_t rc = 0;
  bool wasRegistered = !Registration(name, &rc).strPath.empty();
  _QVERcpProjectInfo info = DefaultInfo();
  rcpproject::ReadAttributes(target.project, &info);
  info.strPath = target.project;
  Apply(attributes, &info);
  Check(attributes.writeFile ? rcpproject::Register(name, info) : CQVERcpUtil::SetProjectInfo(name.c_str(), &info, 0));
  StoreItem item = Described(name, info);
  if (wasRegistered) return {Changed(std::move(item))};
  return {Made(std::move(item), "registered " + target.project)};
}

ChangeReport UnregisterProject(const std::string& given) {
  OpenedProjects opened;
  StoreItem item = ProjectItem(given);
  RequireAdministratorWhileSecured("unregister a project name");
  Check(CQVERcpUtil::DeleteProjectInfo(item.name.c_str()));
  return {Removed(std::move(item), "unregistered; its directory stays")};
}

ChangeReport DeleteProject(const std::string& given, const DeleteOptions& how) {
  OpenedProjects opened;
  RequireRight(Right::Delete);
  Target target = ProjectToDelete(given);
  if (how.dryRun) return WouldRemove(PlainItem(target), RemovalListing(target.project));
  std::vector<std::string> names = NamesRegisteredFor(target.project);
  CommandLocks locks;
  locks.LockProject(target);
  RequireEmpty(how, CountDirectories(target.project + "/Recipe"), "recipe groups");
  StoreItem item = PlainItem(target);
  Check(CQVERcpUtil::DeleteProject(target.project.c_str()));
  for (const std::string& name : names) CQVERcpUtil::DeleteProjectInfo(name.c_str());
  locks.ReleaseAll();
  // A directory kept for what else is in it keeps no lock file of the store.
  QVEEngDeleteFile(locks.lastLockFile().c_str(), 0, 0);
  return {Removed(std::move(item))};
}

}  // namespace rcpstore
