// The portable build's own part of the command line: a hive file is the
// registry, and Windows drives, the host executable and the code page are
// given on the command line.
#include "cli/command_line.h"
#include "cli/whole_number.h"

namespace tolvane::cli {
namespace {

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

}  // namespace

std::span<const HelpSection> HelpSections() { return kSections; }

void AddStoreOptions(CLI::App& app, CommandLine* line) {
  app.add_option("--registry", line->registryFile,
                 "the registry store is this hive file (default: $TOLVANE_REGISTRY, else "
                 "$XDG_DATA_HOME/tolvane/registry.reg)")
      ->type_name("FILE");
  app.add_option("--drive", line->drives, "Windows drive L: is host directory DIR (repeatable)")
      ->type_name("L=DIR");
  app.add_option("--host-exe", line->hostExe, "Windows path taken as the host process's executable")
      ->type_name("PATH");
  app.add_option("--codepage", line->global.host.codePage,
                 "8-bit code page used to widen registrar scripts (default 949)")
      ->type_name("N")
      ->transform(WholeNumber(65535));
}

bool HostPathsAreWindowsPaths() { return false; }

}  // namespace tolvane::cli
