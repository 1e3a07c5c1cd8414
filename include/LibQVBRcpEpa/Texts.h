// The texts the store keeps: the widths of a recipe header's fields, and
// what a text must be to be kept as one line of a store file and read back
// as written.
#pragma once

#include <cstddef>
#include <string>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

// The widths of the recipe header's text fields, in bytes.
constexpr size_t kHeaderNameBytes = 8;
constexpr size_t kTitleBytes = 16;
constexpr size_t kCommentBytes = 64;
constexpr size_t kUnitTextBytes = 24;

// Why a text could not be given back whole from a line of a store file
// (line breaks and other control characters, or a line too long to read);
// "" when it can.
RCPSTORE_API std::string OneLineProblem(const std::string& text);

}  // namespace rcpstore
