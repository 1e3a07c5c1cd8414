#include "RcpStorePath.h"

#include <cctype>

#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace {

using qvplatform::EntryType;

// What a component's name says it is, and whether it sits in the project
// directory itself (the end of the walk).
struct Claim {
  bool storeName = false;
  EntryType type = EntryType::kOther;
  bool inProject = false;
};

bool IsStoreFile(const std::string& upper) {
  for (const char* name : {"RCPHEAD.EDF", "RCPRP.EDF", "RCPGRATTR.TXT", "RCPPJTATTR.TXT", "RCPSUBGROUP.TXT",
                           "RCPSUBGROUPWORK.TXT", "RCPLOCK.TXT", "RCPFDA.L"}) {
    if (upper == name) return true;
  }
  return rcppath::NumberedName(upper, "RCPPT", 2, ".EDF");
}

Claim ClaimOf(const std::string& name) {
  std::string upper = QVUpperAscii(name);
  if (upper == "RECIPE" || upper == "ETC") return {true, EntryType::kDirectory, true};
  if (upper == "RCPPJTLOCK.TXT") return {true, EntryType::kFile, true};
  if (upper == "TEMP" || rcppath::NumberedName(upper, "RG", 2, "") || rcppath::NumberedName(upper, "RCP", 4, "")) {
    return {true, EntryType::kDirectory, false};
  }
  if (IsStoreFile(upper)) return {true, EntryType::kFile, false};
  return {};
}

// Whatever cannot be looked at is not there for the caller either: only an
// entry that exists can betray its name.
bool IsWhatItClaims(const std::string& prefix, EntryType claimed) {
  qvplatform::FileStat st;
  return qvplatform::CurrentEnv()->StatEntry(prefix, &st) != 0 || st.type == claimed;
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
    Claim claim = ClaimOf(component);
    // The last component may be any file the caller names; above it, the
    // store ends where its names end.
    if (!claim.storeName && !last && component != ".") return 0;
    if (claim.storeName && !IsWhatItClaims(whole.substr(0, end + 1), claim.type)) return ERROR_CANT_ACCESS_FILE;
    if (claim.inProject || slash == std::string::npos) return 0;
    last = false;
    end = whole.find_last_not_of('/', slash);
  }
  return 0;
}

}  // namespace rcppath
