// Small files that belong to one user alone, in that user's own directories
// (a signing key in the user's configuration directory). They live outside
// any store and any station: what guards them is their owner and mode, so
// they are made with mode 0600 in directories of mode 0700, never through a
// link, and read only when the caller owns them and nobody else may read
// or write them.
#pragma once

#include <cstdint>
#include <string>

namespace qvplatform {

// Makes the missing directories of an absolute path, each with mode 0700;
// the path must then be a directory the caller owns that no other user
// may write (not a link).
uint32_t MakeOwnDirectory(const std::string& path);

// Writes bytes to a new file name in the directory, mode 0600, flushed.
// An existing file is kept (ERROR_FILE_EXISTS) unless replace is given; a
// replacement is written beside it and renamed over it in one step.
uint32_t WriteOwnFile(const std::string& directory, const std::string& name, const std::string& bytes, bool replace,
                      bool secret);

// Reads a file of at most maxBytes that the caller owns; a secret one must
// be readable by its owner alone (ERROR_ACCESS_DENIED otherwise).
uint32_t ReadOwnFile(const std::string& path, size_t maxBytes, bool secret, std::string* bytes);

}  // namespace qvplatform
