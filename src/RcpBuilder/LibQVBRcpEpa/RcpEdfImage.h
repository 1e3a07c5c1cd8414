// An EDF file read from bytes already in memory, such as a content the
// history keeps.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Edf.h"

namespace rcpstore {

// Reads a file image as ReadEdf reads a file; a damaged one fails.
EdfFile EdfOfImage(const std::string& bytes);

}  // namespace rcpstore
