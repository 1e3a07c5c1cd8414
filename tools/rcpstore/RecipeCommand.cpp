// rcpstore recipe, unit, ls and edf: recipes, unit recipes, file listings
// and what is inside an EDF file.
#include <CLI/CLI.hpp>
#include <ctime>
#include <optional>

#include "Commands.h"
#include "LibQVBRcpEpa.h"
#include "Output.h"
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
  bool children = false;
  bool json = false;
};


// "1-3 5 7-1000" for the free numbers of a table, or a JSON array.
int PrintFree(const int32_t* table, int size, bool json) {
  std::vector<int> free;
  for (int i = 0; i < size; ++i) {
    if (table[i] == 1) free.push_back(i + 1);
  }
  std::string out = json ? "[" : "";
  for (size_t i = 0; i < free.size(); ++i) {
    if (json) {
      out += (i > 0 ? "," : "") + std::to_string(free[i]);
      continue;
    }
    size_t end = i;
    while (end + 1 < free.size() && free[end + 1] == free[end] + 1) ++end;
    out += (out.empty() ? "" : " ") + std::to_string(free[i]) + (end > i ? "-" + std::to_string(free[end]) : "");
    i = end;
  }
  return PrintLine(json ? out + "]" : out);
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
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  if (uint32_t rc = CQVERcpUtil::GetRcpInfo(args.dir.c_str(), &number, &info)) return ReportFailure("recipe info", rc);
  std::vector<std::string> units(info.strUnitComment, info.strUnitComment + QVERCP_UNITS);
  std::string version = VersionOf(args.dir);
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

int Set(const RecipeArgs& args) {
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  if (uint32_t rc = CQVERcpUtil::GetRcpInfo(args.dir.c_str(), &number, &info)) return ReportFailure("recipe set", rc);
  if (args.title) info.strTitle = *args.title;
  if (args.comment) info.strComment = *args.comment;
  for (const std::string& unit : args.units) {
    size_t eq = unit.find('=');
    int k = eq == std::string::npos ? 0 : std::atoi(unit.substr(0, eq).c_str());
    if (k < 1 || k > QVERCP_UNITS) return ReportFailure("recipe set: --unit " + unit, QVC_ERR_CANNOT_EXECUTE);
    info.strUnitComment[k - 1] = unit.substr(eq + 1);
  }
  return ExitFor("recipe set", CQVERcpUtil::SetRcpInfo(args.dir.c_str(), &info));
}

int CreateRecipe(const RecipeArgs& args) {
  std::string what = "recipe create " + std::to_string(args.number);
  if (uint32_t rc = CQVERcpUtil::CheckRcpDuplicate(args.dir.c_str(), args.number)) return ReportFailure(what, rc);
  const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
  return ExitFor(what, CQVERcpUtil::CreateRecipe(args.headName.c_str(), args.dir.c_str(), args.number, tmpl));
}

int CreateUnit(const RecipeArgs& args) {
  std::string what = "unit create " + std::to_string(args.number);
  uint32_t rc = args.number == 0 ? (CQVERcpUtil::CheckFile((args.dir + "/RcpRP.edf").c_str(), 0x80000000, 3) == 0
                                         ? QVC_ERR_EXISTS
                                         : 0)
                                 : CQVERcpUtil::CheckUnitDuplicate(args.dir.c_str(), args.number);
  if (rc != 0) return ReportFailure(what, rc);
  const char* tmpl = args.templateFile ? args.templateFile->c_str() : nullptr;
  return ExitFor(what, CQVERcpUtil::CreateUnitRecipe(args.headName.c_str(), args.dir.c_str(), args.number, tmpl));
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

// The node for a directory: a group or recipe by its name, else a project.
CQVERcpDirInfo NodeFor(const std::string& dir) {
  CQVERcpDirInfo node;
  if (node.SetFullPath(dir.c_str()) != 0) {
    node.m_nKind = QVERCP_KIND_PROJECT;
    node.m_strProject = node.m_strName;
  }
  return node;
}

int List(const RecipeArgs& args) {
  CQVERcpFileInfoArray files;
  CQVERcpDirInfo node = NodeFor(args.dir);
  if (args.children) {
    CQVERcpUtil::GetDirectoryList(&node, 0, 1);
    CQVERcpUtil::GetDirListAsFile(&node, files);
  } else {
    CQVERcpUtil::GetFileList(args.dir.c_str(), files);
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
  auto* recipe = app.add_subcommand("recipe", "Create, describe, change and delete recipes");
  recipe->require_subcommand(1);
  auto* f = recipe->add_subcommand("free", "List the free recipe numbers (1 to 1000) of a group");
  f->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  f->add_flag("--json", args->json, "Print JSON");
  f->callback([=] {
    std::vector<int32_t> table(QVERCP_RECIPE_TABLE);
    uint32_t rc = CQVERcpUtil::FindFreeRcpNo(args->dir.c_str(), table.data());
    *exitStatus = rc != 0 ? ReportFailure("recipe free", rc) : PrintFree(table.data(), QVERCP_RECIPE_TABLE, args->json);
  });
  auto* c = recipe->add_subcommand("create", "Create recipe N from the user's or the system's template");
  c->add_option("GROUP_DIR", args->dir, "Group directory (RGnn)")->required();
  c->add_option("N", args->number, "Recipe number")->required()->check(CLI::Range(1u, 9999u));
  c->add_option("--header-name", args->headName, "Header name (at most 8 characters)");
  c->add_option("--template", args->templateFile, "Template file to copy instead of the templates");
  c->callback([=] { *exitStatus = CreateRecipe(*args); });
  auto* i = recipe->add_subcommand("info", "Show a recipe's header record");
  i->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  i->add_flag("--json", args->json, "Print JSON");
  i->callback([=] { *exitStatus = Info(*args); });
  auto* s = recipe->add_subcommand("set", "Change a recipe's title, comment or unit texts");
  s->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  s->add_option("--title", args->title, "Title (at most 16 characters)");
  s->add_option("--comment", args->comment, "Comment (at most 64 characters)");
  s->add_option("--unit", args->units, "Text of unit K (1 to 32): K=TEXT");
  s->callback([=] { *exitStatus = Set(*args); });
  auto* b = recipe->add_subcommand("bump-version", "Advance a recipe's version by one");
  b->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  b->callback([=] {
    CString head = args->dir;
    QVEEngCatPath(head, "RcpHead.edf");
    *exitStatus = ExitFor("recipe bump-version", CQVERcpUtil::SetRcpHeadVersion(head.c_str()));
  });
  auto* d = recipe->add_subcommand("delete", "Delete a recipe with everything in it");
  d->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  d->callback([=] { *exitStatus = ExitFor("recipe delete", CQVERcpUtil::DeleteRecipe(args->dir.c_str())); });

  auto* unit = app.add_subcommand("unit", "Create and delete unit recipes and procedure files");
  unit->require_subcommand(1);
  auto* uf = unit->add_subcommand("free", "List the free unit numbers (1 to 32) of a recipe");
  uf->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  uf->add_flag("--json", args->json, "Print JSON");
  uf->callback([=] {
    int32_t table[QVERCP_UNITS];
    uint32_t rc = CQVERcpUtil::FindFreeUnitNo(args->dir.c_str(), table);
    *exitStatus = rc != 0 ? ReportFailure("unit free", rc) : PrintFree(table, QVERCP_UNITS, args->json);
  });
  auto* uc = unit->add_subcommand("create", "Create unit recipe N (0: the procedure file)");
  uc->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  uc->add_option("N", args->number, "Unit number, 0 for the procedure")->required()->check(CLI::Range(0u, 32u));
  uc->add_option("--header-name", args->headName, "Header name (at most 8 characters)");
  uc->add_option("--template", args->templateFile, "Template file to copy instead of the templates");
  uc->callback([=] { *exitStatus = CreateUnit(*args); });
  auto* ud = unit->add_subcommand("delete", "Delete unit recipe N (0: the procedure file)");
  ud->add_option("RECIPE_DIR", args->dir, "Recipe directory (RCPnnnn)")->required();
  ud->add_option("N", args->number, "Unit number, 0 for the procedure")->required()->check(CLI::Range(0u, 32u));
  ud->callback([=] {
    *exitStatus = ExitFor("unit delete", CQVERcpUtil::DeleteUnitRecipe(args->dir.c_str(), args->number));
  });

  auto* ls = app.add_subcommand("ls", "List a directory's recipe files, or a node's children, as file entries");
  ls->add_option("DIR", args->dir, "Directory")->required();
  ls->add_flag("--children", args->children, "List the children of the node for DIR instead of its files");
  ls->add_flag("--json", args->json, "Print JSON");
  ls->callback([=] { *exitStatus = List(*args); });

  auto* edf = app.add_subcommand("edf", "Inspect EDF files");
  edf->require_subcommand(1);
  auto* dump = edf->add_subcommand("dump", "Show the header fields and records of an EDF file");
  dump->add_option("FILE", args->dir, "EDF file")->required();
  dump->add_flag("--json", args->json, "Print JSON");
  dump->callback([=] { *exitStatus = DumpEdf(args->dir, args->json); });
}

}  // namespace rcpstore
