// The station directory: where a station keeps its registry, its logs and
// the user template set. QVC_STATION_DIR names it; without it it is
// $XDG_STATE_HOME/qv-station (~/.local/state/qv-station).
#pragma once

#include <sys/stat.h>

#include <string>

#include "QVFramework.h"

namespace qvplatform {

// The station directory, created (with its parents) on first use. Empty when
// it cannot be created. A station that root creates is shared by the group
// kStationGroup: the directory is root's, of that group, mode 03770 (setgid,
// so every file in it takes the group; sticky, so that no user removes or
// replaces another's file), and its shared files are 0660. Other stations
// keep the creator's umask.
QV_EXPORT std::string StationDirectory();

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
