// A new recipe group built whole with its attributes, so that a create cut
// short leaves no group or a complete one.
#pragma once

#include <cstdint>

#include "LibQVBRcpEpa.h"

namespace rcpgroup {

// As CQVERcpUtil::CreateRecipeGroup, with info's comment and first two
// servers in the group's attribute file from the start.
uint32_t CreateWithAttributes(const char* projectDirectory, unsigned groupNo, const _QVERcpGroupInfo& info);

}  // namespace rcpgroup
