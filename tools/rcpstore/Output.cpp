#include "Output.h"

#include <cstdio>

#include "LibQVBRcpEpa/Target.h"

namespace rcpstore::cli {

int ReportFailure(const std::string& what, const Failure& failure) {
  std::fprintf(stderr, "rcpstore: %s: %s (error 0x%08X)\n", what.c_str(), failure.cause.c_str(), failure.code);
  return kExitFailure;
}

// The projects a command opens stay open until it ends (see ExistingTarget).
int Run(const std::string& what, const std::function<int()>& body) {
  OpenedProjects projectsOpened;
  try {
    return body();
  } catch (const Failure& failure) {
    std::fflush(stdout);
    return ReportFailure(what, failure);
  }
}

int PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return kExitOk;
}

}  // namespace rcpstore::cli
