// Reading a recipe group's sub-group file over its listed recipes.
#include <deque>
#include <string>
#include <unordered_map>

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

// The recipes that are direct children of the group node, by name, in list
// order: the first one of a name is the one a "NODE" line takes.
class RecipeIndex {
 public:
  explicit RecipeIndex(CQVERcpDirInfo* group) : group_(group) {
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
    target->AddChild(recipe);
    if (target == group_) found->second.push_back(std::prev(group_->m_listChild.end()));
  }

 private:
  CQVERcpDirInfo* group_;
  std::unordered_map<CString, std::deque<CQVERcpDirInfo::ChildList::iterator>> byName_;
};

class SubGroupReader {
 public:
  explicit SubGroupReader(CQVERcpDirInfo* group) : group_(group), current_(group), recipes_(group) {}

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
    CString path = current_->m_strSubGroup;
    QVEEngCatPath(path, name.c_str());
    if (depth_ >= kMaxDepth || path.size() > kMaxSubGroupPath) {
      ++flattened_;
      return;
    }
    auto* sub = new CQVERcpDirInfo();
    current_->AddChild(sub);
    sub->m_nKind = QVERCP_KIND_SUBGROUP;
    sub->m_strName = name;
    sub->m_strSubGroup = std::move(path);
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
    --depth_;
  }

  CQVERcpDirInfo* group_;
  CQVERcpDirInfo* current_;
  RecipeIndex recipes_;
  int depth_ = 0;
  long flattened_ = 0;
};

}  // namespace

// A group without a readable file has no sub-groups; the reader fails only
// for a path through a link.
uint32_t CQVERcpUtil::ReadSubGroupFile(const char* groupDirectory, CQVERcpDirInfo* groupNode) {
  if (groupNode == nullptr) return 0;
  if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
  SubGroupReader reader(groupNode);
  rcptext::ReadKeywordFile(QVEEngJoinPath(groupDirectory, rcpsubgroup::kFileName),
                           [&](const Line& line) { reader.Apply(line); });
  return 0;
}
