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

// Checks path (joined with name when one is given) from its end upwards:
// every component named as a store directory (Recipe, ETC, RGnn, RCPnnnn,
// TEMP) must be a directory or missing, never a link. The last component may
// be anything else (the file services refuse a link or a non-file where a
// file belongs); above it, the walk ends at the first other name, and at
// the project directory (the parent of Recipe or ETC), which is the caller's
// and may lie behind links. A ".." met on the way is refused too. Returns
// 0, or ERROR_CANT_ACCESS_FILE without recording anything. A null path is
// left to the caller.
//
// The check cannot stop a link swapped in after it (the caller then opens
// by path): it closes the planted traps, not a race with a writer of the
// project directory.
uint32_t Check(const char* path, const char* name = nullptr);

// The project directory that a path of the store lies in, by the path's
// names: the directory that holds its Recipe or ETC component, reached over
// store directory names (RGnn, RCPnnnn, TEMP) and a last file name; else
// the path itself (a project directory, or no store path).
std::string ProjectOf(const std::string& path);

// Opens the project that path lies in as a store root of this thread's
// innermost scope (see qvplatform::OpenStoreRoot), unless a root covers it
// already, so that everything the caller then does below it is reached from
// the open directory. The operations keep their own results: a project
// reached through a link at its own name is opened where it leads (the
// command line refuses such a project before it calls), and one that is
// missing, or no directory, is left to the operation.
void OpenProjectOf(const char* path);

}  // namespace rcppath
