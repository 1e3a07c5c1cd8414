// The reference documents made from the commands themselves, so that they
// never disagree with them: the man page and the bash completion.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace rcpstore::cli {

// The man page rcpstore(1), in roff.
std::string ManPage(CLI::App& app);

// A bash completion script for rcpstore: command words, options, the
// addresses of the registered projects, and file names.
std::string BashCompletion(CLI::App& app);

}  // namespace rcpstore::cli
