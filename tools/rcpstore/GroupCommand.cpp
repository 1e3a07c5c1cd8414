// rcpstore group: recipe groups of a project.
#include <CLI/CLI.hpp>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"

namespace rcpstore {

namespace {

struct GroupArgs {
  std::string dir;
  unsigned number = 0;
  std::optional<std::string> comment;
  std::vector<std::string> servers;
  bool json = false;
};

int Free(const GroupArgs& args) {
  int32_t table[QVERCP_GROUP_TABLE];
  if (uint32_t rc = CQVERcpUtil::FindFreeRcpGroupNo(args.dir.c_str(), table)) return ReportFailure("group free", rc);
  std::vector<std::string> free;
  for (int i = 0; i < QVERCP_GROUP_TABLE; ++i) {
    if (table[i] == 1) free.push_back(std::to_string(i + 1));
  }
  if (args.json) {
    std::string out = "[";
    for (size_t i = 0; i < free.size(); ++i) out += (i > 0 ? "," : "") + free[i];
    return PrintLine(out + "]");
  }
  std::string out;
  for (const std::string& n : free) out += (out.empty() ? "" : " ") + n;
  return PrintLine(out);
}

// Changes what the options give and keeps the rest.
void Apply(const GroupArgs& args, _QVERcpGroupInfo* info) {
  if (args.comment) info->strComment = *args.comment;
  if (!args.servers.empty()) info->astrServer = args.servers;
}

int Create(const GroupArgs& args) {
  std::string what = "group create " + std::to_string(args.number);
  if (uint32_t rc = CQVERcpUtil::CheckRcpGroupDuplicate(args.dir.c_str(), args.number)) return ReportFailure(what, rc);
  if (uint32_t rc = CQVERcpUtil::CreateRecipeGroup(args.dir.c_str(), args.number)) return ReportFailure(what, rc);
  if (!args.comment && args.servers.empty()) return kExitOk;
  _QVERcpGroupInfo info;
  Apply(args, &info);
  std::string group = args.dir + "/Recipe/" + QVFormat("RG%02u", args.number);
  uint32_t rc = CQVERcpUtil::SetRecipeGroupInfo(group.c_str(), &info);
  return ExitFor(what, rc);
}

int Info(const GroupArgs& args) {
  _QVERcpGroupInfo info;
  if (uint32_t rc = CQVERcpUtil::GetRecipeGroupInfo(args.dir.c_str(), &info)) return ReportFailure("group info", rc);
  if (args.json) return PrintLine(JsonObject().Field("comment", info.strComment).Field("servers", info.astrServer).Text());
  std::string servers;
  for (const std::string& s : info.astrServer) servers += (servers.empty() ? "" : ", ") + s;
  return PrintLine("comment: " + info.strComment + "\nservers: " + servers);
}

int Set(const GroupArgs& args) {
  _QVERcpGroupInfo info;
  if (uint32_t rc = CQVERcpUtil::GetRecipeGroupInfo(args.dir.c_str(), &info)) return ReportFailure("group set", rc);
  Apply(args, &info);
  uint32_t rc = CQVERcpUtil::SetRecipeGroupInfo(args.dir.c_str(), &info);
  return ExitFor("group set", rc);
}

}  // namespace

void AddGroupCommand(CLI::App& app, int* exitStatus) {
  auto* group = app.add_subcommand("group", "Find free numbers, create, describe, change and delete recipe groups");
  group->require_subcommand(1);
  auto args = std::make_shared<GroupArgs>();
  auto serverCheck = CLI::Validator([](std::string& s) { return s.empty() ? "a server name is not empty" : ""; }, "");

  auto* f = group->add_subcommand("free", "List the free recipe-group numbers (1 to 16)");
  f->add_option("PROJECT_DIR", args->dir, "Project directory")->required();
  f->add_flag("--json", args->json, "Print JSON");
  f->callback([=] { *exitStatus = Free(*args); });

  auto* c = group->add_subcommand("create", "Create recipe group N");
  c->add_option("PROJECT_DIR", args->dir, "Project directory")->required();
  c->add_option("N", args->number, "Group number")->required()->check(CLI::Range(1u, 99u));
  c->add_option("--comment", args->comment, "Comment");
  c->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  c->callback([=] { *exitStatus = Create(*args); });

  auto* i = group->add_subcommand("info", "Show a recipe group's attributes");
  i->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  i->add_flag("--json", args->json, "Print JSON");
  i->callback([=] { *exitStatus = Info(*args); });

  auto* s = group->add_subcommand("set", "Change a recipe group's comment or servers");
  s->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  s->add_option("--comment", args->comment, "Comment");
  s->add_option("--server", args->servers, "Server name (at most two)")->expected(0, 2)->check(serverCheck);
  s->callback([=] { *exitStatus = Set(*args); });

  auto* d = group->add_subcommand("delete", "Delete a recipe group with everything in it");
  d->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  d->callback([=] {
    uint32_t rc = CQVERcpUtil::DeleteRecipeGroup(args->dir.c_str());
    *exitStatus = ExitFor("group delete", rc);
  });
}

}  // namespace rcpstore
