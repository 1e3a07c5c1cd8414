// rcpstore recipe, unit, ls and edf: recipes, unit recipes, copies and moves,
// file listings and what is inside an EDF file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa/Edf.h"
#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

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
  DeleteOptions removal;
  std::string reason;
};

std::string RecipeText(const StoreItem& recipe) {
  const RecipeHead& head = recipe.head;
  std::string out = "recipe:  " + Printable(NameOf(recipe.target)) + "\npath:    " + Printable(recipe.target.recipe) +
                    "\nheader:  " + Printable(head.headerName) + "\ntitle:   " + Printable(head.title) +
                    "\ncomment: " + Printable(head.comment) + "\nversion: " + std::to_string(head.version) +
                    "\ncreated: " + IsoTime(head.created) + " by " + Printable(head.author) +
                    "\nupdated: " + IsoTime(head.updated);
  if (!recipe.subGroup.empty()) out += "\nsub-group: " + Printable(recipe.subGroup);
  if (!recipe.units.empty() && recipe.units.front() == 0) out += "\nprocedure: " + UnitFileName(0);
  for (unsigned number = 1; number <= kMaxUnitNo; ++number) {
    std::string text = number <= head.unitTexts.size() ? head.unitTexts[number - 1] : "";
    bool file = std::find(recipe.units.begin(), recipe.units.end(), number) != recipe.units.end();
    if (!file && text.empty()) continue;
    out += "\nunit " + std::to_string(number) + ": " + (file ? UnitFileName(number) : "(no file)") + "  " +
           Printable(text);
  }
  return out;
}

int Info(const RecipeArgs& args) {
  StoreItem recipe = RecipeItem(RecipeTarget(args.dir));
  if (!recipe.error.empty()) Fail(recipe.error, recipe.errorCode);
  return Output().json ? PrintJson(ItemJson(recipe)) : PrintLine(RecipeText(recipe));
}

// The unit texts that --unit K=TEXT gives, checked before anything is touched.
std::vector<std::pair<unsigned, std::string>> UnitTexts(const RecipeArgs& args) {
  std::vector<std::pair<unsigned, std::string>> texts;
  for (const std::string& unit : args.units) {
    size_t eq = unit.find('=');
    std::string digits = unit.substr(0, eq);
    bool numeric = eq != std::string::npos && !digits.empty() && digits.size() <= 2 &&
                   digits.find_first_not_of("0123456789") == std::string::npos;
    int k = numeric ? std::stoi(digits) : 0;
    if (k < 1 || k > static_cast<int>(kMaxUnitNo)) throw CLI::ValidationError("--unit", "K=TEXT with K from 1 to 32, not " + unit);
    texts.emplace_back(static_cast<unsigned>(k), Fitted("--unit " + digits, unit.substr(eq + 1), kUnitTextBytes, args.truncate));
  }
  return texts;
}

int Set(const RecipeArgs& args) {
  if (!args.title && !args.comment && args.units.empty()) {
    throw CLI::ValidationError("nothing to change: give --title, --comment or --unit K=TEXT");
  }
  RecipeTexts texts;
  if (args.title) texts.title = Fitted("--title", *args.title, kTitleBytes, args.truncate);
  if (args.comment) texts.comment = Fitted("--comment", *args.comment, kCommentBytes, args.truncate);
  texts.units = UnitTexts(args);
  return PrintChanges(SetRecipeTexts(args.dir, texts));
}

// The command's words with the recipe or group and the number, when given.
std::string WithNumber(const char* command, const RecipeArgs& args) {
  std::string what = std::string(command) + " " + args.dir;
  return args.number == kNoUnitGiven ? what : what + " " + std::to_string(args.number);
}

int Create(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  unsigned number = args.number == kNoUnitGiven ? 0 : args.number;
  return Run(WithNumber("recipe create", args),
             [&] { return PrintChanges(CreateRecipe(args.dir, number, headName, args.templateFile)); });
}

int CreateUnitRecipe(const RecipeArgs& args) {
  std::string headName = Fitted("--header-name", args.headName, kHeaderNameBytes, args.truncate);
  return Run(WithNumber("unit create", args), [&] {
    UnitGiven given = UnitTarget(args.dir, args.number);
    return PrintChanges(CreateUnit(given.recipe.recipe, given.unitNo, headName, args.templateFile));
  });
}

int DeleteUnitRecipe(const RecipeArgs& args) {
  return Run(WithNumber("unit delete", args), [&] {
    UnitGiven given = UnitTarget(args.dir, args.number);
    return PrintDelete(args.removal, [&] { return DeleteUnit(given.recipe.recipe, given.unitNo, args.removal); });
  });
}

// A listed entry as the thing it is: a child node of the listed target
// (group, sub-group, recipe), or a file of the listed recipe.
Json FileEntryJson(const FileEntry& entry) {
  bool thing = entry.kind == "recipe" || entry.kind == "group" || entry.kind == "subGroup" || entry.kind == "unit";
  Json item = thing ? ItemJson(entry.item)
                    : Json{{"kind", entry.kind},
                           {"address", entry.kind == "header" ? AddressJson(entry.item.target) : Json(nullptr)},
                           {"path", JsonText(entry.path)},
                           {"name", JsonText(entry.name)}};
  item["title"] = JsonText(entry.title);
  item["comment"] = JsonText(entry.comment);
  item["updated"] = IsoTime(entry.updated);
  return item;
}

std::string FileEntryLine(const FileEntry& entry) {
  Json item = FileEntryJson(entry);
  return entry.kind + "  " + ShownName(item) + "  " + Printable(JsonBytes(item["name"])) + "  " +
         Printable(entry.title) + (entry.unitNo != 0 ? "  unit " + std::to_string(entry.unitNo) : "") +
         (entry.comment.empty() ? "" : "  " + Printable(entry.comment));
}

struct CopyArgs {
  std::string source;
  std::string group;
  unsigned number = 0;
};

// recipe copy and recipe move, which take the same arguments.
void AddCopyCommand(CLI::App& recipe, const char* name, const char* help, const char* example, int* exitStatus,
                    ChangeReport (*change)(const std::string&, const std::string&, unsigned)) {
  auto args = std::make_shared<CopyArgs>();
  auto* cmd = AddCommand(recipe, name, help, example);
  cmd->add_option("SRC", args->source, kRecipeHelp)->required();
  cmd->add_option("DEST_GROUP", args->group, kGroupHelp)->required();
  cmd->add_option("N", args->number,
                  "Recipe number in DEST_GROUP (default: SRC's number if free, else the lowest free)")
      ->check(CLI::Range(1u, kMaxRecipeNo));
  Runs(*cmd, exitStatus, [=] { return PrintChanges(change(args->source, args->group, args->number)); });
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

Json RecordFields(const EdfRecord& record) {
  switch (record.kind) {
    case EdfRecord::Kind::kMain:
      return Json{{"title", JsonText(record.title)},     {"created", IsoTime(record.created)},
                  {"comment", JsonText(record.comment)}, {"version", record.version},
                  {"author", JsonText(record.author)},   {"versionTime", IsoTime(record.versionTime)}};
    case EdfRecord::Kind::kUnit:
      return Json{{"text", JsonText(record.text)}};
    case EdfRecord::Kind::kOther:
      break;
  }
  return Json{{"hex", Hex(record.bytes)}};
}

int DumpEdf(const std::string& given) {
  EdfFile file = ReadEdf(given);
  Json records = Json::array();
  std::string text;
  for (const EdfRecord& record : file.records) {
    Json fields = RecordFields(record);
    records.push_back(Json{{"name", JsonText(record.name)},
                           {"index", record.index},
                           {"offset", record.offset},
                           {"size", record.size},
                           {"fields", fields}});
    text += "\n" + Printable(record.name) + "[" + std::to_string(record.index) + "] at " +
            std::to_string(record.offset) + ", " + std::to_string(record.size) + " bytes: " + fields.dump();
  }
  Json head{{"size", file.size},
            {"fileKind", file.kind},
            {"name", JsonText(file.name)},
            {"revision", file.revision},
            {"written", IsoTime(file.written)},
            {"updated", IsoTime(file.updated)}};
  if (Output().json) return PrintJson(Json{{"path", JsonText(file.path)}, {"header", head}, {"records", records}});
  return PrintLine("header: " + head.dump() + text);
}

constexpr char kTruncateHelp[] = "Cut over-long texts at a character boundary instead of refusing them";

}  // namespace

void AddRecipeCommands(CLI::App& app, int* exitStatus) {
  auto args = std::make_shared<RecipeArgs>();
  const char* reasonHelp = "Why, kept with the recipe's new version in its history";
  auto* recipe = app.add_subcommand("recipe", "Create, describe, change and delete recipes");
  recipe->require_subcommand(1);
  auto* f = AddCommand(*recipe, "free", "List the free recipe numbers (1 to 1000) of a group",
                       "rcpstore recipe free @Line1/1");
  f->add_option("GROUP", args->dir, kGroupHelp)->required();
  Runs(*f, exitStatus, [=] { return PrintFree(GroupTarget(args->dir), kMaxRecipeNo); });
  auto* c = AddCommand(*recipe, "create", "Create recipe N from the user's or the system's template",
                       "rcpstore recipe create @Line1/1 12 --header-name MIX12");
  c->add_option("GROUP", args->dir, kGroupHelp)->required();
  c->add_option("N", args->number, "Recipe number, 1 to 1000 (default: the lowest free one)")
      ->check(CLI::Range(1u, kMaxRecipeNo));
  c->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  c->add_option("--template", args->templateFile, "Recipe header file to copy instead of the templates");
  c->add_flag("--truncate", args->truncate, kTruncateHelp);
  c->callback([=] { *exitStatus = Create(*args); });
  auto* i = AddCommand(*recipe, "info", "Show a recipe's header record", "rcpstore recipe info @Line1/1/12");
  i->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  Runs(*i, exitStatus, [=] { return Info(*args); });
  auto* s = AddCommand(*recipe, "set", "Change a recipe's title, comment or unit texts",
                       "rcpstore recipe set @Line1/1/12 --title Dough --unit 3=Mixer");
  s->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  s->add_option("--title", args->title, "Title (at most 16 bytes)");
  s->add_option("--comment", args->comment, "Comment (at most 64 bytes)");
  s->add_option("--unit", args->units, "Text of unit K (1 to 32, at most 24 bytes): K=TEXT");
  s->add_flag("--truncate", args->truncate, kTruncateHelp);
  s->add_option("--reason", args->reason, reasonHelp);
  Runs(*s, exitStatus, [=] {
    ChangeReason why(args->reason);
    return Set(*args);
  });
  auto* b = AddCommand(*recipe, "bump-version", "Advance a recipe's version by one",
                       "rcpstore recipe bump-version @Line1/1/12");
  b->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  b->add_option("--reason", args->reason, reasonHelp);
  Runs(*b, exitStatus, [=] {
    ChangeReason why(args->reason);
    return PrintChanges(BumpVersion(args->dir));
  });
  auto* d = AddCommand(*recipe, "delete", "Delete a recipe with everything in it, and its sub-group line",
                       "rcpstore recipe delete @Line1/1/12 --dry-run");
  d->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  AddDeleteOptions(*d, args->removal, false);
  d->add_option("--reason", args->reason, reasonHelp);
  Runs(*d, exitStatus, [=] {
    ChangeReason why(args->reason);
    return PrintDelete(args->removal, [&] { return DeleteRecipe(args->dir, args->removal); });
  });
  AddCopyCommand(*recipe, "copy",
                 "Copy a recipe's data files to a new recipe: created now by you, version reset, not in a sub-group",
                 "rcpstore recipe copy @Line1/1/12 @Line1/2 40", exitStatus, CopyRecipe);
  AddCopyCommand(*recipe, "move", "Move a recipe to another number or group as it is, out of its sub-group",
                 "rcpstore recipe move @Line1/1/12 @Line1/2", exitStatus, MoveRecipe);
  AddHistoryCommands(*recipe, exitStatus);
}

void AddUnitCommands(CLI::App& app, int* exitStatus) {
  auto args = std::make_shared<RecipeArgs>();
  auto* unit = app.add_subcommand("unit", "Create and delete unit recipes and procedure files");
  unit->require_subcommand(1);
  auto* uf =
      AddCommand(*unit, "free", "List the free unit numbers (1 to 32) of a recipe", "rcpstore unit free @Line1/1/12");
  uf->add_option("RECIPE", args->dir, kRecipeHelp)->required();
  Runs(*uf, exitStatus, [=] { return PrintFree(RecipeTarget(args->dir), kMaxUnitNo); });
  auto* uc =
      AddCommand(*unit, "create", "Create unit recipe N (0: the procedure file)", "rcpstore unit create @Line1/1/12/3");
  uc->add_option("RECIPE", args->dir, kUnitHelp)->required();
  uc->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->check(CLI::Range(0u, kMaxUnitNo));
  uc->add_option("--header-name", args->headName, "Header name (at most 8 bytes)");
  uc->add_option("--template", args->templateFile, "Unit recipe file to copy instead of the templates");
  uc->add_flag("--truncate", args->truncate, kTruncateHelp);
  uc->callback([=] { *exitStatus = CreateUnitRecipe(*args); });
  auto* ud =
      AddCommand(*unit, "delete", "Delete unit recipe N (0: the procedure file)", "rcpstore unit delete @Line1/1/12 0");
  ud->add_option("RECIPE", args->dir, kUnitHelp)->required();
  ud->add_option("N", args->number, "Unit number 1 to 32, 0 for the procedure")->check(CLI::Range(0u, kMaxUnitNo));
  AddDeleteOptions(*ud, args->removal, false);
  ud->callback([=] { *exitStatus = DeleteUnitRecipe(*args); });

  auto* ls = AddCommand(app, "ls", "List a recipe's files, or the children of a group or project, as file entries",
                        "rcpstore ls @Line1/1 --children");
  ls->add_option("TARGET", args->dir, "Recipe, group or project: its address or directory")->required();
  ls->add_flag("--children", args->children, "List the children of a recipe's node instead of its files");
  Runs(*ls, exitStatus,
       [=] { return PrintList(ListEntries(AnyTarget(args->dir), args->children), FileEntryJson, FileEntryLine); });

  auto* edf = app.add_subcommand("edf", "Inspect EDF files");
  edf->require_subcommand(1);
  auto* dump = AddCommand(*edf, "dump", "Show the header fields and records of an EDF file",
                          "rcpstore edf dump @Line1/1/12/3 --json");
  dump->add_option("FILE", args->dir, "EDF file, or the address of a unit recipe (@PROJECT/G/R/U)")->required();
  Runs(*dump, exitStatus, [=] { return DumpEdf(args->dir); });
}

}  // namespace rcpstore::cli
