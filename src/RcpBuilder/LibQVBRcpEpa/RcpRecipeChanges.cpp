// The changes of recipes and unit recipes: create, texts, version, delete,
// copy and move.
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpChanged.h"
#include "RcpHidden.h"
#include "RcpPlacement.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

constexpr uint32_t kNotOfItsKind = 1392;  // the file is damaged or not of the expected format

// A template must be a readable data file of the kind it is to become.
void CheckTemplate(const std::optional<std::string>& path, uint32_t kind, const char* kindName) {
  if (!path) return;
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->Stat(*path, &st) != 0 || st.type != qvplatform::EntryType::kFile) {
    Fail("template " + Printable(*path) + " is not a readable file", ERROR_FILE_NOT_FOUND);
  }
  _QVERcpFileDetailInfo info;
  uint32_t found = 0;
  Check(CQVERcpUtil::GetRcpFileInfo(path->c_str(), &found, &info),
        "template " + Printable(*path) + " is not a readable data file");
  if (found != kind) Fail("template " + Printable(*path) + " is not " + kindName, kNotOfItsKind);
}

const char* TemplateOrNull(const std::optional<std::string>& templateFile) {
  return templateFile ? templateFile->c_str() : nullptr;
}

// A recipe to change inside: checked, under its own lock.
Target LockedRecipe(const std::string& given, CommandLocks* locks) {
  Target target = RecipeTarget(given);
  locks->LockRecipe(target, LastName(target.recipe));
  return target;
}

// N when given; else the preferred number (0: none) when it is free in the
// group, else the group's lowest free number.
unsigned NumberIn(const Target& group, unsigned preferred, unsigned given) {
  if (given != 0) return given;
  std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
  Check(CQVERcpUtil::FindFreeRcpNo(group.group.c_str(), table.data()));
  if (preferred != 0 && table[preferred - 1] == 1) return preferred;
  for (unsigned n = 1; n <= kMaxRecipeNo; ++n) {
    if (table[n - 1] == 1) return n;
  }
  Fail("no free recipe number in the group", QVC_ERR_CANNOT_EXECUTE);
}

Target RecipeNumbered(const Target& group, unsigned number) {
  return RecipeOf(group, number, group.group + "/" + RecipeDirectoryName(number));
}

// The re-run of a delete or move of a recipe cut short after the recipe
// went: its line in the sub-group file goes too. A recipe that no line names
// is simply missing.
ChangeReport FinishGoneRecipe(const std::string& dir, const std::string& change) {
  Target target;
  try {
    target = GroupTarget(Parent(dir));
  } catch (const Failure&) {
    Fail("no such directory", ERROR_PATH_NOT_FOUND);
  }
  target.recipeNo = RecipeNumberOf(LastName(dir));
  if (target.recipeNo == 0) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  target.recipe = dir;
  // The lock finishes a recorded move, and with it the re-run of that move.
  bool moving = rcpplacement::MoveRecorded(target);
  CommandLocks locks;
  locks.LockProject(target);
  CQVERcpUtil::DeleteRecipe(dir.c_str());  // clears what an interrupted delete left beside it
  if (!rcpplacement::Forget(target) && !moving) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  return {Removed(PlainItem(target), "the end of an interrupted " + change)};
}

}  // namespace

ChangeReport CreateRecipe(const std::string& groupGiven, unsigned number, const std::string& headerName,
                          const std::optional<std::string>& templateFile) {
  RequireNoProblem("header name", WidthProblem(headerName, kHeaderNameBytes));
  OpenedProjects opened;
  RequireRight(Right::Create);
  Target group = GroupTarget(groupGiven);
  if (number > kMaxRecipeNo) Fail("recipe numbers are 1 to 1000", ERROR_INVALID_PARAMETER);
  CheckTemplate(templateFile, QVERCP_FILE_HEADER, "a recipe header file");
  // The lock and the create each clean the group; once is enough.
  rcphidden::CleanEachDirectoryOnce cleanOnce;
  CommandLocks locks;
  locks.LockProject(group);
  Target recipe = RecipeNumbered(group, NumberIn(group, 0, number));
  CheckAbsent(CQVERcpUtil::CreateRecipe(headerName.c_str(), group.group.c_str(), recipe.recipeNo,
                                        TemplateOrNull(templateFile)),
              LastName(recipe.recipe));
  return {Made(RecipeItem(recipe, ""))};
}

ChangeReport SetRecipeTexts(const std::string& given, const RecipeTexts& texts) {
  // A change of nothing would still rewrite the header and move its time.
  if (!texts.title && !texts.comment && texts.units.empty()) Fail("nothing to change", ERROR_INVALID_PARAMETER);
  OpenedProjects opened;
  RequireRight(Right::Edit);
  if (texts.title) RequireNoProblem("title", WidthProblem(*texts.title, kTitleBytes));
  if (texts.comment) RequireNoProblem("comment", WidthProblem(*texts.comment, kCommentBytes));
  for (const auto& [unitNo, text] : texts.units) {
    if (unitNo < 1 || unitNo > kMaxUnitNo) Fail("unit numbers are 1 to 32", ERROR_INVALID_PARAMETER);
    RequireNoProblem("unit " + std::to_string(unitNo) + " text", WidthProblem(text, kUnitTextBytes));
  }
  CommandLocks locks;
  Target recipe = LockedRecipe(given, &locks);
  Check(CQVERcpUtil::ChangeRcpInfo(recipe.recipe.c_str(), [&](_QVERcpFileDetailInfo* info) {
    if (texts.title) info->strTitle = *texts.title;
    if (texts.comment) info->strComment = *texts.comment;
    for (const auto& [unitNo, text] : texts.units) info->strUnitComment[unitNo - 1] = text;
  }));
  return {Changed(RecipeItem(recipe))};
}

ChangeReport BumpVersion(const std::string& given) {
  OpenedProjects opened;
  RequireRight(Right::Edit);
  CommandLocks locks;
  Target recipe = LockedRecipe(given, &locks);
  Check(CQVERcpUtil::SetRcpHeadVersion((recipe.recipe + "/RcpHead.edf").c_str()));
  StoreItem item = RecipeItem(recipe);
  std::string detail = "version " + std::to_string(item.head.version);
  return {Changed(std::move(item), detail)};
}

ChangeReport DeleteRecipe(const std::string& given, const DeleteOptions& how) {
  OpenedProjects opened;
  RequireRight(Right::Delete);
  if (how.dryRun) {
    Target recipe = RecipeTarget(given);
    return WouldRemove(PlainItem(recipe), RemovalListing(recipe.recipe));
  }
  if (!Exists(RestoredPath(given))) return FinishGoneRecipe(CleanPath(given), "delete");
  Target recipe = RecipeTarget(given);
  CommandLocks locks;
  locks.LockProject(recipe);
  locks.LockRecipe(recipe, LastName(recipe.recipe));
  // Deleting is the remedy for a damaged recipe: a header that cannot be
  // read only leaves the report without its texts.
  StoreItem item = RecipeItem(recipe);
  Check(CQVERcpUtil::DeleteRecipe(recipe.recipe.c_str()));
  rcpplacement::Forget(recipe);
  return {Removed(std::move(item))};
}

std::string MakeWorkDirectory(const std::string& given) {
  OpenedProjects opened;
  Target recipe = RecipeTarget(given);
  std::string work = recipe.recipe + "/TEMP";
  uint32_t rc = qvplatform::CurrentEnv()->MakeDirectory(work);
  if (rc != ERROR_ALREADY_EXISTS) Check(rc, "cannot make " + Printable(work) + ": " + CodeMeaning(rc));
  return work;
}

ChangeReport CreateUnit(const std::string& given, unsigned unitNo, const std::string& headerName,
                        const std::optional<std::string>& templateFile) {
  RequireNoProblem("header name", WidthProblem(headerName, kHeaderNameBytes));
  OpenedProjects opened;
  RequireRight(Right::Create);
  if (unitNo > kMaxUnitNo) Fail("unit numbers are 0 to 32", ERROR_INVALID_PARAMETER);
  Target recipe = RecipeTarget(given);
  CheckTemplate(templateFile, QVERCP_FILE_UNIT, "a unit recipe file");
  CommandLocks locks;
  locks.LockRecipe(recipe, LastName(recipe.recipe));
  std::string unit = recipe.recipe + "/" + UnitFileName(unitNo);
  // The store's duplicate check also clears what an interrupted create left.
  uint32_t rc = CQVERcpUtil::CheckUnitDuplicate(recipe.recipe.c_str(), unitNo);
  CheckAbsent(Exists(unit) ? QVC_ERR_EXISTS : rc, LastName(unit));
  Check(CQVERcpUtil::CreateUnitRecipe(headerName.c_str(), recipe.recipe.c_str(), unitNo, TemplateOrNull(templateFile)));
  return {Made(UnitItem(recipe, unitNo))};
}

ChangeReport DeleteUnit(const std::string& given, unsigned unitNo, const DeleteOptions& how) {
  OpenedProjects opened;
  RequireRight(Right::Delete);
  Target recipe = RecipeTarget(given);
  std::string unit = recipe.recipe + "/" + UnitFileName(unitNo);
  if (unitNo > kMaxUnitNo || !IsRegularFile(unit))
    Fail("there is no " + Printable(LastName(unit)), ERROR_FILE_NOT_FOUND);
  if (how.dryRun) return WouldRemove(UnitItem(recipe, unitNo), {unit});
  CommandLocks locks;
  locks.LockRecipe(recipe, LastName(recipe.recipe));
  Check(CQVERcpUtil::DeleteUnitRecipe(recipe.recipe.c_str(), unitNo));
  return {Removed(UnitItem(recipe, unitNo))};
}

ChangeReport CopyRecipe(const std::string& sourceGiven, const std::string& groupGiven, unsigned number) {
  OpenedProjects opened;
  RequireRight(Right::Create);
  Target source = RecipeTarget(sourceGiven);
  Target group = GroupTarget(groupGiven);
  CommandLocks locks;
  locks.LockProject(group);
  Target copy = RecipeNumbered(group, NumberIn(group, source.recipeNo, number));
  uint32_t rc = CQVERcpUtil::CopyRecipe(source.recipe.c_str(), group.group.c_str(), copy.recipeNo);
  CheckAbsent(rc, LastName(copy.recipe) + " of " + NameOf(group));
  return {Made(RecipeItem(copy), "copied from " + NameOf(source))};
}

// One rename under both projects' locks and the recipe's own; then the
// recipe leaves its old sub-group. The move is recorded first, so that one
// cut short between the two is finished by the next holder of the source
// project's lock.
ChangeReport MoveRecipe(const std::string& sourceGiven, const std::string& groupGiven, unsigned number) {
  OpenedProjects opened;
  RequireRight(Right::Create);
  RequireRight(Right::Delete);
  if (!Exists(RestoredPath(sourceGiven))) return FinishGoneRecipe(CleanPath(sourceGiven), "move");
  Target source = RecipeTarget(sourceGiven);
  Target group = GroupTarget(groupGiven);
  CommandLocks locks;
  locks.LockProject(source);
  if (group.project != source.project) locks.LockProject(group);
  locks.LockRecipe(source, LastName(source.recipe));
  Target moved = RecipeNumbered(group, NumberIn(group, source.recipeNo, number));
  if (moved.recipe == source.recipe) Fail("the recipe is there already", QVC_ERR_EXISTS);
  StoreItem before = RecipeItem(source);
  rcpplacement::MoveRecord record(source);
  record.Begin();
  uint32_t rc = CQVERcpUtil::MoveRecipe(source.recipe.c_str(), group.group.c_str(), moved.recipeNo);
  CheckAbsent(rc, LastName(moved.recipe) + " of " + NameOf(group));
  record.Finish();
  return {Removed(std::move(before), "moved to " + NameOf(moved)), Made(RecipeItem(moved), "moved from " + NameOf(source))};
}

}  // namespace rcpstore
