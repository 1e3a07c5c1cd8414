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
std::string g_found;  // the directory last found usable

// The station chosen for this process, and what chose it.
std::string Chosen(const char** source) {
  if (!g_override.empty()) {
    *source = "--station";
    return g_override;
  }
  if (const char* dir = std::getenv("QVC_STATION_DIR"); dir != nullptr && *dir != 0) {
    *source = "QVC_STATION_DIR";
    return dir;
  }
  *source = nullptr;
  return kDefaultStation;
}

bool IsDirectory(const std::string& path) {
  FileStat st;
  return Env::Posix()->Stat(path, &st) == 0 && st.type == EntryType::kDirectory;
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
  const char* source = nullptr;
  std::string dir = Chosen(&source);
  if (dir == g_found) return dir;
  if (!IsDirectory(dir)) return std::string();
  g_found = dir;
  return dir;
}

std::string StationDirectoryProblem() {
  const char* source = nullptr;
  std::string dir;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    dir = Chosen(&source);
  }
  if (IsDirectory(dir)) return std::string();
  if (source == nullptr) {
    return "this computer has no station: " + dir +
           " does not exist; root makes it with `rcpstore station init`, or QVC_STATION_DIR or --station names "
           "another station directory";
  }
  return "the station directory " + dir + " (" + source +
         ") is not a directory that exists; make it first, or run `rcpstore station init` to make it";
}

uint32_t MakeStationDirectory(std::string* dir, bool* made) {
  const char* source = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    *dir = Chosen(&source);
  }
  *made = false;
  if (IsDirectory(*dir)) return 0;
  // Only the station itself is made, never its parents: a mistyped path
  // fails instead of growing a tree.
  if (uint32_t rc = Env::Posix()->MakeDirectory(*dir)) return rc;
  if (geteuid() == 0) ShareNewStation(*dir);
  *made = true;
  return 0;
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
