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

// The member of that name whose arguments fit the given ones; where a name
// and a number form both fit (digits given), the number form. An unknown
// name fails with QVC_ERR_NOT_FOUND, arguments that fit no form of it with
// ERROR_INVALID_PARAMETER, naming the forms.
RCPSTORE_API size_t FindPathMember(const std::string& name, const std::vector<std::string>& arguments);

// The path member `index` of PathMembers() gives for the arguments, for a
// project (its registered name, address or directory; "" for none).
RCPSTORE_API std::string ResolveEngineeringPath(size_t index, const std::vector<std::string>& arguments,
                                                const std::string& project);

}  // namespace rcpstore
