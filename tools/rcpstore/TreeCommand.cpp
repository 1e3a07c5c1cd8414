// rcpstore tree: the recipe tree of a project directory.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "Target.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcpstore {

namespace {

const char* KindName(int32_t kind) {
  switch (kind) {
    case QVERCP_KIND_PROJECT: return "project";
    case QVERCP_KIND_GROUP: return "group";
    case QVERCP_KIND_SUBGROUP: return "sub-group";
    case QVERCP_KIND_RECIPE: return "recipe";
    default: return "unrecognised";
  }
}

void RenderText(CQVERcpDirInfo& node, const std::string& indent, std::string& out) {
  size_t left = node.m_listChild.size();
  for (auto& child : node.m_listChild) {
    bool last = --left == 0;
    out += indent + (last ? "└── " : "├── ") + child->GetDispName(0) + "  [" + KindName(child->m_nKind) + "]\n";
    RenderText(*child, indent + (last ? "    " : "│   "), out);
  }
}

void RenderJson(CQVERcpDirInfo& node, std::string& out) {
  out += "{\"kind\":" + std::to_string(node.m_nKind) + ",\"name\":";
  AppendJsonString(out, node.m_strName);
  out += ",\"project\":";
  AppendJsonString(out, node.m_strProject);
  out += ",\"group\":" + std::to_string(node.m_nGroupNo) + ",\"recipe\":" + std::to_string(node.m_nRecipeNo) +
         ",\"subgroup\":";
  AppendJsonString(out, node.m_strSubGroup);
  out += ",\"path\":";
  AppendJsonString(out, node.GetFullPath());
  out += ",\"display\":";
  AppendJsonString(out, node.GetDispName(0));
  out += ",\"children\":[";
  bool first = true;
  for (auto& child : node.m_listChild) {
    if (!first) out += ',';
    first = false;
    RenderJson(*child, out);
  }
  out += "]}";
}

}  // namespace

int PrintProjectTree(const std::string& given, const TreeOptions& options) {
  Target target = ProjectTarget(given);
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = Parent(target.project);
  root.m_strName = LastName(target.project);
  root.m_strProject = target.projectName;
  CQVERcpUtil::GetDirectoryList(&root, options.depthOne ? 0 : 1, options.noSubGroups ? 0 : 1);

  std::string out;
  if (options.json) {
    RenderJson(root, out);
    out += '\n';
  } else {
    out = root.GetDispName(0) + "  [project]\n";
    RenderText(root, "", out);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitOk;
}

void AddTreeCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = app.add_subcommand("tree", "Scan a project directory and print its recipe tree");
  auto dir = std::make_shared<std::string>();
  auto options = std::make_shared<TreeOptions>();
  cmd->add_option("PROJECT", *dir, "Registered project name, or its directory (with a '/')")->required();
  cmd->add_flag("--depth-one", options->depthOne, "List the recipe groups only, without recursion");
  cmd->add_flag("--no-subgroups", options->noSubGroups, "Do not lay the sub-group files over the recipes");
  cmd->add_flag("--json", options->json, "Print the tree as JSON");
  cmd->callback([=] { *exitStatus = Run("tree " + *dir, [&] { return PrintProjectTree(*dir, *options); }); });
}

}  // namespace rcpstore
