#include "platform/StationDir.h"

#include <cstdlib>
#include <mutex>

#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

std::mutex g_mutex;
std::string g_override;
std::string g_ensured;  // the directory last found or created

std::string FromEnvironment() {
  if (const char* dir = std::getenv("QVC_STATION_DIR"); dir != nullptr && *dir != 0) return dir;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    return std::string(state) + "/qv-station";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != 0 ? home : "/tmp") + "/.local/state/qv-station";
}

bool MakeDirectories(const std::string& path) {
  Env* env = Env::Posix();
  FileStat st;
  if (env->Stat(path, &st) == 0) return st.type == EntryType::kDirectory;
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) return false;
  uint32_t rc = env->MakeDirectory(path);
  return rc == 0 || rc == ERROR_ALREADY_EXISTS;
}

}  // namespace

std::string StationDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string dir = g_override.empty() ? FromEnvironment() : g_override;
  if (dir == g_ensured) return dir;
  if (!MakeDirectories(dir)) return std::string();
  g_ensured = dir;
  return dir;
}

void SetStationDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = path;
}

}  // namespace qvplatform
