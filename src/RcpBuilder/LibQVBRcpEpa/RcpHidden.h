// Creates and deletes that are all or nothing on disk, and the clean-up of
// what a killed one leaves behind.
//
// Names the store uses for work in progress, always beside the target in
// the same directory:
//   .NAME.new-PID-RAND    a group, recipe or project tree (or a unit file)
//                         being built, renamed to NAME when complete
//   .NAME.new-PID-RAND.hold  held open (share mode) by the builder while it
//                         lives: a build whose hold nobody holds is stale
//   .NAME.trash-PID-RAND  a directory being deleted, renamed away first
//   NAMEdddddddddd        NAME moved aside by the in-use check for a moment
//                         (ten digits of the current time), then moved back
// Scans and listings never show these names.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "QVFramework.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcphidden {

// True for every name that scans and listings must skip: names starting
// with a dot, and names left by an in-use check.
bool IsTransient(const std::string& entryName);

// A name in directory that nobody can foresee: ".NAME<mark>PID-RAND".
CString HiddenName(const CString& directory, const CString& name, const char* mark);

// The in-use check's name for path: the path followed by ten time digits.
CString CheckName(const CString& path);

// What a killed create, delete, writer or in-use check left in a directory.
enum class Leftover { kNone, kBuild, kHold, kTrash, kWorkCopy, kCheckName };

// The kind of leftover that an entry of directory is, when CleanLeftovers
// would finish or undo it now; kNone for everything else, a live builder's
// or writer's work included.
Leftover StaleLeftover(const CString& directory, const qvplatform::DirEntry& entry);

// True for the name of a work copy of one of the store's files
// (RcpSubGroupwork.txt, RcpHead.edf.new, ...): never part of the store.
bool IsWorkCopy(const std::string& entryName);

// Cleans what killed creates, deletes and writers left in directory: trash
// is removed, a build or a work copy (RcpHead.edf.new, RcpSubGroupwork.txt,
// ...) that nobody holds is removed, and NAMEdddddddddd is renamed back to
// NAME when NAME does not exist. Failures are left for the next time; a
// null directory is nothing to clean.
void CleanLeftovers(const char* directory);
// The same for the directory that holds path.
void CleanLeftoversBeside(const CString& path);

// While one lives on this thread, CleanLeftovers cleans each directory only
// the first time it is asked to: for one command whose steps each clean the
// same directory moments apart. What appears after that first clean is left
// for the next command.
class CleanEachDirectoryOnce {
 public:
  CleanEachDirectoryOnce();
  ~CleanEachDirectoryOnce();
  CleanEachDirectoryOnce(const CleanEachDirectoryOnce&) = delete;
  CleanEachDirectoryOnce& operator=(const CleanEachDirectoryOnce&) = delete;

  // Whether the innermost living object has seen directory cleaned.
  static bool Cleaned(const std::string& directory);
  static void RecordCleaned(const std::string& directory);

 private:
  std::set<std::string> cleaned_;
  CleanEachDirectoryOnce* outer_;
};

// Renames path to a hidden trash name in its directory, then removes the
// trash. Once renamed, the path is gone for every reader.
uint32_t DeleteViaTrash(const CString& path);

// A directory tree, or a single file, built under a hidden name and renamed
// into place when complete.
class HiddenBuild {
 public:
  // Builds what will be parent/name.
  HiddenBuild(const CString& parent, const char* name);
  ~HiddenBuild();  // removes an unfinished build, then lets go of the hold
  HiddenBuild(const HiddenBuild&) = delete;
  HiddenBuild& operator=(const HiddenBuild&) = delete;

  // Takes the hold and makes the hidden directory.
  uint32_t Begin();
  // The hidden directory, to be filled between Begin and Finish.
  const CString& Path() const { return build_; }
  // Renames the build to parent/name. An existing name is never replaced:
  // QVC_ERR_EXISTS, and the build is removed.
  uint32_t Finish();
  // Renames the file Path()/name over parent/name and removes the build.
  uint32_t FinishFile();

 private:
  CString parent_;
  CString name_;
  CString target_;
  CString build_;
  HANDLE hold_ = INVALID_HANDLE_VALUE;
  bool begun_ = false;
};

}  // namespace rcphidden
