#include "RcpVerify.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "RcpHidden.h"
#include "RcpKeywordFile.h"
#include "RcpStorePath.h"
#include "RcpPlacement.h"
#include "RcpSubGroupRewrite.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace {

using qvplatform::DirEntry;
using qvplatform::EntryType;
using rcphidden::Leftover;
using rcpverify::Finding;

constexpr int kGroups = QVERCP_GROUP_TABLE;
constexpr int kRecipes = QVERCP_RECIPE_TABLE;

std::string Join(const std::string& directory, const std::string& name) {
  return QVEEngJoinPath(directory.c_str(), name.c_str());
}

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

// The number of a numbered store name (RG01, RCP0001, RCPPT01.EDF, upper
// case) when it has exactly the digits the store writes and lies in 1 to
// last; 0 for another number or form of such a name; -1 for any other name.
int NumberOf(const std::string& upper, const char* prefix, size_t digits, const char* suffix, int last) {
  if (!rcppath::NumberedName(upper, prefix, 1, suffix)) return -1;
  std::string text = upper.substr(std::char_traits<char>::length(prefix),
                                  upper.size() - std::char_traits<char>::length(prefix) -
                                      std::char_traits<char>::length(suffix));
  if (text.size() != digits) return 0;
  int number = std::atoi(text.c_str());
  return number >= 1 && number <= last ? number : 0;
}

const char* LeftoverCause(Leftover kind) {
  switch (kind) {
    case Leftover::kBuild: return "unfinished create (hidden build nobody holds)";
    case Leftover::kHold: return "hold file of a build that is gone";
    case Leftover::kTrash: return "unfinished delete (trash)";
    case Leftover::kWorkCopy: return "work copy of a killed writer";
    case Leftover::kCheckName: return "name left aside by an interrupted in-use check";
    case Leftover::kNone: break;
  }
  return "";
}

const char* LeftoverRepair(Leftover kind) {
  switch (kind) {
    case Leftover::kBuild: return "removed the unfinished build";
    case Leftover::kTrash: return "finished the delete";
    case Leftover::kCheckName: return "renamed back";
    default: return "removed";
  }
}

bool EntryExists(const std::string& path) {
  qvplatform::FileStat st;
  return qvplatform::CurrentEnv()->StatEntry(path, &st) == 0;
}

// Follows a sub-group file the way the reader takes it: a "NODE" line places
// the first listed recipe of its name, once; an "ENDSUB" with nothing open is
// ignored; a sub-group still open at the end runs to the end of the file.
class Placement {
 public:
  enum class Verdict { kKeep, kNoRecipe, kRepeated, kNothingOpen };

  explicit Placement(const std::set<std::string>& recipes) : recipes_(recipes) {}

  Verdict Take(const rcpsubgroup::Line& line) {
    if (line.keyword == rcpsubgroup::kStart) {
      open_.push_back(line.value);
    } else if (line.keyword == rcpsubgroup::kEnd) {
      if (open_.empty()) return Verdict::kNothingOpen;
      open_.pop_back();
    } else if (line.keyword == rcpsubgroup::kNode) {
      if (recipes_.count(line.value) == 0) return Verdict::kNoRecipe;
      if (!placed_.insert(line.value).second) return Verdict::kRepeated;
    }
    return Verdict::kKeep;
  }

  // The sub-groups still open, outermost first.
  const std::vector<std::string>& unclosed() const { return open_; }

 private:
  const std::set<std::string>& recipes_;
  std::set<std::string> placed_;
  std::vector<std::string> open_;
};

class Verifier {
 public:
  Verifier(const std::string& project, const rcpverify::Options& options, std::vector<Finding>* findings)
      : project_(project), options_(options), findings_(*findings) {}

  uint32_t Run() {
    std::vector<DirEntry> entries;
    if (uint32_t rc = List(project_, &entries)) return rc;
    std::string recipe;
    bool named = false;
    for (const DirEntry& entry : entries) {
      std::string path = Join(project_, entry.name);
      std::string upper = QVUpperAscii(entry.name);
      if (upper == "RECIPE") {
        named = true;
        if (entry.type == EntryType::kDirectory) recipe = path;
        if (entry.type == EntryType::kFile) Add(path, "unreadableFile", "a file where the Recipe directory belongs");
        Special(path, entry);
      } else if (upper == "RCPPJTLOCK.TXT" && !Special(path, entry) && !options_.repair) {
        CheckLockFile(path);
      }
    }
    if (recipe.empty()) {
      if (!named) Add(Join(project_, "Recipe"), "missingFile", "no Recipe directory: this is no recipe store");
      return 0;
    }
    CheckRecipeRoot(recipe);
    return 0;
  }

  void CheckRecipeRoot(const std::string& recipe) {
    bool attributes = false;
    std::vector<std::string> groups;
    bool listed = Visit(recipe, [&](const DirEntry& entry, const std::string& path, const std::string& upper) {
      if (upper == "RCPPJTATTR.TXT") {
        attributes = true;
        CheckTextFile(path, entry);
      } else if (entry.type == EntryType::kDirectory) {
        int number = NumberOf(upper, "RG", 2, "", kGroups);
        if (number > 0) groups.push_back(path);
        if (number == 0) Add(path, "groupNumber", "not a recipe group RG01 to RG16");
        if (number < 0) Add(path, "strayDirectory", "neither a recipe group nor a recipe");
      }
    });
    if (!listed) return;
    if (!attributes) MissingProjectAttributes(Join(recipe, "RcpPJTAttr.txt"));
    for (size_t i = 0; i < groups.size(); ++i) {
      CheckGroup(groups[i]);
      if (options_.progress) options_.progress(i + 1, groups.size());
    }
    rcpverify::VerifyHistory(recipe, options_.repair, &findings_);
  }

  // A lock is stale when no process holds it. An unlock empties the lock
  // file, so one that still names a holder was left by a holder that died;
  // one that this user may not open (another user's, 0600) refuses every
  // lock whatever it says. Removing it under the share-mode guard frees the
  // name for the next lock, which makes the file afresh.
  void CheckLockFile(const std::string& path) {
    qvplatform::FileStat st;
    if (qvplatform::CurrentEnv()->StatEntry(path, &st) != 0) return;
    if (st.type != EntryType::kFile) {
      Add(path, "unreadableFile", "a directory where the lock file belongs");
      return;
    }
    bool takable = qvplatform::CanHold(path);
    if ((st.size == 0 && takable) || qvplatform::IsHeld(path)) return;
    size_t index = Add(path, "staleLock",
                       takable ? "names a holder, but no process holds the lock"
                               : "no process holds the lock, and this user may not take it (another user's file)");
    if (!options_.repair) return;
    Repair(index, "removed the lock file, which no process holds", [&] { return qvplatform::RemoveUnheld(path); });
  }

 private:
  size_t Add(const std::string& path, const char* kind, const std::string& cause) {
    findings_.push_back(Finding{path, kind, cause, false, ""});
    return findings_.size() - 1;
  }

  // Records a repair of findings_[index] in the audit trail.
  void Repaired(size_t index, uint32_t rc, const std::string& what) {
    rcpaudit::Record("repair", findings_[index].path, rc, what);
    if (rc != 0) return;
    findings_[index].repaired = true;
    findings_[index].repair = what;
  }

  // Runs a repair through the library's operations: one line in the audit
  // trail for the repair, none for the operations it used.
  void Repair(size_t index, const std::string& what, const std::function<uint32_t()>& operation) {
    uint32_t rc = rcpaudit::Recorded("repair", findings_[index].path.c_str(), what.c_str(), operation);
    if (rc != 0) return;
    findings_[index].repaired = true;
    findings_[index].repair = what;
  }

  // The entries of a directory, sorted, without the names scans skip. The
  // leftovers among them are reported and, when repairing, finished or
  // undone first.
  uint32_t List(const std::string& directory, std::vector<DirEntry>* entries) {
    qvplatform::Env* env = qvplatform::CurrentEnv();
    if (uint32_t rc = env->ReadDirectory(directory, entries)) return rc;
    std::vector<std::pair<size_t, Leftover>> found;
    for (const DirEntry& entry : *entries) {
      Leftover kind = rcphidden::StaleLeftover(directory, entry);
      if (kind == Leftover::kNone) continue;
      const char* word = kind == Leftover::kCheckName ? "checkName" : "leftover";
      found.emplace_back(Add(Join(directory, entry.name), word, LeftoverCause(kind)), kind);
    }
    if (options_.repair && !found.empty()) {
      rcphidden::CleanLeftovers(directory.c_str());
      for (const auto& [index, kind] : found) {
        Repaired(index, EntryExists(findings_[index].path) ? ERROR_ALREADY_EXISTS : 0, LeftoverRepair(kind));
      }
      entries->clear();
      if (uint32_t rc = env->ReadDirectory(directory, entries)) return rc;
    }
    entries->erase(std::remove_if(entries->begin(), entries->end(),
                                  [](const DirEntry& entry) { return rcphidden::IsTransient(entry.name); }),
                   entries->end());
    std::sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return 0;
  }

  // Hands every entry of a directory that is not a link or special file to
  // visit, with its path and its name in upper case. False, reported, when
  // the directory cannot be listed.
  bool Visit(const std::string& directory,
             const std::function<void(const DirEntry&, const std::string&, const std::string&)>& visit) {
    std::vector<DirEntry> entries;
    if (uint32_t rc = List(directory, &entries)) {
      Add(directory, "unreadableFile", "cannot be listed (error " + Hex(rc) + ")");
      return false;
    }
    for (const DirEntry& entry : entries) {
      std::string path = Join(directory, entry.name);
      if (!Special(path, entry)) visit(entry, path, QVUpperAscii(entry.name));
    }
    return true;
  }

  // Links, FIFOs, sockets and devices: the store never follows or opens
  // them, and verify leaves them for a person to look at.
  bool Special(const std::string& path, const DirEntry& entry) {
    if (entry.type != EntryType::kOther) return false;
    Add(path, "specialFile", "a link or special file, which the store never follows or opens");
    return true;
  }

  // The project's create writes the default attributes into an existing
  // Recipe directory.
  void MissingProjectAttributes(const std::string& path) {
    size_t index = Add(path, "missingFile", "project attribute file missing");
    if (!options_.repair) return;
    CString parent;
    CString name;
    QVEEngSplitFilePath(project_.c_str(), 1, parent, name);
    Repair(index, "wrote the default project attributes",
           [&] { return CQVERcpUtil::CreateProject(name.c_str(), parent.c_str()); });
  }

  void CheckGroup(const std::string& group) {
    bool attributes = false;
    bool subGroups = false;
    std::set<std::string> names;
    std::vector<std::string> recipes;
    bool listed = Visit(group, [&](const DirEntry& entry, const std::string& path, const std::string& upper) {
      if (upper == "RCPGRATTR.TXT") {
        attributes = true;
        CheckTextFile(path, entry);
      } else if (upper == "RCPSUBGROUP.TXT") {
        subGroups = entry.type == EntryType::kFile;
        if (!subGroups) Add(path, "unreadableFile", "a directory where the sub-group file belongs");
      } else if (entry.type == EntryType::kDirectory) {
        int number = NumberOf(upper, "RCP", 4, "", kRecipes);
        if (number >= 0) names.insert(upper);
        if (number > 0) recipes.push_back(path);
        if (number == 0) Add(path, "recipeNumber", "not a recipe RCP0001 to RCP1000");
        if (number < 0) Add(path, "strayDirectory", "neither a recipe group nor a recipe");
      }
    });
    if (!listed) return;
    if (!attributes) MissingGroupAttributes(group);
    for (const std::string& recipe : recipes) CheckRecipe(recipe);
    if (subGroups) CheckSubGroups(group, names);
  }

  void MissingGroupAttributes(const std::string& group) {
    size_t index = Add(Join(group, "RcpGrAttr.txt"), "missingFile", "group attribute file missing");
    if (!options_.repair) return;
    _QVERcpGroupInfo empty;
    Repair(index, "wrote empty group attributes",
           [&] { return CQVERcpUtil::SetRecipeGroupInfo(group.c_str(), &empty); });
  }

  void CheckRecipe(const std::string& recipe) {
    bool header = false;
    bool listed = Visit(recipe, [&](const DirEntry& entry, const std::string& path, const std::string& upper) {
      if (upper == "RCPHEAD.EDF") {
        header = true;
        CheckDataFile(path, entry, true);
      } else if (upper == "RCPRP.EDF") {
        CheckDataFile(path, entry, false);
      } else if (upper == "RCPLOCK.TXT") {
        CheckLockFile(path);
      } else if (int unit = NumberOf(upper, "RCPPT", 2, ".EDF", QVERCP_UNITS); unit > 0) {
        CheckDataFile(path, entry, false);
      } else if (unit == 0) {
        Add(path, "unitNumber", "not a unit recipe file RcpPT01.edf to RcpPT32.edf");
      }
    });
    if (listed && !header) Add(Join(recipe, "RcpHead.edf"), "missingFile", "recipe header missing");
  }

  void CheckTextFile(const std::string& path, const DirEntry& entry) {
    if (entry.type != EntryType::kFile) {
      Add(path, "unreadableFile", "a directory where a file belongs");
      return;
    }
    uint32_t rc = rcptext::ReadKeywordFile(path, [](const rcptext::KeywordLine&) {});
    if (rc != 0) Add(path, "unreadableFile", "cannot be read (error " + Hex(rc) + ")");
  }

  void CheckDataFile(const std::string& path, const DirEntry& entry, bool header) {
    if (entry.type != EntryType::kFile) {
      Add(path, "unreadableFile", "a directory where a data file belongs");
      return;
    }
    uint32_t kind = 0;
    _QVERcpFileDetailInfo info;
    if (uint32_t rc = CQVERcpUtil::GetRcpFileInfo(path.c_str(), &kind, &info)) {
      Add(path, "damagedFile", "records cannot be read (error " + Hex(rc) + ")");
    } else if (header && kind != QVERCP_FILE_HEADER) {
      Add(path, "damagedFile", "not a recipe header (kind " + Hex(kind) + ")");
    }
  }

  void CheckSubGroups(const std::string& group, const std::set<std::string>& recipes) {
    std::string path = Join(group, rcpsubgroup::kFileName);
    Placement placement(recipes);
    std::vector<size_t> found;
    uint32_t rc = rcptext::ReadKeywordFile(path, [&](const rcptext::KeywordLine& line) {
      Placement::Verdict verdict = placement.Take(line);
      if (verdict == Placement::Verdict::kKeep || MovedAway(group, verdict, line)) return;
      found.push_back(Add(path, VerdictKind(verdict), LineCause(verdict, line)));
    });
    if (rc != 0) {
      Add(path, "unreadableFile", "cannot be read (error " + Hex(rc) + ")");
      return;
    }
    for (const std::string& name : placement.unclosed()) {
      found.push_back(Add(path, "unclosedSubGroup", "\"STARTSUB," + name + "\" has no \"ENDSUB\""));
    }
    if (!options_.repair || found.empty()) return;
    uint32_t repaired = rcpaudit::Recorded("repair", path.c_str(), "rewrote the sub-group file as it reads",
                                           [&] { return RewriteSubGroups(group, recipes); });
    for (size_t index : found) {
      if (repaired != 0) continue;
      findings_[index].repaired = true;
      findings_[index].repair = "rewrote the sub-group file as it reads";
    }
  }

  // The line of a recipe whose recorded move has taken it away: the next
  // lock of the project removes it.
  bool MovedAway(const std::string& group, Placement::Verdict verdict, const rcptext::KeywordLine& line) const {
    if (verdict != Placement::Verdict::kNoRecipe) return false;
    rcpstore::Target recipe;
    recipe.project = project_;
    recipe.group = group;
    recipe.recipe = Join(group, line.value);
    return rcpplacement::MoveRecorded(recipe);
  }

  static const char* VerdictKind(Placement::Verdict verdict) {
    switch (verdict) {
      case Placement::Verdict::kNoRecipe: return "unknownRecipeNode";
      case Placement::Verdict::kRepeated: return "repeatedNode";
      default: return "unopenedEndSub";
    }
  }

  static std::string LineCause(Placement::Verdict verdict, const rcptext::KeywordLine& line) {
    std::string text = "\"" + line.keyword + "," + line.value + "\"";
    switch (verdict) {
      case Placement::Verdict::kNoRecipe: return text + " names no recipe of the group";
      case Placement::Verdict::kRepeated: return text + " places a recipe that an earlier line placed";
      default: return text + " closes no sub-group";
    }
  }

  // Drops the lines the reader ignores and closes what is left open at the
  // end, so that the file reads as the same tree.
  static uint32_t RewriteSubGroups(const std::string& group, const std::set<std::string>& recipes) {
    rcpsubgroup::Rewrite file(group.c_str());
    if (uint32_t rc = file.Begin(false)) return rc;
    Placement placement(recipes);
    rcpsubgroup::Piece piece;
    while (file.Next(&piece)) {
      if (!piece.parsed || placement.Take(piece.line) == Placement::Verdict::kKeep) file.Keep(piece);
    }
    const std::vector<std::string>& open = placement.unclosed();
    for (auto name = open.rbegin(); name != open.rend(); ++name) {
      rcpsubgroup::WriteItemLine(rcpsubgroup::kEnd, *name, file);
    }
    return file.Finish(0);
  }

  std::string project_;
  const rcpverify::Options& options_;
  std::vector<Finding>& findings_;
};

}  // namespace

namespace rcpverify {

uint32_t Verify(const std::string& projectDirectory, const Options& options, std::vector<Finding>* findings) {
  if (findings == nullptr || projectDirectory.empty()) return QVC_ERR_CANNOT_EXECUTE;
  if (uint32_t rc = rcppath::Check(projectDirectory.c_str(), "Recipe")) return rc;
  return Verifier(projectDirectory, options, findings).Run();
}

bool RepairStaleLock(const std::string& projectDirectory, const std::string& lockFile, std::vector<Finding>* findings) {
  Options repair;
  repair.repair = true;
  size_t before = findings->size();
  Verifier(projectDirectory, repair, findings).CheckLockFile(lockFile);
  return findings->size() > before && findings->back().repaired;
}

void VerifyRecipeDirectory(const std::string& recipeDirectory, std::vector<Finding>* findings) {
  Options none;
  Verifier(recipeDirectory, none, findings).CheckRecipeRoot(recipeDirectory);
}

}  // namespace rcpverify
