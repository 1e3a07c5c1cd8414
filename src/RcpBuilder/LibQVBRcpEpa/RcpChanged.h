// The entries of a change report.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"

namespace rcpstore {

inline Change Made(StoreItem item, std::string detail = {}) {
  return {Change::Verb::kMade, std::move(item), std::move(detail)};
}
inline Change Changed(StoreItem item, std::string detail = {}) {
  return {Change::Verb::kChanged, std::move(item), std::move(detail)};
}
inline Change Removed(StoreItem item, std::string detail = {}) {
  return {Change::Verb::kRemoved, std::move(item), std::move(detail)};
}

// A dry run's report: the thing once for each path below it (itself
// included) that its delete would remove.
inline ChangeReport WouldRemove(const StoreItem& item, const std::vector<std::string>& paths) {
  ChangeReport report;
  for (const std::string& path : paths) report.push_back(Removed(item, path));
  return report;
}

// Refuses a delete that may not take the stored things its directory holds.
inline void RequireEmpty(const DeleteOptions& how, size_t count, const char* things) {
  if (count != 0 && !how.withContents) Fail("it holds " + std::to_string(count) + " " + things, ERROR_DIR_NOT_EMPTY);
}

}  // namespace rcpstore
