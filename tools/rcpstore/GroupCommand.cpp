// rcpstore group: recipe groups of a project.
#include <CLI/CLI.hpp>
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

namespace rcpstore::cli {

namespace {

struct GroupArgs {
  std::string dir;
  unsigned number = 0;
  std::optional<std::string> comment;
  std::vector<std::string> servers;
  RemovalOptions removal;
};

// Changes what the options give and keeps the rest.
void Apply(const GroupArgs& args, _QVERcpGroupInfo* info) {
  if (args.comment) info->strComment = *args.comment;
  if (!args.servers.empty()) info->astrServer = args.servers;
}

void CheckTexts(const GroupArgs& args) {
  if (args.comment) CheckOneLine("--comment", *args.comment);
  for (const std::string& server : args.servers) CheckOneLine("--server", server);
}

int Free(const GroupArgs& args) {
  Target target = ProjectTarget(args.dir);
  int32_t table[QVERCP_GROUP_TABLE];
  Check(CQVERcpUtil::FindFreeRcpGroupNo(target.project.c_str(), table));
  return PrintFree(target, table, QVERCP_GROUP_TABLE, false);
}

int Create(const GroupArgs& args) {
  RequireRight(Right::Create);
  Target target = ProjectTarget(args.dir);
  CommandLocks locks;
  locks.LockProject(target);
  Target group = GroupOf(target, args.number, target.project + "/Recipe/" + QVFormat("RG%02u", args.number));
  // The store's duplicate check also clears what an interrupted create left.
  CheckAbsent(CQVERcpUtil::CheckRcpGroupDuplicate(target.project.c_str(), args.number), LastName(group.group));
  Check(CQVERcpUtil::CreateRecipeGroup(target.project.c_str(), args.number));
  if (args.comment || !args.servers.empty()) {
    // The group is this command's own: without its attributes it goes again.
    _QVERcpGroupInfo info;
    Apply(args, &info);
    uint32_t rc = CQVERcpUtil::SetRecipeGroupInfo(group.group.c_str(), &info);
    if (rc != 0) QVEEngDeleteRecursive(group.group.c_str(), 0, 0);
    Check(rc);
  }
  Report report;
  report.Created(ItemJson(GroupItem(group)));
  return report.Print();
}

int Info(const GroupArgs& args) {
  Target target = GroupTarget(args.dir);
  _QVERcpGroupInfo info;
  Check(CQVERcpUtil::GetRecipeGroupInfo(target.group.c_str(), &info));
  if (Output().json) return PrintJson(ItemJson(GroupItem(target)));
  std::string servers;
  for (const std::string& s : info.astrServer) servers += (servers.empty() ? "" : ", ") + s;
  return PrintLine("group:   " + NameOf(target) + "\npath:    " + target.group + "\ncomment: " + info.strComment +
                   "\nservers: " + servers);
}

int Set(const GroupArgs& args) {
  RequireRight(Right::Edit);
  Target target = GroupTarget(args.dir);
  CommandLocks locks;
  locks.LockProject(target);
  _QVERcpGroupInfo info;
  Check(CQVERcpUtil::GetRecipeGroupInfo(target.group.c_str(), &info));
  Apply(args, &info);
  Check(CQVERcpUtil::SetRecipeGroupInfo(target.group.c_str(), &info));
  Report report;
  report.Changed(ItemJson(GroupItem(target)));
  return report.Print();
}

// A group that is gone: the store clears what an interrupted delete of it
// left beside it, and the group is reported missing.
int FinishDelete(const std::string& group) {
  Target target;
  try {
    target = ProjectOfGroup(group);
  } catch (const Failure&) {
    Fail("no such directory", ERROR_PATH_NOT_FOUND);
  }
  CommandLocks locks;
  locks.LockProject(target);
  CQVERcpUtil::DeleteRecipeGroup(group.c_str());
  Fail("no such directory", ERROR_PATH_NOT_FOUND);
}

int Delete(const GroupArgs& args) {
  RequireRight(Right::Delete);
  if (!Exists(RestoredPath(args.dir))) return FinishDelete(CleanPath(args.dir));
  Target target = GroupTarget(args.dir);
  if (args.removal.dryRun) return PrintRemoval(target.group);
  RequireYes(args.removal, CountDirectories(target.group), "recipes");
  CommandLocks locks;
  locks.LockProject(target);
  Json item = ItemJson(GroupItem(target));
  Check(CQVERcpUtil::DeleteRecipeGroup(target.group.c_str()));
  Report report;
  report.Removed(item);
  return report.Print();
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
  f->add_option("PROJECT", args->dir, kProjectHelp)->required();
  Example(*f, "rcpstore group free @Line1");
  f->callback(run("group free", Free));

  auto* c = group->add_subcommand("create", "Create recipe group N");
  c->add_option("PROJECT", args->dir, kProjectHelp)->required();
  c->add_option("N", args->number, "Group number, 1 to 16")->required()->check(CLI::Range(1u, kMaxGroupNo));
  c->add_option("--comment", args->comment, "Comment");
  c->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  Example(*c, "rcpstore group create @Line1 2 --comment Trials --server BATCH01");
  c->callback([=] {
    CheckTexts(*args);
    run("group create", Create)();
  });

  auto* i = group->add_subcommand("info", "Show a recipe group's attributes");
  i->add_option("GROUP", args->dir, kGroupHelp)->required();
  Example(*i, "rcpstore group info @Line1/2");
  i->callback(run("group info", Info));

  auto* s = group->add_subcommand("set", "Change a recipe group's comment or servers");
  s->add_option("GROUP", args->dir, kGroupHelp)->required();
  s->add_option("--comment", args->comment, "Comment");
  s->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  Example(*s, "rcpstore group set @Line1/2 --comment \"Trial recipes\"");
  s->callback([=] {
    CheckTexts(*args);
    run("group set", Set)();
  });

  auto* d = group->add_subcommand("delete", "Delete a recipe group with everything in it");
  d->add_option("GROUP", args->dir, kGroupHelp)->required();
  AddRemovalOptions(*d, args->removal, true);
  Example(*d, "rcpstore group delete @Line1/2 --dry-run");
  d->callback(run("group delete", Delete));
}

}  // namespace rcpstore::cli
