// rcpstore log: reads back the audit trail of the station's changes to its
// stores, oldest first.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
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

std::string LineOf(const AuditEntry& entry) {
  std::string line = Printable(entry.time) + "\t" + Printable(entry.station) + "\t" + Printable(entry.user) + "\t" +
                     std::to_string(entry.pid) + "\t" + Printable(entry.operation) + "\t" + Printable(entry.path) +
                     "\t" + ResultText(entry.result);
  return entry.detail.empty() ? line : line + "\t" + Printable(entry.detail);
}

// A change of no path (an unregistration) has a null path, as everywhere.
Json EntryJson(const AuditEntry& entry) {
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

}  // namespace

void AddLogCommand(CLI::App& app, int* exitStatus) {
  auto* log = AddCommand(app, "log", "Show the audit trail of changes made from this station, oldest first",
                         "rcpstore log --project Line1 --since 2026-12-06");
  auto filter = std::make_shared<AuditFilter>();
  log->add_option("--project", filter->project, "Only changes to this project (directory or registered name)");
  log->add_option("--since", filter->since, "Only changes at or after this UTC time (2026-12-06T19:20:00Z)")
      ->check(CLI::Validator(UtcTimeProblem, "UTC"));
  log->add_option("--user", filter->user, "Only changes made by this user");
  Runs(*log, exitStatus, [=] { return PrintList(ReadAuditTrail(*filter), EntryJson, LineOf); });
}

}  // namespace rcpstore::cli
