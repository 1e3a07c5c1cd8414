#include "RcpPlacement.h"

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "RcpHidden.h"
#include "RcpKeywordFile.h"
#include "RcpStorePath.h"
#include "RcpSubGroupLine.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace rcpplacement {

namespace {

constexpr char kMoveMark[] = ".move-";

std::string RecordPath(const rcpstore::Target& recipe) {
  return recipe.project + "/Recipe/" + kMoveMark + rcpstore::LastName(recipe.group) + "-" +
         rcpstore::LastName(recipe.recipe);
}

// The recipe a record names: ".move-RGnn-RCPnnnn" in the Recipe directory;
// false for any other name, so that a planted one reaches no other directory.
bool RecordedRecipe(const std::string& recipeRoot, const std::string& name, rcpstore::Target* recipe) {
  const size_t mark = sizeof kMoveMark - 1;
  size_t dash = name.find('-', mark);
  if (name.compare(0, mark, kMoveMark) != 0 || dash == std::string::npos) return false;
  std::string group = name.substr(mark, dash - mark);
  std::string number = name.substr(dash + 1);
  recipe->recipeNo = rcpstore::RecipeNumberOf(number);
  if (recipe->recipeNo == 0 || !rcppath::NumberedName(QVUpperAscii(group), "RG", 2, "")) return false;
  recipe->group = recipeRoot + "/" + group;
  recipe->recipe = recipe->group + "/" + number;
  return true;
}

// A move whose recipe is still in its group never happened; one whose recipe
// is gone loses its line. A recipe that an in-use check left aside is back
// first, so that it is not taken for gone.
void Settle(const std::string& record, const rcpstore::Target& recipe) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  rcphidden::CleanLeftovers(recipe.group.c_str());
  qvplatform::FileStat st;
  uint32_t found = env->StatEntry(recipe.recipe, &st);
  if (found != 0 && found != ERROR_FILE_NOT_FOUND && found != ERROR_PATH_NOT_FOUND) return;
  if (found == 0 && st.type != qvplatform::EntryType::kDirectory) return;
  if (found != 0) {
    try {
      Forget(recipe);
    } catch (const rcpstore::Failure&) {
      return;
    }
  }
  env->RemoveUnheld(record);
}

// False only when the group's sub-group file reads and no line places the
// recipe: there is nothing to take out, and no failed try to record. A file
// that cannot be read is left to the removal to report.
bool MayBePlaced(const rcpstore::Target& recipe, const CString& name) {
  CString file = QVEEngJoinPath(recipe.group.c_str(), rcpsubgroup::kFileName);
  if (rcppath::Check(file.c_str()) != 0) return true;
  bool placed = false;
  uint32_t rc = rcptext::ReadKeywordFile(file, [&](const rcptext::KeywordLine& line) {
    placed = placed || (line.keyword == rcpsubgroup::kNode && line.value == name);
  });
  return placed || (rc != 0 && rcpstore::Exists(file));
}

}  // namespace

bool Forget(const rcpstore::Target& recipe) {
  CQVERcpDirInfo node;
  node.SetRcpDirInfo(nullptr, rcpstore::RecipeDirectoryName(recipe.recipeNo).c_str());
  if (!MayBePlaced(recipe, node.m_strName)) return false;
  uint32_t rc = CQVERcpUtil::DeleteItemFromSubGroup(recipe.group.c_str(), CStringArray{}, &node);
  if (rc == QVC_ERR_TEXT_FILE_OPEN && !rcpstore::Exists(recipe.group + "/RcpSubGroup.txt")) rc = QVC_ERR_NOT_FOUND;
  if (rc == QVC_ERR_NOT_FOUND) return false;
  rcpstore::Check(rc, "the recipe is gone, but its line in the sub-group file stays: " + rcpstore::CodeMeaning(rc) +
                          " (a re-run of the command removes it)");
  return true;
}

MoveRecord::MoveRecord(const rcpstore::Target& recipe) : recipe_(recipe), path_(RecordPath(recipe)) {}

// A move that failed before its recipe left is dropped; one that failed
// after it is left to the next holder of the project's lock. The record
// goes before the hold, so that it is never seen unheld.
MoveRecord::~MoveRecord() {
  if (hold_ == INVALID_HANDLE_VALUE) return;
  if (rcpstore::Exists(recipe_.recipe)) qvplatform::CurrentEnv()->RemoveFile(path_);
  QVEEngCloseFile(hold_, 0);
}

void MoveRecord::Begin() {
  rcpstore::Check(QVEEngCreateFile(path_.c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr, &hold_, 0),
                  "cannot record the move in " + recipe_.project + "/Recipe");
  rcpstore::Check(qvplatform::CurrentEnv()->SyncDirectory(recipe_.project + "/Recipe"));
}

void MoveRecord::Finish() {
  Forget(recipe_);
  qvplatform::CurrentEnv()->RemoveFile(path_);
  QVEEngCloseFile(hold_, 0);
  hold_ = INVALID_HANDLE_VALUE;
}

bool MoveRecorded(const rcpstore::Target& recipe) { return rcpstore::Exists(RecordPath(recipe)); }

void SettleMoves(const std::string& projectDirectory) {
  std::string recipeRoot = projectDirectory + "/Recipe";
  std::vector<qvplatform::DirEntry> entries;
  if (qvplatform::CurrentEnv()->ReadDirectory(recipeRoot, &entries) != 0) return;
  for (const qvplatform::DirEntry& entry : entries) {
    rcpstore::Target recipe;
    if (entry.type != qvplatform::EntryType::kFile || !RecordedRecipe(recipeRoot, entry.name, &recipe)) continue;
    std::string record = recipeRoot + "/" + entry.name;
    if (!qvplatform::IsHeld(record)) Settle(record, recipe);
  }
}

}  // namespace rcpplacement
