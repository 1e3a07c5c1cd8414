// rcpstore project and rcpstore station: registered projects and the station.
#include <CLI/CLI.hpp>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "platform/Registry.h"
#include "platform/StationDir.h"

namespace rcpstore {

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

std::string InfoJson(const std::string& name, const _QVERcpProjectInfo& info) {
  return JsonObject()
      .Field("name", name)
      .Field("path", info.strPath)
      .Field("status", info.nStatus == 1 ? "C" : "U")
      .Field("comment", info.strComment)
      .Field("host", info.strPjtHost)
      .Field("revision", info.strRevision)
      .Field("refDir", info.strRefPjtDir)
      .Field("version", info.nVersionMode != 0 ? "AUT" : "MAN")
      .Text();
}

std::string InfoText(const std::string& name, const _QVERcpProjectInfo& info) {
  return "name:     " + name + "\npath:     " + info.strPath + "\nstatus:   " + (info.nStatus == 1 ? "C" : "U") +
         "\ncomment:  " + info.strComment + "\nhost:     " + info.strPjtHost + "\nrevision: " + info.strRevision +
         "\nref dir:  " + info.strRefPjtDir + "\nversion:  " + (info.nVersionMode != 0 ? "AUT" : "MAN");
}

// Registers the project, keeping the attributes that its attribute file
// already holds except those the options change. A project that was not
// registered before stays unregistered when the registration fails.
int Register(const RegisterArgs& args) {
  _QVERcpProjectInfo before = DefaultInfo();
  CQVERcpUtil::GetProjectInfo(args.name.c_str(), &before);
  bool wasRegistered = !before.strPath.empty();
  _QVERcpProjectInfo info = DefaultInfo();
  info.strPath = args.dir;
  if (uint32_t rc = CQVERcpUtil::SetProjectInfo(args.name.c_str(), &info, 0)) {
    return ReportFailure("project register " + args.name, rc);
  }
  CQVERcpUtil::GetProjectInfo(args.name.c_str(), &info);
  if (args.comment) info.strComment = *args.comment;
  if (args.host) info.strPjtHost = *args.host;
  if (args.refDir) info.strRefPjtDir = *args.refDir;
  if (args.status) info.nStatus = *args.status == "C" ? 1 : 2;
  if (args.autoVersion) info.nVersionMode = 1;
  if (args.manualVersion) info.nVersionMode = 0;
  uint32_t rc = CQVERcpUtil::SetProjectInfo(args.name.c_str(), &info, args.noAttrFile ? 0 : 1);
  if (rc != 0 && !wasRegistered) CQVERcpUtil::DeleteProjectInfo(args.name.c_str());
  return ExitFor("project register " + args.name, rc);
}

int Info(const std::string& name, bool json) {
  _QVERcpProjectInfo info = DefaultInfo();
  if (uint32_t rc = CQVERcpUtil::GetProjectInfo(name.c_str(), &info)) return ReportFailure("project info " + name, rc);
  return PrintLine(json ? InfoJson(name, info) : InfoText(name, info));
}

int List(bool json) {
  CStringArray names;
  if (uint32_t rc = CQVERcpUtil::GetProjectList(names)) return ReportFailure("project list", rc);
  if (json) {
    std::string out = "[";
    for (size_t i = 0; i < names.size(); ++i) {
      _QVERcpProjectInfo info = DefaultInfo();
      CQVERcpUtil::GetProjectInfo(names[i].c_str(), &info);
      out += (i > 0 ? "," : "") + InfoJson(names[i], info);
    }
    return PrintLine(out + "]");
  }
  for (const std::string& name : names) PrintLine(name);
  return kExitOk;
}


int StationInfo(bool json) {
  std::string dir = qvplatform::StationDirectory();
  if (dir.empty()) return ReportFailure("station info", ERROR_ACCESS_DENIED);
  std::vector<std::string> identities = qvplatform::CallerIdentities();
  std::string registry = qvplatform::RegistryPath();
  if (json) {
    return PrintLine(JsonObject()
                         .Field("station", dir)
                         .Field("user", qvplatform::CallerUserName())
                         .Field("identities", identities)
                         .Field("registry", registry)
                         .Text());
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
  c->add_option("NAME", create->first, "Project directory name")->required();
  c->add_option("PARENT_DIR", create->second, "Directory to create it in")->required();
  c->callback([=] {
    *exitStatus = ExitFor("project create " + create->first,
                         CQVERcpUtil::CreateProject(create->first.c_str(), create->second.c_str()));
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
  r->callback([=] { *exitStatus = Register(*args); });

  auto named = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* i = project->add_subcommand("info", "Show a registered project");
  i->add_option("NAME", *named, "Project name")->required();
  i->add_flag("--json", *json, "Print JSON");
  i->callback([=] { *exitStatus = Info(*named, *json); });

  auto* l = project->add_subcommand("list", "List the registered projects (at most 20)");
  l->add_flag("--json", *json, "Print JSON");
  l->callback([=] { *exitStatus = List(*json); });

  auto* u = project->add_subcommand("unregister", "Remove a project from the station's project list");
  u->add_option("NAME", *named, "Project name")->required();
  u->callback([=] {
    *exitStatus = ExitFor("project unregister " + *named, CQVERcpUtil::DeleteProjectInfo(named->c_str()));
  });

  auto* d = project->add_subcommand("delete", "Delete a project's recipe store, and the directory when it is empty");
  d->add_option("DIR", *named, "Project directory")->required();
  d->callback([=] { *exitStatus = ExitFor("project delete " + *named, CQVERcpUtil::DeleteProject(named->c_str())); });

  auto* station = app.add_subcommand("station", "The station: its directory, registry and the caller's identities");
  station->require_subcommand(1);
  auto* s = station->add_subcommand("info", "Show the station and the caller's identities");
  s->add_flag("--json", *json, "Print JSON");
  s->callback([=] { *exitStatus = StationInfo(*json); });
}

}  // namespace rcpstore
