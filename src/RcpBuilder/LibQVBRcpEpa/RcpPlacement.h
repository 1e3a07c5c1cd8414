// A recipe's place in its group's sub-groups, as the sub-group file records it.
#pragma once

#include "LibQVBRcpEpa/Target.h"

namespace rcpplacement {

// Removes a removed recipe's line from its group's sub-group file; false
// when no line named it (a group without the file names no recipe either).
// A line that cannot be removed fails, saying that a re-run removes it.
bool Forget(const rcpstore::Target& recipe);

}  // namespace rcpplacement
