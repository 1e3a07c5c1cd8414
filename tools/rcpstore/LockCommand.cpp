// rcpstore lock and rcpstore clean-temp.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>

#include "Commands.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

struct LockArgs {
  std::string target;
  std::string name;
  std::vector<std::string> command;
};

volatile sig_atomic_t g_stop = 0;

// Holds until standard input closes or SIGINT or SIGTERM arrives.
void HoldUntilReleased() {
  struct sigaction action = {};
  action.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  char buf[256];
  while (g_stop == 0) {
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
}

// Locks the project or recipe, then runs the command or holds the lock.
int Lock(const LockArgs& args, bool recipe) {
  std::string what = (recipe ? "lock recipe " : "lock project ") + args.target;
  return Run(what, [&] {
    Target target = recipe ? RecipeTarget(args.target) : ProjectTarget(args.target);
    CommandLocks locks;
    if (recipe) {
      locks.LockRecipe(target, args.name.empty() ? LastName(target.recipe) : args.name);
    } else {
      locks.LockProject(target);
    }
    // The holder's own result, before the command it runs prints anything.
    if (!Output().quiet && !Output().json) {
      PrintLine("locked " + Printable(what.substr(5)) + " (" + Printable(locks.lastLockFile()) + ")");
    }
    std::fflush(stdout);
    if (!args.command.empty()) return locks.RunHolding(args.command);
    HoldUntilReleased();
    return kExitOk;
  });
}

// Who the lock file says holds the lock: its station and holder number,
// then, from a station that writes them, the user, process and label.
std::string HolderText(const LockState& state) {
  std::string text = "station " + Printable(state.station) + ", holder " + std::to_string(state.holder);
  if (!state.user.empty()) text += ", user " + Printable(state.user);
  if (state.process != 0) text += ", process " + std::to_string(state.process);
  if (!state.label.empty()) text += ", \"" + Printable(state.label) + "\"";
  return text;
}

int Status(const LockArgs& args) {
  LockState state = ReadLockState(args.target);
  if (Output().json) {
    Json out{{"kind", "lock"},
             {"address", AddressJson(state.target)},
             {"path", JsonText(state.file)},
             {"held", state.held},
             {"station", JsonText(state.station)},
             {"holder", state.holder}};
    if (!state.user.empty()) out["user"] = JsonText(state.user);
    if (state.process != 0) out["process"] = state.process;
    if (!state.label.empty()) out["label"] = JsonText(state.label);
    return PrintJson(out);
  }
  std::string file = Printable(state.file);
  if (!state.held) return PrintLine("not locked (" + file + ")");
  return PrintLine("locked; the lock file claims " + HolderText(state) + " (" + file + ")");
}

}  // namespace

void AddLockCommand(CLI::App& app, int* exitStatus) {
  auto* lock = app.add_subcommand("lock", "Lock a project or recipe against editing by other stations");
  lock->require_subcommand(1);
  auto args = std::make_shared<LockArgs>();
  const char* commandHelp = "Command to run while the lock is held (after --); without one, hold until "
                            "standard input closes or the process is interrupted";

  auto* p = AddCommand(*lock, "project", "Lock a project, by its registered name or its directory",
                       "rcpstore lock project @Line1 -- rcpstore batch changes.txt");
  p->add_option("PROJECT", args->target, kProjectHelp)->required();
  p->add_option("COMMAND", args->command, commandHelp);
  p->callback([=] { *exitStatus = Lock(*args, false); });

  auto* r = AddCommand(*lock, "recipe", "Lock a recipe", "rcpstore lock recipe @Line1/1/12 < /dev/tty");
  r->add_option("RECIPE", args->target, kRecipeHelp)->required();
  r->add_option("--name", args->name,
                "Name of the lock in messages and events, shown to those it refuses (default: the directory's name)");
  r->add_option("COMMAND", args->command, commandHelp);
  r->callback([=] { *exitStatus = Lock(*args, true); });

  auto* s = AddCommand(*lock, "status", "Whether a project or recipe is locked now, and by whom",
                       "rcpstore lock status @Line1/1/12");
  s->add_option("TARGET", args->target, "Recipe (@PROJECT/G/R or its directory), or a project")->required();
  Runs(*s, exitStatus, [=] { return Status(*args); });

  auto* clean = AddCommand(app, "clean-temp",
                           "Empty the TEMP directory of every recipe of a project that no one has locked",
                           "rcpstore clean-temp @Line1");
  clean->add_option("PROJECT", args->target, kProjectHelp)->required();
  Runs(*clean, exitStatus, [=] { return PrintChanges(CleanTemp(args->target)); });
}

}  // namespace rcpstore::cli
