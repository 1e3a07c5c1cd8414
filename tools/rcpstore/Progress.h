// A progress line for long work: on stderr, only when it is a terminal, and
// never with --quiet or --json. It is rewritten in place and cleared at the end.
#pragma once

#include <cstddef>
#include <string>

namespace rcpstore::cli {

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

}  // namespace rcpstore::cli
