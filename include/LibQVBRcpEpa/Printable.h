// Texts from disk or from another user shown to a person: a lock holder's
// text, a path, a title, a sub-group name, an audit field. Such a text may
// hold escape sequences that would set a terminal's title or clear its
// screen, or line breaks that forge lines of output, so it is shown with
// every control escaped, visibly and unambiguously:
//  - C0 controls and DEL as \xHH ("\x1b", "\x0a"), two lower-case hex digits;
//  - C1 controls (U+0080 to U+009F, in UTF-8) as \uHHHH ("\u009b");
//  - a byte that is not part of a valid UTF-8 sequence as \xHH;
//  - the backslash itself as "\\".
// Everything else (valid UTF-8, blanks included) is kept as it is.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

RCPSTORE_API std::string Printable(const std::string& text);

}  // namespace rcpstore
