// rcpstore recipe, unit, ls and edf: recipes, unit recipes, file listings
// and what is inside an EDF file.
#include <CLI/CLI.hpp>
#include <ctime>
#include <filesystem>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Locks.h"
#include "RcpHidden.h"
#include "Output.h"
#include "Removal.h"
#include "LibQVBRcpEpa/Rights.h"
#include "Report.h"
#include "Describe.h"
#include "Usage.h"
#include "LibQVBRcpEpa/Target.h"
#include "Texts.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqveeda/QVEEdaFile.h"

namespace rcpstore::cli {

namespace {

// N of a unit command that was left out (the address names the unit).
constexpr unsigned kNoUnitGiven = ~0u;

struct RecipeArgs {
  std::string dir;
  unsigned number = kNoUnitGiven;
  std::string headName;
  std::optional<std::string> templateFile;
  std::optional<std::string> title;
  std::optional<std::string> comment;
  std::vector<std::string> units;
  bool truncate = false;
  bool children = false;
  RemovalOptions removal;
};

constexpr uint32_t kNotOfItsKind = 1392;  // the file is damaged or not of the expected format

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

std::string InfoText(const Target& target, const Json& item, const RecipeHead& head) {
  std::string out = "recipe:  " + Shown(target) + "\npath:    " + target.recipe +
                    "\nheader:  " + head.headerName + "\ntitle:   " + head.title + "\ncomment: " + head.comment +
                    "\nversion: " + std::to_string(head.version) + "\ncreated: " + IsoTime(head.created) + " by " +
                    head.author + "\nupdated: " + IsoTime(head.updated);
  std::string subGroup = JsonBytes(item["subGroup"].get<std::string>());
  if (!subGroup.empty()) out += "\nsub-group: " + subGroup;
  for (const Json& unit : item["units"]) {
    unsigned number = unit["number"].get<unsigned>();
    out += number == 0 ? "\nprocedure: " + UnitFileName(0)
                       : "\nunit " + std::to_string(number) + ": " + UnitFileName(number) + "  " +
                             head.unitTexts[number - 1];
  }
  return out;
}

int Info(const RecipeArgs& args) {
  Target target = RecipeTarget(args.dir);
  RecipeHead head = ReadRecipeHead(target.recipe);
  Json item = RecipeJson(target, head, SubGroupOf(target));
  if (Output().json) return PrintJson(item);
  return PrintLine(InfoText(target, item, head));
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
    ChangeReport report;
    report.Changed(DescribeRecipe(target));
    return report.Print();
  });
}

int BumpVersion(const RecipeArgs& args) {
  return Run("recipe bump-version " + args.dir, [&] {
    RequireRight(Right::Edit);
    Target target = RecipeTarget(args.dir);
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::SetRcpHeadVersion((target.recipe + "/RcpHead.edf").c_str()));
    Json item = DescribeRecipe(target);
    ChangeReport report;
    report.Changed(item, "version " + item["version"].dump());
    return report.Print();
  });
}

int CreateRecipe(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  return Run("recipe create " + args.dir + " " + std::to_string(args.number), [&] {
    RequireRight(Right::Create);
    Target target = GroupTarget(args.dir);
    CheckTemplate(args.templateFile, QVERCP_FILE_HEADER, "a recipe header file");
    // The lock and the create each clean the group; once is enough.
    rcphidden::CleanEachDirectoryOnce cleanOnce;
    CommandLocks locks;
    locks.LockProject(target);
    Target recipe = RecipeOf(target, args.number, target.group + "/" + QVFormat("RCP%04u", args.number));
    const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
    CheckAbsent(CQVERcpUtil::CreateRecipe(headName.c_str(), target.group.c_str(), args.number, tmpl),
                LastName(recipe.recipe));
    ChangeReport report;
    report.Created(RecipeJson(recipe, ReadRecipeHead(recipe.recipe), ""));
    return report.Print();
  });
}

int DeleteRecipe(const RecipeArgs& args) {
  return Run("recipe delete " + args.dir, [&] {
    RequireRight(Right::Delete);
    if (!Exists(RestoredPath(args.dir))) return FinishGoneRecipe(CleanPath(args.dir), "delete");
    Target target = RecipeTarget(args.dir);
    if (args.removal.dryRun) return PrintRemoval(target.recipe);
    CommandLocks locks;
    locks.LockProject(target);
    locks.LockRecipe(target, LastName(target.recipe));
    // Deleting is the remedy for a damaged recipe: a header that cannot be
    // read only leaves the report without its texts.
    RecipeHead head;
    Json item = ListedRecipeJson(target, SubGroupOf(target), &head);
    Check(CQVERcpUtil::DeleteRecipe(target.recipe.c_str()));
    ForgetPlacement(target);
    ChangeReport report;
    report.Removed(item);
    return report.Print();
  });
}

int FreeRecipes(const RecipeArgs& args) {
  return Run("recipe free " + args.dir, [&] {
    Target target = GroupTarget(args.dir);
    std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
    Check(CQVERcpUtil::FindFreeRcpNo(target.group.c_str(), table.data()));
    return PrintFree(target, table.data(), QVERCP_RECIPE_TABLE, true);
  });
}

int FreeUnits(const RecipeArgs& args) {
  return Run("unit free " + args.dir, [&] {
    Target target = RecipeTarget(args.dir);
    int32_t table[QVERCP_UNITS];
    Check(CQVERcpUtil::FindFreeUnitNo(target.recipe.c_str(), table));
    return PrintFree(target, table, QVERCP_UNITS, true);
  });
}

// A unit given by its recipe and N, or by its address alone.
struct UnitGiven {
  Target recipe;
  unsigned number = 0;
};

UnitGiven UnitTarget(const RecipeArgs& args) {
  UnitGiven unit;
  bool unitAddress = IsAddress(args.dir) && ParseAddress(args.dir).unitNo != 0;
  if (unitAddress) {
    Address address = ParseAddress(args.dir);
    unit.number = address.unitNo;
    address.unitNo = 0;
    unit.recipe = RecipeTarget(AddressText(address));
  } else {
    unit.recipe = RecipeTarget(args.dir);
    unit.number = args.number;
  }
  if (unit.number == kNoUnitGiven) Fail("a unit number N is expected after the recipe", ERROR_INVALID_PARAMETER);
  if (unitAddress && args.number != kNoUnitGiven && args.number != unit.number) {
    Fail("the address names unit " + std::to_string(unit.number) + ", N another", ERROR_INVALID_PARAMETER);
  }
  return unit;
}

std::string UnitWhat(const char* command, const RecipeArgs& args) {
  std::string what = std::string(command) + " " + args.dir;
  return args.number == kNoUnitGiven ? what : what + " " + std::to_string(args.number);
}

int CreateUnit(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  return Run(UnitWhat("unit create", args), [&] {
    RequireRight(Right::Create);
    UnitGiven given = UnitTarget(args);
    const Target& target = given.recipe;
    CheckTemplate(args.templateFile, QVERCP_FILE_UNIT, "a unit recipe file");
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    std::string unit = target.recipe + "/" + UnitFileName(given.number);
    // The store's duplicate check also clears what an interrupted create left.
    uint32_t rc = CQVERcpUtil::CheckUnitDuplicate(target.recipe.c_str(), given.number);
    CheckAbsent(Exists(unit) ? QVC_ERR_EXISTS : rc, LastName(unit));
    const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
    Check(CQVERcpUtil::CreateUnitRecipe(headName.c_str(), target.recipe.c_str(), given.number, tmpl));
    ChangeReport report;
    report.Created(UnitJson(target, given.number));
    return report.Print();
  });
}

int DeleteUnit(const RecipeArgs& args) {
  return Run(UnitWhat("unit delete", args), [&] {
    RequireRight(Right::Delete);
    UnitGiven given = UnitTarget(args);
    const Target& target = given.recipe;
    std::string unit = target.recipe + "/" + UnitFileName(given.number);
    if (!IsRegularFile(unit)) Fail("there is no " + LastName(unit), ERROR_FILE_NOT_FOUND);
    if (args.removal.dryRun) return PrintRemoval(unit);
    CommandLocks locks;
    locks.LockRecipe(target, LastName(target.recipe));
    Check(CQVERcpUtil::DeleteUnitRecipe(target.recipe.c_str(), given.number));
    ChangeReport report;
    report.Removed(UnitJson(target, given.number));
    return report.Print();
  });
}

const char* EntryKind(const CQVERcpFileInfo& f) {
  switch (f.m_nKind) {
    case QVERCP_FILE_HEADER: return "header";
    case QVERCP_FILE_UNIT: return f.m_nUnitNo == 0 ? "procedure" : "unit";
    case 0xF000: return "recipe";
    case 0xF001: return "subGroup";
    case 0xF002: return "group";
    case 0xF003: return "project";
    default: return "file";
  }
}

// A listed entry as the thing it is: a child node of the listed target
// (group, sub-group, recipe), or a file of the listed recipe.
Json EntryThing(const Target& listed, const CQVERcpFileInfo& f) {
  const CQVERcpDirInfo* node = f.m_pDirInfo;
  switch (f.m_nKind) {
    case 0xF000: return BasicJson(RecipeOf(listed, static_cast<unsigned>(f.m_nRecipeNo), node->GetFullPath()));
    case 0xF002: return BasicJson(GroupOf(listed, static_cast<unsigned>(f.m_nGroupNo), node->GetFullPath()));
    case 0xF001:
      return Json{{"kind", "subGroup"}, {"address", AddressJson(listed)}, {"path", JsonText(PathOf(listed))},
                  {"name", JsonText(node->m_strName)}, {"subGroup", JsonText(node->m_strSubGroup)}};
    case QVERCP_FILE_UNIT:
      if (f.m_nUnitNo != 0) return UnitJson(listed, static_cast<unsigned>(f.m_nUnitNo));
      break;
    default: break;
  }
  bool header = f.m_nKind == QVERCP_FILE_HEADER;
  return Json{{"kind", EntryKind(f)}, {"address", header ? AddressJson(listed) : Json(nullptr)},
              {"path", JsonText(f.GetFullPath())}, {"name", JsonText(f.GetFileName())}};
}

Json EntryJson(const Target& listed, const CQVERcpFileInfo& f) {
  Json item = EntryThing(listed, f);
  item["title"] = JsonText(f.m_strTitle);
  item["comment"] = JsonText(f.m_strComment);
  item["updated"] = IsoTime(f.m_tModified);
  return item;
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
  Json entries = Json::array();
  std::string out;
  for (const auto& file : files) {
    const CQVERcpFileInfo& f = *file;
    entries.push_back(EntryJson(target, f));
    out += (out.empty() ? "" : "\n") + std::string(EntryKind(f)) + "  " + ShownName(entries.back()) + "  " +
           JsonBytes(entries.back()["name"]) + "  " + f.m_strTitle +
           (f.m_nUnitNo != 0 ? "  unit " + std::to_string(f.m_nUnitNo) : "") +
           (f.m_strComment.empty() ? "" : "  " + f.m_strComment);
  }
  if (Output().json) return PrintJson(entries);
  if (!out.empty()) PrintLine(out);
  return kExitOk;
}

}  // namespace

int FinishGoneRecipe(const std::string& dir, const std::string& command) {
  Target target;
  try {
    target = GroupTarget(Parent(dir));
  } catch (const Failure&) {
    Fail("no such directory", ERROR_PATH_NOT_FOUND);
  }
  target.recipeNo = RecipeNumberOf(LastName(dir));
  if (target.recipeNo == 0) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  target.recipe = dir;
  CommandLocks locks;
  locks.LockProject(target);
  CQVERcpUtil::DeleteRecipe(dir.c_str());  // clears what an interrupted delete left beside it
  if (!ForgetPlacement(target)) Fail("no such directory", ERROR_PATH_NOT_FOUND);
  ChangeReport report;
  report.Removed(BasicJson(target), "the end of an interrupted " + command);
  return report.Print();
}

int DumpEdf(const std::string& path);

void AddRecipeCommands(CLI::App& app, int* exitStatus) {
  auto args = std::make_shared<RecipeArgs>();
  const char* truncateHelp = "Cut over-long texts at a character boundary instead of refusing them";
  auto* recipe = app.add_subcommand("recipe", "Create, describe, change and delete recipes");
  recipe->require_subcommand(1);
  auto* f = recipe->add_subcommand("free", "List the free recipe numbers (1 to 1000) of a group");
  f->add_option("GROUP", args->dir, kGroupHelp)->required();
  Example(*f, "rcpstore recipe free @Line1/1");
  f->callback([=] { *exitStatus = FreeRecipes(*args); });
  auto* c = recipe->add_subcommand("create", "Create recipe N from the user's or the system's template");
  c->add_option("GROUP", args->dir, kGroupHelp)->required();
  c->add_option("N", args->number, "Recipe number, 1 to 1000")->required()->check(CLI::Range(1u, kMaxRecipeNo));
  c->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  c->add_option("--template", args->templateFile, "Recipe header file to copy instead of the templates");
  c->add_flag("--truncate", args->truncate, truncateHelp);
  Example(*c, "rcpstore recipe create @Line1/1 12 --header-name MIX12");
  c->callback([=] { *exitStatus = CreateRecipe(*args); });
  auto* i = recipe->add_subcommand("info", "Show a recipe's header record");
  i->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  Example(*i, "rcpstore recipe info @Line1/1/12");
  i->callback([=] { *exitStatus = Run("recipe info " + args->dir, [&] { return Info(*args); }); });
  auto* s = recipe->add_subcommand("set", "Change a recipe's title, comment or unit texts");
  s->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  s->add_option("--title", args->title, "Title (at most 16 bytes)");
  s->add_option("--comment", args->comment, "Comment (at most 64 bytes)");
  s->add_option("--unit", args->units, "Text of unit K (1 to 32, at most 24 bytes): K=TEXT");
  s->add_flag("--truncate", args->truncate, truncateHelp);
  Example(*s, "rcpstore recipe set @Line1/1/12 --title Dough --unit 3=Mixer");
  s->callback([=] { *exitStatus = Set(*args); });
  auto* b = recipe->add_subcommand("bump-version", "Advance a recipe's version by one");
  b->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  Example(*b, "rcpstore recipe bump-version @Line1/1/12");
  b->callback([=] { *exitStatus = BumpVersion(*args); });
  auto* d = recipe->add_subcommand("delete", "Delete a recipe with everything in it, and its sub-group line");
  d->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  AddRemovalOptions(*d, args->removal, false);
  Example(*d, "rcpstore recipe delete @Line1/1/12 --dry-run");
  d->callback([=] { *exitStatus = DeleteRecipe(*args); });

  auto* unit = app.add_subcommand("unit", "Create and delete unit recipes and procedure files");
  unit->require_subcommand(1);
  auto* uf = unit->add_subcommand("free", "List the free unit numbers (1 to 32) of a recipe");
  uf->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  Example(*uf, "rcpstore unit free @Line1/1/12");
  uf->callback([=] { *exitStatus = FreeUnits(*args); });
  auto* uc = unit->add_subcommand("create", "Create unit recipe N (0: the procedure file)");
  uc->add_option("RECIPE", args->dir, kUnitHelp)->required();
  uc->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->check(CLI::Range(0u, kMaxUnitNo));
  uc->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  uc->add_option("--template", args->templateFile, "Unit recipe file to copy instead of the templates");
  uc->add_flag("--truncate", args->truncate, truncateHelp);
  Example(*uc, "rcpstore unit create @Line1/1/12/3");
  uc->callback([=] { *exitStatus = CreateUnit(*args); });
  auto* ud = unit->add_subcommand("delete", "Delete unit recipe N (0: the procedure file)");
  ud->add_option("RECIPE", args->dir, kUnitHelp)->required();
  ud->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->check(CLI::Range(0u, kMaxUnitNo));
  AddRemovalOptions(*ud, args->removal, false);
  Example(*ud, "rcpstore unit delete @Line1/1/12 0");
  ud->callback([=] { *exitStatus = DeleteUnit(*args); });

  auto* ls = app.add_subcommand("ls", "List a recipe's files, or the children of a group or project, as file entries");
  ls->add_option("TARGET", args->dir, "Recipe, group or project: its address or directory")->required();
  ls->add_flag("--children", args->children, "List the children of a recipe's node instead of its files");
  Example(*ls, "rcpstore ls @Line1/1 --children");
  ls->callback([=] { *exitStatus = Run("ls " + args->dir, [&] { return List(*args); }); });

  auto* edf = app.add_subcommand("edf", "Inspect EDF files");
  edf->require_subcommand(1);
  auto* dump = edf->add_subcommand("dump", "Show the header fields and records of an EDF file");
  dump->add_option("FILE", args->dir, "EDF file, or the address of a unit recipe (@PROJECT/G/R/U)")->required();
  Example(*dump, "rcpstore edf dump @Line1/1/12/3 --json");
  dump->callback([=] { *exitStatus = DumpEdf(args->dir); });
}

}  // namespace rcpstore::cli
