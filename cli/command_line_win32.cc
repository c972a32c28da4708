// The Windows build's own part of the command line: the system registry,
// or a hive file instead for a dry run.
#include "cli/command_line.h"

namespace tolvane::cli {
namespace {

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

}  // namespace

std::span<const HelpSection> HelpSections() { return kSections; }

void AddStoreOptions(CLI::App& app, CommandLine* line) {
  app.add_option("--registry", line->registryFile,
                 "work on this hive file instead of the system registry (a dry run: the "
                 "machine is not touched and the shell is not notified)")
      ->type_name("FILE")
      ->check(PathArgument(true));
}

bool HostPathsAreWindowsPaths() { return true; }

}  // namespace tolvane::cli
