#include "Output.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>

#include "Usage.h"

namespace rcpstore::cli {

namespace {

std::string Text(const Json& value) { return value.is_string() ? Printable(JsonBytes(value.get<std::string>())) : ""; }

// A terminal that takes no escape sequences (TERM=dumb or unset) gets no
// progress line, which could not be rewritten in place there.
bool RewritableTerminal() {
  const char* term = std::getenv("TERM");
  return isatty(STDERR_FILENO) && term != nullptr && *term != '\0' && std::string(term) != "dumb";
}

}  // namespace

OutputOptions& Output() {
  static OutputOptions options;
  return options;
}

void AddOutputFlags(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({})) {
    if (!command->get_subcommands({}).empty()) {
      AddOutputFlags(*command);
      continue;
    }
    command->add_flag("--json", Output().json, "Print JSON (see docs/json.md)");
    command->add_flag("-q,--quiet", Output().quiet, "Print no success line and no progress");
  }
}

// The projects a command opens stay open until it ends.
int Run(const std::string& what, const std::function<int()>& body) {
  OpenedProjects projectsOpened;
  try {
    return body();
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "rcpstore: %s: %s (error 0x%08X)\n", what.c_str(), failure.cause.c_str(), failure.code);
    return kExitFailure;
  }
}

namespace {

struct Word {
  std::string argument;
  std::string text;
};

// A recipe's address where a group belongs ("recipe copy @L/1/1 @L/2/3"),
// answered with the form that was meant when the number was left out.
void RefuseRecipeForGroup(const CLI::App& command, const std::vector<Word>& words, const Word& word) {
  Address address = ParseAddress(word.text);
  if (word.argument.find("GROUP") == std::string::npos || address.recipeNo == 0) return;
  std::string problem = "a group (@PROJECT/G) is expected, not the recipe " + word.text;
  const CLI::Option* number = command.get_option_no_throw("N");
  if (number != nullptr && number->results().empty()) {
    std::string meant = CommandPath(command);
    for (const Word& other : words) meant += " " + other.text;
    meant.replace(meant.rfind(word.text), word.text.size(),
                  AddressText(Address{address.project, address.groupNo, 0, 0}) + " " +
                      std::to_string(address.recipeNo));
    problem += "; meant: " + meant;
  }
  Refuse(word.argument, problem);
}

// A slip in the arguments is a usage error before anything runs: an address
// that cannot be one, a recipe where a group belongs, or a store thing given
// after the argument that should name it.
void RefuseSlips(const CLI::App& command, const std::vector<CLI::Option*>& arguments) {
  std::vector<Word> words;
  for (const CLI::Option* argument : arguments) {
    for (const std::string& text : argument->results()) words.push_back({argument->get_name(), text});
  }
  std::vector<std::string> texts;
  for (const Word& word : words) {
    texts.push_back(word.text);
    // A list of recipes (@P/G/R,13) is checked by its own parser.
    if (!IsAddress(word.text) || !NamesStoreThing(word.argument) || word.text.find(',') != std::string::npos) continue;
    Refuse(word.argument, AddressProblem(word.text));
    RefuseRecipeForGroup(command, words, word);
  }
  std::string hint = OrderHint(command, texts);
  if (!hint.empty()) throw CLI::ValidationError(hint);
}

}  // namespace

void Runs(CLI::App& command, int* exitStatus, std::function<int()> body) {
  command.callback([&command, exitStatus, body = std::move(body)] {
    std::string what = CommandPath(command);
    what = what.substr(what.find(' ') + 1);
    auto arguments = command.get_options([](const CLI::Option* option) { return option->get_positional(); });
    RefuseSlips(command, arguments);
    if (!arguments.empty() && !arguments.front()->results().empty()) what += " " + arguments.front()->results()[0];
    *exitStatus = Run(what, body);
  });
}

int PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return kExitOk;
}

int PrintDone(const Json& json, const std::string& line) {
  if (Output().json) return PrintJson(json);
  return Output().quiet ? kExitOk : PrintLine(line);
}

std::string ShownName(const Json& item) {
  std::string address = Text(item.value("address", Json()));
  return address.empty() ? Text(item.value("path", Json())) : address;
}

int PrintChanges(const ChangeReport& changes, bool dryRun) {
  static constexpr const char* kVerbs[] = {"created", "changed", "removed"};
  static constexpr const char* kDryVerbs[] = {"would create", "would change", "would remove"};
  static constexpr const char* kJsonKeys[] = {"made", "changed", "removed"};
  if (Output().quiet && !Output().json) return kExitOk;
  Json out = {{"made", Json::array()}, {"changed", Json::array()}, {"removed", Json::array()}};
  for (const Change& change : changes) {
    Json item = ItemJson(change.item);
    size_t verb = static_cast<size_t>(change.verb);
    out[kJsonKeys[verb]].push_back(item);
    if (Output().json) continue;
    std::string kind = Text(item["kind"]);
    std::string what = kind == "subGroup" ? "sub-group " + Text(item["subGroup"]) + " in " + ShownName(item)
                                          : kind + " " + ShownName(item);
    std::string line = std::string(dryRun ? kDryVerbs[verb] : kVerbs[verb]) + " " + what;
    PrintLine(change.detail.empty() ? line : line + ": " + Printable(change.detail));
  }
  if (dryRun) out["dryRun"] = true;
  return Output().json ? PrintJson(out) : kExitOk;
}

Progress::Progress(std::string what, size_t total)
    : what_(std::move(what)), total_(total), shown_(RewritableTerminal() && !Output().quiet && !Output().json) {}

Progress::~Progress() { Hide(); }

void Progress::Hide() {
  if (shown_) std::fprintf(stderr, "\r\033[K");
}

void Progress::Show(size_t done) {
  if (!shown_) return;
  if (total_ == 0) {
    std::fprintf(stderr, "\r%s: %zu", what_.c_str(), done);
  } else {
    std::fprintf(stderr, "\r%s: %zu of %zu", what_.c_str(), done, total_);
  }
  std::fflush(stderr);
}

std::string Joined(const std::vector<std::string>& items, const char* none, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text.empty() ? none : text;
}

void AddDeleteOptions(CLI::App& command, DeleteOptions& how, bool askYes) {
  command.add_flag("--dry-run", how.dryRun, "List what would be removed and change nothing");
  if (!askYes) return;
  how.withContents = false;
  command.add_flag("--yes", how.withContents, "Remove it with everything stored in it");
}

int PrintDelete(const DeleteOptions& how, const std::function<ChangeReport()>& remove) {
  ChangeReport report;
  try {
    report = remove();
  } catch (const Failure& failure) {
    if (failure.code != ERROR_DIR_NOT_EMPTY || how.withContents) throw;
    Fail(failure.cause + "; --yes removes them with it (--dry-run lists them)", failure.code);
  }
  if (!how.dryRun) return PrintChanges(report);
  for (const Change& change : report) PrintLine("would remove " + Printable(change.detail));
  return kExitOk;
}

}  // namespace rcpstore::cli
