// The audit trail of the store: one line for every change the library makes
// to a store, in audit.log in the station directory (beside events.log).
// Each line is one JSON object: time, station, user, pid, operation, path,
// result, for some operations a detail, and the identity of the project
// directory the path lies in, so that the project's changes are found
// whatever path named it (a link, a bind mount, another spelling). The trail rotates at a fixed
// size to audit.log.1. A line that cannot be written never fails or undoes
// the change; it is recorded in errors.log instead.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rcpaudit {

constexpr char kTrailName[] = "audit.log";
// The key of the hash of the line before, the last of each line.
constexpr char kChainKey[] = "prev";

// Runs change and records it with its result. A change that runs inside
// another one (a header stamped while a unit recipe is built) is part of
// the outer one and gets no line of its own. A null path is recorded empty.
uint32_t Recorded(const char* operation, const char* path, const std::function<uint32_t()>& change);
// The same with a detail: the sub-group, the new name, the project name.
uint32_t Recorded(const char* operation, const char* path, const char* detail,
                  const std::function<uint32_t()>& change);

// Records a change that was made already (a repair).
void Record(const char* operation, const std::string& path, uint32_t result, const std::string& detail);

// The identity of the project directory that path lies in (its device and
// inode, "DEV:INO"); "" when there is no such directory.
std::string ProjectIdentity(const std::string& path);

// A sub-group path as the trail shows it: the names joined with "/", then
// " -> " and the new name when one is given (a rename), or "/" and the
// recipe's name (a placement).
std::string SubGroupText(const std::vector<std::string>& names, const char* newName);
std::string SubGroupText(const std::vector<std::string>& names, const std::string& recipe);

// The SHA-256 of the trail's last line, as the next line will carry it;
// "" while the trail is empty.
std::string LastLineHash();
// Which trail this is: the station's host name and directory.
std::string TrailIdentity();

// Each line of a trail file, in order, without its line feed; a line longer
// than any the store writes is given empty. A file that is missing or no
// regular file has none.
void EachLine(const std::string& path, const std::function<void(std::string_view)>& use);

// The trail's files, oldest first: the rotated one, then the current one.
std::vector<std::string> TrailFiles();

}  // namespace rcpaudit
