// rcpstore project and rcpstore station: registered projects and the station.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct RegisterArgs {
  std::string name;
  std::string dir;
  ProjectAttributes attributes;
  std::optional<std::string> status;
  bool autoVersion = false;
  bool manualVersion = false;
};

std::string ProjectText(const StoreItem& item) {
  const ProjectInfo& info = item.project;
  std::string name = Printable(item.name);
  return "project:  @" + name + "\nname:     " + name + "\npath:     " + Printable(info.path) +
         "\nstatus:   " + (info.checked ? "C (checked)" : "U (unchecked)") + "\ncomment:  " + Printable(info.comment) +
         "\nhost:     " + Printable(info.host) + "\nrevision: " + Printable(info.revision) +
         "\nref dir:  " + Printable(info.refDir) + "\nversion:  " +
         (info.autoVersion ? "AUT (the editing tools advance recipe versions)" : "MAN (versions are advanced by hand)");
}

void CheckTexts(const RegisterArgs& args) {
  Refuse("NAME", ProjectNameProblem(args.name));
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {{"--comment", &args.attributes.comment},
                                                                             {"--host", &args.attributes.host},
                                                                             {"--ref-dir", &args.attributes.refDir}};
  for (const auto& [option, text] : texts) {
    if (*text) Refuse(option, OneLineProblem(**text));
  }
}

int Register(const RegisterArgs& args) {
  CheckTexts(args);
  ProjectAttributes attributes = args.attributes;
  if (args.status) attributes.checked = *args.status == "C";
  if (args.autoVersion || args.manualVersion) attributes.autoVersion = args.autoVersion;
  return PrintChanges(RegisterProject(args.name, args.dir, attributes));
}

int Info(const std::string& given) {
  StoreItem item = ProjectItem(given);
  return Output().json ? PrintJson(ItemJson(item)) : PrintLine(ProjectText(item));
}

// The store lists at most 20 projects; the rest are counted on stderr.
int List() {
  std::vector<StoreItem> listed = ListedProjects();
  PrintList(listed, ItemJson,
            [](const StoreItem& item) { return "@" + Printable(item.name) + "  " + Printable(item.project.path); });
  size_t registered = RegisteredProjects().size();
  if (registered > listed.size()) {
    std::fprintf(stderr, "rcpstore: project list: %zu more registered projects not shown (the list holds %zu)\n",
                 registered - listed.size(), listed.size());
  }
  return kExitOk;
}

int PrintStation() {
  StationInfo station = ReadStationInfo();
  if (Output().json) {
    return PrintJson(Json{{"kind", "station"},
                          {"path", JsonText(station.directory)},
                          {"user", JsonText(station.user)},
                          {"identities", JsonTexts(station.identities)},
                          {"registry", JsonText(station.registry)}});
  }
  return PrintLine("station:    " + Printable(station.directory) + "\nuser:       " + Printable(station.user) +
                   "\nidentities: " + Printable(Joined(station.identities)) +
                   "\nregistry:   " + Printable(station.registry));
}

}  // namespace

void AddProjectCommand(CLI::App& app, int* exitStatus) {
  auto* project = app.add_subcommand("project", "Create, register, describe and delete projects");
  project->require_subcommand(1);

  auto create = std::make_shared<std::pair<std::string, std::string>>();
  auto* c = AddCommand(*project, "create", "Create a project directory with its Recipe directory",
                       "rcpstore project create Plant ~/plant");
  c->add_option("NAME", create->first, "Name of the new project directory")->required();
  c->add_option("PARENT_DIR", create->second, "Existing directory to create it in")->required();
  Runs(*c, exitStatus, [=] {
    Refuse("NAME", ProjectNameProblem(create->first));
    return PrintChanges(CreateProject(create->first, create->second));
  });

  auto args = std::make_shared<RegisterArgs>();
  auto* r = AddCommand(*project, "register", "Register a project directory on the station under a name",
                       "rcpstore project register Line1 ~/plant/Plant --status C --auto-version");
  r->add_option("NAME", args->name, "Project name")->required();
  r->add_option("DIR", args->dir, "Project directory")->required();
  r->add_option("--comment", args->attributes.comment, "Comment");
  r->add_option("--host", args->attributes.host, "Project host");
  r->add_option("--ref-dir", args->attributes.refDir, "Reference project directory");
  r->add_option("--status", args->status, "Status")->check(CLI::IsMember({"C", "U"}));
  auto* automatic = r->add_flag("--auto-version", args->autoVersion, "Advance recipe versions automatically");
  r->add_flag("--manual-version", args->manualVersion, "Advance recipe versions by hand")->excludes(automatic);
  r->add_flag("--no-attr-file{false}", args->attributes.writeFile, "Write the registry only, not the attribute file");
  r->add_flag("--replace", args->attributes.replace, "Re-point a name registered for another directory");
  Runs(*r, exitStatus, [=] { return Register(*args); });

  auto named = std::make_shared<std::string>();
  auto* i = AddCommand(*project, "info", "Show a registered project", "rcpstore project info @Line1");
  i->add_option("PROJECT", *named, "Registered project: @NAME or NAME")->required();
  Runs(*i, exitStatus, [=] { return Info(*named); });

  auto* l = AddCommand(*project, "list", "List the registered projects (the store lists at most 20)",
                       "rcpstore project list --json");
  Runs(*l, exitStatus, List);

  auto* u = AddCommand(*project, "unregister", "Remove a project from the station's project list",
                       "rcpstore project unregister Line1");
  u->add_option("PROJECT", *named, "Registered project: @NAME or NAME")->required();
  Runs(*u, exitStatus, [=] { return PrintChanges(UnregisterProject(*named)); });

  auto removal = std::make_shared<DeleteOptions>();
  auto* d = AddCommand(*project, "delete",
                       "Delete a project's recipe store (and the directory when nothing else is in it); unregister it",
                       "rcpstore project delete @Line1 --dry-run");
  d->add_option("PROJECT", *named, kProjectHelp)->required();
  AddDeleteOptions(*d, *removal, true);
  Runs(*d, exitStatus, [=] { return PrintDelete(*removal, [&] { return DeleteProject(*named, *removal); }); });

  auto* station = app.add_subcommand("station", "The station: its directory, registry and the caller's identities");
  station->require_subcommand(1);
  auto* s = AddCommand(*station, "info", "Show the station and the caller's identities", "rcpstore station info");
  Runs(*s, exitStatus, PrintStation);
  auto* init = AddCommand(*station, "init",
                          "Set the station up so that its users cannot abuse it (root or the station's owner)",
                          "rcpstore --station /srv/qv-station station init");
  Runs(*init, exitStatus, [] {
    std::vector<std::string> done = SetUpStation();
    if (Output().json) return PrintJson(Json{{"kind", "station-setup"}, {"changes", JsonTexts(done)}});
    if (done.empty()) return PrintLine("station set up already; nothing changed");
    return PrintLine(Joined(done, "", "\n"));
  });
}

}  // namespace rcpstore::cli
