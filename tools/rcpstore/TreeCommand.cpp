// rcpstore tree: the recipe tree of a project with the titles and versions
// of its recipes, or with --plain its bare structure.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

// Renders a project's tree node by node into a buffer that is written out as
// it fills: a node's own keys come from ItemJson, its children are written in
// their sorted place among them, and no JSON of the whole tree is ever held.
class TreeRender {
 public:
  explicit TreeRender(const TreeRead& options) : options_(options) {}

  void Object(const TreeNode& node) {
    Json item = ItemJson(node);
    const char* separator = "{";
    bool placed = false;
    for (auto it = item.begin(); it != item.end(); ++it) {
      if (!placed && it.key() > "children") {
        Children(node, separator);
        placed = true;
      }
      Key(it.key(), separator);
      out_ += it.value().dump();
    }
    if (!placed) Children(node, separator);
    out_ += '}';
    if (out_.size() >= kFlushAt) Flush();
  }

  void Text(const TreeNode& node, const std::string& indent) {
    size_t left = node.children.size();
    for (const TreeNode& child : node.children) {
      bool last = --left == 0;
      out_ += indent + (last ? "└── " : "├── ") + Line(ItemJson(child)) + "\n";
      Text(child, indent + (last ? "    " : "│   "));
      if (out_.size() >= kFlushAt) Flush();
    }
  }

  void Write(const std::string& text) { out_ += text; }

  void Flush() {
    std::fwrite(out_.data(), 1, out_.size(), stdout);
    out_.clear();
  }

  std::string Line(const Json& node) const {
    std::string kind = node["kind"];
    std::string name = Printable(JsonBytes(node.value("name", "")));
    if (kind == "subGroup") return name + "/";
    std::string error = node.contains("error") ? "  (not read: " + JsonBytes(node["error"].get<std::string>()) + ")" : "";
    if (options_.plain) return (kind == "project" ? ShownName(node) : name) + error;
    std::string line = ShownName(node) + error;
    if (kind == "recipe") {
      line += "  " + Printable(JsonBytes(node["title"].get<std::string>())) + "  v" + node["version"].dump();
    } else if (kind != "project" && node["comment"] != "") {
      line += "  " + Printable(JsonBytes(node["comment"].get<std::string>()));
    }
    return line;
  }

 private:
  static constexpr size_t kFlushAt = 1 << 16;

  void Key(const std::string& key, const char*& separator) {
    out_ += separator;
    separator = ",";
    out_ += '"' + key + "\":";
  }

  void Children(const TreeNode& node, const char*& separator) {
    Key("children", separator);
    out_ += '[';
    for (const TreeNode& child : node.children) {
      if (&child != &node.children.front()) out_ += ',';
      Object(child);
    }
    out_ += ']';
  }

  const TreeRead& options_;
  std::string out_;
};

}  // namespace

int PrintProjectTree(const std::string& given, const TreeRead& options) {
  Target target = ProjectTarget(given);
  TreeNode tree = ReadTree(target, options);
  TreeRender render(options);
  if (Output().json) {
    render.Object(tree);
    render.Write("\n");
  } else {
    render.Write(render.Line(ItemJson(tree)) + "  " + Printable(target.project) + "\n");
    render.Text(tree, "");
  }
  render.Flush();
  if (size_t unread = UnreadNodes(tree)) {
    Fail(std::to_string(unread) + " of its nodes could not be read (each says why)", ERROR_READ_FAULT);
  }
  return kExitOk;
}

void AddTreeCommand(CLI::App& app, int* exitStatus) {
  auto* cmd =
      AddCommand(app, "tree", "Print a project's recipe tree with titles and versions", "rcpstore tree @Line1 --plain");
  auto dir = std::make_shared<std::string>();
  auto options = std::make_shared<TreeRead>();
  cmd->add_option("PROJECT", *dir, kProjectHelp)->required();
  cmd->add_flag("--depth-one", options->depthOne, "List the recipe groups only, without recursion");
  cmd->add_flag("--no-subgroups", options->noSubGroups, "Do not lay the sub-group files over the recipes");
  cmd->add_flag("--plain", options->plain, "The bare structure: names only, no headers read");
  Runs(*cmd, exitStatus, [=] { return PrintProjectTree(*dir, *options); });
}

}  // namespace rcpstore::cli
