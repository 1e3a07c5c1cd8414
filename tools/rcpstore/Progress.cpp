#include "Progress.h"

#include <unistd.h>

#include <cstdio>

#include "Report.h"

namespace rcpstore::cli {

Progress::Progress(std::string what, size_t total)
    : what_(std::move(what)), total_(total), shown_(isatty(STDERR_FILENO) && !Output().quiet && !Output().json) {}

Progress::~Progress() { Hide(); }

void Progress::Hide() {
  if (shown_) std::fprintf(stderr, "\r\033[K");
}

void Progress::Show(size_t done) {
  if (!shown_) return;
  std::fprintf(stderr, "\r%s: %zu of %zu", what_.c_str(), done, total_);
  std::fflush(stderr);
}

}  // namespace rcpstore::cli
