#include <CLI/CLI.hpp>
#include <functional>

#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

// Text as roff shows it: backslashes and hyphens escaped, no line starting
// with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

// Every command below app with its words ("recipe create"), depth first.
void Walk(CLI::App& app, const std::string& path, const std::function<void(CLI::App&, const std::string&)>& visit) {
  visit(app, path);
  for (CLI::App* sub : app.get_subcommands({})) Walk(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), visit);
}

std::string OptionNames(const CLI::Option& option) {
  std::string names;
  for (const std::string& s : option.get_snames()) names += (names.empty() ? "-" : ", -") + s;
  for (const std::string& l : option.get_lnames()) names += (names.empty() ? "--" : ", --") + l;
  return names;
}

std::string Synopsis(const CLI::App& command, const std::string& path) {
  std::string line = "rcpstore " + path;
  for (const CLI::Option* option : command.get_options()) {
    if (!option->get_positional()) continue;
    std::string name = option->get_name(true);
    bool many = option->get_expected_max() > 1;
    line += " " + (option->get_required() ? name : "[" + name + "]") + (many ? "..." : "");
  }
  return line + (command.get_options([](const CLI::Option* o) { return !o->get_positional(); }).size() > 1 ? " [OPTIONS]" : "");
}

std::string CommandSection(CLI::App& command, const std::string& path) {
  std::string out = ".SS " + Roff(path) + "\n" + Roff(command.get_description()) + "\n.PP\n.B " +
                    Roff(Synopsis(command, path)) + "\n";
  for (const CLI::Option* option : command.get_options()) {
    std::string names = option->get_positional() ? option->get_name(true) : OptionNames(*option);
    if (names == "--help" || names == "-h, --help") continue;
    out += ".TP\n.B " + Roff(names) + "\n" + Roff(option->get_description()) + "\n";
  }
  std::string footer = command.get_footer();
  if (!footer.empty()) out += ".PP\n" + Roff(footer) + "\n";
  return out;
}

}  // namespace

std::string ManPage(CLI::App& app) {
  std::string out = ".TH RCPSTORE 1 \"\" \"rcpstore " RCPSTORE_VERSION "\" \"User Commands\"\n"
                    ".SH NAME\nrcpstore \\- the recipe store of the batch\\-recipe engineering tools\n"
                    ".SH SYNOPSIS\n.B rcpstore\n[\\-\\-station DIR] COMMAND ... [\\-\\-json] [\\-\\-quiet]\n"
                    ".SH DESCRIPTION\n" +
                    Roff(kNamingRule) + "\n.PP\nA quick start and the layout of the store are in the README.\n"
                    ".SH COMMANDS\n";
  Walk(app, "", [&](CLI::App& command, const std::string& path) {
    if (!path.empty() && command.get_subcommands({}).empty()) out += CommandSection(command, path);
  });
  out += ".SH ENVIRONMENT\n.TP\n.B QVC_STATION_DIR\nThe station directory (registry, logs, user templates).\n"
         ".TP\n.B RCPSTORE_LOCK_FDS\nSet by \\fBrcpstore lock\\fR for the command it runs: the locks it hands down.\n"
         ".SH SEE ALSO\nThe JSON schema: docs/json.md.\n";
  return out;
}

std::string BashCompletion(CLI::App& app) {
  std::string commands;
  std::string options;
  Walk(app, "", [&](CLI::App& command, const std::string& path) {
    std::vector<std::string> subs;
    for (CLI::App* sub : command.get_subcommands({})) subs.push_back(sub->get_name());
    std::vector<std::string> flags;
    for (const CLI::Option* option : command.get_options()) {
      for (const std::string& l : option->get_lnames()) flags.push_back("--" + l);
    }
    std::string key = path.empty() ? "rcpstore" : "rcpstore " + path;
    commands += "  [\"" + key + "\"]=\"" + Joined(subs, "", " ") + "\"\n";
    options += "  [\"" + key + "\"]=\"" + Joined(flags, "", " ") + "\"\n";
  });
  return "# bash completion for rcpstore (generated from its commands)\n"
         "declare -gA _rcpstore_commands=(\n" + commands + ")\n"
         "declare -gA _rcpstore_options=(\n" + options + ")\n" +
         R"sh(_rcpstore() {
  local cur=${COMP_WORDS[COMP_CWORD]} path=rcpstore next i
  for ((i = 1; i < COMP_CWORD; i++)); do
    next="$path ${COMP_WORDS[i]}"
    [[ ${COMP_WORDS[i]} != -* && -n ${_rcpstore_options[$next]+set} ]] && path=$next
  done
  if [[ $cur == @* ]]; then
    COMPREPLY=($(compgen -W "$(rcpstore project list 2>/dev/null | cut -d' ' -f1)" -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "${_rcpstore_options[$path]}" -- "$cur"))
  elif [[ -n ${_rcpstore_commands[$path]} ]]; then
    COMPREPLY=($(compgen -W "${_rcpstore_commands[$path]}" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _rcpstore rcpstore
)sh";
}

}  // namespace rcpstore::cli
