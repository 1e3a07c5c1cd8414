// rcpstore group: recipe groups of a project.
#include <CLI/CLI.hpp>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct GroupArgs {
  std::string dir;
  unsigned number = 0;
  std::optional<std::string> comment;
  std::vector<std::string> servers;
  DeleteOptions removal;
};

// The attributes given, each checked first.
GroupAttributes Attributes(const GroupArgs& args) {
  if (args.comment) Refuse("--comment", OneLineProblem(*args.comment));
  for (const std::string& server : args.servers) Refuse("--server", OneLineProblem(server));
  GroupAttributes attributes;
  attributes.comment = args.comment;
  if (!args.servers.empty()) attributes.servers = args.servers;
  return attributes;
}

int Info(const GroupArgs& args) {
  Target target = GroupTarget(args.dir);
  uint32_t rc = 0;
  GroupInfo info = ReadGroupInfo(target, &rc);
  Check(rc);
  if (Output().json) return PrintJson(ItemJson(GroupItem(target)));
  return PrintLine("group:   " + Printable(NameOf(target)) + "\npath:    " + Printable(target.group) +
                   "\ncomment: " + Printable(info.comment) + "\nservers: " + Printable(Joined(info.servers)));
}

// --comment and --server, of group create and group set.
void AddAttributeOptions(CLI::App& command, GroupArgs& args) {
  auto serverCheck = CLI::Validator([](std::string& s) { return s.empty() ? "a server name is not empty" : ""; }, "");
  command.add_option("--comment", args.comment, "Comment");
  command.add_option("--server", args.servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
}

}  // namespace

void AddGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("group", "Find free numbers, create, describe, change and delete recipe groups");
  group->require_subcommand(1);
  auto args = std::make_shared<GroupArgs>();

  auto* f = AddCommand(*group, "free", "List the free recipe-group numbers (1 to 16)", "rcpstore group free @Line1");
  f->add_option("PROJECT", args->dir, kProjectHelp)->required();
  Runs(*f, exitStatus, [=] { return PrintFree(ProjectTarget(args->dir), kMaxGroupNo); });

  auto* c = AddCommand(*group, "create", "Create recipe group N",
                       "rcpstore group create @Line1 2 --comment Trials --server BATCH01");
  c->add_option("PROJECT", args->dir, kProjectHelp)->required();
  c->add_option("N", args->number, "Group number, 1 to 16")->required()->check(CLI::Range(1u, kMaxGroupNo));
  AddAttributeOptions(*c, *args);
  c->callback([=] {
    *exitStatus = Run("group create " + args->dir + " " + std::to_string(args->number),
                      [&] { return PrintChanges(CreateGroup(args->dir, args->number, Attributes(*args))); });
  });

  auto* i = AddCommand(*group, "info", "Show a recipe group's attributes", "rcpstore group info @Line1/2");
  i->add_option("GROUP", args->dir, kGroupHelp)->required();
  Runs(*i, exitStatus, [=] { return Info(*args); });

  auto* s = AddCommand(*group, "set", "Change a recipe group's comment or servers",
                       "rcpstore group set @Line1/2 --comment \"Trial recipes\"");
  s->add_option("GROUP", args->dir, kGroupHelp)->required();
  AddAttributeOptions(*s, *args);
  Runs(*s, exitStatus, [=] {
    if (!args->comment && args->servers.empty()) {
      throw CLI::ValidationError("nothing to change: give --comment or --server");
    }
    return PrintChanges(SetGroupAttributes(args->dir, Attributes(*args)));
  });

  auto* d = AddCommand(*group, "delete", "Delete a recipe group with everything in it",
                       "rcpstore group delete @Line1/2 --dry-run");
  d->add_option("GROUP", args->dir, kGroupHelp)->required();
  AddDeleteOptions(*d, args->removal, true);
  Runs(*d, exitStatus,
       [=] { return PrintDelete(args->removal, [&] { return DeleteGroup(args->dir, args->removal); }); });
}

}  // namespace rcpstore::cli
