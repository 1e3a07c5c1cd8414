// What the recipe operations share about a recipe header file.
#pragma once

#include <cstdint>

#include "QVFramework.h"

namespace rcprecipe {

// Stamps a header copied from another recipe as a new recipe's: header name,
// times, creation time and author now, this revision, and the version the
// recipe template gives a new recipe.
uint32_t StampCopiedHead(const CString& path, const char* headName);

}  // namespace rcprecipe
