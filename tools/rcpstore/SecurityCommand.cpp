// rcpstore security and station group: switching the recipe access rights on
// and off, what the caller may do, and the members of the station's groups.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa/Station.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

int Switch(bool on) {
  SwitchSecurity(on);
  const char* status = on ? "on" : "off";
  if (Output().json) return PrintJson(Json{{"security", status}});
  return Output().quiet ? kExitOk : PrintLine(std::string("recipe security is ") + status);
}

int Status(bool json) {
  SecurityStatus security = ReadSecurityStatus();
  const char* status = security == SecurityStatus::kOn ? "on" : security == SecurityStatus::kOff ? "off" : "absent";
  std::vector<std::string> held;
  Json rights = Json::object();
  for (Right right : AllRights()) {
    rights[RightName(right)] = HoldsRight(right);
    if (HoldsRight(right)) held.push_back(RightName(right));
  }
  if (json) return PrintJson(Json{{"security", status}, {"user", JsonText(CallerName())}, {"rights", rights}});
  std::string shown = std::string(status) == "absent" ? "not set up" : status;
  return PrintLine("security: " + shown + "\nuser:     " + CallerName() + "\nrights:   " + Joined(held, "none"));
}

// Exit status 0 when the user holds every right asked for, 1 when not.
int CheckRights(const std::vector<std::string>& names, bool json) {
  RequireStationRegistry();
  std::vector<Right> asked;
  Json results = Json::object();
  std::string text;
  for (const std::string& name : names) {
    Right right = Right::Run;
    RightNamed(name, &right);
    asked.push_back(right);
    bool held = HoldsRight(right);
    results[name] = held;
    text += name + ": " + (held ? "allowed" : "refused") + "\n";
  }
  const bool allowed = HoldsRights(asked);
  if (json) {
    PrintJson(Json{{"user", JsonText(CallerName())}, {"allowed", allowed}, {"rights", results}});
  } else {
    PrintLine("user " + CallerName() + "\n" + text.substr(0, text.size() - 1));
  }
  return allowed ? kExitOk : kExitFailure;
}

int Groups(bool json) {
  Json list = Json::array();
  std::string text;
  for (const SecurityGroup& group : ReadSecurityGroups()) {
    if (!group.exists) {
      list.push_back(Json{{"name", group.name}, {"exists", false}});
      text += group.name + ": not created (security was never switched on)\n";
      continue;
    }
    Json members = Json::array();
    for (const std::string& member : group.members) members.push_back(JsonText(member));
    list.push_back(Json{
        {"name", JsonText(group.name)}, {"exists", true}, {"comment", JsonText(group.comment)}, {"members", members}});
    text += group.name + ": " + group.comment + "\n  members: " + Joined(group.members, "none") + "\n";
  }
  if (json) return PrintJson(Json{{"groups", list}});
  return PrintLine(text.substr(0, text.size() - 1));
}

struct MemberArgs {
  std::string group;
  std::string user;
};

int ChangeMember(const MemberArgs& args, bool add) {
  ChangeGroupMember(args.group, args.user, add);
  if (Output().json)
    return PrintJson(Json{{"localGroup", JsonText(args.group)}, {"user", JsonText(args.user)}, {"enrolled", add}});
  if (Output().quiet) return kExitOk;
  return PrintLine(add ? args.user + " is now a member of " + args.group
                       : args.user + " is no longer a member of " + args.group);
}

// The station command, whichever command file made it first.
CLI::App* StationCommand(CLI::App& app) {
  if (CLI::App* station = FindCommand(app, "station")) return station;
  auto* station = app.add_subcommand("station", "The station: its directory, registry and groups");
  station->require_subcommand(1);
  return station;
}

}  // namespace

void AddSecurityCommand(CLI::App& app, int* exitStatus) {
  auto* security = app.add_subcommand("security", "Switch the recipe access rights on or off and check them");
  security->require_subcommand(1);

  auto* on = security->add_subcommand("on", "Switch recipe security on (administrators only)");
  Example(*on, "rcpstore security on");
  on->callback([=] { *exitStatus = Run("security on", [] { return Switch(true); }); });
  auto* off = security->add_subcommand("off", "Switch recipe security off (administrators only)");
  Example(*off, "rcpstore security off");
  off->callback([=] { *exitStatus = Run("security off", [] { return Switch(false); }); });

  auto* s = security->add_subcommand("status", "Whether security is on, and the rights of the caller");
  Example(*s, "rcpstore security status --json");
  s->callback([=] { *exitStatus = Run("security status", [&] { return Status(Output().json); }); });

  auto rights = std::make_shared<std::vector<std::string>>();
  auto* c = security->add_subcommand("check", "Whether the caller holds every right named (exit status 1 if not)");
  Example(*c, "rcpstore security check create edit");
  c->add_option("RIGHT", *rights, "run, read, create, edit, delete, approve or download")
      ->required()
      ->check(CLI::IsMember(RightNames()));
  c->callback([=] { *exitStatus = Run("security check", [&] { return CheckRights(*rights, Output().json); }); });

  auto* g = security->add_subcommand("groups", "The recipe-security groups with their comments and members");
  Example(*g, "rcpstore security groups");
  g->callback([=] { *exitStatus = Run("security groups", [&] { return Groups(Output().json); }); });

  auto* group = StationCommand(app)->add_subcommand("group", "Members of the station's local groups");
  group->require_subcommand(1);
  auto member = std::make_shared<MemberArgs>();
  for (bool add : {true, false}) {
    const char* name = add ? "add-member" : "remove-member";
    auto* m = group->add_subcommand(name, add ? "Enrol a user in a local group (administrators only)"
                                              : "Take a user out of a local group (administrators only)");
    Example(*m, add ? "rcpstore station group add-member RcpSec2 alice"
                    : "rcpstore station group remove-member RcpSec2 alice");
    m->add_option("GROUP", member->group, "Local group, e.g. RcpSec2")->required();
    m->add_option("USER", member->user, "User name")->required();
    m->callback([=] {
      std::string what = std::string("station group ") + name + " " + member->group + " " + member->user;
      *exitStatus = Run(what, [&] { return ChangeMember(*member, add); });
    });
  }
}

}  // namespace rcpstore::cli
