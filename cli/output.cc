#include "cli/output.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <nlohmann/json.hpp>

#include "cli/process.h"
#include "cli/safe_text.h"
#include "platform/text.h"

namespace tolvane::cli {

void Output::NoteStdoutError(int error) {
  if (firstStdoutError_ == 0) firstStdoutError_ = error != 0 ? error : EIO;
}

bool Output::Write(std::FILE* stream, std::string_view utf8) {
  if (bool written = false; WriteToConsole(stream, utf8, &written)) {
    if (!written && stream == stdout) NoteStdoutError(EIO);
    return written;
  }
  errno = 0;
  if (std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size()) return true;
  if (stream == stdout) NoteStdoutError(errno);
  return false;
}

bool Output::Finish(std::string* reason) {
  errno = 0;
  if (std::fflush(stdout) != 0) NoteStdoutError(errno);
  if (std::ferror(stdout)) NoteStdoutError(errno);
  errno = 0;
  if (std::fclose(stdout) != 0) NoteStdoutError(errno);
  if (firstStdoutError_ == 0) return true;
  *reason = "cannot write the output: " + std::generic_category().message(firstStdoutError_);
  return false;
}

int Output::ToolError(const std::string& message, bool json) {
  Write(stderr, "tolvane: " + TerminalSafe(message) + "\n");
  if (json) {
    const nlohmann::json error = {{"error", message}, {"exit", kExitUsage}};
    Write(stdout, error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  }
  return kExitUsage;
}

}  // namespace tolvane::cli
