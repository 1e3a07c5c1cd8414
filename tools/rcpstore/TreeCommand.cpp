// rcpstore tree: the recipe tree of a project with the titles and versions
// of its recipes, or with --plain its bare structure.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "Describe.h"
#include "LibQVBRcpEpa.h"
#include "Listing.h"
#include "Output.h"
#include "Report.h"
#include "Target.h"
#include "Usage.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

// Renders the nodes below a scanned node, as text lines or JSON objects.
class TreeRender {
 public:
  explicit TreeRender(const TreeOptions& options) : options_(options) {}

  Json Node(const Target& at, const CQVERcpDirInfo& node) {
    Json item = Describe(at, node);
    if (node.m_nKind == QVERCP_KIND_GROUP) NoteUnreadable(at.group, &item);
    if (item.contains("error")) ++failures_;
    Json children = Json::array();
    for (const auto& child : node.m_listChild) {
      if (!Listed(*child) || child->m_nKind == QVERCP_KIND_NONE) continue;
      children.push_back(Node(child->m_nKind == QVERCP_KIND_SUBGROUP ? at : TargetOfNode(at, *child), *child));
    }
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

  // The nodes that could not be read; the tree is printed whole all the same.
  int failures() const { return failures_; }

 private:
  // A group whose directory cannot be read shows no recipes in the scan; its
  // node says why.
  static void NoteUnreadable(const std::string& directory, Json* item) {
    std::unique_ptr<qvplatform::Directory> opened;
    if (uint32_t rc = qvplatform::CurrentEnv()->OpenDirectory(directory, &opened)) {
      (*item)["error"] = JsonText(CodeMeaning(rc));
    }
  }

  Json Describe(const Target& at, const CQVERcpDirInfo& node) const {
    switch (node.m_nKind) {
      case QVERCP_KIND_SUBGROUP:
        return Json{{"kind", "subGroup"}, {"address", AddressJson(at)}, {"path", JsonText(at.group)},
                    {"name", JsonText(node.m_strName)}, {"subGroup", JsonText(node.m_strSubGroup)}};
      case QVERCP_KIND_GROUP:
        return options_.plain ? BasicJson(at) : GroupJson(at);
      case QVERCP_KIND_RECIPE: {
        if (options_.plain) return BasicJson(at);
        std::string subGroup = node.m_pParent != nullptr && node.m_pParent->m_nKind == QVERCP_KIND_SUBGROUP
                                   ? node.m_pParent->m_strSubGroup
                                   : "";
        RecipeHead head;
        return ListedRecipeJson(at, subGroup, &head);
      }
      default:
        return BasicJson(at);
    }
  }

  const TreeOptions& options_;
  int failures_ = 0;
};

}  // namespace

int PrintProjectTree(const std::string& given, const TreeOptions& options) {
  Target target = ProjectTarget(given);
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  root.m_strParentPath = Parent(target.project);
  root.m_strName = LastName(target.project);
  root.m_strProject = target.projectName;
  CQVERcpUtil::GetDirectoryList(&root, options.depthOne ? 0 : 1, options.noSubGroups ? 0 : 1);

  TreeRender render(options);
  Json tree = render.Node(target, root);
  if (Output().json) {
    PrintJson(tree);
  } else {
    std::string out = render.Line(tree) + "  " + target.project + "\n";
    render.Text(tree, "", out);
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  if (render.failures() > 0) {
    Fail(std::to_string(render.failures()) + " of its nodes could not be read (each says why)", ERROR_READ_FAULT);
  }
  return kExitOk;
}

void AddTreeCommand(CLI::App& app, int* exitStatus) {
  auto* cmd = app.add_subcommand("tree", "Print a project's recipe tree with titles and versions");
  auto dir = std::make_shared<std::string>();
  auto options = std::make_shared<TreeOptions>();
  cmd->add_option("PROJECT", *dir, kProjectHelp)->required();
  cmd->add_flag("--depth-one", options->depthOne, "List the recipe groups only, without recursion");
  cmd->add_flag("--no-subgroups", options->noSubGroups, "Do not lay the sub-group files over the recipes");
  cmd->add_flag("--plain", options->plain, "The bare structure: names only, no headers read");
  Example(*cmd, "rcpstore tree @Line1 --plain");
  cmd->callback([=] { *exitStatus = Run("tree " + *dir, [&] { return PrintProjectTree(*dir, *options); }); });
}

}  // namespace rcpstore
