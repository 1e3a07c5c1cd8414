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

// The sections after the commands: how a command ends, what it reads from
// its environment and the disk, and where to read on.
const char kExitAndEnvironment[] =
    ".SH EXIT STATUS\n"
    ".TP\n.B 0\nSuccess.\n"
    ".TP\n.B 1\nThe command failed or was refused: one line on stderr names the command, its target, the cause "
    "and the error code. Also: \\fBfind\\fR matched nothing, \\fBverify\\fR left something to repair, "
    "\\fBsecurity check\\fR found a right missing.\n"
    ".TP\n.B 2\nUsage error: nothing was touched. The line names the argument and, where it can, the form that "
    "was meant.\n"
    ".TP\n.B 130, 143\nA \\fBbatch\\fR stopped by SIGINT or SIGTERM after a whole line; stderr says how to go "
    "on (\\fB\\-\\-from N\\fR).\n"
    ".PP\nEvery error code, what it means and what to do: " RCPSTORE_DOC_DIR "/docs/errors.md\n"
    ".SH ENVIRONMENT\n"
    ".TP\n.B QVC_STATION_DIR\nThe station directory (registry, logs, user templates), an existing directory; "
    "\\fB\\-\\-station\\fR overrides it. Without either, the computer's station /var/lib/qv\\-station is used; "
    "a missing station is an error, never made on first use.\n"
    ".TP\n.B QVC_TEMPLATE_DIR\nThe system template set (RcpHead.edf, RcpPrt.edf) instead of the installed one.\n"
    ".TP\n.B TERM\nWith \\fBdumb\\fR (or unset), no progress line and no terminal control sequences.\n"
    ".TP\n.B LANG, LC_ALL, LC_CTYPE\nOutside a UTF\\-8 locale the tree is drawn with ASCII characters.\n"
    ".TP\n.B TZ\nThe time zone of the times \\fBlog\\fR shows and reads.\n"
    ".TP\n.B RCPSTORE_LOCK_FDS\nSet by \\fBrcpstore lock\\fR for the command it runs: the locks it hands down.\n"
    ".SH FILES\n"
    ".TP\n.B /var/lib/qv\\-station/\nThe computer's station: registry.db (rights, groups), names.db (the project "
    "list), audit.log (one line per change), events.log, errors.log, templates/QVUser/.\n"
    ".TP\n.B PROJECT/Recipe/\nThe store: RcpPJTAttr.txt, RGnn/RcpGrAttr.txt, RGnn/RcpSubGroup.txt, "
    "RGnn/RCPnnnn/RcpHead.edf, RcpPTnn.edf, RcpLock.txt; PROJECT/RcpPjtLock.txt.\n"
    ".SH EXAMPLES\n"
    ".nf\n"
    "rcpstore project register Line1 /srv/plant/Plant \\-\\-comment \"Line 1\"\n"
    "rcpstore recipe create @Line1/1 \\-\\-header\\-name DOUGH\n"
    "rcpstore recipe set @Line1/1/1 \\-\\-title Dough\n"
    "rcpstore subgroup move @Line1/1/1 Daily\n"
    "rcpstore find @Line1 \\-i \\-\\-comment \\(aq*choc*\\(aq\n"
    "rcpstore log \\-\\-project @Line1 \\-\\-since \\(aq1 hour ago\\(aq \\-n 20\n"
    "rcpstore batch changes.txt \\-\\-from 12\n"
    ".fi\n"
    ".SH SEE ALSO\nThe documents installed with rcpstore (README.md, docs/: json.md for the JSON output, "
    "errors.md, station.md, security.md, audit.md, archive.md, verify.md): " RCPSTORE_DOC_DIR "\n";

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
  out += kExitAndEnvironment;
  return out;
}

std::string BashCompletion() {
  return R"sh(# bash completion for rcpstore. Source it, or install it as
# /usr/share/bash-completion/completions/rcpstore. The candidates come from
# rcpstore itself (rcpstore __complete WORDS...): command words, options,
# store addresses at every level, sub-group names, numbers and paths.

# The words of the line up to the cursor, joined again where bash split them
# at a word-break character ('@', ':', '=') with no blank between: "@Line1/2"
# stays one word.
_rcpstore_words() {
  local rest=${COMP_LINE:0:COMP_POINT} word i glued
  _rcpstore_argv=()
  for ((i = 0; i <= COMP_CWORD; i++)); do
    glued=1
    [[ $i == 0 || $rest == [[:space:]]* ]] && glued=
    rest=${rest#"${rest%%[![:space:]]*}"}
    word=${COMP_WORDS[i]}
    ((i == COMP_CWORD)) && word=$rest
    if [[ -n $glued ]]; then _rcpstore_argv[-1]+=$word; else _rcpstore_argv+=("$word"); fi
    rest=${rest#"$word"}
  done
}

# Paths of the kind asked for (-f or -d), after what precedes them in the word.
_rcpstore_paths() {
  local kind=$1 before=$2 word=$3 cut=$4 path
  path=${word#"$before"}
  path=${path//\\/}
  path=${path#[\"\']}
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen "$kind" -- "$path")
  COMPREPLY=("${COMPREPLY[@]/#/$before}")
  COMPREPLY=("${COMPREPLY[@]#"$cut"}")
}

# Candidates with their descriptions, one column each, for bash to list; the
# line keeps what it has, as every candidate begins with it.
_rcpstore_described() {
  local width=0 i entry
  for entry in "${_rcpstore_cands[@]}"; do ((${#entry} > width)) && width=${#entry}; done
  COMPREPLY=()
  for i in "${!_rcpstore_cands[@]}"; do
    entry=${_rcpstore_cands[i]}
    [[ -n ${_rcpstore_descriptions[i]} ]] && printf -v entry '%-*s  %s' "$width" "$entry" "${_rcpstore_descriptions[i]}"
    COMPREPLY+=("$entry")
  done
}

_rcpstore() {
  local word breaks cut= line common entry described=
  _rcpstore_words
  word=${_rcpstore_argv[-1]}
  # bash replaces only the part after the last word-break character, or
  # from it when it is '@' or '$'.
  breaks=${COMP_WORDBREAKS//[[:space:]\"\']/}
  [[ -n $breaks ]] && cut=${word%"${word##*[$breaks]}"}
  [[ $cut == *[@\$] ]] && cut=${cut%?}
  _rcpstore_cands=() _rcpstore_descriptions=() COMPREPLY=()
  while IFS= read -r line; do
    case $line in
      $'\tfiles\t'*) _rcpstore_paths -f "${line#$'\tfiles\t'}" "$word" "$cut"; return ;;
      $'\tdirectories\t'*) _rcpstore_paths -d "${line#$'\tdirectories\t'}" "$word" "$cut"; return ;;
      *$'\t'*) _rcpstore_cands+=("${line%%$'\t'*}") _rcpstore_descriptions+=("${line#*$'\t'}") described=1 ;;
      *) _rcpstore_cands+=("$line") _rcpstore_descriptions+=("") ;;
    esac
  done < <("${_rcpstore_argv[0]/#\~/$HOME}" __complete "${_rcpstore_argv[@]:1}" 2>/dev/null)
  ((${#_rcpstore_cands[@]} == 0)) && return
  _rcpstore_cands=("${_rcpstore_cands[@]#"$cut"}")
  common=${_rcpstore_cands[0]}
  for entry in "${_rcpstore_cands[@]}"; do
    while [[ ${entry:0:${#common}} != "$common" ]]; do common=${common%?}; done
  done
  if ((${#_rcpstore_cands[@]} == 1)) || ((${#common} > ${#word} - ${#cut})); then
    # One candidate, or the part all of them share: bash inserts it.
    COMPREPLY=("$common")
    [[ ${#_rcpstore_cands[@]} -gt 1 || $common == */ ]] && compopt -o nospace 2>/dev/null
  elif [[ -n $described && $COMP_TYPE != 37 ]]; then
    _rcpstore_described
  else
    COMPREPLY=("${_rcpstore_cands[@]}")
  fi
}
complete -o nosort -F _rcpstore rcpstore 2>/dev/null || complete -F _rcpstore rcpstore
)sh";
}

}  // namespace rcpstore::cli
