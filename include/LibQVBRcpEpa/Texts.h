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

// Why a text cannot be kept in a field of limit bytes (line breaks and
// other control characters, which would split what shows it, or more bytes
// than the field holds); "" when it can.
RCPSTORE_API std::string WidthProblem(const std::string& text, size_t limit);
// The longest beginning of the text that fits in limit bytes and ends at a
// UTF-8 character boundary.
RCPSTORE_API std::string FittingBeginning(const std::string& text, size_t limit);

// Why a name cannot name a sub-group (empty, a '/', or OneLineProblem's
// faults); "" when it can.
RCPSTORE_API std::string SubGroupNameProblem(const std::string& name);
// Why a name cannot name a project: not one directory name (empty, "." or
// "..", a separator), control characters, longer than a file name; "" when it can.
RCPSTORE_API std::string ProjectNameProblem(const std::string& name);

// Fails with ERROR_INVALID_PARAMETER ("what: problem") when there is a problem.
RCPSTORE_API void RequireNoProblem(const std::string& what, const std::string& problem);

}  // namespace rcpstore
