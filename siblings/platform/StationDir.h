// The station directory: where a station keeps its registry, its logs and
// the user template set. QVC_STATION_DIR names it; without it it is
// $XDG_STATE_HOME/qv-station (~/.local/state/qv-station).
#pragma once

#include <string>

#include "QVFramework.h"

namespace qvplatform {

// The station directory, created (with its parents) on first use. Empty when
// it cannot be created.
QV_EXPORT std::string StationDirectory();

// Sets the station directory for this process, ahead of the environment;
// an empty path returns to the environment's choice.
QV_EXPORT void SetStationDirectory(const std::string& path);

}  // namespace qvplatform
