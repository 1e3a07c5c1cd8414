// rcpstore batch: many commands in one process, one per line in the syntax
// of the command line, under one lock per project for the whole run. The
// first line that fails ends the run; the lines before it stay done. SIGINT
// or SIGTERM ends it after the line that runs, with its locks released, and
// says from which line to go on.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "Commands.h"
#include "LibQVBRcpEpa/Locks.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct Line {
  size_t number;  // 1 for the first line of the file
  std::string text;
  std::vector<std::string> words;
};

// Splits a line into words as a shell would: blanks separate, '…' keeps
// everything, "…" keeps everything but \" and \\, a backslash escapes the
// next character, and # starts a comment. Fails on an open quote.
std::vector<std::string> LineWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool escapes = c == '\\' && i + 1 < text.size() && (quote == 0 || text[i + 1] == '"' || text[i + 1] == '\\');
    if (quote != 0 && c == quote) {
      quote = 0;
    } else if (quote == '\'' || (quote == '"' && !escapes)) {
      word += c;
    } else if (escapes) {
      word += text[++i];
      inWord = true;
    } else if (quote == 0 && (c == ' ' || c == '\t' || c == '\r')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (quote == 0 && c == '#' && !inWord) {
      break;
    } else if (quote == 0 && (c == '\'' || c == '"')) {
      quote = c;
      inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote != 0) throw Failure{"an open quote", ERROR_INVALID_PARAMETER};
  if (inWord) words.push_back(word);
  return words;
}

// Every command line of the input, checked as words before any runs.
std::vector<Line> ReadLines(const std::string& file) {
  std::ifstream opened;
  if (file != "-") {
    opened.open(file);
    if (!opened) Fail("cannot read " + file, ERROR_FILE_NOT_FOUND);
  }
  std::istream& in = file == "-" ? std::cin : opened;
  std::vector<Line> lines;
  std::string text;
  for (size_t number = 1; std::getline(in, text); ++number) {
    std::vector<std::string> words;
    try {
      words = LineWords(text);
    } catch (const Failure& failure) {
      Fail("line " + std::to_string(number) + ": " + failure.cause + " (nothing was run)", failure.code);
    }
    if (words.empty()) continue;
    if (words[0] == "batch") {
      Fail("line " + std::to_string(number) + ": a batch runs no batch (nothing was run)", ERROR_INVALID_PARAMETER);
    }
    lines.push_back({number, text, words});
  }
  return lines;
}

// Runs one line as rcpstore would run it; gives its exit status.
int RunLine(const Line& line, const OutputOptions& batchOutput) {
  Output() = batchOutput;
  CLI::App app{"rcpstore"};
  app.require_subcommand(1);
  int status = kExitOk;
  AddStoreCommands(app, &status, line.words.front());
  std::vector<std::string> argvWords{"rcpstore"};
  argvWords.insert(argvWords.end(), line.words.begin(), line.words.end());
  std::vector<char*> argv;
  for (std::string& word : argvWords) argv.push_back(word.data());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    return ReportUsageError(app, e, static_cast<int>(argv.size()), argv.data());
  }
  std::fflush(stdout);
  return status;
}

volatile std::sig_atomic_t stopSignal = 0;

void NoteStop(int signal) { stopSignal = signal; }

// While one lives, SIGINT and SIGTERM are noted instead of ending the
// process; a second one ends it as it would have.
class StopAtLineEnd {
 public:
  StopAtLineEnd() {
    stopSignal = 0;
    struct sigaction noted {};
    noted.sa_handler = NoteStop;
    noted.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &noted, &interrupt_);
    sigaction(SIGTERM, &noted, &terminate_);
  }
  ~StopAtLineEnd() {
    sigaction(SIGINT, &interrupt_, nullptr);
    sigaction(SIGTERM, &terminate_, nullptr);
  }
  StopAtLineEnd(const StopAtLineEnd&) = delete;
  StopAtLineEnd& operator=(const StopAtLineEnd&) = delete;

 private:
  struct sigaction interrupt_ {};
  struct sigaction terminate_ {};
};

// Says where a stopped batch stopped and how to go on; gives 128 + the signal.
int Stopped(const std::string& file, const Line& last, const Line& next) {
  std::fprintf(stderr,
               "rcpstore: batch %s: stopped by %s after line %zu: %s\nrcpstore: batch %s: to go on: rcpstore batch %s "
               "--from %zu\n",
               Printable(file).c_str(), stopSignal == SIGINT ? "SIGINT" : "SIGTERM", last.number,
               Printable(last.text).c_str(), Printable(file).c_str(), Printable(file).c_str(), next.number);
  return 128 + stopSignal;
}

int RunBatch(const std::string& file, size_t from) {
  std::vector<Line> lines = ReadLines(file);
  lines.erase(lines.begin(),
              std::find_if(lines.begin(), lines.end(), [&](const Line& line) { return line.number >= from; }));
  OutputOptions batchOutput = Output();
  // Declared before the locks, so that a signal is still only noted while they are released.
  StopAtLineEnd stop;
  KeptProjectLocks locks;
  Progress progress("batch", lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    progress.Hide();
    int status = RunLine(lines[i], batchOutput);
    if (status != kExitOk) {
      progress.Hide();
      size_t left = lines.size() - i - 1;
      std::string rest = left > 0 ? "; the " + std::to_string(left) + " commands after it were not run" : "";
      Fail("line " + std::to_string(lines[i].number) + " failed: " + Printable(lines[i].text) + rest,
           status == kExitUsage ? ERROR_INVALID_PARAMETER : QVC_ERR_CANNOT_EXECUTE);
    }
    if (stopSignal != 0 && i + 1 < lines.size()) {
      progress.Hide();
      return Stopped(file, lines[i], lines[i + 1]);
    }
    progress.Show(i + 1);
  }
  return kExitOk;
}

}  // namespace

void AddBatchCommand(CLI::App& app, int* exitStatus) {
  auto file = std::make_shared<std::string>();
  auto from = std::make_shared<size_t>(1);
  auto* batch = AddCommand(app, "batch",
                           "Run commands from a file (- for standard input), one per line, under one lock per project",
                           "rcpstore batch changes.txt   (a line of it: recipe set @Line1/1/12 --title 'Rye bread')");
  batch->add_option("FILE", *file, "File of command lines (without 'rcpstore'; # starts a comment), or -")->required();
  batch->add_option("--from", *from, "Start at line N of the file (the first is 1)")->check(CLI::PositiveNumber);
  batch->footer(batch->get_footer() +
                "\nCtrl-C (SIGINT) or SIGTERM stops the batch once the line that runs is done, releases its locks and "
                "names the line to go on from (--from N); a second one ends it at once.\nExit status: 0 every line "
                "ran, 1 a line failed, 2 usage error, 130 stopped by SIGINT, 143 stopped by SIGTERM.");
  Runs(*batch, exitStatus, [=] { return RunBatch(*file, *from); });
}

}  // namespace rcpstore::cli
