// rcpstore security and station group: switching the recipe access rights on
// and off, what the caller may do, and the members of the station's groups.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa/Station.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

int Switch(bool on) {
  SwitchSecurity(on);
  const char* status = on ? "on" : "off";
  return PrintDone(Json{{"security", status}}, std::string("recipe security is ") + status);
}

int PrintSecurityStatus() {
  SecurityStatus security = ReadSecurityStatus();
  const char* status = security == SecurityStatus::kOn ? "on" : security == SecurityStatus::kOff ? "off" : "absent";
  std::vector<std::string> held;
  Json rights = Json::object();
  for (Right right : AllRights()) {
    rights[RightName(right)] = HoldsRight(right);
    if (HoldsRight(right)) held.push_back(RightName(right));
  }
  if (Output().json) {
    return PrintJson(Json{{"security", status}, {"user", JsonText(CallerName())}, {"rights", rights}});
  }
  std::string shown = std::string(status) == "absent" ? "not set up" : status;
  return PrintLine("security: " + shown + "\nuser:     " + Printable(CallerName()) +
                   "\nrights:   " + Joined(held, "none"));
}

// Exit status 0 when the user holds every right asked for, 1 when not.
int CheckRights(const std::vector<std::string>& names) {
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
    text += Printable(name) + ": " + (held ? "allowed" : "refused") + "\n";
  }
  const bool allowed = HoldsRights(asked);
  if (Output().json) {
    PrintJson(Json{{"user", JsonText(CallerName())}, {"allowed", allowed}, {"rights", results}});
  } else {
    PrintLine("user " + Printable(CallerName()) + "\n" + text.substr(0, text.size() - 1));
  }
  return allowed ? kExitOk : kExitFailure;
}

int Groups() {
  Json list = Json::array();
  std::string text;
  for (const SecurityGroup& group : ReadSecurityGroups()) {
    if (!group.exists) {
      list.push_back(Json{{"name", group.name}, {"exists", false}});
      text += Printable(group.name) + ": not created (security was never switched on)\n";
      continue;
    }
    list.push_back(Json{{"name", JsonText(group.name)},
                        {"exists", true},
                        {"comment", JsonText(group.comment)},
                        {"members", JsonTexts(group.members)}});
    text += Printable(group.name) + ": " + Printable(group.comment) +
            "\n  members: " + Printable(Joined(group.members, "none")) + "\n";
  }
  if (Output().json) return PrintJson(Json{{"groups", list}});
  return PrintLine(text.substr(0, text.size() - 1));
}

struct MemberArgs {
  std::string group;
  std::string user;
};

int ChangeMember(const MemberArgs& args, bool add) {
  ChangeGroupMember(args.group, args.user, add);
  return PrintDone(Json{{"localGroup", JsonText(args.group)}, {"user", JsonText(args.user)}, {"enrolled", add}},
                   args.user + (add ? " is now a member of " : " is no longer a member of ") + args.group);
}

}  // namespace

void AddSecurityCommand(CLI::App& app, int* exitStatus) {
  auto* security = app.add_subcommand("security", "Switch the recipe access rights on or off and check them");
  security->require_subcommand(1);

  auto* on = AddCommand(*security, "on", "Switch recipe security on (administrators only)", "rcpstore security on");
  Runs(*on, exitStatus, [] { return Switch(true); });
  auto* off = AddCommand(*security, "off", "Switch recipe security off (administrators only)", "rcpstore security off");
  Runs(*off, exitStatus, [] { return Switch(false); });

  auto* s = AddCommand(*security, "status", "Whether security is on, and the rights of the caller",
                       "rcpstore security status --json");
  Runs(*s, exitStatus, PrintSecurityStatus);

  auto rights = std::make_shared<std::vector<std::string>>();
  auto* c = AddCommand(*security, "check", "Whether the caller holds every right named (exit status 1 if not)",
                       "rcpstore security check create edit");
  c->add_option("RIGHT", *rights, "run, read, create, edit, delete, approve or download")
      ->required()
      ->check(CLI::IsMember(RightNames()));
  c->callback([=] { *exitStatus = Run("security check", [&] { return CheckRights(*rights); }); });

  auto* g = AddCommand(*security, "groups", "The recipe-security groups with their comments and members",
                       "rcpstore security groups");
  Runs(*g, exitStatus, Groups);

  // station group joins station, which a batch line of security commands lacks.
  CLI::App* station = FindCommand(app, "station");
  if (station == nullptr) return;
  auto* group = station->add_subcommand("group", "Members of the station's local groups");
  group->require_subcommand(1);
  auto member = std::make_shared<MemberArgs>();
  for (bool add : {true, false}) {
    const char* name = add ? "add-member" : "remove-member";
    auto* m = AddCommand(
        *group, name,
        add ? "Enrol a user in a local group (administrators only)"
            : "Take a user out of a local group (administrators only)",
        add ? "rcpstore station group add-member RcpSec2 alice" : "rcpstore station group remove-member RcpSec2 alice");
    m->add_option("GROUP", member->group, "Local group, e.g. RcpSec2")->required();
    m->add_option("USER", member->user, "User name")->required();
    m->callback([=] {
      std::string what = std::string("station group ") + name + " " + member->group + " " + member->user;
      *exitStatus = Run(what, [&] { return ChangeMember(*member, add); });
    });
  }
}

}  // namespace rcpstore::cli
