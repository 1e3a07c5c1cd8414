// The texts a command stores: each fits its field and reads back as written.
// A text that does not is refused as a usage error, never cut silently.
#pragma once

#include <cstddef>
#include <string>

#include "LibQVBRcpEpa/Texts.h"

namespace rcpstore::cli {

// The text when it fits in limit bytes; otherwise, with truncate, its longest
// beginning that fits and ends at a UTF-8 character boundary, else refused.
std::string Fitted(const std::string& option, const std::string& text, size_t limit, bool truncate);

// Refuses a value that a text line of the store could not give back whole:
// line breaks and other control characters, or a line too long to read.
void CheckOneLine(const std::string& option, const std::string& text);

// Refuses what cannot name a sub-group: empty, '/', or CheckOneLine's faults.
void CheckSubGroupName(const std::string& option, const std::string& name);

// Refuses what cannot name a project directory: empty, "." or "..", a
// separator, control characters, longer than a file name may be.
void CheckProjectName(const std::string& option, const std::string& name);

}  // namespace rcpstore::cli
