// The manual page and the bash completion of the tolvane command, written
// from the same CLI::App that parses its command line (DescribeCommandLine):
// they list exactly the commands, arguments and options that --help shows.
#pragma once

#include <CLI/CLI.hpp>

#include <span>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace tolvane::cli {

// The manual page, section 1, in man(7) roff.
std::string ManualPage(const CLI::App& app, std::span<const HelpSection> sections,
                       const std::string& version);

// A bash completion script for app: commands, options and, for an argument
// named GROUP, the group names; FILE arguments and file options complete
// file names, --lang the language tags.
std::string BashCompletion(const CLI::App& app, const std::vector<std::string>& groups,
                           std::span<const char* const> languages);

}  // namespace tolvane::cli
