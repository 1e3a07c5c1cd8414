// rcpstore project and rcpstore station: registered projects and the station.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Locks.h"
#include "Output.h"
#include "Removal.h"
#include "LibQVBRcpEpa/Rights.h"
#include "Describe.h"
#include "Report.h"
#include "Usage.h"
#include "LibQVBRcpEpa/Target.h"
#include "Texts.h"
#include "libqvecommon/QVEEngFile.h"
#include "platform/Env.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"

namespace rcpstore::cli {

namespace {

struct RegisterArgs {
  std::string name;
  std::string dir;
  std::optional<std::string> comment;
  std::optional<std::string> host;
  std::optional<std::string> refDir;
  std::optional<std::string> status;
  bool autoVersion = false;
  bool manualVersion = false;
  bool noAttrFile = false;
};

_QVERcpProjectInfo DefaultInfo() {
  _QVERcpProjectInfo info{};
  info.nStatus = 1;
  info.nVersionMode = 0;
  return info;
}

std::string InfoText(const std::string& name, const _QVERcpProjectInfo& info) {
  return "project:  @" + name + "\nname:     " + name + "\npath:     " + info.strPath +
         "\nstatus:   " + (info.nStatus == 1 ? "C (checked)" : "U (unchecked)") + "\ncomment:  " + info.strComment +
         "\nhost:     " + info.strPjtHost + "\nrevision: " + info.strRevision + "\nref dir:  " + info.strRefPjtDir +
         "\nversion:  " + (info.nVersionMode != 0 ? "AUT (the editing tools advance recipe versions)"
                                 : "MAN (versions are advanced by hand)");
}

void CheckTexts(const RegisterArgs& args) {
  CheckProjectName("NAME", args.name);
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"--comment", &args.comment}, {"--host", &args.host}, {"--ref-dir", &args.refDir}};
  for (const auto& [option, text] : texts) {
    if (*text) CheckOneLine(option, **text);
  }
}

// A registered name (or its address @NAME); anything else is refused.
_QVERcpProjectInfo Registered(const std::string& given) {
  _QVERcpProjectInfo info = DefaultInfo();
  std::string name = ProjectNameGiven(given);
  if (NamesDirectory(name)) Fail("a registered project name, not a directory, is expected", ERROR_INVALID_NAME);
  uint32_t rc = CQVERcpUtil::GetProjectInfo(name.c_str(), &info);
  if (info.strPath.empty()) Fail("no project registered under this name", ERROR_FILE_NOT_FOUND);
  Check(rc);
  return info;
}

// Registers the project, keeping the attributes that its attribute file
// already holds except those the options change. A project that was not
// registered before stays unregistered when the registration fails.
int Register(const RegisterArgs& args) {
  Target target = ProjectAt(args.dir);
  CommandLocks locks;
  if (!args.noAttrFile) locks.LockProject(target);
  _QVERcpProjectInfo before = DefaultInfo();
  CQVERcpUtil::GetProjectInfo(args.name.c_str(), &before);
  bool wasRegistered = !before.strPath.empty();
  _QVERcpProjectInfo info = DefaultInfo();
  info.strPath = target.project;
  Check(CQVERcpUtil::SetProjectInfo(args.name.c_str(), &info, 0));
  CQVERcpUtil::GetProjectInfo(args.name.c_str(), &info);
  if (args.comment) info.strComment = *args.comment;
  if (args.host) info.strPjtHost = *args.host;
  if (args.refDir) info.strRefPjtDir = *args.refDir;
  if (args.status) info.nStatus = *args.status == "C" ? 1 : 2;
  if (args.autoVersion) info.nVersionMode = 1;
  if (args.manualVersion) info.nVersionMode = 0;
  uint32_t rc = CQVERcpUtil::SetProjectInfo(args.name.c_str(), &info, args.noAttrFile ? 0 : 1);
  if (rc != 0 && !wasRegistered) CQVERcpUtil::DeleteProjectInfo(args.name.c_str());
  Check(rc);
  Report report;
  Json item = ProjectJson(args.name, info);
  if (wasRegistered) {
    report.Changed(item);
  } else {
    report.Created(item, "registered " + target.project);
  }
  return report.Print();
}

// A new project only: the store builds it whole or not at all, and a create
// killed after its project was in place left only its hold beside it.
int Create(const std::string& name, const std::string& parentDir) {
  std::string parent = ExistingDirectory(parentDir);
  std::string dir = parent + "/" + name;
  CQVERcpUtil::CleanLeftovers(parent.c_str());
  if (Exists(dir)) Fail(dir + " already exists", QVC_ERR_EXISTS);
  Check(CQVERcpUtil::CreateProject(name.c_str(), parent.c_str()));
  Report report;
  report.Created(BasicJson(ProjectAt(dir)),
                 "register it to give it an address: rcpstore project register NAME " + dir);
  return report.Print();
}

int Info(const std::string& given) {
  std::string name = ProjectNameGiven(given);
  _QVERcpProjectInfo info = Registered(name);
  return Output().json ? PrintJson(ProjectJson(name, info)) : PrintLine(InfoText(name, info));
}

// The store lists at most 20 projects; the rest are counted on stderr.
int List() {
  CStringArray names;
  Check(CQVERcpUtil::GetProjectList(names));
  Json projects = Json::array();
  for (const std::string& name : names) {
    _QVERcpProjectInfo info = DefaultInfo();
    CQVERcpUtil::GetProjectInfo(name.c_str(), &info);
    projects.push_back(ProjectJson(name, info));
    if (!Output().json) PrintLine("@" + name + "  " + info.strPath);
  }
  if (Output().json) PrintJson(projects);
  size_t registered = RegisteredProjects().size();
  if (registered > names.size()) {
    std::fprintf(stderr, "rcpstore: project list: %zu more registered projects not shown (the list holds %zu)\n",
                 registered - names.size(), names.size());
  }
  return kExitOk;
}

int Unregister(const std::string& given) {
  std::string name = ProjectNameGiven(given);
  Json item = ProjectJson(name, Registered(name));
  Check(CQVERcpUtil::DeleteProjectInfo(name.c_str()));
  Report report;
  report.Removed(item, "unregistered; its directory stays");
  return report.Print();
}

// Deletes the recipe store, and the directory with it when nothing else is
// in it, then takes the project off the station's list. A re-run finishes
// what an interrupted delete began.
int Delete(const std::string& given, const RemovalOptions& removal) {
  RequireRight(Right::Delete);
  Target target = ProjectToDelete(given);
  if (removal.dryRun) return PrintRemoval(target.project);
  RequireYes(removal, CountDirectories(target.project + "/Recipe"), "recipe groups");
  std::vector<std::string> names = NamesRegisteredFor(target.project);
  CommandLocks locks;
  locks.LockProject(target);
  Report report;
  report.Removed(BasicJson(target));
  Check(CQVERcpUtil::DeleteProject(target.project.c_str()));
  for (const std::string& name : names) CQVERcpUtil::DeleteProjectInfo(name.c_str());
  locks.ReleaseAll();
  // A directory kept for what else is in it keeps no lock file of the store.
  QVEEngDeleteFile(locks.lastLockFile().c_str(), 0, 0);
  return report.Print();
}

int StationInfo() {
  std::string dir = qvplatform::StationDirectory();
  if (dir.empty()) Fail("no station directory can be used", ERROR_ACCESS_DENIED);
  std::vector<std::string> identities = qvplatform::CallerIdentities();
  std::string registry = qvplatform::RegistryPath();
  if (Output().json) {
    Json ids = Json::array();
    for (const std::string& id : identities) ids.push_back(JsonText(id));
    return PrintJson(Json{{"kind", "station"},
                          {"path", JsonText(dir)},
                          {"user", JsonText(qvplatform::CallerUserName())},
                          {"identities", ids},
                          {"registry", JsonText(registry)}});
  }
  std::string ids;
  for (const std::string& id : identities) ids += (ids.empty() ? "" : ", ") + id;
  return PrintLine("station:    " + dir + "\nuser:       " + qvplatform::CallerUserName() + "\nidentities: " + ids +
                   "\nregistry:   " + registry);
}

}  // namespace

void AddProjectCommand(CLI::App& app, int* exitStatus) {
  auto* project = app.add_subcommand("project", "Create, register, describe and delete projects");
  project->require_subcommand(1);

  auto create = std::make_shared<std::pair<std::string, std::string>>();
  auto* c = project->add_subcommand("create", "Create a project directory with its Recipe directory");
  c->add_option("NAME", create->first, "Name of the new project directory")->required();
  c->add_option("PARENT_DIR", create->second, "Existing directory to create it in")->required();
  Example(*c, "rcpstore project create Plant ~/plant");
  c->callback([=] {
    CheckProjectName("NAME", create->first);
    *exitStatus = Run("project create " + create->first, [&] { return Create(create->first, create->second); });
  });

  auto args = std::make_shared<RegisterArgs>();
  auto* r = project->add_subcommand("register", "Register a project directory on the station under a name");
  r->add_option("NAME", args->name, "Project name")->required();
  r->add_option("DIR", args->dir, "Project directory")->required();
  r->add_option("--comment", args->comment, "Comment");
  r->add_option("--host", args->host, "Project host");
  r->add_option("--ref-dir", args->refDir, "Reference project directory");
  r->add_option("--status", args->status, "Status")->check(CLI::IsMember({"C", "U"}));
  auto* automatic = r->add_flag("--auto-version", args->autoVersion, "Advance recipe versions automatically");
  r->add_flag("--manual-version", args->manualVersion, "Advance recipe versions by hand")->excludes(automatic);
  r->add_flag("--no-attr-file", args->noAttrFile, "Write the registry only, not the attribute file");
  Example(*r, "rcpstore project register Line1 ~/plant/Plant --status C --auto-version");
  r->callback([=] {
    CheckTexts(*args);
    *exitStatus = Run("project register " + args->name, [&] { return Register(*args); });
  });

  auto named = std::make_shared<std::string>();
  auto* i = project->add_subcommand("info", "Show a registered project");
  i->add_option("PROJECT", *named, "Registered project: @NAME or NAME")->required();
  Example(*i, "rcpstore project info @Line1");
  i->callback([=] { *exitStatus = Run("project info " + *named, [&] { return Info(*named); }); });

  auto* l = project->add_subcommand("list", "List the registered projects (the store lists at most 20)");
  Example(*l, "rcpstore project list --json");
  l->callback([=] { *exitStatus = Run("project list", [&] { return List(); }); });

  auto* u = project->add_subcommand("unregister", "Remove a project from the station's project list");
  u->add_option("PROJECT", *named, "Registered project: @NAME or NAME")->required();
  Example(*u, "rcpstore project unregister Line1");
  u->callback([=] { *exitStatus = Run("project unregister " + *named, [&] { return Unregister(*named); }); });

  auto removal = std::make_shared<RemovalOptions>();
  auto* d = project->add_subcommand(
      "delete", "Delete a project's recipe store (and the directory when nothing else is in it); unregister it");
  d->add_option("PROJECT", *named, kProjectHelp)->required();
  AddRemovalOptions(*d, *removal, true);
  Example(*d, "rcpstore project delete @Line1 --dry-run");
  d->callback([=] { *exitStatus = Run("project delete " + *named, [&] { return Delete(*named, *removal); }); });

  auto* station = app.add_subcommand("station", "The station: its directory, registry and the caller's identities");
  station->require_subcommand(1);
  auto* s = station->add_subcommand("info", "Show the station and the caller's identities");
  Example(*s, "rcpstore station info");
  s->callback([=] { *exitStatus = Run("station info", [&] { return StationInfo(); }); });
}

}  // namespace rcpstore::cli
