#include <CLI/CLI.hpp>

#include "LibQVBRcpEpa/Texts.h"
#include "Usage.h"

namespace rcpstore::cli {

void Refuse(const std::string& option, const std::string& problem) {
  if (!problem.empty()) throw CLI::ValidationError(option, problem);
}

std::string Fitted(const std::string& option, const std::string& text, size_t limit, bool truncate) {
  if (truncate) return FittingBeginning(text, limit);
  std::string problem = WidthProblem(text, limit);
  bool cutHelps = WidthProblem(FittingBeginning(text, limit), limit).empty();
  Refuse(option, problem.empty() || !cutHelps ? problem : problem + " (--truncate cuts it)");
  return text;
}

}  // namespace rcpstore::cli
