#include "libqvecommon/QVEEngList.h"

#include <fnmatch.h>
#include <limits.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace {

using qvplatform::DirEntry;
using qvplatform::EntryType;

struct Listing {
  std::string glob;
  unsigned selector;
  QVEEngListCallback callback;
  void* context;
  int recursive;
};

// Splits at the last dot; a leading dot starts the name, not an extension.
void SplitExtension(const std::string& entry, std::string* name, std::string* extension) {
  size_t dot = entry.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    *name = entry;
    extension->clear();
    return;
  }
  *name = entry.substr(0, dot);
  *extension = entry.substr(dot);
}

WIN32_FIND_DATAA FindDataFor(const std::string& directory, const DirEntry& entry) {
  WIN32_FIND_DATAA data;
  std::strncpy(data.cFileName, entry.name.c_str(), MAX_PATH - 1);
  if (entry.type == EntryType::kDirectory) {
    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return data;
  }
  // Files carry their time and size, which the file listings show.
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->Stat(directory + "/" + entry.name, &st) == 0) {
    data.ftLastWriteTime = static_cast<int32_t>(st.mtime);
    data.nFileSize = static_cast<uint64_t>(st.size);
    data.dwFileAttributes = st.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  }
  return data;
}

// Lists an opened directory, entering the directories below it through their
// parent, one name at a time: a path is never looked up again, and a
// directory is entered only as deep as a path could name it.
uint32_t ListOpened(const Listing& listing, qvplatform::Directory& opened, const std::string& directory,
                    unsigned depth) {
  std::vector<DirEntry> entries;
  if (uint32_t rc = opened.Read(&entries)) return rc;
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return QVEEngNameBefore(a.name, b.name); });
  std::string name;
  std::string extension;
  for (const DirEntry& entry : entries) {
    unsigned type = entry.type == EntryType::kDirectory ? QVEENG_LIST_DIRS
                    : entry.type == EntryType::kFile    ? QVEENG_LIST_FILES
                                                        : 0;
    if (type == 0) continue;
    bool selected = (listing.selector & type) != 0 &&
                    fnmatch(listing.glob.c_str(), entry.name.c_str(), FNM_CASEFOLD) == 0;
    int enter = 1;
    if (selected) {
      SplitExtension(entry.name, &name, &extension);
      WIN32_FIND_DATAA data = FindDataFor(directory, entry);
      enter = listing.callback(type, depth, directory.c_str(), name.c_str(), extension.c_str(), &data,
                               listing.context);
    }
    if (type != QVEENG_LIST_DIRS || listing.recursive == 0 || enter == 0) continue;
    std::string inner = directory;
    if (inner != "/") inner += '/';
    inner += entry.name;
    std::unique_ptr<qvplatform::Directory> below;
    if (inner.size() < PATH_MAX && opened.OpenDirectory(entry.name, &below) == 0) {
      ListOpened(listing, *below, inner, depth + 1);
    }
  }
  return 0;
}

uint32_t ListDirectory(const Listing& listing, const std::string& directory) {
  std::unique_ptr<qvplatform::Directory> opened;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenDirectory(directory, &opened)) return rc;
  return ListOpened(listing, *opened, directory, 1);
}

}  // namespace

bool QVEEngNameBefore(const std::string& a, const std::string& b) {
  int c = strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

uint32_t QVEEngListFile2(int recursive, const char* pattern, unsigned selector, QVEEngListCallback callback,
                         void* context) {
  if (pattern == nullptr || callback == nullptr) return ERROR_INVALID_PARAMETER;
  std::string whole = pattern;
  size_t slash = whole.rfind('/');
  std::string directory = slash == std::string::npos ? std::string(".")
                          : slash == 0                ? std::string("/")
                                                      : whole.substr(0, slash);
  std::string glob = slash == std::string::npos ? whole : whole.substr(slash + 1);
  if (glob.empty() || glob == "*.*") glob.assign(1, '*');
  Listing listing{glob, selector, callback, context, recursive};
  return ListDirectory(listing, directory);
}
