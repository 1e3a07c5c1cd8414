// rcpstore group: recipe groups of a project.
#include <CLI/CLI.hpp>
#include <optional>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Texts.h"
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

GroupAttributes Attributes(const GroupArgs& args) {
  GroupAttributes attributes;
  attributes.comment = args.comment;
  if (!args.servers.empty()) attributes.servers = args.servers;
  return attributes;
}

void CheckTexts(const GroupArgs& args) {
  if (args.comment) Refuse("--comment", OneLineProblem(*args.comment));
  for (const std::string& server : args.servers) Refuse("--server", OneLineProblem(server));
}

int Free(const GroupArgs& args) { return PrintFree(ProjectTarget(args.dir), kMaxGroupNo, false); }

int Create(const GroupArgs& args) { return PrintChanges(CreateGroup(args.dir, args.number, Attributes(args))); }

int Info(const GroupArgs& args) {
  Target target = GroupTarget(args.dir);
  uint32_t rc = 0;
  GroupInfo info = ReadGroupInfo(target, &rc);
  Check(rc);
  if (Output().json) return PrintJson(ItemJson(GroupItem(target)));
  return PrintLine("group:   " + NameOf(target) + "\npath:    " + target.group + "\ncomment: " + info.comment +
                   "\nservers: " + Joined(info.servers));
}

int Set(const GroupArgs& args) { return PrintChanges(SetGroupAttributes(args.dir, Attributes(args))); }

int Delete(const GroupArgs& args) {
  return PrintDelete(args.removal, [&] { return DeleteGroup(args.dir, args.removal); });
}

}  // namespace

void AddGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("group", "Find free numbers, create, describe, change and delete recipe groups");
  group->require_subcommand(1);
  auto args = std::make_shared<GroupArgs>();
  auto serverCheck = CLI::Validator([](std::string& s) { return s.empty() ? "a server name is not empty" : ""; }, "");
  auto run = [=](const char* command, const std::function<int(const GroupArgs&)>& body) {
    return [=] {
      std::string what = std::string(command) + " " + args->dir;
      if (args->number != 0) what += " " + std::to_string(args->number);
      *exitStatus = Run(what, [&] { return body(*args); });
    };
  };

  auto* f = group->add_subcommand("free", "List the free recipe-group numbers (1 to 16)");
  Example(*f, "rcpstore group free @Line1");
  f->add_option("PROJECT", args->dir, kProjectHelp)->required();
  f->callback(run("group free", Free));

  auto* c = group->add_subcommand("create", "Create recipe group N");
  Example(*c, "rcpstore group create @Line1 2 --comment Trials --server BATCH01");
  c->add_option("PROJECT", args->dir, kProjectHelp)->required();
  c->add_option("N", args->number, "Group number, 1 to 16")->required()->check(CLI::Range(1u, kMaxGroupNo));
  c->add_option("--comment", args->comment, "Comment");
  c->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  c->callback([=] {
    CheckTexts(*args);
    run("group create", Create)();
  });

  auto* i = group->add_subcommand("info", "Show a recipe group's attributes");
  Example(*i, "rcpstore group info @Line1/2");
  i->add_option("GROUP", args->dir, kGroupHelp)->required();
  i->callback(run("group info", Info));

  auto* s = group->add_subcommand("set", "Change a recipe group's comment or servers");
  Example(*s, "rcpstore group set @Line1/2 --comment \"Trial recipes\"");
  s->add_option("GROUP", args->dir, kGroupHelp)->required();
  s->add_option("--comment", args->comment, "Comment");
  s->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  s->callback([=] {
    CheckTexts(*args);
    run("group set", Set)();
  });

  auto* d = group->add_subcommand("delete", "Delete a recipe group with everything in it");
  Example(*d, "rcpstore group delete @Line1/2 --dry-run");
  d->add_option("GROUP", args->dir, kGroupHelp)->required();
  AddDeleteOptions(*d, args->removal, true);
  d->callback(run("group delete", Delete));
}

}  // namespace rcpstore::cli
