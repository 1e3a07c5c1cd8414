// A project's recipe store as one archive: a gzip-compressed tar of the
// Recipe tree, byte for byte, with a JSON manifest (the tree with titles,
// versions and sub-groups, and a SHA-256 sum per file) as its last entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RcpVerify.h"
#include "LibQVBRcpEpa/Target.h"

namespace rcpstore::cli {

struct ExportSummary {
  size_t files = 0;
  uint64_t bytes = 0;
  std::vector<std::string> skipped;  // links and special files, never followed
};

// Writes the store of the project into the archive (replaced in one step
// when complete). Fails with a Failure.
ExportSummary ExportStore(const Target& project, const std::string& archive);

struct ImportRequest {
  std::string archive;
  std::string directory;  // the project directory that receives Recipe
  std::string name;       // registered under this name when not empty
  bool replace = false;   // an existing store (and registration) is replaced
};

struct ImportSummary {
  std::string project;  // the project directory
  size_t files = 0;
  std::vector<rcpverify::Finding> findings;  // what verify found in the restored store
};

// Restores an archive's store under a hidden name in the directory, checks
// every entry's path and type and every file against the manifest, and
// only then puts it in place. A refused archive leaves nothing behind.
ImportSummary ImportStore(const ImportRequest& request);

}  // namespace rcpstore::cli
