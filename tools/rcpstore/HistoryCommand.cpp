// rcpstore recipe history, show, diff and restore: a recipe's versions as
// its history keeps them.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/Printable.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct HistoryArgs {
  std::string recipe;
  int64_t version = 0;
  int64_t other = 0;
  std::string reason;
};

Json VersionJson(const RecipeVersion& version) {
  Json files = Json::array();
  for (const auto& [name, hash] : version.files) files.push_back(Json{{"name", JsonText(name)}, {"sha256", hash}});
  return Json{{"version", version.number},         {"time", version.time},
              {"user", JsonText(version.user)},     {"station", JsonText(version.station)},
              {"operation", version.operation},     {"reason", JsonText(version.reason)},
              {"headerVersion", JsonText(version.headerVersion)}, {"from", JsonText(version.from)},
              {"files", files}};
}

std::string VersionLine(const RecipeVersion& version) {
  std::string line = std::to_string(version.number) + "  " + version.time + "  " + Printable(version.user) + "@" +
                     Printable(version.station) + "  " + version.operation;
  if (!version.headerVersion.empty()) line += "  header version " + Printable(version.headerVersion);
  line += version.files.empty() ? "  (no files)" : "  " + std::to_string(version.files.size()) + " files";
  if (!version.from.empty()) line += "  from " + Printable(version.from);
  if (!version.reason.empty()) line += "  reason: " + Printable(version.reason);
  return line;
}

int Show(const HistoryArgs& args) {
  std::vector<VersionFile> files = VersionContent(args.recipe, args.version);
  if (Output().json) {
    Json out = Json::array();
    for (const VersionFile& file : files) {
      out.push_back(Json{{"name", JsonText(file.name)}, {"sha256", file.hash}, {"size", file.bytes.size()}});
    }
    return PrintJson(Json{{"version", args.version}, {"files", out}});
  }
  std::string text = "version " + std::to_string(args.version);
  for (const VersionFile& file : files) {
    text += "\n" + Printable(file.name) + "  " + std::to_string(file.bytes.size()) + " bytes  " + file.hash;
  }
  return PrintLine(text);
}

int Diff(const HistoryArgs& args) {
  std::vector<VersionDifference> differences = DiffVersions(args.recipe, args.version, args.other);
  if (Output().json) {
    Json out = Json::array();
    for (const VersionDifference& d : differences) {
      out.push_back(Json{{"file", JsonText(d.file)}, {"field", JsonText(d.field)}, {"before", JsonText(d.before)},
                         {"after", JsonText(d.after)}});
    }
    return PrintJson(Json{{"from", args.version}, {"to", args.other}, {"differences", out}});
  }
  std::string text;
  for (const VersionDifference& d : differences) {
    text += (text.empty() ? "" : "\n") + Printable(d.file) + "  " + Printable(d.field) + ": " + Printable(d.before) +
            " -> " + Printable(d.after);
  }
  return PrintLine(text.empty() ? "no differences" : text);
}

}  // namespace

void AddHistoryCommands(CLI::App& recipe, int* exitStatus) {
  auto args = std::make_shared<HistoryArgs>();
  auto* h = AddCommand(recipe, "history", "List a recipe's versions, also of a deleted one",
                       "rcpstore recipe history @Line1/1/12");
  h->add_option("RECIPE", args->recipe, kRecipeHelp)->required();
  Runs(*h, exitStatus, [=] { return PrintList(RecipeHistory(args->recipe), VersionJson, VersionLine); });
  auto* s = AddCommand(recipe, "show", "List the files of one version of a recipe",
                       "rcpstore recipe show @Line1/1/12 --at 3");
  s->add_option("RECIPE", args->recipe, kRecipeHelp)->required();
  s->add_option("--at", args->version, "Version number, as recipe history lists it")->required();
  Runs(*s, exitStatus, [=] { return Show(*args); });
  auto* d = AddCommand(recipe, "diff", "Show the fields that differ between two versions of a recipe",
                       "rcpstore recipe diff @Line1/1/12 2 5");
  d->add_option("RECIPE", args->recipe, kRecipeHelp)->required();
  d->add_option("V1", args->version, "The older version")->required();
  d->add_option("V2", args->other, "The newer version")->required();
  Runs(*d, exitStatus, [=] { return Diff(*args); });
  auto* r = AddCommand(recipe, "restore", "Make a recipe's files those of an earlier version, as a new version",
                       "rcpstore recipe restore @Line1/1/12 3 --reason \"back to the tested one\"");
  r->add_option("RECIPE", args->recipe, kRecipeHelp)->required();
  r->add_option("VERSION", args->version, "Version number, as recipe history lists it")->required();
  r->add_option("--reason", args->reason, "Why, kept with the new version");
  Runs(*r, exitStatus, [=] {
    ChangeReason why(args->reason);
    return PrintChanges(RestoreRecipe(args->recipe, args->version));
  });
}

}  // namespace rcpstore::cli
