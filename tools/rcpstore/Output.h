// What the command line prints and how it ends: --json and --quiet, which
// every command takes, failures, the report of what a change did, and what
// every delete command shares (--dry-run, --yes).
//
// How store things appear in output (Describe.cpp): in JSON (built with
// nlohmann::json) each thing is one object with its kind as a word
// ("project", "group", "subGroup", "recipe", "unit"), its address and its
// path, and the same keys and types wherever it appears; every text from a
// disk or a user goes through JsonText, so that any stored name gives valid
// JSON and reads back byte for byte. In text a thing is shown by its address
// (its path when the project is not registered), and every text from a disk
// or another user in it goes through Printable, so that none of its control
// characters reaches the terminal. Failure causes are printable as the
// store gives them.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Reads.h"
#include "LibQVBRcpEpa/Target.h"

namespace CLI {
class App;
}

namespace rcpstore::cli {

using Json = nlohmann::json;

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

// Runs the body of a command; a Failure gives 1 and is reported on stderr as
// "rcpstore: <what>: <cause> (error 0x%08X)".
int Run(const std::string& what, const std::function<int()>& body);
// Makes the command run body as Run does and set the exit status; a failure
// is reported against the command's words and its first argument as given
// ("recipe info @Line1/1/12").
void Runs(CLI::App& command, int* exitStatus, std::function<int()> body);
// Prints text and a line feed to stdout; returns 0.
int PrintLine(const std::string& text);
// Prints the value on one line to stdout; returns 0.
int PrintJson(const Json& value);
// Prints what a command did: with --json the object, with --quiet nothing,
// else the line; returns 0.
int PrintDone(const Json& json, const std::string& line);

// Prints the items: with --json one array of their objects, else a line each.
template <typename Item, typename ToJson, typename ToLine>
int PrintList(const std::vector<Item>& items, ToJson toJson, ToLine toLine) {
  Json list = Json::array();
  for (const Item& item : items) {
    if (Output().json) list.push_back(toJson(item));
    if (!Output().json) PrintLine(toLine(item));
  }
  return Output().json ? PrintJson(list) : kExitOk;
}

// Prints what a change of the store reports; returns 0. One line per thing
// ("created recipe @Line1/1/12"), or with --json one object
// {"made":[...],"changed":[...],"removed":[...]} of the things' objects.
// What a dry run would do reads "would create ...", and its object has
// "dryRun": true.
int PrintChanges(const ChangeReport& changes, bool dryRun = false);

// How a thing's JSON object is named in text: its address, else its path.
std::string ShownName(const Json& item);

// A progress line for long work: on stderr, only when it is a terminal that
// takes escape sequences (not TERM=dumb), and never with --quiet or --json.
// It is rewritten in place and cleared at the end.
class Progress {
 public:
  Progress(std::string what, size_t total);
  ~Progress();  // clears the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Shows that `done` of the total are done (the count alone when the
  // total is 0: not known).
  void Show(size_t done);
  // Clears the line, so that other output starts on a clean line.
  void Hide();

 private:
  std::string what_;
  size_t total_;
  bool shown_;
};

// The items joined with the separator, or none when there are none.
std::string Joined(const std::vector<std::string>& items, const char* none = "", const char* separator = ", ");

// Adds --dry-run to a delete command and, when askYes, --yes, without which
// a directory that holds stored things is not deleted.
void AddDeleteOptions(CLI::App& command, DeleteOptions& how, bool askYes);

// Runs a delete and prints what it removed, or with --dry-run each path it
// would remove; a refusal for want of --yes says so.
int PrintDelete(const DeleteOptions& how, const std::function<ChangeReport()>& remove);

// The text as a JSON string. Valid UTF-8 is kept as it is. A byte that is not
// part of a valid UTF-8 sequence is written as U+0000 followed by its two
// lower-case hex digits: no stored name or text can hold a NUL, so the escape
// is never ambiguous and JsonBytes undoes it.
Json JsonText(const std::string& text);
std::string JsonBytes(const std::string& jsonText);
// The texts as an array of JsonText strings.
Json JsonTexts(const std::vector<std::string>& texts);

// ISO-8601 UTC: "2026-12-06T19:20:00Z".
std::string IsoTime(int32_t seconds);

// The address as JSON: a string, or null for a project that is not registered.
Json AddressJson(const Target& target);

// A thing of the store as JSON: the keys every thing has (kind, address,
// path, name; number, and group for a recipe) and what a described item
// carries besides; "error" when it could not be read.
Json ItemJson(const StoreItem& item);

// Prints the free numbers below the owner (of size numbers) as ranges
// ("1-3 5 7-1000"), or with --json {"address","path","free":[...]} of the
// project, group or recipe whose table it is. A full table is a failure.
int PrintFree(const Target& owner, unsigned size);

}  // namespace rcpstore::cli
