// The texts a command stores, checked before anything runs: a text the store
// would refuse is a usage error that names its option, and an over-long one
// is cut only when the user asks for it.
#pragma once

#include <cstddef>
#include <string>

#include "LibQVBRcpEpa/Texts.h"

namespace rcpstore::cli {

// Refuses the option's value when the store's check found a problem with it.
void Refuse(const std::string& option, const std::string& problem);

// The text when it fits in limit bytes; otherwise, with truncate, its longest
// beginning that fits and ends at a UTF-8 character boundary, else refused.
std::string Fitted(const std::string& option, const std::string& text, size_t limit, bool truncate);

}  // namespace rcpstore::cli
