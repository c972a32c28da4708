// The commands of the tolvane tool: their arguments, their registration
// with the argument parser, and running the one the user chose.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "cli/host.h"
#include "cli/report.h"
#include "cli/ui_language.h"

namespace tolvane::cli {

struct GlobalArgs {
  HostOptions host;
  UiLanguage lang = UiLanguage::kEnglish;
  bool langGiven = false;  // --lang was on the command line
  bool json = false;
};

struct CommandArgs {
  std::string group;
  std::optional<std::string> directory;
  std::string extension;
  std::string progId;
  std::string key;
  bool recursive = false;
  std::string output;
  std::string file;
  int scriptId = -1;
  std::vector<std::string> sets;
  std::vector<std::string> features;
  std::vector<std::string> properties;
  std::string actionName;
  std::optional<std::string> programList;
};

// What a command produced: a report of a call (printed as text or JSON),
// or text of its own (export to stdout, groups, query, script show); exit
// status; or a one-line tool error (exit 2).
struct CommandOutcome {
  int exitCode = 0;
  CallReport report;
  std::string output;  // printed as it stands when raw is set
  bool raw = false;
  std::string error;
};

// The outcome of a command the tool refuses or cannot carry out: exit 2
// with message as the one line the user sees.
CommandOutcome ToolErrorOutcome(std::string message);

// Adds every command with its arguments to app.
void AddCommands(CLI::App& app, CommandArgs* args);

// Runs the command app parsed.
CommandOutcome RunCommand(CLI::App& app, const CommandArgs& args, const GlobalArgs& global);

}  // namespace tolvane::cli
