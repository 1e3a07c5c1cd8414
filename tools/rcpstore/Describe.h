// How store things appear in output. In JSON (built with nlohmann::json)
// each thing is one object with its kind as a word ("project", "group",
// "subGroup", "recipe", "unit"), its address and its path, and the same keys
// and types wherever it appears; every text from a disk or a user goes
// through JsonText, so that any stored name gives valid JSON and reads back
// byte for byte. In text a thing is shown by its address (its path when the
// project is not registered).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Target.h"

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

// ISO-8601 UTC: "2026-12-06T19:20:00Z".
std::string IsoTime(int32_t seconds);

// The address as JSON: a string, or null for a project that is not registered.
Json AddressJson(const Target& target);

// A thing of the store as JSON: the keys every thing has (kind, address,
// path, name; number, and group for a recipe) and what a described item
// carries besides; "error" when it could not be read.
Json ItemJson(const StoreItem& item);
// A target as a plain item.
Json BasicJson(const Target& target);

// Prints the free numbers below the owner (of size numbers) ("1-3 5 7-1000" with
// ranges, else "1 2 3 5"), or with --json {"address","path","free":[...]}
// of the group or recipe whose table it is. A full table is a failure.
int PrintFree(const Target& owner, unsigned size, bool ranges);

}  // namespace rcpstore::cli
