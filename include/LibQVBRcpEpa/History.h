// The history of a recipe: every version its files had, as kept by every
// change the library makes, read back, compared and restored. A recipe that
// was deleted keeps its history at its address.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Changes.h"

namespace rcpstore {

// One version of a recipe, as its log records it.
struct RecipeVersion {
  int64_t number = 0;
  std::string time;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"
  std::string user;
  std::string station;
  std::string operation;
  std::string reason;
  std::string headerVersion;  // the header's version text then
  std::string from;           // where a copy or move came from
  std::vector<std::pair<std::string, std::string>> files;  // file name and SHA-256; none after a delete
};

// The versions of the recipe at an address (or directory), oldest first,
// whether the recipe exists now or not.
RCPSTORE_API std::vector<RecipeVersion> RecipeHistory(const std::string& recipe);

// One file of a version, with its bytes.
struct VersionFile {
  std::string name;
  std::string hash;
  std::string bytes;
};
// The files of one version, by name; an unknown version or a missing or
// damaged object fails.
RCPSTORE_API std::vector<VersionFile> VersionContent(const std::string& recipe, int64_t version);

// One difference between two versions: a header field, a unit text, an EDF
// record, or a whole file that one side lacks.
struct VersionDifference {
  std::string file;    // "RcpHead.edf", "RcpPT01.edf", ...
  std::string field;   // "title", "unit 3 text", "record MRCB[0]", "file"
  std::string before;  // "" when absent
  std::string after;
};
RCPSTORE_API std::vector<VersionDifference> DiffVersions(const std::string& recipe, int64_t from, int64_t to);

// Makes a new version whose files are byte for byte those of `version`;
// brings back a deleted recipe. Needs the edit right (and create for a
// deleted one).
RCPSTORE_API ChangeReport RestoreRecipe(const std::string& recipe, int64_t version);

// While one lives on this thread, every version the library records carries
// this reason.
class RCPSTORE_API ChangeReason {
 public:
  explicit ChangeReason(std::string reason);
  ~ChangeReason();
  ChangeReason(const ChangeReason&) = delete;
  ChangeReason& operator=(const ChangeReason&) = delete;
  static const std::string& Current();

 private:
  std::string outer_;
};

}  // namespace rcpstore
