// The command's process on each build (process_portable.cc, process_win32.cc,
// chosen by the build): the words of its command line, its standard streams
// and whether they are a terminal. The shared command code asks these
// instead of knowing the system.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::cli {

// Sets the standard streams up before anything is written: output is UTF-8
// bytes, written as they are, and a failed write (a file-size limit, a
// reader that closed its pipe) is answered with its reason instead of
// ending the process.
void PrepareStandardStreams();

// The command line as UTF-8 words, the program's name first: argv as it
// is on POSIX; on Windows the process's wide command line, split as the C
// runtime splits it, so that no character is lost to the ANSI code page.
// Empty when the command line cannot be read.
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Whether the words came from UTF-16 (Windows): three bytes that encode a
// surrogate were then an unpaired surrogate, not bytes of their own.
bool CommandLineIsUtf16();

// When stream is a console (Windows only), writes utf8 to it as UTF-16,
// whatever its code page, sets *written to whether all of it was written
// and answers true. False for anything else: the bytes go out as they are.
bool WriteToConsole(std::FILE* stream, std::string_view utf8, bool* written);

// Whether the descriptor is a terminal a person types at. On Windows only
// a console is: the NUL device and serial ports are not.
bool IsTerminal(int descriptor);

}  // namespace tolvane::cli
