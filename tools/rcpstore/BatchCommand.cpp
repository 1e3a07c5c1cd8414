// rcpstore batch: many commands in one process, one per line in the syntax
// of the command line, under one lock per project for the whole run. The
// first line that fails ends the run; the lines before it stay done.
#include <CLI/CLI.hpp>
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
std::vector<std::string> Words(const std::string& text) {
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
      words = Words(text);
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

int RunBatch(const std::string& file) {
  std::vector<Line> lines = ReadLines(file);
  OutputOptions batchOutput = Output();
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
    progress.Show(i + 1);
  }
  return kExitOk;
}

}  // namespace

void AddBatchCommand(CLI::App& app, int* exitStatus) {
  auto file = std::make_shared<std::string>();
  auto* batch = AddCommand(app, "batch",
                           "Run commands from a file (- for standard input), one per line, under one lock per project",
                           "rcpstore batch changes.txt   (a line of it: recipe set @Line1/1/12 --title 'Rye bread')");
  batch->add_option("FILE", *file, "File of command lines (without 'rcpstore'; # starts a comment), or -")->required();
  Runs(*batch, exitStatus, [=] { return RunBatch(*file); });
}

}  // namespace rcpstore::cli
