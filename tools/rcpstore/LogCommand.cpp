// rcpstore log: reads back the audit trail of the station's changes to its
// stores, oldest first.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "LibQVBRcpEpa/Station.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

std::string ResultText(uint32_t result) {
  if (result == 0) return "ok";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", result);
  return text;
}

// A person at a terminal reads local time; a script reading a pipe or a
// file gets the trail's UTC, which sorts and compares as text.
std::string ShownTime(const std::string& time) {
  static const bool terminal = isatty(STDOUT_FILENO) != 0;
  return terminal ? LocalTime(time) : time;
}

std::string LineOf(const AuditEntry& entry) {
  std::string line = Printable(ShownTime(entry.time)) + "\t" + Printable(entry.station) + "\t" + Printable(entry.user) +
                     "\t" + std::to_string(entry.pid) + "\t" + Printable(entry.operation) + "\t" +
                     Printable(entry.path) + "\t" + ResultText(entry.result);
  return entry.detail.empty() ? line : line + "\t" + Printable(entry.detail);
}

// A change of no path (an unregistration) has a null path, as everywhere.
Json TrailEntryJson(const AuditEntry& entry) {
  Json out{{"time", JsonText(entry.time)},
           {"station", JsonText(entry.station)},
           {"user", JsonText(entry.user)},
           {"pid", entry.pid},
           {"operation", JsonText(entry.operation)},
           {"path", entry.path.empty() ? Json(nullptr) : JsonText(entry.path)},
           {"result", entry.result}};
  if (!entry.detail.empty()) out["detail"] = JsonText(entry.detail);
  if (!entry.project.empty()) out["project"] = entry.project;
  return out;
}

// Exit status 1 when the chain breaks or a signed line is gone.
int PrintCheck(const std::string& project) {
  TrailCheck check = CheckAuditTrail(project.empty() ? std::vector<std::string>{} : std::vector<std::string>{project});
  bool whole = check.brokenFile.empty() && check.missing.empty();
  if (Output().json) {
    Json broken = check.brokenFile.empty()
                      ? Json(nullptr)
                      : Json{{"file", JsonText(check.brokenFile)}, {"line", check.brokenLine}, {"cause", check.cause}};
    PrintJson(Json{{"lines", check.lines},
                   {"broken", broken},
                   {"signatures", check.signatures},
                   {"missing", JsonTexts(check.missing)}});
    return whole ? kExitOk : kExitFailure;
  }
  std::string text = check.brokenFile.empty()
                         ? std::to_string(check.lines) + " lines; each carries the hash of the line before it"
                         : "the chain breaks at line " + std::to_string(check.brokenLine) + " of " +
                               Printable(check.brokenFile) + ": " + check.cause;
  text += "\n" + std::to_string(check.signatures) + " signatures made on this trail; ";
  text += check.missing.empty() ? "the trail holds every line they signed" : "the trail has lost the line signed by:";
  for (const std::string& lost : check.missing) text += "\n  " + lost;
  PrintLine(text);
  return whole ? kExitOk : kExitFailure;
}

}  // namespace

void AddLogCommand(CLI::App& app, int* exitStatus) {
  auto* log = AddCommand(app, "log", "Show the audit trail of changes made from this station, oldest first",
                         "rcpstore log --project @Line1 --since yesterday -n 20");
  auto filter = std::make_shared<AuditFilter>();
  log->add_option("--project", filter->project, "Only changes to this project (registered name or directory)");
  const char* times =
      "local (2026-12-07 02:41, 2026-12-07), UTC (2026-12-07T01:41:00Z), today, yesterday "
      "or 2 hours ago";
  log->add_option("--since", filter->since, std::string("Only changes at or after this time: ") + times)
      ->check(CLI::Validator(TrailTimeProblem, "TIME"));
  log->add_option("--until", filter->until, "Only changes before this time (the same forms)")
      ->check(CLI::Validator(TrailTimeProblem, "TIME"));
  log->add_option("--user", filter->user, "Only changes made by this user");
  log->add_option("-n,--last", filter->last, "Only the last N of the changes that match")
      ->check(CLI::Range(size_t{1}, size_t{1000000000}));
  auto check = std::make_shared<bool>(false);
  log->add_flag("--check", *check,
                "Check the trail instead: the first line where its hash chain breaks, and whether it still holds the "
                "line each signature signed (exit status 1 when not)");
  Runs(*log, exitStatus, [=] {
    if (*check) return PrintCheck(filter->project);
    return PrintList(ReadAuditTrail(*filter), TrailEntryJson, LineOf);
  });
}

}  // namespace rcpstore::cli
