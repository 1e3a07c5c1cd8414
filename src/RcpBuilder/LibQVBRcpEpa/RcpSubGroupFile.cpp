// Reading a recipe group's sub-group file over its listed recipes.
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "LibQVBRcpEpa.h"
#include "RcpSubGroupLine.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngPath.h"

namespace {

using rcpsubgroup::Line;

// Hand-edited files can nest without end; sub-groups deeper than this, or
// with longer paths, are read as part of the deepest one that fits, so that
// a hostile file cannot exhaust the stack or memory.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxSubGroupPath = 4096;
// Nodes that carry their own path (ReadSubGroupFile) copy at most this many
// path bytes in all; sub-groups past it are read as part of the one open.
constexpr size_t kMaxPathBytes = size_t{32} << 20;

// Links a node below parent. With paths in nodes it is AddChild, which gives
// the child its parent's paths; without, the child keeps its own (a recipe's
// directory does not change with its sub-group) and a sub-group's path is
// found from the names of the nodes above it.
void Attach(CQVERcpDirInfo* parent, CQVERcpDirInfo* child, bool pathInNodes) {
  if (pathInNodes) {
    parent->AddChild(child);
    return;
  }
  parent->m_listChild.emplace_back(child);
  child->m_pParent = parent;
  child->m_nGroupNo = parent->m_nGroupNo;
}

// The recipes that are direct children of the group node, by name, in list
// order: the first one of a name is the one a "NODE" line takes.
class RecipeIndex {
 public:
  RecipeIndex(CQVERcpDirInfo* group, bool pathInNodes) : group_(group), pathInNodes_(pathInNodes) {
    for (auto it = group->m_listChild.begin(); it != group->m_listChild.end(); ++it) {
      if ((*it)->m_nKind == QVERCP_KIND_RECIPE) byName_[(*it)->m_strName].push_back(it);
    }
  }

  // Moves the first listed recipe of that name to the end of target's list.
  void MoveTo(const CString& name, CQVERcpDirInfo* target) {
    auto found = byName_.find(name);
    if (found == byName_.end() || found->second.empty()) return;
    auto it = found->second.front();
    found->second.pop_front();
    CQVERcpDirInfo* recipe = it->release();
    group_->m_listChild.erase(it);
    Attach(target, recipe, pathInNodes_);
    if (target == group_) found->second.push_back(std::prev(group_->m_listChild.end()));
  }

 private:
  CQVERcpDirInfo* group_;
  bool pathInNodes_;
  std::unordered_map<CString, std::deque<CQVERcpDirInfo::ChildList::iterator>> byName_;
};

// Builds the sub-group nodes of one file. The path of names open at each
// point is kept once, here; a node is given its own copy only when its
// caller asks for the path in every node.
class SubGroupReader {
 public:
  SubGroupReader(CQVERcpDirInfo* group, bool pathInNodes)
      : group_(group), current_(group), recipes_(group, pathInNodes), pathInNodes_(pathInNodes) {}

  void Apply(const Line& line) {
    if (line.keyword == rcpsubgroup::kStart) {
      Open(line.value);
    } else if (line.keyword == rcpsubgroup::kNode) {
      recipes_.MoveTo(line.value, current_);
    } else if (line.keyword == rcpsubgroup::kEnd) {
      Close();
    }
  }

 private:
  void Open(const CString& name) {
    size_t outer = path_.size();
    QVEEngCatPath(path_, name.c_str());
    bool overBudget = pathInNodes_ && pathBytes_ + path_.size() > kMaxPathBytes;
    if (depth_ >= kMaxDepth || path_.size() > kMaxSubGroupPath || overBudget) {
      path_.resize(outer);
      ++flattened_;
      return;
    }
    auto* sub = new CQVERcpDirInfo();
    Attach(current_, sub, pathInNodes_);
    sub->m_nKind = QVERCP_KIND_SUBGROUP;
    sub->m_strName = name;
    if (pathInNodes_) {
      sub->m_strSubGroup = path_;
      pathBytes_ += path_.size();
    }
    outer_.push_back(outer);
    current_ = sub;
    ++depth_;
  }

  // An "ENDSUB" with nothing open is ignored: the group node stays current.
  void Close() {
    if (flattened_ > 0) {
      --flattened_;
      return;
    }
    if (current_ == group_) return;
    current_ = current_->m_pParent;
    path_.resize(outer_.back());
    outer_.pop_back();
    --depth_;
  }

  CQVERcpDirInfo* group_;
  CQVERcpDirInfo* current_;
  RecipeIndex recipes_;
  bool pathInNodes_;
  CString path_;               // the names of the open sub-groups, joined
  std::vector<size_t> outer_;  // the length of path_ outside each open one
  size_t pathBytes_ = 0;       // copied into nodes so far
  int depth_ = 0;
  long flattened_ = 0;
};

}  // namespace

// A group without a readable file has no sub-groups; the reader fails only
// for a path through a link.
uint32_t CQVERcpUtil::ReadSubGroupFile(const char* groupDirectory, CQVERcpDirInfo* groupNode) {
  if (groupNode == nullptr) return 0;
  if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
  SubGroupReader reader(groupNode, true);
  rcptext::ReadKeywordFile(QVEEngJoinPath(groupDirectory, rcpsubgroup::kFileName),
                           [&](const Line& line) { reader.Apply(line); });
  return 0;
}

namespace rcpsubgroup {

void ReadLayout(const CString& groupDirectory, CQVERcpDirInfo* groupNode) {
  if (rcppath::Check(groupDirectory.c_str(), kFileName) != 0) return;
  SubGroupReader reader(groupNode, false);
  rcptext::ReadKeywordFile(QVEEngJoinPath(groupDirectory.c_str(), kFileName), [&](const Line& line) { reader.Apply(line); });
}

CString PathOf(const CQVERcpDirInfo* node) {
  std::vector<const CString*> names;
  for (; node != nullptr && node->m_nKind == QVERCP_KIND_SUBGROUP; node = node->m_pParent) {
    names.push_back(&node->m_strName);
  }
  CString path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) QVEEngCatPath(path, (*it)->c_str());
  return path;
}

}  // namespace rcpsubgroup
