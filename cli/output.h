// The command's own output: UTF-8 text to stdout or stderr with every write
// checked, the final flush and close checked too, and tool errors as one
// line on stderr (and, with --json, as one object on stdout).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tolvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The hive was saved, but the report of what changed could not be written.
inline constexpr int kExitReportLost = 3;

// One run's output. Not copyable: it remembers the first write that failed.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Writes utf8 to stream unchanged: the bytes of a pipe or file are the
  // same on every build. On Windows a console is given the text as UTF-16,
  // whatever its code page. False when the text could not be written whole.
  bool Write(std::FILE* stream, std::string_view utf8);

  // Flushes and closes stdout. False with the reason when anything written
  // to it was lost (a full disk, a closed pipe, /dev/full).
  bool Finish(std::string* reason);

  // Reports a usage error or a failure of the tool itself: "tolvane:
  // message" on stderr and, when json is set, {"error": message, "exit": 2}
  // on stdout. Answers the exit status, 2.
  int ToolError(const std::string& message, bool json);

 private:
  void NoteStdoutError(int error);

  int firstStdoutError_ = 0;
};

}  // namespace tolvane::cli
