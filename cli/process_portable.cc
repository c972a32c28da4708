// The command's process on POSIX systems: argv as it is, bytes as they are.
#include <unistd.h>

#include <csignal>

#include "cli/process.h"

namespace tolvane::cli {

void PrepareStandardStreams() {
  // A file-size limit (ulimit -f) makes a write fail with its reason
  // instead of ending the process mid-save without a word; so does a reader
  // that closed its end of the pipe (`tolvane export | head -c1`), which
  // then costs the report, not the exit status that says what happened.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool CommandLineIsUtf16() { return false; }

bool WriteToConsole(std::FILE* /*stream*/, std::string_view /*utf8*/, bool* /*written*/) {
  return false;
}

bool IsTerminal(int descriptor) { return ::isatty(descriptor) != 0; }

}  // namespace tolvane::cli
