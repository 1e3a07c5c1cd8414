// Texts of the store in JSON, lossless: valid UTF-8 is kept as it is, and a
// byte that is not part of a valid UTF-8 sequence is written as U+0000
// followed by its two lower-case hex digits. No stored name or text holds a
// NUL, so the escape is never ambiguous and JsonUnescaped undoes it.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

// The text to put in a JSON string (before the JSON writer's own escapes).
RCPSTORE_API std::string JsonEscaped(const std::string& text);
// The stored bytes a JSON string's text stands for.
RCPSTORE_API std::string JsonUnescaped(const std::string& jsonText);

}  // namespace rcpstore
