// rcpstore recipe, unit, ls and edf: recipes, unit recipes, file listings
// and what is inside an EDF file.
#include <CLI/CLI.hpp>
#include <ctime>
#include <filesystem>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Locks.h"
#include "Output.h"
#include "Removal.h"
#include "Rights.h"
#include "Target.h"
#include "Texts.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqveeda/QVEEdaFile.h"

namespace rcpstore {

namespace {

struct RecipeArgs {
  std::string dir;
  unsigned number = 0;
  std::string headName;
  std::optional<std::string> templateFile;
  std::optional<std::string> title;
  std::optional<std::string> comment;
  std::vector<std::string> units;
  bool truncate = false;
  bool children = false;
  bool json = false;
  RemovalOptions removal;
};

constexpr uint32_t kNotOfItsKind = 1392;  // the file is damaged or not of the expected format

CString UnitFileName(unsigned unitNo) { return unitNo == 0 ? CString("RcpRP.edf") : QVFormat("RcpPT%02u.edf", unitNo); }

// A template must be a readable data file of the kind it is to become.
void CheckTemplate(const std::optional<std::string>& path, uint32_t kind, const char* kindName) {
  if (!path) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) {
    Fail("template " + *path + " is not a readable file", ERROR_FILE_NOT_FOUND);
  }
  _QVERcpFileDetailInfo info;
  uint32_t found = 0;
  Check(CQVERcpUtil::GetRcpFileInfo(path->c_str(), &found, &info),
        "template " + *path + " is not a readable data file");
  if (found != kind) Fail("template " + *path + " is not " + kindName, kNotOfItsKind);
}

std::string TimeText(int32_t t) {
  std::time_t when = t;
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

// The version text of a recipe header (MRCB 0x80), or empty.
std::string VersionOf(const std::string& recipeDir) {
  CString path = recipeDir;
  QVEEngCatPath(path, "RcpHead.edf");
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  if (map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0) != 0) return "";
  void* main = nullptr;
  uint32_t size = 0;
  std::string version;
  if (QVEEdaEdtFindData(header, "MRCB", 0, &main, &size) == 0 && size >= 0x90) version = QVEEdaGetText(main, 0x80, 16);
  return version;
}

int Info(const RecipeArgs& args) {
  Target target = RecipeTarget(args.dir);
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  Check(CQVERcpUtil::GetRcpInfo(target.recipe.c_str(), &number, &info));
  std::vector<std::string> units(info.strUnitComment, info.strUnitComment + QVERCP_UNITS);
  std::string version = VersionOf(target.recipe);
  if (args.json) {
    return PrintLine(JsonObject()
                         .Field("number", static_cast<int64_t>(number))
                         .Field("headerName", info.strHeadName)
                         .Field("title", info.strTitle)
                         .Field("comment", info.strComment)
                         .Field("units", units)
                         .Field("updated", static_cast<int64_t>(info.tUpdated))
                         .Field("version", version)
                         .Text());
  }
  std::string out = "number:  " + std::to_string(number) + "\nheader:  " + info.strHeadName + "\ntitle:   " +
                    info.strTitle + "\ncomment: " + info.strComment + "\nupdated: " + TimeText(info.tUpdated) +
                    "\nversion: " + version;
  for (int i = 0; i < QVERCP_UNITS; ++i) {
    if (!units[i].empty()) out += "\nunit " + std::to_string(i + 1) + ": " + units[i];
  }
  return PrintLine(out);
}

// The unit texts that --unit K=TEXT gives, checked before anything is touched.
std::vector<std::pair<int, std::string>> UnitTexts(const RecipeArgs& args) {
  std::vector<std::pair<int, std::string>> texts;
  for (const std::string& unit : args.units) {
    size_t eq = unit.find('=');
    std::string digits = unit.substr(0, eq);
    bool numeric = eq != std::string::npos && !digits.empty() && digits.size() <= 2 &&
                   digits.find_first_not_of("0123456789") == std::string::npos;
    int k = numeric ? std::stoi(digits) : 0;
    if (k < 1 || k > QVERCP_UNITS) throw CLI::ValidationError("--unit", "K=TEXT with K from 1 to 32, not " + unit);
    texts.emplace_back(k, Fitted("--unit " + digits, unit.substr(eq + 1), kUnitTextBytes, args.truncate));
  }
  return texts;
}

int Set(const RecipeArgs& args) {
  std::optional<std::string> title;
  std::optional<std::string> comment;
  if (args.title) title = Fitted("--title", *args.title, kTitleBytes, args.truncate);
  if (args.comment) comment = Fitted("--comment", *args.comment, kCommentBytes, args.truncate);
  std::vector<std::pair<int, std::string>> units = UnitTexts(args);
  return Run("recipe set " + args.dir, [&] {
    RequireRight(Right::Edit);
    Target target = RecipeTarget(args.dir);
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::ChangeRcpInfo(target.recipe.c_str(), [&](_QVERcpFileDetailInfo* info) {
      if (title) info->strTitle = *title;
      if (comment) info->strComment = *comment;
      for (const auto& [k, text] : units) info->strUnitComment[k - 1] = text;
    }));
    return kExitOk;
  });
}

int BumpVersion(const RecipeArgs& args) {
  return Run("recipe bump-version " + args.dir, [&] {
    RequireRight(Right::Edit);
    Target target = RecipeTarget(args.dir);
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::SetRcpHeadVersion((target.recipe + "/RcpHead.edf").c_str()));
    return kExitOk;
  });
}

int CreateRecipe(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  return Run("recipe create " + args.dir + " " + std::to_string(args.number), [&] {
    RequireRight(Right::Create);
    Target target = GroupTarget(args.dir);
    CheckTemplate(args.templateFile, QVERCP_FILE_HEADER, "a recipe header file");
    CommandLocks locks;
    locks.LockProject(target);
    std::string recipe = target.group + "/" + QVFormat("RCP%04u", args.number);
    // The store's duplicate check also clears what an interrupted create left.
    CheckAbsent(CQVERcpUtil::CheckRcpDuplicate(target.group.c_str(), args.number), LastName(recipe));
    const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
    Check(CQVERcpUtil::CreateRecipe(headName.c_str(), target.group.c_str(), args.number, tmpl));
    return kExitOk;
  });
}

// The re-run of a delete cut short after the recipe went: its line in the
// sub-group file goes too. A recipe that no line names is simply missing.
int FinishDelete(const std::string& dir) {
  Target target;
  try {
    target = GroupTarget(Parent(dir));
  } catch (const Failure&) {
    Fail("no such directory", ERROR_PATH_NOT_FOUND);
  }
  target.recipeNo = RecipeNumberOf(LastName(dir));
  if (target.recipeNo == 0) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  CommandLocks locks;
  locks.LockProject(target);
  CQVERcpUtil::DeleteRecipe(dir.c_str());  // clears what the interrupted delete left beside it
  if (!ForgetPlacement(target)) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  return kExitOk;
}

int DeleteRecipe(const RecipeArgs& args) {
  return Run("recipe delete " + args.dir, [&] {
    RequireRight(Right::Delete);
    if (!Exists(RestoredPath(args.dir))) return FinishDelete(CleanPath(args.dir));
    Target target = RecipeTarget(args.dir);
    if (args.removal.dryRun) return PrintRemoval(target.recipe);
    CommandLocks locks;
    locks.LockProject(target);
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::DeleteRecipe(target.recipe.c_str()));
    ForgetPlacement(target);
    return kExitOk;
  });
}

int FreeRecipes(const RecipeArgs& args) {
  return Run("recipe free " + args.dir, [&] {
    Target target = GroupTarget(args.dir);
    std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
    Check(CQVERcpUtil::FindFreeRcpNo(target.group.c_str(), table.data()));
    return PrintFree(table.data(), QVERCP_RECIPE_TABLE, args.json, true);
  });
}

int FreeUnits(const RecipeArgs& args) {
  return Run("unit free " + args.dir, [&] {
    Target target = RecipeTarget(args.dir);
    int32_t table[QVERCP_UNITS];
    Check(CQVERcpUtil::FindFreeUnitNo(target.recipe.c_str(), table));
    return PrintFree(table, QVERCP_UNITS, args.json, true);
  });
}

int CreateUnit(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  return Run("unit create " + args.dir + " " + std::to_string(args.number), [&] {
    RequireRight(Right::Create);
    Target target = RecipeTarget(args.dir);
    CheckTemplate(args.templateFile, QVERCP_FILE_UNIT, "a unit recipe file");
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    std::string unit = target.recipe + "/" + UnitFileName(args.number);
    // The store's duplicate check also clears what an interrupted create left.
    uint32_t rc = CQVERcpUtil::CheckUnitDuplicate(target.recipe.c_str(), args.number);
    CheckAbsent(Exists(unit) ? QVC_ERR_EXISTS : rc, LastName(unit));
    const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
    Check(CQVERcpUtil::CreateUnitRecipe(headName.c_str(), target.recipe.c_str(), args.number, tmpl));
    return kExitOk;
  });
}

int DeleteUnit(const RecipeArgs& args) {
  return Run("unit delete " + args.dir + " " + std::to_string(args.number), [&] {
    RequireRight(Right::Delete);
    Target target = RecipeTarget(args.dir);
    std::string unit = target.recipe + "/" + UnitFileName(args.number);
    if (!IsRegularFile(unit)) Fail("there is no " + LastName(unit), ERROR_FILE_NOT_FOUND);
    if (args.removal.dryRun) return PrintRemoval(unit);
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::DeleteUnitRecipe(target.recipe.c_str(), args.number));
    return kExitOk;
  });
}

std::string EntryJson(const CQVERcpFileInfo& f) {
  return JsonObject()
      .Field("kind", static_cast<int64_t>(f.m_nKind))
      .Field("type", static_cast<int64_t>(f.m_nFileType))
      .Field("name", f.GetFileName())
      .Field("title", f.m_strTitle)
      .Field("unit", static_cast<int64_t>(f.m_nUnitNo))
      .Field("comment", f.m_strComment)
      .Field("time", static_cast<int64_t>(f.m_tModified))
      .Text();
}

// The node of a checked directory: a recipe, a group or a project.
CQVERcpDirInfo NodeFor(const Target& target) {
  CQVERcpDirInfo node;
  if (!target.group.empty()) {
    node.SetFullPath((target.recipe.empty() ? target.group : target.recipe).c_str());
  } else {
    node.m_strParentPath = Parent(target.project);
    node.m_strName = LastName(target.project);
    node.m_nKind = QVERCP_KIND_PROJECT;
  }
  node.m_strProject = target.projectName;
  return node;
}

// A recipe's files, or the children of a group or project (of any node with
// --children), as file entries.
int List(const RecipeArgs& args) {
  Target target = AnyTarget(args.dir);
  CQVERcpFileInfoArray files;
  CQVERcpDirInfo node = NodeFor(target);
  if (args.children || target.recipe.empty()) {
    CQVERcpUtil::GetDirectoryList(&node, 0, 1);
    CQVERcpUtil::GetDirListAsFile(&node, files);
  } else {
    Check(CQVERcpUtil::GetFileList(target.recipe.c_str(), files));
  }
  std::string out = args.json ? "[" : "";
  for (size_t i = 0; i < files.size(); ++i) {
    const CQVERcpFileInfo& f = *files[i];
    if (args.json) {
      out += (i > 0 ? "," : "") + EntryJson(f);
    } else {
      out += (i > 0 ? "\n" : "") + QVFormat("0x%04X %d ", f.m_nKind, f.m_nFileType) + f.GetFileName() + "  " +
             f.m_strTitle + (f.m_nUnitNo != 0 ? "  unit " + std::to_string(f.m_nUnitNo) : "") +
             (f.m_strComment.empty() ? "" : "  " + f.m_strComment);
    }
  }
  if (args.json) return PrintLine(out + "]");
  if (!out.empty()) PrintLine(out);
  return kExitOk;
}

}  // namespace

int DumpEdf(const std::string& path, bool json);

void AddRecipeCommands(CLI::App& app, int* exitStatus) {
  auto args = std::make_shared<RecipeArgs>();
  const char* truncateHelp = "Cut over-long texts at a character boundary instead of refusing them";
  auto* recipe = app.add_subcommand("recipe", "Create, describe, change and delete recipes");
  recipe->require_subcommand(1);
  auto* f = recipe->add_subcommand("free", "List the free recipe numbers (1 to 1000) of a group");
  f->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  f->add_flag("--json", args->json, "Print JSON");
  f->callback([=] { *exitStatus = FreeRecipes(*args); });
  auto* c = recipe->add_subcommand("create", "Create recipe N from the user's or the system's template");
  c->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  c->add_option("N", args->number, "Recipe number, 1 to 1000")->required()->check(CLI::Range(1u, kMaxRecipeNo));
  c->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  c->add_option("--template", args->templateFile, "Recipe header file to copy instead of the templates");
  c->add_flag("--truncate", args->truncate, truncateHelp);
  c->callback([=] { *exitStatus = CreateRecipe(*args); });
  auto* i = recipe->add_subcommand("info", "Show a recipe's header record");
  i->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  i->add_flag("--json", args->json, "Print JSON");
  i->callback([=] { *exitStatus = Run("recipe info " + args->dir, [&] { return Info(*args); }); });
  auto* s = recipe->add_subcommand("set", "Change a recipe's title, comment or unit texts");
  s->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  s->add_option("--title", args->title, "Title (at most 16 bytes)");
  s->add_option("--comment", args->comment, "Comment (at most 64 bytes)");
  s->add_option("--unit", args->units, "Text of unit K (1 to 32, at most 24 bytes): K=TEXT");
  s->add_flag("--truncate", args->truncate, truncateHelp);
  s->callback([=] { *exitStatus = Set(*args); });
  auto* b = recipe->add_subcommand("bump-version", "Advance a recipe's version by one");
  b->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  b->callback([=] { *exitStatus = BumpVersion(*args); });
  auto* d = recipe->add_subcommand("delete", "Delete a recipe with everything in it, and its sub-group line");
  d->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  AddRemovalOptions(*d, args->removal, false);
  d->callback([=] { *exitStatus = DeleteRecipe(*args); });

  auto* unit = app.add_subcommand("unit", "Create and delete unit recipes and procedure files");
  unit->require_subcommand(1);
  auto* uf = unit->add_subcommand("free", "List the free unit numbers (1 to 32) of a recipe");
  uf->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  uf->add_flag("--json", args->json, "Print JSON");
  uf->callback([=] { *exitStatus = FreeUnits(*args); });
  auto* uc = unit->add_subcommand("create", "Create unit recipe N (0: the procedure file)");
  uc->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  uc->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->required()->check(
      CLI::Range(0u, kMaxUnitNo));
  uc->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  uc->add_option("--template", args->templateFile, "Unit recipe file to copy instead of the templates");
  uc->add_flag("--truncate", args->truncate, truncateHelp);
  uc->callback([=] { *exitStatus = CreateUnit(*args); });
  auto* ud = unit->add_subcommand("delete", "Delete unit recipe N (0: the procedure file)");
  ud->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  ud->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->required()->check(
      CLI::Range(0u, kMaxUnitNo));
  AddRemovalOptions(*ud, args->removal, false);
  ud->callback([=] { *exitStatus = DeleteUnit(*args); });

  auto* ls = app.add_subcommand("ls", "List a recipe's files, or the children of a group or project, as file entries");
  ls->add_option("DIR", args->dir, "Recipe, group or project directory")->required();
  ls->add_flag("--children", args->children, "List the children of a recipe's node instead of its files");
  ls->add_flag("--json", args->json, "Print JSON");
  ls->callback([=] { *exitStatus = Run("ls " + args->dir, [&] { return List(*args); }); });

  auto* edf = app.add_subcommand("edf", "Inspect EDF files");
  edf->require_subcommand(1);
  auto* dump = edf->add_subcommand("dump", "Show the header fields and records of an EDF file");
  dump->add_option("FILE", args->dir, "EDF file")->required();
  dump->add_flag("--json", args->json, "Print JSON");
  dump->callback([=] { *exitStatus = DumpEdf(args->dir, args->json); });
}

}  // namespace rcpstore
