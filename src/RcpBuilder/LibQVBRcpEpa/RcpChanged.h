// The entries of a change report.
#pragma once

#include <string>
#include <utility>

#include "LibQVBRcpEpa/Changes.h"

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

}  // namespace rcpstore
