// Share modes on Linux. An open that writes, or that denies writers, holds
// open-file-description locks on fixed bytes far beyond any content (an
// "I write" byte and an "I deny writers" byte, taken under a short exclusive
// guard byte), so that:
//  - an open for writing fails with a sharing violation (32) while another
//    open that denies writers holds the file, in this process or another,
//    and an open that denies writers fails while another has it for writing;
//  - reading the file's text is never blocked;
//  - a holder that dies releases its hold at once.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32Types.h"

namespace qvplatform {

// Opens or creates a file (or, with FILE_FLAG_BACKUP_SEMANTICS, a directory)
// with the platform's access, share mode and creation disposition. A file is
// emptied (CREATE_ALWAYS, TRUNCATE_EXISTING) only once the hold is taken.
uint32_t ShareOpen(const std::string& path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                   uint32_t flags, HANDLE* handle);
uint32_t ShareClose(HANDLE handle);

// The descriptor of an open handle (for reads and writes through it), or -1.
int ShareDescriptor(HANDLE handle);

// True when some open holds the file for writing or denies writers.
bool IsHeld(const std::string& path);
// True when some file below the directory (at any depth) is held.
bool IsAnythingBelowHeld(const std::string& directory);

// Counts the holds of an open description as the caller's own, so that IsHeld
// does not see them: a lock handed down by a parent process, or a lock the
// caller took itself before an in-use check. Adopted only when fd refers to
// the file at path (same device and inode) and itself carries a hold on it.
bool AdoptHold(const std::string& path, int fd);
// Forgets an adopted descriptor before it is closed.
void DropHold(int fd);

}  // namespace qvplatform
