// A recipe's place in its group's sub-groups, as the sub-group file records it.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Target.h"
#include "platform/Win32Types.h"

namespace rcpplacement {

// Removes a removed recipe's line from its group's sub-group file; false
// when no line named it (a group without the file names no recipe either).
// A line that cannot be removed fails, saying that a re-run removes it.
bool Forget(const rcpstore::Target& recipe);

// A recipe leaving its group takes two steps that no one rename makes: its
// directory goes, then its sub-group line. The move is written down first,
// as ".move-RGnn-RCPnnnn" in the project's Recipe directory, held by the
// mover while it lives; the rename commits it. Whoever next takes the
// project's lock finishes a committed move that nobody holds (the line
// goes) or drops one whose recipe never left.
class MoveRecord {
 public:
  explicit MoveRecord(const rcpstore::Target& recipe);
  ~MoveRecord();  // drops the record, then lets go of it
  MoveRecord(const MoveRecord&) = delete;
  MoveRecord& operator=(const MoveRecord&) = delete;

  // Writes the record durably, before the recipe moves.
  void Begin();
  // Once the recipe has gone: its line goes, then the record.
  void Finish();

 private:
  rcpstore::Target recipe_;
  std::string path_;
  HANDLE hold_ = INVALID_HANDLE_VALUE;
};

// Whether a move of the recipe out of its group is recorded.
bool MoveRecorded(const rcpstore::Target& recipe);

// Finishes or drops each move record of the project that nobody holds; for
// a holder of the project's lock. What cannot be done now waits for the next.
void SettleMoves(const std::string& projectDirectory);

}  // namespace rcpplacement
