// How store things appear in output. In JSON each thing is one object with
// its kind as a word ("project", "group", "subGroup", "recipe", "unit"), its
// address and its path, and the same keys and types wherever it appears; in
// text, by its address (its path when the project is not registered).
#pragma once

#include <cstdint>
#include <string>

#include "Json.h"
#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Target.h"

namespace rcpstore::cli {

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
