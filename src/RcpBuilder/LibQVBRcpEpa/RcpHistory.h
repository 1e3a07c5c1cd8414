// The history of recipes: one append-only version log per recipe address
// below PROJECT/Recipe/.history, and every content a recipe's files ever
// had, named by its SHA-256. A small content is kept inline, deflated, in
// the log line of the first version that has it; a large one in the
// project's content-addressed object store.
//
//   .history/objects/XX/XXYYYY...       one file per large content, named
//                                        by its SHA-256 (lower-case hex)
//   .history/recipes/RGnn/RCPnnnn.log    one JSON line per version
//   .history/recipes/RGnn/RCPnnnn.idx    the first 16 digits of the SHA-256
//                                        of each content kept inline in the
//                                        log and the offset of the line that
//                                        keeps it, one a line: a hint, never
//                                        trusted, never flushed
//   .history/recipes/RGnn/RCPnnnn.*      other files of the recipe's history;
//                                        they move with the recipe
//
// Every change the library makes to a recipe's files is recorded by
// Recorded (RcpAudit) through Before and After below: objects of the old
// content are stored before the change, objects of the new content and the
// log line after it. Reconcile completes what a killed change left.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace rcphistory {

constexpr char kHistoryName[] = ".history";
// A log is read whole for a full listing; a larger one is refused as damaged.
constexpr uint64_t kLargestLog = uint64_t{256} << 20;

// One line of a recipe's version log.
struct Version {
  int64_t number = 0;        // 1, 2, 3, ...: the log's own counter
  std::string time;          // UTC, "YYYY-MM-DDTHH:MM:SSZ"
  std::string user;
  std::string station;
  std::string operation;     // the audit trail's operation name
  std::string reason;        // may be empty
  std::string headerVersion; // the version text of the header, "" when none
  std::string from;          // a copy's or move's source, else ""
  std::map<std::string, std::string> files;  // file name -> SHA-256; empty after a delete
  std::map<std::string, std::string> packed; // SHA-256 -> content first kept by this line, packed
};

// PROJECT/Recipe/.history for a recipe directory (existing or not).
std::string HistoryDirOf(const std::string& recipeDirectory);
// The version log of a recipe directory: .history/recipes/RGnn/RCPnnnn.log.
std::string LogPathOf(const std::string& recipeDirectory);
// The path of an object in a history directory.
std::string ObjectPath(const std::string& historyDir, const std::string& hash);

// Every version of the recipe, oldest first; none when it has no log. A line
// that cannot be parsed is skipped and counted in *damaged when given.
std::vector<Version> Versions(const std::string& recipeDirectory, int* damaged = nullptr);
// The last version, when the log has one.
std::optional<Version> LastVersion(const std::string& recipeDirectory);

// The SHA-256 of bytes and of a file, lower-case hex, as the store names objects.
std::string HashOf(const std::string& bytes);
// The lower-case hex of bytes.
std::string Hex(const std::string& bytes);
uint32_t HashOfFile(const std::string& path, std::string* hash);
// The bytes of an object of the object store; fails when missing or when
// they do not match the hash.
uint32_t ReadObject(const std::string& historyDir, const std::string& hash, std::string* bytes);
// Whether the object store has an object of that name.
bool HasObject(const std::string& historyDir, const std::string& hash);

// A content as a log line keeps it inline: deflated, in base64; "" when it
// could not be deflated.
std::string Packed(const std::string& bytes);
// The bytes of a packed content; fails on anything damaged.
uint32_t Unpacked(const std::string& text, std::string* bytes);
// Whether the bytes of a log keep the content inline, intact.
bool KeepsInline(const std::string& log, const std::string& hash);

// The contents a recipe's history keeps, to be read back: those inline in
// its versions, else those of the object store.
class KeptContents {
 public:
  KeptContents(const std::string& recipeDirectory, const std::vector<Version>& versions);
  // The bytes of a content; fails when missing or when they do not match the hash.
  uint32_t Read(const std::string& hash, std::string* bytes) const;

 private:
  std::string history_;
  std::multimap<std::string, std::string> inline_;  // SHA-256 -> packed
};

// What the library itself uses.

// The entries of a directory that are of the type; none when it cannot be read.
std::vector<qvplatform::DirEntry> EntriesOf(const std::string& directory, qvplatform::EntryType type);
// The whole of a regular file of at most limit bytes.
uint32_t ReadWhole(const std::string& path, std::string* bytes, uint64_t limit = uint64_t{64} << 20);
// Keeps bytes as an object, durably, unless it is kept already; *hash is its name.
uint32_t StoreObject(const std::string& historyDir, const std::string& bytes, std::string* hash);
// The data files of a recipe directory now (name -> hash), and their bytes
// by hash when contents is given; an absent directory has none.
uint32_t CurrentFiles(const std::string& recipeDirectory, std::map<std::string, std::string>* files,
                      std::map<std::string, std::string>* contents = nullptr);
// Appends a version to the recipe's log, numbered after the last (unless
// whenChanged is set and its files are those of the last); the time, user,
// station and the reason in force are filled in here. contents (hash ->
// bytes) holds those of its files that may be new to the history: each is
// kept, once, before the line that names it.
uint32_t AppendVersion(const std::string& recipeDirectory, Version version,
                       const std::map<std::string, std::string>& contents, bool whenChanged = false);
// Keeps each content of the version (contents: hash -> bytes) that the
// recipe's history does not keep yet (last: the log's last version, whose
// contents it keeps): packed into the version when small, else in the
// object store.
uint32_t KeepContents(const std::string& recipeDirectory, const std::map<std::string, std::string>& contents,
                      const Version* last, Version* version);
// Notes the contents a version written to the log keeps inline in its
// index, with the offset of its line in the log.
void NoteKept(const std::string& log, const Version& version, uint64_t offset);
// Writes bytes as the file at path: a work file beside it, flushed, renamed.
uint32_t WriteDurably(const std::string& path, const std::string& bytes);
// Makes directory and the missing directories above it up to the history's.
uint32_t MakeDirectories(const std::string& directory);

// Around a change of a recipe's files made by the library (see RcpAudit):
// before it, what the recipe holds is kept (and recorded when its log does
// not say so); after it, the new content is kept and its version appended.
class RecordedChange {
 public:
  // operation and path as the audit trail records them; source: the
  // recipe a copy or move comes from, else "".
  RecordedChange(const char* operation, const std::string& path, const std::string& source);
  RecordedChange(const RecordedChange&) = delete;
  RecordedChange& operator=(const RecordedChange&) = delete;
  // Keeps what the recipes hold now; a failure refuses the change.
  uint32_t Begin();
  // Keeps what they hold after the change (which gave result) and appends
  // the versions.
  uint32_t Finish(uint32_t result);

 private:
  std::string operation_;
  std::vector<std::string> recipes_;  // the recipes whose files change: none for other changes
  std::string source_;                // the recipe a copy or move comes from
};

// Completes what a killed change left: a recipe whose files are not its
// log's last version gets a version that records them. For the clean-up of
// a project, which also removes the work files that killed writers of the
// history left; failures wait for the next time.
// operation names the version it appends.
uint32_t Reconcile(const std::string& recipeDirectory, const char* operation = "unrecorded");
void ReconcileProject(const std::string& projectDirectory, const char* operation = "unrecorded");

}  // namespace rcphistory
