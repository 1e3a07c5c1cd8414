#include "libqvecommon/QVEEngPath.h"

#include <cstring>

#include "platform/Win32Types.h"

namespace {

// Removes trailing separators, keeping a lone root separator.
void TrimTrailingSeparators(CString& path) {
  size_t end = path.find_last_not_of('/');
  if (end == CString::npos) {
    if (!path.empty()) path = "/";
    return;
  }
  path.resize(end + 1);
}

}  // namespace

CString QVEEngCatPath(CString& path, const char* name) {
  const char* tail = name != nullptr ? name : "";
  if (path.empty()) {
    path = tail;
    return path;
  }
  while (*tail == '/') ++tail;
  TrimTrailingSeparators(path);
  if (path != "/") path += '/';
  path += tail;
  return path;
}

CString QVEEngJoinPath(const char* path, const char* name) {
  CString joined = path != nullptr ? path : "";
  return QVEEngCatPath(joined, name);
}

uint32_t QVEEngSplitFilePath(const char* path, int mode, CString& directory, CString& name) {
  if (mode != 1) return ERROR_INVALID_PARAMETER;
  CString whole = path != nullptr ? path : "";
  size_t end = whole.find_last_not_of('/');
  if (end == CString::npos) return ERROR_INVALID_NAME;
  size_t slash = whole.rfind('/', end);
  if (slash == CString::npos) {
    directory.clear();
    name = whole.substr(0, end + 1);
    return 0;
  }
  name = whole.substr(slash + 1, end - slash);
  directory = whole.substr(0, slash + 1);
  TrimTrailingSeparators(directory);
  return 0;
}
