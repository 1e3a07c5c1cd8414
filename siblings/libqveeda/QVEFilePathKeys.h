// The resolver's key table: one rule per path key.
#pragma once

namespace qveeda {

// Where a key's path lies; a key may be valid in more than one place.
enum PathScope : unsigned {
  kInTemplateSet = 1,  // an owner's template set
  kInProject = 2,      // the project's top directory
  kInStation = 4,      // a station's folder of the project
};

// A key's folder below its base ("" for the base itself) and its file name
// (null for a folder key). A run of '#' in either takes the key's number,
// zero-padded to the run's width; such a key needs a number from 1 up.
struct PathRule {
  const char* key;
  unsigned scopes;
  const char* folder;
  const char* file;
};

// The rule of a key (compared exactly), or null.
const PathRule* FindPathRule(const char* key);

// Every rule, for listings and tests.
struct PathRules {
  const PathRule* begin;
  const PathRule* end;
};
PathRules AllPathRules();

}  // namespace qveeda
