// rcpstore verify: checks a project's recipe store and, when asked, repairs
// what can be repaired without losing anything.
#include <CLI/CLI.hpp>
#include <memory>

#include "Commands.h"
#include "LibQVBRcpEpa/Verify.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct VerifyArgs {
  std::string project;
  bool repair = false;
};

Json FindingJson(const Finding& finding) {
  Json out = {{"path", JsonText(finding.path)},
              {"finding", finding.kind},
              {"cause", JsonText(finding.cause)},
              {"repaired", finding.repaired}};
  if (finding.repaired) out["repair"] = finding.repair;
  return out;
}

std::string FindingLine(const Finding& finding) {
  std::string line = Printable(finding.path) + ": " + Printable(finding.cause) + " [" + finding.kind + "]";
  return finding.repaired ? "repaired " + line + ": " + Printable(finding.repair) : line;
}

int Verify(const VerifyArgs& args) {
  // Groups done so far, so that a large store shows life.
  std::unique_ptr<Progress> progress;
  VerifyReport report = VerifyStore(args.project, args.repair, [&progress](size_t done, size_t total) {
    if (!progress) progress = std::make_unique<Progress>("verify: groups", total);
    progress->Show(done);
  });
  progress.reset();
  const std::vector<Finding>& findings = report.findings;
  size_t left = 0;
  Json list = Json::array();
  for (const Finding& finding : findings) {
    left += finding.repaired ? 0 : 1;
    if (Output().json) list.push_back(FindingJson(finding));
    if (!Output().json) PrintLine(FindingLine(finding));
  }
  if (Output().json) {
    Json out = ItemJson(report.store);
    out.update({{"found", findings.size()}, {"fixed", findings.size() - left}, {"left", left}, {"findings", list}});
    PrintJson(out);
  } else {
    PrintLine(findings.empty() ? "clean"
                               : std::to_string(findings.size()) + " found, " + std::to_string(findings.size() - left) +
                                     " repaired, " + std::to_string(left) + " left");
  }
  return left == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int* exitStatus) {
  auto* verify = AddCommand(app, "verify", "Check a project's recipe store; with --repair fix what is safe to fix",
                            "rcpstore verify @Line1 --repair");
  auto args = std::make_shared<VerifyArgs>();
  verify->add_option("PROJECT", args->project, "Project directory (with a '/') or registered project name")->required();
  verify->add_flag("--repair", args->repair, "Fix what can be fixed without losing anything, under the project lock");
  Runs(*verify, exitStatus, [=] { return Verify(*args); });
}

}  // namespace rcpstore::cli
