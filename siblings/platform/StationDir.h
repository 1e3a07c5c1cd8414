// The station directory: where a station keeps its registry, its logs and
// the user template set.
#pragma once

#include <sys/stat.h>

#include <string>

#include "QVFramework.h"

namespace qvplatform {

// The default station of this computer, used when neither --station nor
// QVC_STATION_DIR names another. It is never made behind a user's back:
// `rcpstore station init` makes it.
constexpr char kDefaultStation[] = "/var/lib/qv-station";

// The station directory in use: the one --station or QVC_STATION_DIR names,
// else the default station. Empty when it is not an existing directory: a
// station is never created on first use, nor with its parents.
QV_EXPORT std::string StationDirectory();

// "" when the station directory in use exists; else why there is none, for
// the user: the path looked for, what chose it and how to make it.
QV_EXPORT std::string StationDirectoryProblem();

// Makes the station directory in use when it is missing (not its parents);
// *dir is its path, *made whether this call made it. A station that root makes is shared by the group
// kStationGroup: the directory is root's, of that group, mode 03770
// (setgid, so every file in it takes the group; sticky, so that no user
// removes or replaces another's file), and its shared files are 0660.
uint32_t MakeStationDirectory(std::string* dir, bool* made);

constexpr char kStationGroup[] = "users";

// Whether the process's user owns the station directory: the station's
// creator, whom the new registry enrols in Administrators.
bool CallerOwnsStation();

// Whether the station directory is shared by a group (it is setgid).
bool IsSharedStation();

// Who may write the station's administrative files: the owner of the station
// directory. A file of a shared station is the administrators' only when it
// is owned by this user or root and nobody else may write it.
bool WritableByAdministratorsOnly(const struct stat& st);

// Checks a station file without following a link or opening a FIFO: 0 with
// its status in *st for a regular file, ERROR_FILE_NOT_FOUND when there is
// none, ERROR_CANT_ACCESS_FILE (1920) for a link, a FIFO, a directory or any
// other kind of entry, else the failure.
uint32_t CheckStationFile(const std::string& path, struct stat* st);

// Gives a file just created in the station directory the station's file
// mode: 0660 in a shared station, else it is left as created.
void ShareStationFile(int fd);

// Sets the station directory for this process, ahead of the environment;
// an empty path returns to the environment's choice.
QV_EXPORT void SetStationDirectory(const std::string& path);

}  // namespace qvplatform
