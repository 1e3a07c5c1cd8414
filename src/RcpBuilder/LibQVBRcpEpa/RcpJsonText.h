// Texts from the store as JSON string literals, lossless for names that are
// not UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace rcpjson {

// The text as a quoted JSON string. Valid UTF-8 is kept as it is; a byte
// that is not part of a valid UTF-8 sequence is written as U+0000 followed
// by its two lower-case hex digits. No stored name or text holds a NUL, so
// a reader undoes the escape without ambiguity.
std::string Quote(const std::string& text);

// Length of the valid UTF-8 sequence at p (at most n bytes, n > 0), or 0.
size_t Utf8Length(const unsigned char* p, size_t n);

}  // namespace rcpjson
