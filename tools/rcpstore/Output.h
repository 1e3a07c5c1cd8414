// What the command line prints and how it ends: --json and --quiet, which
// every command takes, failures, the report of what a change did, and what
// every delete command shares (--dry-run, --yes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Describe.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"

namespace CLI {
class App;
}

namespace rcpstore::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct OutputOptions {
  bool json = false;   // one JSON value on stdout instead of text
  bool quiet = false;  // no success lines and no progress
};

// The options of the command being run.
OutputOptions& Output();

// Adds --json and --quiet to every command below app that has no
// sub-commands of its own.
void AddOutputFlags(CLI::App& app);

// Prints "rcpstore: <what>: <cause> (error 0x%08X)" to stderr; returns 1.
int ReportFailure(const std::string& what, const Failure& failure);
// Runs the body of a command; a Failure is reported against what and gives 1.
int Run(const std::string& what, const std::function<int()>& body);
// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);

// Prints what a change of the store reports; returns 0. One line per thing
// ("created recipe @Line1/1/12"), or with --json one object
// {"made":[...],"changed":[...],"removed":[...]} of the things' objects.
int PrintChanges(const ChangeReport& changes);

// How a thing's JSON object is named in text: its address, else its path.
std::string ShownName(const Json& item);

// A progress line for long work: on stderr, only when it is a terminal, and
// never with --quiet or --json. It is rewritten in place and cleared at the end.
class Progress {
 public:
  Progress(std::string what, size_t total);
  ~Progress();  // clears the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Shows that `done` of the total are done.
  void Show(size_t done);
  // Clears the line, so that other output starts on a clean line.
  void Hide();

 private:
  std::string what_;
  size_t total_;
  bool shown_;
};

// The items joined with ", ", or none when there are none.
std::string Joined(const std::vector<std::string>& items, const char* none = "");

// Adds --dry-run to a delete command and, when askYes, --yes, without which
// a directory that holds stored things is not deleted.
void AddDeleteOptions(CLI::App& command, DeleteOptions& how, bool askYes);

// Runs a delete and prints what it removed, or with --dry-run each path it
// would remove; a refusal for want of --yes says so.
int PrintDelete(const DeleteOptions& how, const std::function<ChangeReport()>& remove);

}  // namespace rcpstore::cli
