// Share modes on Linux. An open that writes, or that denies writers, holds
// open-file-description locks on fixed bytes far beyond any content (an
// "I write" byte and an "I deny writers" byte, taken under a short exclusive
// guard byte), so that:
//  - an open for writing fails with a sharing violation (32) while another
//    open that denies writers holds the file, in this process or another,
//    and an open that denies writers fails while another has it for writing;
//  - reading the file's text is never blocked;
//  - a holder that dies releases its hold at once;
//  - nothing waits: a guard byte that stays taken gives a sharing violation.
// No open follows a link at the path, and only regular files and directories
// open (see Env.h for the codes).
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32Types.h"

namespace qvplatform {

// Opens or creates a file (or, with FILE_FLAG_BACKUP_SEMANTICS, a directory)
// with the platform's access, share mode and creation disposition. A file is
// emptied (CREATE_ALWAYS, TRUNCATE_EXISTING) only once the hold is taken. A
// file that the open creates (or re-creates with CREATE_ALWAYS) gets mode
// 0666 whatever the umask, so that every user of the station can take a lock
// on it later.
uint32_t ShareOpen(const std::string& path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                   uint32_t flags, HANDLE* handle);
uint32_t ShareClose(HANDLE handle);

// Creates a new file at path that this handle alone holds (writes, denies
// writers). A file at the name that another open holds is left alone (sharing
// violation); one that nobody holds is stale and is unlinked first, as is a
// link or other non-file there.
uint32_t ShareCreateHeld(const std::string& path, HANDLE* handle);
// Removes a leftover that no open holds: a file only while nobody holds it
// (checked and unlinked under the guard, so that no hold is taken between),
// a link or other non-file as it is. Another user's file that this user may
// not open is removed when the kernel's lock table shows no lock on it (on
// a local file system; elsewhere it counts as held). 0 when the name is free
// afterwards; a sharing violation when the file is held.
uint32_t RemoveUnheld(const std::string& path);
// True when path, itself, still names the file the handle has open.
bool ShareNames(HANDLE handle, const std::string& path);

// The descriptor of an open handle (for reads and writes through it), or -1.
int ShareDescriptor(HANDLE handle);

// True when some open holds the file for writing or denies writers, or when
// that cannot be learned. A missing name, a link or a non-file is not held.
// A file this user may not open is held when the kernel's lock table shows
// a lock on it, as RemoveUnheld decides.
bool IsHeld(const std::string& path);
// True when this user may open the file at path for writing, and so take a
// hold on it; a missing name can be created.
bool CanHold(const std::string& path);
// True when some file below the directory (at any depth, links not entered)
// is held, or when that cannot be learned.
bool IsAnythingBelowHeld(const std::string& directory);

// Counts the holds of an open description as the caller's own, so that IsHeld
// does not see them: a lock handed down by a parent process, or a lock the
// caller took itself before an in-use check. Adopted only when fd refers to
// the file at path (same device and inode) and itself carries a hold on it.
bool AdoptHold(const std::string& path, int fd);
// Forgets an adopted descriptor before it is closed.
void DropHold(int fd);

}  // namespace qvplatform
