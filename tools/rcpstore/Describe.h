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

struct _QVERcpProjectInfo;

namespace rcpstore::cli {

// ISO-8601 UTC: "2026-12-06T19:20:00Z".
std::string IsoTime(int32_t seconds);

// The address of a target, or its path when it has none.
std::string Shown(const Target& target);
// The address as JSON: a string, or null for a project that is not registered.
Json AddressJson(const Target& target);

// The keys every thing has: kind, address, path, name; and number (and
// group, for a recipe) for a group or recipe. What a listing --plain or a
// removal reports.
Json BasicJson(const Target& target);

Json ProjectJson(const std::string& name, const _QVERcpProjectInfo& info);
// A group: number, comment, servers and how many recipes it holds.
Json GroupJson(const Target& group);
Json GroupJson(const Target& group, const GroupInfo& info, size_t recipes);
// A recipe: number, header texts, times, version, the unit files that exist.
// subGroup is the sub-group path that holds it ("" at the group's top level).
Json RecipeJson(const Target& recipe, const RecipeHead& head, const std::string& subGroup);
// A unit recipe file (0: the procedure file) of a recipe.
Json UnitJson(const Target& recipe, unsigned unitNo);

// A recipe as it is now (RecipeJson of its header and placement).
Json DescribeRecipe(const Target& recipe);

// Prints the free numbers of a free-number table ("1-3 5 7-1000" with
// ranges, else "1 2 3 5"), or with --json {"address","path","free":[...]}
// of the group or recipe whose table it is. A full table is a failure.
int PrintFree(const Target& owner, const int32_t* table, int size, bool ranges);

// A recipe as a listing shows it, its header read into *head. A recipe whose
// header cannot be read is still listed, with empty texts and "error".
Json ListedRecipeJson(const Target& recipe, const std::string& subGroup, RecipeHead* head);

}  // namespace rcpstore::cli
