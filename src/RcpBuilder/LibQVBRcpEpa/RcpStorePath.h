// The check that a path handed to the store reaches its target without
// passing through a link inside the project directory.
#pragma once

#include <cstdint>
#include <string>

#include "QVFramework.h"

namespace rcppath {

// True for upper-case text made of prefix, at least minDigits decimal
// digits and suffix (RG01, RCP0001, RCPPT01.EDF).
bool NumberedName(const std::string& upper, const std::string& prefix, size_t minDigits, const std::string& suffix);

// Checks path (joined with name when one is given) from its end upwards: every
// component named as the store names its directories (Recipe, RGnn,
// RCPnnnn, TEMP, ETC) must be a directory and every one named as a store file
// a regular file, each of them may also be missing, and none may be a link.
// The walk ends at the first component above the last one that is no store
// name, and at the project directory (the parent of Recipe, ETC or
// RcpPjtLock.txt), which is the caller's and may lie behind links. A ".."
// met on the way is refused too. Returns 0, or ERROR_CANT_ACCESS_FILE
// without recording anything. A null path is left to the caller.
//
// The check cannot stop a link swapped in after it (the caller then opens
// by path): it closes the planted traps, not a race with a writer of the
// project directory.
uint32_t Check(const char* path, const char* name = nullptr);

}  // namespace rcppath
