#include "cli/command_line.h"

#include <array>

#include "cli/whole_number.h"

namespace tolvane::cli {
namespace {

constexpr std::array<const char*, 5> kLanguageTags = {"en-US", "ko-KR", "ja-JP", "zh-TW", "zh-CN"};

#ifdef _WIN32
const std::vector<HelpSection> kSections = {
    {"EXIT STATUS",
     {"0\tthe call succeeded by its export's own convention", "1\tthe export reported failure",
      "2\ta usage error, an unreadable or malformed hive file, or any other error of the tool "
      "(one line on stderr; the registry or hive file is left as it was)",
      "3\tthe hive file was saved, but the report could not be written (stdout failed); "
      "the changes stand"}},
    {"EXAMPLES",
     {"tolvane register ZDW2008_MODULE \"C:\\Program Files\\Suite\\Bin\"",
      "tolvane --registry preview.reg --json register ZDW2008_MODULE C:\\Suite\\Bin\\",
      "tolvane assoc .zdw Zdw.Document.8"}},
};
#else
const std::vector<HelpSection> kSections = {
    {"EXIT STATUS",
     {"0\tthe call succeeded by its export's own convention", "1\tthe export reported failure",
      "2\ta usage error, an unreadable or malformed hive file, or any other error of the tool "
      "(one line on stderr; the hive file is left as it was)",
      "3\tthe hive file was saved, but the report could not be written (stdout failed); "
      "the changes stand"}},
    {"ENVIRONMENT",
     {"TOLVANE_REGISTRY\tthe hive file when --registry is not given",
      "XDG_DATA_HOME\telse the hive file is $XDG_DATA_HOME/tolvane/registry.reg "
      "(default ~/.local/share/tolvane/registry.reg)",
      "LANG\tthe default of --lang"}},
    {"EXAMPLES",
     {"tolvane groups", "tolvane --drive C=/srv/suite register ZDW2008_MODULE 'C:\\Bin\\'",
      "tolvane assoc .zdw Zdw.Document.8", "tolvane script run my.rgs --set PATH='C:\\Bin\\'",
      "tolvane query 'HKCR\\Zdw.Document.8' --recursive", "tolvane export --output preview.reg"}},
};
#endif

// The sections as the help's footer: titles flush left, lines indented, a
// definition's meaning after its term.
std::string Footer() {
  std::string footer;
  for (const HelpSection& section : kSections) {
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
#ifndef _WIN32
  if (windowsOnly) return CLI::Validator([](std::string&) { return std::string(); }, "");
#else
  (void)windowsOnly;
#endif
  return CLI::Validator(
      [](std::string& path) -> std::string {
        if (path.find('"') == std::string::npos) return std::string();
        return "a Windows path cannot hold '\"' (" + path +
               "): a quoted path that ends in a backslash ends without it or with two, as in "
               "\"C:\\Program Files\\Suite\\Bin\" or \"C:\\Program Files\\Suite\\Bin\\\\\"";
      },
      "");
}

std::span<const HelpSection> HelpSections() { return kSections; }

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

#ifdef _WIN32
  app.add_option("--registry", line->registryFile,
                 "work on this hive file instead of the system registry (a dry run: the "
                 "machine is not touched and the shell is not notified)")
      ->type_name("FILE")
      ->check(PathArgument(true));
#else
  app.add_option("--registry", line->registryFile,
                 "the registry store is this hive file (default: $TOLVANE_REGISTRY, else "
                 "$XDG_DATA_HOME/tolvane/registry.reg)")
      ->type_name("FILE");
#endif
#ifndef _WIN32
  // The portable build's stand-ins for what Windows knows itself; the
  // Windows build refuses them as unknown options.
  app.add_option("--drive", line->drives, "Windows drive L: is host directory DIR (repeatable)")
      ->type_name("L=DIR");
  app.add_option("--host-exe", line->hostExe, "Windows path taken as the host process's executable")
      ->type_name("PATH");
  app.add_option("--codepage", line->global.host.codePage,
                 "8-bit code page used to widen registrar scripts (default 949)")
      ->type_name("N")
      ->transform(WholeNumber(65535));
#endif
  std::string tags;
  for (const char* tag : kLanguageTags) tags += std::string(tags.empty() ? "" : ", ") + tag;
  app.add_option("--lang", line->lang, "user-interface language: " + tags)->type_name("TAG");
  app.add_flag("--json", line->global.json, "print exactly one JSON object");
  app.add_flag("--dry-run", line->global.host.dryRun,
               "run a writing command on a layer over the registry it would change and "
               "report what it would change; nothing is written, the shell is not notified, "
               "no module registers itself");
  app.add_option("--wait", line->waitSeconds,
                 "seconds to wait for a hive file another command holds (default 30)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0.0, 86400.0));

  AddCommands(app, &line->args);
  // Set after the commands, which would inherit it: their help stays short.
  app.footer(Footer());
}

}  // namespace tolvane::cli
