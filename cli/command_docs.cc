#include "cli/command_docs.h"

#include <algorithm>
#include <string_view>

namespace tolvane::cli {
namespace {

// One command of the tree: its words after "tolvane" ("script run") and its
// definition.
struct CommandEntry {
  std::string path;
  const CLI::App* app;
};

void Collect(const CLI::App& app, const std::string& path, std::vector<CommandEntry>* out) {
  for (const CLI::App* sub : app.get_subcommands(std::function<bool(const CLI::App*)>{})) {
    const std::string subPath = path.empty() ? sub->get_name() : path + " " + sub->get_name();
    out->push_back({subPath, sub});
    Collect(*sub, subPath, out);
  }
}

std::vector<CommandEntry> Commands(const CLI::App& app) {
  std::vector<CommandEntry> commands;
  Collect(app, "", &commands);
  return commands;
}

bool IsHelp(const CLI::App& app, const CLI::Option* option) { return option == app.get_help_ptr(); }

bool TakesValue(const CLI::Option* option) { return option->get_expected_max() > 0; }

bool Repeatable(const CLI::Option* option) { return option->get_expected_max() > 1; }

std::string LongName(const CLI::Option* option) {
  return option->get_lnames().empty() ? "-" + option->get_snames().front()
                                      : "--" + option->get_lnames().front();
}

// The value name an option's help shows ("FILE"), or the positional's name.
std::string ValueName(const CLI::Option* option) {
  return option->get_positional() ? option->get_name(true) : option->get_type_name();
}

// Text made safe for roff: backslashes and hyphens escaped, and a line that
// would start with a control character guarded.
std::string Roff(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
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

// "register GROUP [DIR] [--help]"-style synopsis of one command.
std::string Synopsis(const std::string& path, const CLI::App& app) {
  std::string text = "\\fBtolvane " + Roff(path) + "\\fR";
  for (const CLI::Option* option : app.get_options()) {
    if (IsHelp(app, option)) continue;
    std::string word =
        option->get_positional()
            ? "\\fI" + Roff(ValueName(option)) + "\\fR"
            : "\\fB" + Roff(LongName(option)) + "\\fR" +
                  (TakesValue(option) ? " \\fI" + Roff(ValueName(option)) + "\\fR" : "");
    if (Repeatable(option) && !option->get_positional()) word += "...";
    text += " " + (option->get_required() ? word : "[" + word + "]");
  }
  if (!app.get_subcommands(std::function<bool(const CLI::App*)>{}).empty()) {
    text += " \\fICOMMAND\\fR";
  }
  return text;
}

// The .TP list of an app's own arguments and options.
std::string OptionList(const CLI::App& app) {
  std::string text;
  for (const CLI::Option* option : app.get_options()) {
    if (IsHelp(app, option)) continue;
    text += ".TP\n";
    if (option->get_positional()) {
      text += ".I " + Roff(ValueName(option)) + "\n";
    } else {
      text += "\\fB" + Roff(LongName(option)) + "\\fR" +
              (TakesValue(option) ? " \\fI" + Roff(ValueName(option)) + "\\fR" : "") + "\n";
    }
    text += Roff(option->get_description()) + "\n";
  }
  return text;
}

std::string Section(const HelpSection& section) {
  std::string text = ".SH " + Roff(section.title) + "\n";
  for (const std::string_view line : section.lines) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      // Examples and other literal lines, one to a line.
      text += ".nf\n" + Roff(line) + "\n.fi\n";
    } else {
      text += ".TP\n.B " + Roff(line.substr(0, tab)) + "\n" + Roff(line.substr(tab + 1)) + "\n";
    }
  }
  return text;
}

// The description's first line, "tolvane registers ...", as NAME's summary.
std::string Summary(const CLI::App& app) {
  std::string first = app.get_description().substr(0, app.get_description().find('\n'));
  const std::string prefix = app.get_name() + " ";
  if (first.rfind(prefix, 0) == 0) first.erase(0, prefix.size());
  if (!first.empty() && first.back() == '.') first.pop_back();
  return first;
}

std::string ShellWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// What the positional arguments of a command complete to, in order:
// "group", "file" or "none".
std::string PositionalKinds(const CLI::App& app) {
  std::vector<std::string> kinds;
  for (const CLI::Option* option : app.get_options()) {
    if (!option->get_positional()) continue;
    const std::string name = option->get_name(true);
    kinds.push_back(name == "GROUP" ? "group" : name == "FILE" ? "file" : "none");
  }
  return ShellWords(kinds);
}

}  // namespace

std::string ManualPage(const CLI::App& app, std::span<const HelpSection> sections,
                       const std::string& version) {
  std::string page = ".\\\" Generated from the tolvane command's own description; do not edit.\n";
  page += ".TH TOLVANE 1 \"\" \"tolvane " + Roff(version) + "\" \"User Commands\"\n";
  page += ".SH NAME\ntolvane \\- " + Roff(Summary(app)) + "\n";
  page += ".SH SYNOPSIS\n\\fBtolvane\\fR [\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n";
  page += ".SH DESCRIPTION\n" + Roff(app.get_description()) + "\n.PP\n" +
          "Global options are accepted before or after the command; every command takes "
          "\\fB\\-\\-help\\fR.\n";
  page += ".SH OPTIONS\n" + OptionList(app);
  page += ".SH COMMANDS\n";
  for (const CommandEntry& command : Commands(app)) {
    page += ".SS \"" + Roff(command.path) + "\"\n" + Synopsis(command.path, *command.app) +
            "\n.PP\n" + Roff(command.app->get_description()) + "\n" + OptionList(*command.app);
    if (!command.app->get_footer().empty()) {
      page += ".PP\n.nf\n" + Roff(command.app->get_footer()) + ".fi\n";
    }
  }
  for (const HelpSection& section : sections) page += Section(section);
  return page;
}

std::string BashCompletion(const CLI::App& app, const std::vector<std::string>& groups,
                           std::span<const char* const> languages) {
  const std::vector<CommandEntry> commands = Commands(app);
  std::vector<std::string> valued;  // every option that takes a value, of any command
  std::vector<std::string> fileValued;
  std::vector<std::string> paths;
  const auto noteOptions = [&](const CLI::App& owner) {
    for (const CLI::Option* option : owner.get_options()) {
      if (option->get_positional() || !TakesValue(option)) continue;
      valued.push_back(LongName(option));
      if (ValueName(option) == "FILE") fileValued.push_back(LongName(option));
    }
  };
  noteOptions(app);
  for (const CommandEntry& command : commands) {
    noteOptions(*command.app);
    std::string path = command.path;
    std::replace(path.begin(), path.end(), ' ', '/');
    paths.push_back("/" + path);
  }
  const auto alternatives = [](std::vector<std::string> words) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : "|") + word;
    return text;
  };
  // The words offered at one command: its subcommands, its options and the
  // global options (accepted after the command too).
  const auto offered = [&](const CLI::App& at) {
    std::vector<std::string> words;
    for (const CLI::App* sub : at.get_subcommands(std::function<bool(const CLI::App*)>{})) {
      words.push_back(sub->get_name());
    }
    for (const CLI::App* owner : {&at, &app}) {
      for (const CLI::Option* option : owner->get_options()) {
        if (!option->get_positional()) words.push_back(LongName(option));
      }
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return ShellWords(words);
  };
  std::vector<std::string> languageWords(languages.begin(), languages.end());

  std::string script =
      "# bash completion for the tolvane command. Generated from the command's own\n"
      "# description; do not edit.\n"
      "_tolvane() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local path='' positional=0 i word\n"
      "  # The command words before the cursor, skipping options and their values.\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    word=${COMP_WORDS[i]}\n"
      "    case $word in\n"
      "      " +
      alternatives(valued) +
      ") ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *)\n"
      "        case $path/$word in\n"
      "          " +
      alternatives(paths) +
      ") path=$path/$word positional=0 ;;\n"
      "          *) ((positional++)) ;;\n"
      "        esac ;;\n"
      "    esac\n"
      "  done\n"
      "  case $prev in\n";
  if (!fileValued.empty()) {
    script +=
        "    " + alternatives(fileValued) + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
  }
  script += "    --lang) COMPREPLY=($(compgen -W '" + ShellWords(languageWords) +
            "' -- \"$cur\")); return ;;\n"
            "    " +
            alternatives(valued) +
            ") COMPREPLY=(); return ;;\n"
            "  esac\n"
            "  local words kinds=''\n"
            "  case $path in\n"
            "    '') words='" +
            offered(app) + "' ;;\n";
  for (std::size_t i = 0; i < commands.size(); ++i) {
    script += "    " + paths[i] + ") words='" + offered(*commands[i].app) + "' kinds='" +
              PositionalKinds(*commands[i].app) + "' ;;\n";
  }
  script +=
      "  esac\n"
      "  if [[ $cur != -* ]]; then\n"
      "    local -a kind=($kinds)\n"
      "    case ${kind[positional]:-none} in\n"
      "      group) words+=' " +
      ShellWords(groups) +
      "' ;;\n"
      "      file) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
      "    esac\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "complete -F _tolvane tolvane\n";
  return script;
}

}  // namespace tolvane::cli
