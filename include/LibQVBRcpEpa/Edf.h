// What an EDF data file holds, read for inspection: its header fields and
// its records, the records the store knows decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"

namespace rcpstore {

struct EdfRecord {
  enum class Kind { kOther, kMain, kUnit };  // a recipe header's main record, a unit record
  std::string name;
  uint32_t index = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  Kind kind = Kind::kOther;
  std::string title;    // kMain
  std::string comment;  // kMain
  std::string author;   // kMain
  int64_t version = 0;  // kMain
  int32_t created = 0;  // kMain
  int32_t versionTime = 0;  // kMain
  std::string text;     // kUnit
  std::string bytes;    // kOther: the record as it is
};

struct EdfFile {
  std::string path;
  uint32_t size = 0;
  std::string kind;  // "header", "unit" or "other"
  std::string name;
  std::string revision;  // "3.0.0"
  int32_t written = 0;
  int32_t updated = 0;
  std::vector<EdfRecord> records;
};

// Reads an EDF file whole; a damaged one fails. The file is given by its
// path, or by an address: a recipe's names its header, a unit's its file.
RCPSTORE_API EdfFile ReadEdf(const std::string& given);

}  // namespace rcpstore
