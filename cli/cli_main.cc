// The tolvane command: drives the library's exports and operations from a
// shell, against a hive file (or, on Windows, the system registry), and
// reports what each call returned, sent and changed.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "assoc/file_ext_association.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/output.h"
#include "cli/process.h"
#include "cli/report.h"
#include "cli/safe_text.h"

namespace tolvane::cli {
namespace {

bool ParseDrive(const std::string& text, std::pair<char, std::string>* drive) {
  if (text.size() < 3 || text[1] != '=' || !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  *drive = {static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))), text.substr(2)};
  return true;
}

// The message for a command line without a (known) command: which word
// was not understood, and the commands there are.
std::string MissingCommand(CLI::App& app, const std::vector<std::string>& words) {
  CLI::App* current = &app;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() > 1 && word[0] == '-') {
      // Skip an option's value given as the next word.
      const CLI::Option* option = current->get_option_no_throw(word.substr(0, word.find('=')));
      if (option == nullptr) option = app.get_option_no_throw(word.substr(0, word.find('=')));
      if (option != nullptr && option->get_items_expected_min() > 0 &&
          word.find('=') == std::string::npos) {
        ++i;
      }
      continue;
    }
    if (current->get_subcommands({}).empty()) return "";  // a command's own argument
    CLI::App* sub = nullptr;
    for (CLI::App* known : current->get_subcommands({})) {
      if (known->get_name() == word) sub = known;
    }
    if (sub == nullptr) {
      std::string names;
      for (const CLI::App* known : current->get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + known->get_name();
      }
      return "unknown command '" + word + "'; the commands are: " + names;
    }
    current = sub;
  }
  if (current->get_subcommands({}).empty()) return "";
  std::string names;
  for (const CLI::App* known : current->get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + known->get_name();
  }
  return "a command is needed: " + names + " (--help tells more)";
}

// The first argument the parser took that is not valid UTF-8, named as the
// command's help names it ("EXT", "--set"); empty when every one is valid.
// Text that is not UTF-8 would reach the store as replacement characters.
std::string InvalidArgument(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& value : option->results()) {
      const std::size_t at = FirstInvalidUtf8(value);
      if (at == std::string::npos) continue;
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02x", static_cast<unsigned char>(value[at]));
      // Words read as UTF-16: a three-byte surrogate here was unpaired there.
      if (CommandLineIsUtf16() && value[at] == '\xed' && at + 1 < value.size() &&
          static_cast<unsigned char>(value[at + 1]) >= 0xa0) {
        return option->get_name() + " holds an unpaired surrogate (at byte " +
               std::to_string(at + 1) + " of the argument)";
      }
      return option->get_name() + " is not valid UTF-8 (byte " + std::to_string(at + 1) +
             " of the argument is " + byte + ")";
    }
  }
  for (const CLI::App* command : app.get_subcommands()) {
    std::string invalid = InvalidArgument(*command);
    if (!invalid.empty()) return invalid;
  }
  return "";
}

// Whether the option was given; false for one this build does not take
// (the Windows build has no --drive, --host-exe or --codepage).
bool Given(const CLI::App& app, const std::string& name) {
  const CLI::Option* option = app.get_option_no_throw(name);
  return option != nullptr && option->count() > 0;
}

bool HasJsonFlag(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") return true;
  }
  return false;
}

}  // namespace

int Main(Output& output, int argc, char** argv, bool* saved) {
  CLI::App app;
  CommandLine line;
  DescribeCommandLine(app, &line);
  GlobalArgs& global = line.global;
  const CommandArgs& args = line.args;

  const std::vector<std::string> words = CommandLineWords(argc, argv);
  // Known before parsing, so that even a usage error comes as JSON.
  const bool json = std::find(words.begin(), words.end(), "--json") != words.end();
  if (words.empty()) return output.ToolError("cannot read the command line", json);
  std::vector<const char*> pointers;
  for (const std::string& word : words) pointers.push_back(word.c_str());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::CallForHelp&) {
    output.Write(stdout, app.help());
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    output.Write(stdout, app.help("", CLI::AppFormatMode::All));
    return kExitOk;
  } catch (const CLI::RequiredError& error) {
    if (app.get_subcommands().empty() || app.get_subcommands().front()->get_subcommands().empty()) {
      const std::string missing = MissingCommand(app, words);
      if (!missing.empty()) return output.ToolError(missing, json);
    }
    return output.ToolError(error.what(), json);
  } catch (const CLI::ParseError& error) {
    // Help of a command arrives as a CallForHelp thrown from it: the help of
    // the innermost command given ("script run --help" is run's).
    if (error.get_exit_code() == 0) {
      CLI::App* command = &app;
      while (!command->get_subcommands().empty()) command = command->get_subcommands().front();
      output.Write(stdout, command->help());
      return kExitOk;
    }
    return output.ToolError(error.what(), json);
  }

  if (const std::string invalid = InvalidArgument(app); !invalid.empty()) {
    return output.ToolError(invalid, json);
  }
  global.langGiven = !line.lang.empty();
  global.lang = line.lang.empty() ? DefaultUiLanguage()
                                  : ParseUiLanguageTag(line.lang).value_or(UiLanguage::kEnglish);
  if (app.count("--registry") > 0) {
    if (line.registryFile.empty()) return output.ToolError("--registry wants a file name", json);
    global.host.registryFile = line.registryFile;
  }
  global.host.wait = std::chrono::milliseconds(static_cast<std::int64_t>(line.waitSeconds * 1000));
  global.host.waitNotice = [&output](const std::string& notice) {
    output.Write(stderr, "tolvane: " + TerminalSafe(notice) + "\n");
  };
  global.host.saved = [saved] { *saved = true; };
  if (Given(app, "--host-exe")) {
    if (line.hostExe.empty()) return output.ToolError("--host-exe wants a Windows path", json);
    global.host.hostExe = line.hostExe;
  }
  for (const std::string& text : line.drives) {
    std::pair<char, std::string> drive;
    if (!ParseDrive(text, &drive)) {
      return output.ToolError("--drive wants L=DIR, not '" + text + "'", json);
    }
    global.host.drives.push_back(drive);
  }
  if (Given(app, "--codepage") && !CodePageIsKnown(global.host.codePage)) {
    return output.ToolError("--codepage " + std::to_string(global.host.codePage) +
                                " is not a code page this build knows",
                            json);
  }

  CommandOutcome outcome = RunCommand(app, args, global);
  if (!outcome.error.empty()) return output.ToolError(outcome.error, json);
  // A 32-bit build on 64-bit Windows reads and writes HKLM\Software in the
  // 32-bit view (WOW6432Node to 64-bit programs): the report says so.
  if (InRedirectedRegistryView(global.host)) {
    outcome.report.extra["registryView"] = "32-bit";
    const Text software = u"HKEY_LOCAL_MACHINE\\SOFTWARE";
    const bool named = std::any_of(
        outcome.report.changes.begin(), outcome.report.changes.end(), [&](const Change& change) {
          return change.key.size() >= software.size() &&
                 EqualsNoCase(TextView(change.key).substr(0, software.size()), software);
        });
    if (named && !global.json) {
      output.Write(stderr,
                   "tolvane: the keys under HKEY_LOCAL_MACHINE\\Software are in the 32-bit "
                   "registry view (HKEY_LOCAL_MACHINE\\Software\\WOW6432Node to 64-bit "
                   "programs)\n");
    }
  }
  if (outcome.raw) {
    output.Write(stdout, outcome.output);
  } else {
    output.Write(stdout, global.json ? ReportJson(outcome.report) : ReportText(outcome.report));
  }
  return outcome.exitCode;
}

// Runs the command and makes sure of its output: a write to stdout that
// failed (a full disk, a closed pipe) turns any status into 2 with the
// reason, or into 3 when the hive was saved before (the change stands, its
// report is lost); no exception ends the process without its one line
// (and, with --json, its one object).
int Run(int argc, char** argv) {
  Output output;
  int status = kExitUsage;
  bool saved = false;
  const bool json = HasJsonFlag(argc, argv);
  try {
    status = Main(output, argc, argv, &saved);
  } catch (const std::bad_alloc&) {
    status = output.ToolError("out of memory", json);
  } catch (const std::exception& error) {
    status = output.ToolError(std::string("internal error: ") + error.what(), json);
  } catch (...) {
    status = output.ToolError("internal error", json);
  }
  std::string reason;
  if (!output.Finish(&reason)) {
    if (saved) {
      output.Write(stderr,
                   "tolvane: the hive was saved, but its report was lost: " + reason + "\n");
      return kExitReportLost;
    }
    output.Write(stderr, "tolvane: " + reason + "\n");
    return kExitUsage;
  }
  return status;
}

}  // namespace tolvane::cli

int main(int argc, char** argv) {
  tolvane::cli::PrepareStandardStreams();
  try {
    return tolvane::cli::Run(argc, argv);
  } catch (...) {  // the report of an error itself ran out of memory
    std::fputs("tolvane: out of memory\n", stderr);
    return tolvane::cli::kExitUsage;
  }
}
