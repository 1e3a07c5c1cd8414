// The user template set: templates/QVUser in the station directory, from
// which every user's new recipes and unit recipes are made. The station
// directory is shared by its users, so only what the station's
// administrators can have put there is used.
#pragma once

#include <cstdint>
#include <string>

namespace qvplatform {

// Reads the file of the user template set with this exact name whole, when
// nobody but an administrator can have put it there: the folders templates
// and QVUser and the file are owned by root or by the owner of the station
// directory and writable by nobody else, each is reached without following
// a link, and the file is a regular one of at most 16 MiB. 0 and its bytes;
// ERROR_FILE_NOT_FOUND (or ERROR_PATH_NOT_FOUND) when the set holds no such
// file; otherwise ERROR_ACCESS_DENIED and why the file is not used.
uint32_t ReadUserTemplate(const std::string& name, std::string* bytes, std::string* why);

}  // namespace qvplatform
