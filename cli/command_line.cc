#include "cli/command_line.h"

#include <array>

#include "cli/whole_number.h"

namespace tolvane::cli {
namespace {

constexpr std::array<const char*, 5> kLanguageTags = {"en-US", "ko-KR", "ja-JP", "zh-TW", "zh-CN"};

// The sections as the help's footer: titles flush left, lines indented, a
// definition's meaning after its term.
std::string Footer() {
  std::string footer;
  for (const HelpSection& section : HelpSections()) {
    footer += std::string(footer.empty() ? "" : "\n") + section.title + ":\n";
    for (const std::string line : section.lines) {
      const std::size_t tab = line.find('\t');
      footer += tab == std::string::npos
                    ? "  " + line + "\n"
                    : "  " + line.substr(0, tab) + std::string(tab < 18 ? 18 - tab : 1, ' ') +
                          line.substr(tab + 1) + "\n";
    }
  }
  return footer;
}

}  // namespace

CLI::Validator PathArgument(bool windowsOnly) {
  if (windowsOnly && !HostPathsAreWindowsPaths()) {
    return CLI::Validator([](std::string&) { return std::string(); }, "");
  }
  return CLI::Validator(
      [](std::string& path) -> std::string {
        if (path.find('"') == std::string::npos) return std::string();
        return "a Windows path cannot hold '\"' (" + path +
               "): a quoted path that ends in a backslash ends without it or with two, as in "
               "\"C:\\Program Files\\Suite\\Bin\" or \"C:\\Program Files\\Suite\\Bin\\\\\"";
      },
      "");
}

std::span<const char* const> LanguageTags() { return kLanguageTags; }

void DescribeCommandLine(CLI::App& app, CommandLine* line) {
  app.name("tolvane");
  app.description(
      "tolvane registers the office suite's registry entries and file associations.\n"
      "Runs each export of the library against a hive file (or, on Windows, the\n"
      "system registry) and shows what it returned and changed.");
  app.require_subcommand(1);
  app.fallthrough();
  // Options are spelled the same on every build; a word starting with '/' is
  // an argument (a path), never an option.
  app.allow_windows_style_options(false);

  AddStoreOptions(app, line);
  std::string tags;
  for (const char* tag : kLanguageTags) tags += std::string(tags.empty() ? "" : ", ") + tag;
  app.add_option("--lang", line->lang, "user-interface language: " + tags)->type_name("TAG");
  app.add_flag("--json", line->global.json, "print exactly one JSON object");
  app.add_flag("--dry-run", line->global.host.dryRun,
               "run a writing command on a layer over the registry it would change and "
               "report what it would change; nothing is written, the shell is not notified, "
               "no module registers itself");
  app.add_option("--wait", line->waitSeconds,
                 "seconds to wait for a hive file another command holds (default " +
                     std::to_string(kDefaultLockWait.count()) + ")")
      ->type_name("SECONDS")
      ->check(Seconds(86400));

  AddCommands(app, &line->args);
  // Set after the commands, which would inherit it: their help stays short.
  app.footer(Footer());
}

}  // namespace tolvane::cli
