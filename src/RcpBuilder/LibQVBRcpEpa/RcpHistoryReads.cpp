// The history of a recipe read back for callers: its versions, the files of
// one version, and what differs between two versions, field by field.
#include <algorithm>
#include <set>

#include "LibQVBRcpEpa/Edf.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpEdfImage.h"
#include "RcpHistory.h"
#include "RcpHistoryTarget.h"

namespace rcpstore {

namespace {

RecipeVersion Public(const rcphistory::Version& version) {
  RecipeVersion out{version.number, version.time,          version.user, version.station, version.operation,
                    version.reason, version.headerVersion, version.from, {}};
  for (const auto& [name, hash] : version.files) out.files.emplace_back(name, hash);
  return out;
}

const rcphistory::Version& VersionOf(const std::vector<rcphistory::Version>& versions, int64_t number) {
  for (const rcphistory::Version& version : versions) {
    if (version.number == number) return version;
  }
  Fail("the recipe has no version " + std::to_string(number), ERROR_INVALID_PARAMETER);
}

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string Shown(const std::string& bytes) {
  if (bytes.size() > 32) {
    return std::to_string(bytes.size()) + " bytes, SHA-256 " + rcphistory::HashOf(bytes).substr(0, 16);
  }
  return rcphistory::Hex(bytes);
}

// The fields of a data file that a diff compares: its name and every record,
// those the store knows field by field. The times and revision of the write
// itself are left out: the version's own time says when.
Fields FieldsOf(const EdfFile& file) {
  Fields fields{{"header name", file.name}, {"kind", file.kind}};
  for (const EdfRecord& record : file.records) {
    std::string at = record.name + "[" + std::to_string(record.index) + "]";
    switch (record.kind) {
      case EdfRecord::Kind::kMain:
        fields.emplace_back("title", record.title);
        fields.emplace_back("comment", record.comment);
        fields.emplace_back("version", std::to_string(record.version));
        fields.emplace_back("author", record.author);
        fields.emplace_back("created", std::to_string(record.created));
        fields.emplace_back("version time", std::to_string(record.versionTime));
        break;
      case EdfRecord::Kind::kUnit:
        fields.emplace_back("unit " + std::to_string(record.index + 1) + " text", record.text);
        break;
      case EdfRecord::Kind::kOther:
        fields.emplace_back("record " + at, Shown(record.bytes));
        break;
    }
  }
  return fields;
}

// The fields of one file of a version; a file that does not read as a data
// file is one field, its content.
Fields FieldsOfContent(const rcphistory::KeptContents& kept, const std::string& hash) {
  std::string bytes;
  Check(kept.Read(hash, &bytes), "the content " + hash + " is missing or damaged");
  try {
    return FieldsOf(EdfOfImage(bytes));
  } catch (const Failure&) {
    return {{"content", Shown(bytes)}};
  }
}

void Compare(const std::string& file, const Fields& before, const Fields& after,
             std::vector<VersionDifference>* out) {
  auto find = [](const Fields& fields, const std::string& name) -> const std::string* {
    for (const auto& field : fields) {
      if (field.first == name) return &field.second;
    }
    return nullptr;
  };
  std::vector<std::string> names;
  for (const Fields* side : {&before, &after}) {
    for (const auto& field : *side) {
      if (std::find(names.begin(), names.end(), field.first) == names.end()) names.push_back(field.first);
    }
  }
  for (const std::string& name : names) {
    const std::string* a = find(before, name);
    const std::string* b = find(after, name);
    if (a != nullptr && b != nullptr && *a == *b) continue;
    out->push_back({file, name, a != nullptr ? *a : "", b != nullptr ? *b : ""});
  }
}

}  // namespace

std::vector<RecipeVersion> RecipeHistory(const std::string& recipe) {
  OpenedProjects opened;
  std::vector<RecipeVersion> versions;
  for (const rcphistory::Version& version : rcphistory::Versions(HistoryTarget(recipe).recipe)) {
    versions.push_back(Public(version));
  }
  return versions;
}

std::vector<VersionFile> VersionContent(const std::string& recipe, int64_t number) {
  OpenedProjects opened;
  std::string directory = HistoryTarget(recipe).recipe;
  std::vector<rcphistory::Version> versions = rcphistory::Versions(directory);
  rcphistory::KeptContents kept(directory, versions);
  std::vector<VersionFile> files;
  for (const auto& [name, hash] : VersionOf(versions, number).files) {
    VersionFile file{name, hash, {}};
    Check(kept.Read(hash, &file.bytes),
          "the content of " + Printable(name) + " in version " + std::to_string(number) + " is missing or damaged");
    files.push_back(std::move(file));
  }
  return files;
}

std::vector<VersionDifference> DiffVersions(const std::string& recipe, int64_t from, int64_t to) {
  OpenedProjects opened;
  std::string directory = HistoryTarget(recipe).recipe;
  std::vector<rcphistory::Version> versions = rcphistory::Versions(directory);
  rcphistory::KeptContents kept(directory, versions);
  const rcphistory::Version& a = VersionOf(versions, from);
  const rcphistory::Version& b = VersionOf(versions, to);
  std::set<std::string> names;
  for (const auto& entry : a.files) names.insert(entry.first);
  for (const auto& entry : b.files) names.insert(entry.first);
  std::vector<VersionDifference> differences;
  for (const std::string& name : names) {
    auto before = a.files.find(name);
    auto after = b.files.find(name);
    if (before == a.files.end() || after == b.files.end()) {
      differences.push_back({name, "file", before != a.files.end() ? before->second : "",
                             after != b.files.end() ? after->second : ""});
    } else if (before->second != after->second) {
      Compare(name, FieldsOfContent(kept, before->second), FieldsOfContent(kept, after->second), &differences);
    }
  }
  return differences;
}

}  // namespace rcpstore
