#include "RcpStorePath.h"

#include <cctype>

#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/StoreRoot.h"
#include "platform/Win32Types.h"

namespace {

using qvplatform::EntryType;

enum class Name { kOther, kStoreDirectory, kProjectEntry };

// Recipe and ETC stand in the project directory itself, where the walk ends.
Name NameOf(const std::string& component) {
  std::string upper = QVUpperAscii(component);
  if (upper == "RECIPE" || upper == "ETC") return Name::kProjectEntry;
  if (upper == "TEMP" || rcppath::NumberedName(upper, "RG", 2, "") || rcppath::NumberedName(upper, "RCP", 4, "")) {
    return Name::kStoreDirectory;
  }
  return Name::kOther;
}

// Whatever cannot be looked at is not there for the caller either: only an
// entry that exists can betray its name.
bool IsDirectoryOrMissing(const std::string& prefix) {
  qvplatform::FileStat st;
  return qvplatform::CurrentEnv()->StatEntry(prefix, &st) != 0 || st.type == EntryType::kDirectory;
}

}  // namespace

namespace rcppath {

bool NumberedName(const std::string& upper, const std::string& prefix, size_t minDigits, const std::string& suffix) {
  if (upper.size() < prefix.size() + minDigits + suffix.size()) return false;
  if (upper.compare(0, prefix.size(), prefix) != 0) return false;
  if (upper.compare(upper.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  for (size_t i = prefix.size(); i < upper.size() - suffix.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(upper[i])) == 0) return false;
  }
  return true;
}

std::string ProjectOf(const std::string& path) {
  bool last = true;
  for (size_t end = path.find_last_not_of('/'); end != std::string::npos;) {
    size_t slash = path.rfind('/', end);
    size_t begin = slash == std::string::npos ? 0 : slash + 1;
    Name kind = NameOf(path.substr(begin, end - begin + 1));
    if (kind == Name::kProjectEntry) return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if ((kind == Name::kOther && !last) || slash == std::string::npos) break;
    last = false;
    end = path.find_last_not_of('/', slash);
  }
  return path;
}

void OpenProjectOf(const char* path) {
  if (path == nullptr || *path == 0) return;
  const std::string project = ProjectOf(path);
  if (!qvplatform::UnderStoreRoot(project)) qvplatform::OpenStoreRoot(project, true);
}

uint32_t Check(const char* path, const char* name) {
  if (path == nullptr) return 0;
  const std::string whole = name != nullptr ? QVEEngJoinPath(path, name) : CString(path);
  bool last = true;
  size_t end = whole.find_last_not_of('/');
  while (end != std::string::npos) {
    size_t slash = whole.rfind('/', end);
    size_t begin = slash == std::string::npos ? 0 : slash + 1;
    std::string component = whole.substr(begin, end - begin + 1);
    if (component == "..") return ERROR_CANT_ACCESS_FILE;
    Name kind = NameOf(component);
    // The last component may be any file the caller names (the file services
    // refuse a link or a non-file there); above it, the store ends where its
    // directory names end.
    if (kind == Name::kOther && !last && component != ".") return 0;
    if (kind != Name::kOther && !IsDirectoryOrMissing(whole.substr(0, end + 1))) return ERROR_CANT_ACCESS_FILE;
    if (kind == Name::kProjectEntry || slash == std::string::npos) return 0;
    last = false;
    end = whole.find_last_not_of('/', slash);
  }
  return 0;
}

}  // namespace rcppath
