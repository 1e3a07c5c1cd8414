// Setting a station up for its users: the modes under which no user of a
// shared station can read, replace or rewrite what is not hers.
#pragma once

#include <string>
#include <vector>

namespace qvplatform {

// Brings the current station to those modes, making what is missing: the
// directory sticky (03770) when shared; the registry the administrators' only
// (0644) with a rollback journal, so that the others read it without writing
// it; the shared registry and the logs (named in logs, each with its ".1")
// 0660; the template folders (templates, templates/QVUser) the
// administrators' only (0755). Files are made the station owner's. Run by
// root or the station's owner; nothing is followed through a link, and an
// entry of the wrong kind is an error naming it. Each change made is
// described in *done.
uint32_t SetUpStation(const std::vector<std::string>& logs, std::vector<std::string>* done, std::string* failed);

}  // namespace qvplatform
