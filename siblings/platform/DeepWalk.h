// A depth-first walk below an open directory that holds one descriptor at a
// time whatever the depth, so that no chain of directories, however deep,
// can exhaust the descriptors or the stack.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace qvplatform {

// Each directory's entries are read once, on the way down; the way back up
// reopens ".." and requires it to be the directory left (same device and
// inode), so that a tree moved meanwhile is never walked out of. Links are
// never entered.
//
// Dir is a movable handle of an open directory with
//   uint32_t Read(std::vector<DirEntry>*), uint32_t Open(const std::string&, Dir*),
//   uint32_t Id(DirectoryId*);
// onEntry(Dir&, const DirEntry&) is called for every entry that is not a
// directory, onLeft(Dir& parent, const std::string& name) after everything
// below a directory has been walked. A non-zero result of either, or of the
// handle, ends the walk with that result.
template <typename Dir, typename OnEntry, typename OnLeft>
uint32_t WalkBelow(Dir top, OnEntry onEntry, OnLeft onLeft) {
  struct Level {
    DirectoryId id;
    std::string name;  // in its parent
    std::vector<DirEntry> entries;
    size_t next = 0;
  };
  std::vector<Level> levels(1);
  Dir here = std::move(top);
  if (uint32_t rc = here.Id(&levels[0].id)) return rc;
  if (uint32_t rc = here.Read(&levels[0].entries)) return rc;
  for (;;) {
    Level& level = levels.back();
    if (level.next < level.entries.size()) {
      const DirEntry& entry = level.entries[level.next++];
      if (entry.type != EntryType::kDirectory) {
        if (uint32_t rc = onEntry(here, entry)) return rc;
        continue;
      }
      Level below;
      below.name = entry.name;
      Dir inner;
      if (uint32_t rc = here.Open(entry.name, &inner)) return rc;
      if (uint32_t rc = inner.Id(&below.id)) return rc;
      if (uint32_t rc = inner.Read(&below.entries)) return rc;
      here = std::move(inner);
      levels.push_back(std::move(below));
      continue;
    }
    if (levels.size() == 1) return 0;
    std::string name = std::move(level.name);
    levels.pop_back();
    Dir parent;
    DirectoryId id;
    if (uint32_t rc = here.Open("..", &parent)) return rc;
    if (uint32_t rc = parent.Id(&id)) return rc;
    if (!(id == levels.back().id)) return ERROR_ACCESS_DENIED;
    here = std::move(parent);
    if (uint32_t rc = onLeft(here, name)) return rc;
  }
}

}  // namespace qvplatform
