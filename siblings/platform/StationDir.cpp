#include "platform/StationDir.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/Env.h"
#include "platform/ErrorMap.h"
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

constexpr mode_t kSharedDirectoryMode = 03770;
constexpr mode_t kSharedFileMode = 0660;

// Root's new station: every user of the station's group may register
// projects and append to the logs; nobody else may touch it. Without the
// group on this system it stays root's alone.
void ShareNewStation(const std::string& dir) {
  struct group gr;
  struct group* found = nullptr;
  char buf[4096];
  gid_t gid = getgrnam_r(kStationGroup, &gr, buf, sizeof buf, &found) == 0 && found != nullptr ? found->gr_gid : 0;
  if (chown(dir.c_str(), 0, gid) == 0) chmod(dir.c_str(), kSharedDirectoryMode);
}

bool IsShared(const std::string& dir) {
  struct stat st;
  return !dir.empty() && stat(dir.c_str(), &st) == 0 && (st.st_mode & S_ISGID) != 0;
}

}  // namespace

std::string StationDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string dir = g_override.empty() ? FromEnvironment() : g_override;
  if (dir == g_ensured) return dir;
  FileStat st;
  const bool existed = Env::Posix()->Stat(dir, &st) == 0;
  if (!MakeDirectories(dir)) return std::string();
  if (!existed && geteuid() == 0) ShareNewStation(dir);
  g_ensured = dir;
  return dir;
}

bool CallerOwnsStation() {
  struct stat st;
  std::string dir = StationDirectory();
  return !dir.empty() && stat(dir.c_str(), &st) == 0 && st.st_uid == geteuid();
}

void ShareStationFile(int fd) {
  if (IsShared(StationDirectory())) fchmod(fd, kSharedFileMode);
}

bool IsSharedStation() { return IsShared(StationDirectory()); }

bool WritableByAdministratorsOnly(const struct stat& st) {
  struct stat dir;
  if (stat(StationDirectory().c_str(), &dir) != 0) return false;
  return (st.st_uid == 0 || st.st_uid == dir.st_uid) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

uint32_t CheckStationFile(const std::string& path, struct stat* st) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Win32FromErrno(errno);
  const bool regular = fstat(fd, st) == 0 && S_ISREG(st->st_mode);
  close(fd);
  return regular ? 0 : ERROR_CANT_ACCESS_FILE;
}

void SetStationDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = path;
}

}  // namespace qvplatform
