// Recipe stores for tests: a healthy one built through the library, the
// defects that verify knows planted into it, and snapshots of stored bytes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qvtest {

// Builds the project directory parent/name with groups RG01..RGgg, each with
// recipes RCP0001..RCPrrrr (header, procedure file and unit recipe 1; the
// first group with firstGroupRecipes when more) and a sub-group "Area" that
// holds RCP0001.
void BuildStore(const std::string& parent, const std::string& name, int groups, int recipes,
                int firstGroupRecipes = 0);

// One planted defect: the path verify must report and the kind it gives.
struct Defect {
  std::string path;
  std::string kind;
  bool repairable;
};

// Plants every defect verify knows into a store built with at least 14
// groups of 3 recipes and 11 in the first group, each in a place of its own so that none hides
// another. Killed processes leave the stale locks and builds.
std::vector<Defect> PlantDefects(const std::string& project);

// Every regular file below directory (names starting with a dot and what is
// below them left out), by path relative to it.
std::map<std::string, std::string> Snapshot(const std::string& directory);

}  // namespace qvtest
