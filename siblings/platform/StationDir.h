// The station directory: where a station keeps its registry, its logs and
// the user template set. QVC_STATION_DIR names it; without it it is
// $XDG_STATE_HOME/qv-station (~/.local/state/qv-station).
#pragma once

#include <string>

#include "QVFramework.h"

namespace qvplatform {

// The station directory, created (with its parents) on first use. Empty when
// it cannot be created. A station that root creates is shared by the group
// kStationGroup: the directory is root's, of that group, mode 02770 (setgid,
// so every file in it takes the group), and its files are 0660. Other
// stations keep the creator's umask.
QV_EXPORT std::string StationDirectory();

constexpr char kStationGroup[] = "users";

// Whether the process's user owns the station directory: the station's
// creator, whom the new registry enrols in Administrators.
bool CallerOwnsStation();

// Gives a file just created in the station directory the station's file
// mode: 0660 in a shared station, else it is left as created.
void ShareStationFile(int fd);

// Sets the station directory for this process, ahead of the environment;
// an empty path returns to the environment's choice.
QV_EXPORT void SetStationDirectory(const std::string& path);

}  // namespace qvplatform
