// rcpstore tree: the recipe tree of a project with the titles and versions
// of its recipes, or with --plain its bare structure.
#include <langinfo.h>

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

// The lines that draw the tree: box characters where the terminal's
// character set is UTF-8, else ASCII, which every terminal shows.
struct TreeLines {
  const char* branch;
  const char* lastBranch;
  const char* through;
};

const TreeLines& TreeDrawing() {
  static const TreeLines utf8{"├── ", "└── ", "│   "};
  static const TreeLines ascii{"|-- ", "`-- ", "|   "};
  static const bool boxes = [] {
    std::setlocale(LC_CTYPE, "");
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  }();
  return boxes ? utf8 : ascii;
}

// Renders a project's tree node by node, as the store reads it, into a
// buffer that is written out as it fills: a node's own keys come from
// ItemJson, its children are written in their sorted place among them, and
// neither the tree nor its JSON is ever held whole.
class TreeRender : public TreeVisitor {
 public:
  TreeRender(const TreeRead& options, const std::string& projectPath) : options_(options), projectPath_(projectPath) {}

  void Enter(const StoreItem& item, bool last) override {
    if (Output().json) return EnterObject(item);
    if (indents_.empty()) {
      out_ += Line(ItemJson(item)) + "  " + Printable(projectPath_) + "\n";
      indents_.push_back("");
    } else {
      out_ += indents_.back() + (last ? TreeDrawing().lastBranch : TreeDrawing().branch) + Line(ItemJson(item)) + "\n";
      indents_.push_back(indents_.back() + (last ? "    " : TreeDrawing().through));
    }
    if (out_.size() >= kFlushAt) Flush();
  }

  void Leave(const StoreItem& /*item*/) override {
    if (!Output().json) return indents_.pop_back();
    out_ += ']';
    for (auto it = after_.back().begin(); it != after_.back().end(); ++it) {
      out_ += ",\"" + it.key() + "\":" + it.value().dump();
    }
    out_ += '}';
    first_ = false;
    after_.pop_back();
    if (after_.empty()) out_ += '\n';
  }

  void Flush() {
    std::fwrite(out_.data(), 1, out_.size(), stdout);
    out_.clear();
  }

 private:
  static constexpr size_t kFlushAt = 1 << 16;

  // Writes the keys that sort before "children" and opens the children; the
  // rest wait for the node's end.
  void EnterObject(const StoreItem& item) {
    if (!first_) out_ += ',';
    first_ = true;
    Json keys = ItemJson(item);
    Json rest = Json::object();
    out_ += '{';
    for (auto it = keys.begin(); it != keys.end(); ++it) {
      if (it.key() > "children") {
        rest[it.key()] = it.value();
        continue;
      }
      out_ += '"' + it.key() + "\":" + it.value().dump() + ',';
    }
    out_ += "\"children\":[";
    after_.push_back(std::move(rest));
    if (out_.size() >= kFlushAt) Flush();
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

  const TreeRead& options_;
  const std::string& projectPath_;
  std::string out_;
  std::vector<std::string> indents_;  // the text before each open node's children
  std::vector<Json> after_;           // each open node's keys that follow its children
  bool first_ = true;                 // no child of the open node written yet
};

// Passes on the project and one of its groups with everything below it.
class OneGroup : public TreeVisitor {
 public:
  OneGroup(TreeVisitor& inner, unsigned groupNo) : inner_(inner), groupNo_(groupNo) {}

  void Enter(const StoreItem& item, bool last) override {
    if (item.kind == StoreItem::Kind::kGroup) passing_ = item.target.groupNo == groupNo_;
    if (item.kind == StoreItem::Kind::kProject) return inner_.Enter(item, last);
    if (passing_) inner_.Enter(item, item.kind == StoreItem::Kind::kGroup || last);
  }

  void Leave(const StoreItem& item) override {
    if (item.kind == StoreItem::Kind::kProject || passing_) inner_.Leave(item);
  }

 private:
  TreeVisitor& inner_;
  unsigned groupNo_;
  bool passing_ = false;
};

}  // namespace

int PrintProjectTree(const std::string& given, const TreeRead& options) {
  // A group's address shows that group alone, under its project.
  const Address address = IsAddress(given) ? ParseAddress(given) : Address{};
  const unsigned groupNo = address.groupNo;
  Target target = ProjectTarget(groupNo == 0 ? given : AddressText(Address{address.project, 0, 0, 0}));
  if (groupNo != 0) GroupTarget(given);
  TreeRender render(options, target.project);
  OneGroup oneGroup(render, groupNo);
  size_t unread = VisitTree(target, options, groupNo == 0 ? static_cast<TreeVisitor&>(render) : oneGroup);
  render.Flush();
  if (unread != 0) {
    Fail(std::to_string(unread) + " of its nodes could not be read (each says why)", ERROR_READ_FAULT);
  }
  return kExitOk;
}

void AddTreeCommand(CLI::App& app, int* exitStatus) {
  auto* cmd =
      AddCommand(app, "tree", "Print the recipe tree of a project, or of one of its groups, with titles and versions",
                 "rcpstore tree @Line1 --plain");
  auto dir = std::make_shared<std::string>();
  auto options = std::make_shared<TreeRead>();
  cmd->add_option("PROJECT", *dir, "Project (@NAME, its registered NAME or its directory), or one group of it (@NAME/G)")
      ->required();
  cmd->add_flag("--depth-one", options->depthOne, "List the recipe groups only, without recursion");
  cmd->add_flag("--no-subgroups", options->noSubGroups, "Do not lay the sub-group files over the recipes");
  cmd->add_flag("--plain", options->plain, "The bare structure: names only, no headers read");
  Runs(*cmd, exitStatus, [=] { return PrintProjectTree(*dir, *options); });
}

}  // namespace rcpstore::cli
