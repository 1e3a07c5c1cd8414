// JSON output of the command line, built with nlohmann::json. Every text that
// comes from a disk or a user goes through JsonText, so that any stored name
// gives valid JSON and reads back byte for byte.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace rcpstore::cli {

using Json = nlohmann::json;

// The text as a JSON string. Valid UTF-8 is kept as it is. A byte that is not
// part of a valid UTF-8 sequence is written as U+0000 followed by its two
// lower-case hex digits: no stored name or text can hold a NUL, so the escape
// is never ambiguous and JsonBytes undoes it.
Json JsonText(const std::string& text);
std::string JsonBytes(const std::string& jsonText);

// Prints the value on one line to stdout; returns 0.
int PrintJson(const Json& value);

}  // namespace rcpstore::cli
