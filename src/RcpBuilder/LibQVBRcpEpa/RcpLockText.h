// The text a lock holder leaves in its lock file for others to read. Its
// first two lines are those every station reads, the holder's station and
// its holder number; lines of the form KEYWORD,value follow, which older
// stations never read: the holder's user, its process id and the name the
// lock was taken under. The text is whatever is on disk, so reading it
// bounds every field.
#pragma once

#include <string>
#include <string_view>

namespace rcplock {

// Bytes of a lock file that are read; the rest is ignored.
constexpr size_t kTextLimit = 1024;

struct Holder {
  std::string station;  // at most 255 bytes, without blanks
  int number = 0;       // the holder number: the low 16 bits of its process id
  std::string user;     // "" in the text of an older station
  long process = 0;     // 0 likewise
  std::string label;    // the name the lock was taken under, or ""
};

// This process as the holder of a lock taken under that name.
Holder Own(const std::string& label);
std::string TextOf(const Holder& holder);
Holder HolderOf(std::string_view text);

// Why a lock taken under name is refused to another, as the holder's text
// claims, its texts escaped: "NAME is being edited by USER on station S
// (process P, "LABEL")"; the older text's wording for an older station's.
std::string Refusal(const std::string& name, const Holder& holder);

}  // namespace rcplock
