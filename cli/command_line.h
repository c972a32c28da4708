// The tolvane command's whole command line, described once: what the tool
// does, its global options, every command with its arguments (AddCommands)
// and the closing sections (exit status, environment, examples). The
// command's --help, each command's --help, the manual page and the bash
// completion are all drawn from the one CLI::App this describes, so a new
// command or option is one entry in one place.
#pragma once

#include <CLI/CLI.hpp>

#include <span>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/hive/file_access.h"

namespace tolvane::cli {

// What the parser fills in.
struct CommandLine {
  GlobalArgs global;
  CommandArgs args;
  std::string registryFile;
  std::vector<std::string> drives;
  std::string hostExe;
  std::string lang;
  double waitSeconds = kDefaultLockWait.count();
};

// A closing section of the help and the manual page: a title ("EXIT STATUS")
// and its lines, each "TERM\tmeaning" (a definition) or plain text.
struct HelpSection {
  const char* title;
  std::vector<const char*> lines;
};

// What differs between the builds' command lines, in a file of each build
// (command_line_portable.cc, command_line_win32.cc):
//
// The closing sections of this build, in order.
std::span<const HelpSection> HelpSections();

// Adds the options that name the store and what surrounds it: --registry
// and, on the portable build, the stand-ins for what Windows knows itself
// (--drive, --host-exe, --codepage); the Windows build refuses those as
// unknown options.
void AddStoreOptions(CLI::App& app, CommandLine* line);

// Whether a file name of the host is a Windows path, which never holds '"'.
bool HostPathsAreWindowsPaths();

// The language tags --lang knows.
std::span<const char* const> LanguageTags();

// Checks a path argument: a '"' is never part of a Windows path, and one
// arrives inside an argument only when a quoted folder ends in a backslash
// ("C:\Suite\" reads as C:\Suite"). Refused with how to write it.
// windowsOnly: a host file name, which may hold '"' on other systems.
CLI::Validator PathArgument(bool windowsOnly);

// Names app "tolvane", gives it its description, global options, commands and
// footer, and binds every value to line (which must outlive app's parse).
void DescribeCommandLine(CLI::App& app, CommandLine* line);

}  // namespace tolvane::cli
