// rcpstore export and import: a project's recipe store as one archive.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "Commands.h"
#include "LibQVBRcpEpa/Archive.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct ExportArgs {
  std::string project;
  std::string archive;
};

// What an export wrote, as text or JSON. With the archive on standard
// output it goes to stderr instead, so that the archive stays whole.
int Export(const ExportArgs& args) {
  bool toStdout = args.archive == kStandardStream;
  if (toStdout && isatty(STDOUT_FILENO)) {
    throw CLI::ValidationError("ARCHIVE", "- writes the archive to standard output, which is a terminal here");
  }
  std::unique_ptr<Progress> progress;
  ExportSummary summary = ExportStore(args.project, args.archive, [&progress](size_t done, size_t total) {
    if (!progress) progress = std::make_unique<Progress>("export: entries", total);
    progress->Show(done);
  });
  progress.reset();
  for (const std::string& path : summary.skipped) {
    std::fprintf(stderr, "rcpstore: export: %s: a link or special file, not exported\n", Printable(path).c_str());
  }
  Json out = ItemJson(summary.project);
  out.update({{"archive", JsonText(summary.archive)},
              {"files", summary.files},
              {"bytes", summary.bytes},
              {"skipped", JsonTexts(summary.skipped)}});
  std::string where = toStdout ? "standard output" : Printable(args.archive);
  std::string report = Output().json ? out.dump()
                                     : "exported " + std::to_string(summary.files) + " files (" +
                                           std::to_string(summary.bytes) + " bytes) to " + where;
  if (!toStdout) return PrintLine(report);
  if (Output().json || !Output().quiet) std::fprintf(stderr, "%s\n", report.c_str());
  return kExitOk;
}

int Import(const ImportRequest& request) {
  Progress progress("import: entries", 0);
  ImportSummary summary = ImportStore(request, [&progress](size_t done, size_t /*total*/) { progress.Show(done); });
  progress.Hide();
  for (const Finding& finding : summary.findings) {
    std::fprintf(stderr, "rcpstore: import: %s: %s [%s]\n", Printable(finding.path).c_str(),
                 Printable(finding.cause).c_str(), finding.kind.c_str());
  }
  if (!Output().json) {
    std::string line =
        "imported " + std::to_string(summary.files) + " files into " + Printable(summary.project) + "/Recipe";
    return PrintLine(request.name.empty() ? line : line + ", registered as " + Printable(request.name));
  }
  Json findings = Json::array();
  for (const Finding& finding : summary.findings) {
    findings.push_back({{"path", JsonText(finding.path)}, {"finding", finding.kind}, {"cause", JsonText(finding.cause)}});
  }
  const std::string& name = request.name;
  return PrintJson({{"kind", "project"},
                    {"address", name.empty() ? Json() : Json(AddressText(Address{name, 0, 0, 0}))},
                    {"path", JsonText(summary.project)},
                    {"name", JsonText(name.empty() ? LastName(summary.project) : name)},
                    {"files", summary.files},
                    {"findings", findings}});
}

}  // namespace

void AddArchiveCommands(CLI::App& app, int* exitStatus) {
  auto exportArgs = std::make_shared<ExportArgs>();
  auto* e = AddCommand(app, "export", "Write a project's recipe store into one compressed archive",
                       "rcpstore export @Line1 line1.tar.gz");
  e->add_option("PROJECT", exportArgs->project, "Project directory (with a '/') or registered project name")
      ->required();
  e->add_option("ARCHIVE", exportArgs->archive, "Archive file to write (a gzip-compressed tar), or - for standard output")
      ->required();
  Runs(*e, exitStatus, [=] { return Export(*exportArgs); });

  auto request = std::make_shared<ImportRequest>();
  auto* i = AddCommand(app, "import", "Restore a recipe store from an archive into a project directory",
                       "rcpstore import line1.tar.gz /srv/projects/Line1Copy --name Line1Copy");
  i->add_option("ARCHIVE", request->archive, "Archive written by rcpstore export, or - for standard input")->required();
  i->add_option("DIR", request->directory, "Project directory to restore the store into")->required();
  i->add_option("--name", request->name, "Register the project under this name");
  i->add_flag("--replace", request->replace, "Replace a store (and a registration) that is there");
  Runs(*i, exitStatus, [=] { return Import(*request); });
}

}  // namespace rcpstore::cli
