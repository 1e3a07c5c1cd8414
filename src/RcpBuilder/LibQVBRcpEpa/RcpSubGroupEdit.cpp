// Editing a recipe group's sub-group file: sub-groups and the recipes placed
// in them. Every edit streams the file into the work copy and puts the copy
// in the file's place in one durable step; until then the old arrangement
// is in force, and a failed edit leaves it whole.
#include <algorithm>
#include <cstring>

#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngPath.h"
#include "RcpKeywordFile.h"
#include "RcpSubGroupLine.h"
#include "RcpSubGroupRewrite.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaCsv.h"
#include "platform/Win32Types.h"

namespace {

using rcpsubgroup::Line;
using rcpsubgroup::Piece;
using rcpsubgroup::Rewrite;
using rcpsubgroup::WriteItemLine;

// Follows the nesting of the file against a sub-group path P: which lines
// open and close P[0..k]. An "ENDSUB" with nothing open is not counted.
class PathWalk {
 public:
  enum class Event { kNone, kOpen, kClose };

  explicit PathWalk(const CStringArray& path) : path_(path) {}

  // Compares the last level against another name (the new name of a rename).
  void CompareLastLevelWith(const CString* name) { lastLevelName_ = name; }
  // Matching starts again from P[0] once the walk is back at the top level.
  void RestartMatch() { matched_ = 0; }

  // Handles one parsed line; level() is the level it opened or closed.
  Event Step(const Line& line) {
    if (line.keyword == rcpsubgroup::kStart) {
      Event event = Event::kNone;
      if (depth_ == matched_ && matched_ < path_.size() && line.value == NameAt(matched_)) {
        level_ = ++matched_;
        event = Event::kOpen;
      }
      ++depth_;
      return event;
    }
    if (line.keyword != rcpsubgroup::kEnd || depth_ == 0) return Event::kNone;
    Event event = Event::kNone;
    if (depth_ == matched_ && matched_ >= 1) {
      level_ = matched_;
      event = Event::kClose;
    }
    --depth_;
    if (depth_ < matched_) matched_ = depth_;
    return event;
  }

  size_t level() const { return level_; }

 private:
  const CString& NameAt(size_t index) const {
    return lastLevelName_ != nullptr && index + 1 == path_.size() ? *lastLevelName_ : path_[index];
  }

  const CStringArray& path_;
  const CString* lastLevelName_ = nullptr;
  size_t depth_ = 0;
  size_t matched_ = 0;
  size_t level_ = 0;
};

// The "STARTSUB" line of a sub-group when start is set, then its "ENDSUB"
// line when end is set.
void WriteSubGroupLine(const CString& name, Rewrite& file, bool start, bool end) {
  if (start) WriteItemLine(rcpsubgroup::kStart, name, file);
  if (end) WriteItemLine(rcpsubgroup::kEnd, name, file);
}

void WriteNodeLine(const CString& name, Rewrite& file) { WriteItemLine(rcpsubgroup::kNode, name, file); }

// A line of the file must come back as one line.
bool Writable(const char* keyword, const CString& name) { return rcptext::LineReadsBack({keyword, name}); }

CString ItemName(const CQVERcpDirInfo* item) { return item != nullptr ? item->m_strName : CString(); }

// True when a line of the file opens the sub-group P itself.
bool Finds(Rewrite& file, PathWalk walk, size_t level) {
  Piece piece;
  while (file.Next(&piece)) {
    if (piece.parsed && walk.Step(piece.line) == PathWalk::Event::kOpen && walk.level() == level) return true;
  }
  return false;
}

}  // namespace

uint32_t CQVERcpUtil::InsertSubGroup(const char* groupDirectory, const CStringArray& path) {
  return rcpaudit::Recorded("insertSubGroup", groupDirectory, rcpaudit::SubGroupText(path, nullptr).c_str(),
                            [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    if (!path.empty() && !Writable(rcpsubgroup::kStart, path.back())) return QVC_ERR_CANNOT_EXECUTE;
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(true)) return rc;
    const size_t n = path.size();
    if (n < 1 || Finds(file, PathWalk(path), n)) return file.Refuse();
    if (uint32_t rc = file.Rewind()) return rc;

    uint32_t result = QVC_ERR_CANNOT_EXECUTE;
    if (n == 1) {
      WriteSubGroupLine(path[0], file, true, true);
      result = 0;
    }
    PathWalk walk(path);
    Piece piece;
    while (file.Next(&piece)) {
      file.Keep(piece);
      if (n == 1 || !piece.parsed) continue;
      if (walk.Step(piece.line) == PathWalk::Event::kOpen && walk.level() == n - 1 && result != 0) {
        WriteSubGroupLine(path[n - 1], file, true, true);
        result = 0;
      }
    }
    return file.Finish(result);
  });
}

// The target's own lines and those of the sub-groups in it go; its "NODE"
// lines stay in the parent, except for a top-level target, whose recipes
// return to the group's top level. The target ends at the line that closes
// it, whatever name that line carries, so nothing after it is lost.
uint32_t CQVERcpUtil::DeleteSubGroup(const char* groupDirectory, const CStringArray& path) {
  return rcpaudit::Recorded("deleteSubGroup", groupDirectory, rcpaudit::SubGroupText(path, nullptr).c_str(),
                            [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(false)) return rc;
    const size_t n = path.size();
    if (n < 1) return file.Refuse();

    PathWalk walk(path);
    bool inside = false;
    Piece piece;
    while (file.Next(&piece)) {
      if (!piece.parsed) continue;
      PathWalk::Event event = walk.Step(piece.line);
      bool opens = event == PathWalk::Event::kOpen && walk.level() == n;
      bool closes = event == PathWalk::Event::kClose && walk.level() == n;
      if (opens) inside = true;
      bool keep = !inside || (n > 1 && piece.line.keyword == rcpsubgroup::kNode);
      if (keep) file.Keep(piece);
      if (closes) inside = false;
    }
    return file.Finish(0);
  });
}

uint32_t CQVERcpUtil::RenameSubGroup(const char* groupDirectory, const char* newName, const CStringArray& path) {
  return rcpaudit::Recorded("renameSubGroup", groupDirectory, rcpaudit::SubGroupText(path, newName).c_str(),
                            [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    const CString name = newName != nullptr ? newName : "";
    if (!Writable(rcpsubgroup::kStart, name)) return QVC_ERR_CANNOT_EXECUTE;
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(false)) return rc;
    const size_t n = path.size();
    if (n < 1) return file.Refuse();
    PathWalk conflict(path);
    conflict.CompareLastLevelWith(&name);
    if (Finds(file, conflict, n)) return file.Refuse();
    if (uint32_t rc = file.Rewind()) return rc;

    uint32_t result = QVC_ERR_NOT_FOUND;
    PathWalk walk(path);
    Piece piece;
    while (file.Next(&piece)) {
      if (!piece.parsed) continue;
      PathWalk::Event event = walk.Step(piece.line);
      if (event != PathWalk::Event::kNone && walk.level() == n) {
        bool opens = event == PathWalk::Event::kOpen;
        WriteSubGroupLine(name, file, opens, !opens);
        result = 0;
      } else {
        file.Keep(piece);
      }
    }
    return file.Finish(result);
  });
}

uint32_t CQVERcpUtil::InsertItemToSubGroup(const char* groupDirectory, const CStringArray& path,
                                           const CQVERcpDirInfo* item) {
  return rcpaudit::Recorded("placeRecipe", groupDirectory, rcpaudit::SubGroupText(path, ItemName(item)).c_str(),
                            [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    if (item == nullptr || !Writable(rcpsubgroup::kNode, item->m_strName)) return QVC_ERR_CANNOT_EXECUTE;
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(false)) return rc;
    const size_t n = path.size();
    if (n < 1) return file.Refuse();
    Piece piece;
    while (file.Next(&piece)) {
      if (piece.parsed && piece.line.keyword == rcpsubgroup::kNode && piece.line.value == item->m_strName) {
        return file.Refuse();
      }
    }
    if (uint32_t rc = file.Rewind()) return rc;

    uint32_t result = QVC_ERR_NOT_FOUND;
    PathWalk walk(path);
    while (file.Next(&piece)) {
      file.Keep(piece);
      if (!piece.parsed) continue;
      if (walk.Step(piece.line) == PathWalk::Event::kOpen && walk.level() == n) {
        WriteNodeLine(item->m_strName, file);
        walk.RestartMatch();
        result = 0;
      }
    }
    return file.Finish(result);
  });
}

uint32_t CQVERcpUtil::DeleteItemFromSubGroup(const char* groupDirectory, const CStringArray& /*path*/,
                                             const CQVERcpDirInfo* item) {
  return rcpaudit::Recorded("unplaceRecipe", groupDirectory, ItemName(item).c_str(), [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    if (item == nullptr) return QVC_ERR_CANNOT_EXECUTE;
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(false)) return rc;
    uint32_t result = QVC_ERR_NOT_FOUND;
    Piece piece;
    while (file.Next(&piece)) {
      if (!piece.parsed) continue;
      if (piece.line.keyword == rcpsubgroup::kNode && piece.line.value == item->m_strName) {
        result = 0;
        continue;
      }
      file.Keep(piece);
    }
    return file.Finish(result);
  });
}

namespace {

// What the trail says of a move: the items, then the sub-group they went to.
CString MovedItemsText(const CStringArray& path, const CStringArray& items) {
  CString text;
  for (const CString& item : items) text += (text.empty() ? "" : ",") + item;
  return text + " -> " + rcpaudit::SubGroupText(path, nullptr);
}

}  // namespace

// Every "NODE" line of the items goes, and with a path they come back as one
// block right after the line that opens the sub-group. A path that no line
// opens changes nothing (QVC_ERR_NOT_FOUND).
uint32_t CQVERcpUtil::MoveItemsToSubGroup(const char* groupDirectory, const CStringArray& path,
                                          const CStringArray& items) {
  return rcpaudit::Recorded("moveItems", groupDirectory, MovedItemsText(path, items).c_str(), [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(groupDirectory, rcpsubgroup::kFileName)) return rc;
    for (const CString& item : items) {
      if (item.empty() || !Writable(rcpsubgroup::kNode, item)) return QVC_ERR_CANNOT_EXECUTE;
    }
    Rewrite file(groupDirectory);
    if (uint32_t rc = file.Begin(false)) return rc;
    const size_t n = path.size();
    if (n > 0) {
      if (!Finds(file, PathWalk(path), n)) {
        file.Refuse();
        return QVC_ERR_NOT_FOUND;
      }
      if (uint32_t rc = file.Rewind()) return rc;
    }
    auto moved = [&](const Line& line) {
      return line.keyword == rcpsubgroup::kNode && std::find(items.begin(), items.end(), line.value) != items.end();
    };
    PathWalk walk(path);
    bool placed = n == 0;
    Piece piece;
    while (file.Next(&piece)) {
      if (piece.parsed && moved(piece.line)) continue;
      file.Keep(piece);
      if (placed || !piece.parsed) continue;
      if (walk.Step(piece.line) == PathWalk::Event::kOpen && walk.level() == n) {
        for (const CString& item : items) WriteNodeLine(item, file);
        placed = true;
      }
    }
    return file.Finish(0);
  });
}
