// rcpstore tree: the recipe tree of a project with the titles and versions
// of its recipes, or with --plain its bare structure.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "Describe.h"
#include "Output.h"
#include "LibQVBRcpEpa/Target.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

// Renders a project's tree as JSON objects and text lines.
class TreeRender {
 public:
  explicit TreeRender(const TreeRead& options) : options_(options) {}

  Json Node(const TreeNode& node) const {
    Json item = ItemJson(node);
    Json children = Json::array();
    for (const TreeNode& child : node.children) children.push_back(Node(child));
    item["children"] = children;
    return item;
  }

  void Text(const Json& node, const std::string& indent, std::string& out) const {
    size_t left = node["children"].size();
    for (const Json& child : node["children"]) {
      bool last = --left == 0;
      out += indent + (last ? "└── " : "├── ") + Line(child) + "\n";
      Text(child, indent + (last ? "    " : "│   "), out);
    }
  }

  std::string Line(const Json& node) const {
    std::string kind = node["kind"];
    std::string name = JsonBytes(node.value("name", ""));
    if (kind == "subGroup") return name + "/";
    std::string error = node.contains("error") ? "  (not read: " + JsonBytes(node["error"].get<std::string>()) + ")" : "";
    if (options_.plain) return (kind == "project" ? ShownName(node) : name) + error;
    std::string line = ShownName(node) + error;
    if (kind == "recipe") {
      line += "  " + JsonBytes(node["title"].get<std::string>()) + "  v" + node["version"].dump();
    } else if (kind != "project" && node["comment"] != "") {
      line += "  " + JsonBytes(node["comment"].get<std::string>());
    }
    return line;
  }

 private:
  const TreeRead& options_;
};

}  // namespace

int PrintProjectTree(const std::string& given, const TreeRead& options) {
  Target target = ProjectTarget(given);
  TreeNode tree = ReadTree(target, options);
  TreeRender render(options);
  Json json = render.Node(tree);
  if (Output().json) {
    PrintJson(json);
  } else {
    std::string out = render.Line(json) + "  " + target.project + "\n";
    render.Text(json, "", out);
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  if (size_t unread = UnreadNodes(tree)) {
    Fail(std::to_string(unread) + " of its nodes could not be read (each says why)", ERROR_READ_FAULT);
  }
  return kExitOk;
}

void AddTreeCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = app.add_subcommand("tree", "Print a project's recipe tree with titles and versions");
  Example(*cmd, "rcpstore tree @Line1 --plain");
  auto dir = std::make_shared<std::string>();
  auto options = std::make_shared<TreeRead>();
  cmd->add_option("PROJECT", *dir, kProjectHelp)->required();
  cmd->add_flag("--depth-one", options->depthOne, "List the recipe groups only, without recursion");
  cmd->add_flag("--no-subgroups", options->noSubGroups, "Do not lay the sub-group files over the recipes");
  cmd->add_flag("--plain", options->plain, "The bare structure: names only, no headers read");
  cmd->callback([=] { *exitStatus = Run("tree " + *dir, [&] { return PrintProjectTree(*dir, *options); }); });
}

}  // namespace rcpstore::cli
