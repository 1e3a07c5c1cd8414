// The paths of the family's engineering files, by the members of the path
// catalogue: a program can call any member by its name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

struct PathMember {
  std::string name;
  // Its arguments in order, in words: STATION, OWNER, NAME, FILE, KEY or
  // NUMBER; an optional one in brackets ("STATION [FILE]").
  std::string arguments;
  std::string key;        // the key it uses; "" when none
  std::string folderKey;  // the folder key it chooses without its optional argument; "" when none
};

// Every member, in the catalogue's order; an overloaded name has one entry per form.
RCPSTORE_API const std::vector<PathMember>& PathMembers();

// The path member `index` of PathMembers() gives for the arguments, for a
// project (its registered name, address or directory; "" for none).
RCPSTORE_API std::string ResolveEngineeringPath(size_t index, const std::vector<std::string>& arguments,
                                                const std::string& project);

}  // namespace rcpstore
