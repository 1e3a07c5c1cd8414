// A project's recipe store as one archive: a gzip-compressed tar of the
// Recipe tree, byte for byte, with a JSON manifest (the tree with titles,
// versions and sub-groups, and a SHA-256 sum per file) as its last entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Verify.h"

namespace rcpstore {

struct ExportSummary {
  StoreItem project;    // the project exported
  std::string archive;  // the archive written, as a clean path ("-": standard output)
  size_t files = 0;
  uint64_t bytes = 0;
  std::vector<std::string> skipped;  // links and special files, never followed
};

// The archive name that stands for standard output (export) or standard
// input (import).
constexpr char kStandardStream[] = "-";

// Told after each entry of an archive: how many are done and of how many
// (0 while the count is not known: an import learns it from the manifest,
// which comes last).
using ArchiveProgress = std::function<void(size_t done, size_t total)>;

// Writes the store of a project (its registered name, address or
// directory), under its lock, into the archive, which is replaced in one
// step when complete; "-" writes it to standard output as it goes.
RCPSTORE_API ExportSummary ExportStore(const std::string& project, const std::string& archive,
                                       const ArchiveProgress& progress = {});

struct ImportRequest {
  std::string archive;    // "-": read from standard input
  std::string directory;  // the project directory that receives Recipe
  std::string name;       // registered under this name when not empty
  bool replace = false;   // an existing store (and registration) is replaced
};

struct ImportSummary {
  std::string project;  // the project directory
  size_t files = 0;
  std::vector<Finding> findings;  // what verify found in the restored store
};

// Restores an archive's store under a hidden name in the directory, checks
// every entry's path and type and every file against the manifest, and
// only then puts it in place. A refused archive leaves nothing behind. Needs
// the create right, and to replace a store the delete right too.
RCPSTORE_API ImportSummary ImportStore(const ImportRequest& request, const ArchiveProgress& progress = {});

}  // namespace rcpstore
