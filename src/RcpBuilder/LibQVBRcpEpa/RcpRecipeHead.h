// What the recipe operations share about a recipe header file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "QVFramework.h"

namespace rcprecipe {

// Fields of the records of a recipe header file: the main record "MRCB" and
// the 32 unit records "URCB".
constexpr size_t kTitle = 0x00, kTitleWidth = 16;
constexpr size_t kCreated = 0x10;
constexpr size_t kComment = 0x20, kCommentWidth = 64;
constexpr size_t kVersion = 0x80, kVersionWidth = 16;
constexpr size_t kAuthor = 0x90, kAuthorWidth = 32;
constexpr size_t kVersionTime = 0x134;
constexpr uint32_t kMainRecordSize = kVersionTime + 4;
constexpr size_t kUnitText = 0x08, kUnitTextWidth = 24;
constexpr uint32_t kUnitRecordSize = kUnitText + kUnitTextWidth;

// Stamps a header copied from another recipe as a new recipe's: header name,
// times, creation time and author now, this revision, and the version the
// recipe template gives a new recipe.
uint32_t StampCopiedHead(const CString& path, const char* headName);

// The version text of a recipe header file's image, as GetRcpFileInfo reads
// it from the file; "" for a damaged image or another kind of file.
CString HeaderVersionOfImage(const std::string& image);

}  // namespace rcprecipe
