// The tolvane command: drives the library's exports and operations from a
// shell, against a hive file (or, on Windows, the system registry), and
// reports what each call returned, sent and changed.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "assoc/file_ext_association.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/report.h"

namespace tolvane::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

// A usage error or a failure of the tool itself: one line, exit 2.
int ToolError(const std::string& message) {
  std::fprintf(stderr, "tolvane: %s\n", message.c_str());
  return kExitUsage;
}

bool ParseDrive(const std::string& text, std::pair<char, std::string>* drive) {
  if (text.size() < 3 || text[1] != '=' || !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  *drive = {static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))), text.substr(2)};
  return true;
}

void Emit(const CallReport& report, bool json) {
  const std::string out = json ? ReportJson(report) : ReportText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app{"tolvane: registers the office suite's registry entries and file associations.\n"
               "Runs each export of the library against a hive file (or, on Windows, the\n"
               "system registry) and shows what it returned and changed."};
  app.require_subcommand(1);
  app.fallthrough();

  GlobalArgs global;
  std::string registryFile;
  std::vector<std::string> drives;
  std::string hostExe;
  app.add_option("--registry", registryFile,
                 "the registry store is this hive file (default: $TOLVANE_REGISTRY, else "
                 "$XDG_DATA_HOME/tolvane/registry.reg)");
  app.add_option("--drive", drives, "L=DIR: Windows drive L: is host directory DIR (repeatable)");
  app.add_option("--host-exe", hostExe, "Windows path taken as the host process's executable");
  app.add_option("--codepage", global.host.codePage,
                 "8-bit code page used to widen registrar scripts (default 949)");
  app.add_option("--lang", global.lang, "user-interface language: en-US, ko-KR, ja-JP, zh-TW, zh-CN");
  app.add_flag("--json", global.json, "print exactly one JSON object");

  CommandArgs args;
  AddCommands(app, &args);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    // Help of a subcommand arrives as a CallForHelp thrown from it.
    if (error.get_exit_code() == 0) {
      for (CLI::App* sub : app.get_subcommands()) std::cout << sub->help();
      return kExitOk;
    }
    return ToolError(error.what());
  }

  if (!registryFile.empty()) global.host.registryFile = registryFile;
  if (!hostExe.empty()) global.host.hostExe = hostExe;
  for (const std::string& text : drives) {
    std::pair<char, std::string> drive;
    if (!ParseDrive(text, &drive)) return ToolError("--drive wants L=DIR, not '" + text + "'");
    global.host.drives.push_back(drive);
  }
  if (global.host.codePage == 0) return ToolError("--codepage wants a code page number");

  CommandOutcome outcome = RunCommand(app, args, global);
  if (!outcome.error.empty()) return ToolError(outcome.error);
  if (outcome.raw) {
    std::fwrite(outcome.output.data(), 1, outcome.output.size(), stdout);
  } else {
    Emit(outcome.report, global.json);
  }
  return outcome.exitCode;
}

}  // namespace tolvane::cli

int main(int argc, char** argv) { return tolvane::cli::Main(argc, argv); }
