// How a command's results reach the user: --json and --quiet, which every
// command takes, and the report of what a change command did.
#pragma once

#include <string>
#include <vector>

#include "Json.h"
#include "LibQVBRcpEpa/Changes.h"

namespace CLI {
class App;
}

namespace rcpstore::cli {

struct OutputOptions {
  bool json = false;   // one JSON value on stdout instead of text
  bool quiet = false;  // no success lines and no progress
};

// The options of the command being run.
OutputOptions& Output();

// Adds --json and --quiet to every command below app that has no
// sub-commands of its own.
void AddOutputFlags(CLI::App& app);

// What a change command created, changed or removed. Printed as one line per
// thing ("created recipe @Line1/1/12"), or with --json as one object
// {"made":[...],"changed":[...],"removed":[...]} of the things' objects.
class Report {
 public:
  // item is the thing's JSON object; detail follows its line in text.
  void Created(const Json& item, const std::string& detail = "") { Add(kCreated, item, detail); }
  void Changed(const Json& item, const std::string& detail = "") { Add(kChanged, item, detail); }
  void Removed(const Json& item, const std::string& detail = "") { Add(kRemoved, item, detail); }
  // Prints the report; returns 0.
  int Print() const;

 private:
  enum Verb { kCreated, kChanged, kRemoved };
  struct Entry {
    Verb verb;
    Json item;
    std::string detail;
  };
  void Add(Verb verb, const Json& item, const std::string& detail) { entries_.push_back({verb, item, detail}); }
  std::vector<Entry> entries_;
};

// Prints what a change of the store reports; returns 0.
int PrintChanges(const ChangeReport& changes);

// How a thing's JSON object is named in text: its address, else its path.
std::string ShownName(const Json& item);

}  // namespace rcpstore::cli
