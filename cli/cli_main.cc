// The tolvane command: drives the library's exports and operations from a
// shell, against a hive file (or, on Windows, the system registry), and
// reports what each call returned, sent and changed.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

#include "assoc/file_ext_association.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/report.h"
#ifdef _WIN32
#include "platform/win32/wide.h"
#endif

namespace tolvane::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

// Writes UTF-8 text to stream unchanged: the bytes of a pipe or file are
// the same on every build. On Windows a console is given the text as UTF-16,
// whatever its code page; a pipe or file gets the bytes in binary mode (no
// CR is added before LF).
void Write(std::FILE* stream, std::string_view utf8) {
#ifdef _WIN32
  const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring wide = win32::WideCopy(Utf8ToUtf16(utf8));
    std::size_t done = 0;
    while (done < wide.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!::WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) {
        return;
      }
      done += written;
    }
    return;
  }
#endif
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

// A usage error or a failure of the tool itself: one line, exit 2.
int ToolError(const std::string& message) {
  Write(stderr, "tolvane: " + message + "\n");
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
  Write(stdout, json ? ReportJson(report) : ReportText(report));
}

// The command line as UTF-8 words: argv as it is on POSIX; on Windows the
// process's wide command line, split as the C runtime splits it, so that no
// character is lost to the ANSI code page.
std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> words;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int count = 0;
  struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const { ::LocalFree(p); }
  };
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (wide == nullptr) return words;
  for (int i = 0; i < count; ++i) {
    const wchar_t* word = wide.get()[i];
    words.push_back(Utf16ToUtf8(win32::TextOf(word, std::wcslen(word))));
  }
#else
  words.assign(argv, argv + argc);
#endif
  return words;
}

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app{"tolvane: registers the office suite's registry entries and file associations.\n"
               "Runs each export of the library against a hive file (or, on Windows, the\n"
               "system registry) and shows what it returned and changed."};
  app.require_subcommand(1);
  app.fallthrough();
  // Options are spelled the same on every build; a word starting with '/' is
  // an argument (a path), never an option.
  app.allow_windows_style_options(false);

  GlobalArgs global;
  std::string registryFile;
  std::vector<std::string> drives;
  std::string hostExe;
#ifdef _WIN32
  app.add_option("--registry", registryFile,
                 "work on this hive file instead of the system registry (a dry run: the "
                 "machine is not touched and the shell is not notified)");
#else
  app.add_option("--registry", registryFile,
                 "the registry store is this hive file (default: $TOLVANE_REGISTRY, else "
                 "$XDG_DATA_HOME/tolvane/registry.reg)");
#endif
  app.add_option("--drive", drives, "L=DIR: Windows drive L: is host directory DIR (repeatable)");
  app.add_option("--host-exe", hostExe, "Windows path taken as the host process's executable");
  app.add_option("--codepage", global.host.codePage,
                 "8-bit code page used to widen registrar scripts (default " +
                     std::to_string(kScriptCodePage) + ")");
  app.add_option("--lang", global.lang, "user-interface language: en-US, ko-KR, ja-JP, zh-TW, zh-CN");
  app.add_flag("--json", global.json, "print exactly one JSON object");

  CommandArgs args;
  AddCommands(app, &args);

  const std::vector<std::string> words = Arguments(argc, argv);
  if (words.empty()) return ToolError("cannot read the command line");
  std::vector<const char*> pointers;
  for (const std::string& word : words) pointers.push_back(word.c_str());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::CallForHelp&) {
    Write(stdout, app.help());
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    Write(stdout, app.help("", CLI::AppFormatMode::All));
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    // Help of a subcommand arrives as a CallForHelp thrown from it.
    if (error.get_exit_code() == 0) {
      for (CLI::App* sub : app.get_subcommands()) Write(stdout, sub->help());
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
    Write(stdout, outcome.output);
  } else {
    Emit(outcome.report, global.json);
  }
  return outcome.exitCode;
}

}  // namespace tolvane::cli

int main(int argc, char** argv) {
#ifdef _WIN32
  // Output is UTF-8 bytes, written as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return tolvane::cli::Main(argc, argv);
}
