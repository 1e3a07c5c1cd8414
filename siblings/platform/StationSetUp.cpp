#include "platform/StationSetUp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/ErrorMap.h"
#include "platform/RegistryStore.h"
#include "platform/StationDir.h"
#include "platform/Win32Types.h"

namespace qvplatform {

namespace {

constexpr mode_t kSharedDirectoryMode = 03770;
constexpr mode_t kAdministratorsFileMode = 0644;
constexpr mode_t kSharedFileMode = 0660;
constexpr mode_t kTemplateFolderMode = 0755;

// One station directory being set up: each entry is opened beneath it
// without following a link, then given its owner and mode on that
// descriptor.
class SetUp {
 public:
  SetUp(int dir, const struct stat& dirStat, std::vector<std::string>* done, std::string* failed,
        std::string prefix = std::string())
      : prefix_(std::move(prefix)),
        dir_(dir), owner_(dirStat.st_uid), shared_((dirStat.st_mode & S_ISGID) != 0), done_(done), failed_(failed) {}

  uint32_t Directory(const struct stat& st) {
    if (!shared_ || (st.st_mode & 07777) == kSharedDirectoryMode) return 0;
    if (fchmod(dir_, kSharedDirectoryMode) != 0) return Failed(".", errno);
    done_->push_back("station directory: mode 3770 (no user removes or replaces another's file)");
    return 0;
  }

  uint32_t File(const std::string& name, bool administratorsOnly) {
    const mode_t mode = administratorsOnly ? kAdministratorsFileMode : shared_ ? kSharedFileMode : 0;
    int fd = openat(dir_, name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST) fd = openat(dir_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(name, errno);
    if (made) done_->push_back(prefix_ + name + ": made");
    uint32_t rc = Own(fd, name, false, mode != 0 ? mode : 0644, made || mode != 0);
    close(fd);
    return rc;
  }

  // A folder beneath the directory, made when missing; its descriptor is
  // left in *fd for what lies inside it.
  uint32_t Folder(const std::string& name, int* fd) {
    if (mkdirat(dir_, name.c_str(), 0700) == 0) done_->push_back(prefix_ + name + ": made");
    *fd = openat(dir_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (*fd < 0) return Failed(name, errno == ENOTDIR || errno == ELOOP ? ENOTDIR : errno);
    return Own(*fd, name, true, kTemplateFolderMode, true);
  }

 private:
  // Gives the entry open on fd the station owner and, when setMode, mode.
  uint32_t Own(int fd, const std::string& name, bool folder, mode_t mode, bool setMode) {
    struct stat st;
    if (fstat(fd, &st) != 0) return Failed(name, errno);
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return Failed(name, ENOTDIR);
    if (st.st_uid != owner_) {
      if (fchown(fd, owner_, static_cast<gid_t>(-1)) != 0) return Failed(name, errno);
      done_->push_back(prefix_ + name + ": now the station owner's");
    }
    if (setMode && (st.st_mode & 07777) != mode) {
      if (fchmod(fd, mode) != 0) return Failed(name, errno);
      char octal[8];
      snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
      done_->push_back(prefix_ + name + ": mode " + octal);
    }
    return 0;
  }

  uint32_t Failed(const std::string& name, int err) {
    *failed_ = prefix_ + name;
    return err == ENOTDIR ? ERROR_CANT_ACCESS_FILE : Win32FromErrno(err);
  }

  const std::string prefix_;  // the directory's path in the station, for the messages
  const int dir_;
  const uid_t owner_;
  const bool shared_;
  std::vector<std::string>* done_;
  std::string* failed_;
};

}  // namespace

uint32_t SetUpStation(const std::vector<std::string>& logs, std::vector<std::string>* done, std::string* failed) {
  if (geteuid() != 0 && !CallerOwnsStation()) return ERROR_ACCESS_DENIED;
  LONG opened = 0;
  std::shared_ptr<RegistryStore> store = RegistryStore::ForStation(&opened);
  if (store == nullptr) return static_cast<uint32_t>(opened);
  if (LONG rc = store->UseRollbackJournal()) return static_cast<uint32_t>(rc);
  const std::string path = StationDirectory();
  int dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (dir < 0 || fstat(dir, &st) != 0) {
    if (dir >= 0) close(dir);
    *failed = path;
    return Win32FromErrno(errno);
  }
  SetUp setUp(dir, st, done, failed);
  uint32_t rc = setUp.Directory(st);
  const std::string registry = RegistryPath();
  const std::string registryName = registry.substr(registry.find_last_of('/') + 1);
  if (rc == 0) rc = setUp.File(registryName, true);
  if (rc == 0) rc = setUp.File(RegistryStore::kSharedFile, false);
  for (const std::string& log : logs) {
    if (rc == 0) rc = setUp.File(log, false);
    if (rc == 0) rc = setUp.File(log + ".1", false);
  }
  int templates = -1;
  if (rc == 0) rc = setUp.Folder("templates", &templates);
  if (rc == 0) {
    int user = -1;
    rc = SetUp(templates, st, done, failed, "templates/").Folder("QVUser", &user);
    if (user >= 0) close(user);
  }
  if (templates >= 0) close(templates);
  close(dir);
  return rc;
}

}  // namespace qvplatform
