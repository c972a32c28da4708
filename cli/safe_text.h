// Text that reaches a terminal: names read from hives and scripts may hold
// control characters (ESC, BEL, CR, LF) that would move the cursor, clear
// the screen or split one message over two lines. Every text report and
// message passes through TerminalSafe; JSON output keeps the exact text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane::cli {

// utf8 with each C0 control character and DEL written as \xNN and each C1
// control character (U+0080 to U+009F) as \u00NN; everything else,
// non-ASCII letters included, unchanged.
std::string TerminalSafe(std::string_view utf8);

// The offset of the first byte of text that does not start or continue a
// well-formed UTF-8 character (an overlong form, a surrogate and a code
// point above U+10FFFF included); npos when text is all well-formed.
std::size_t FirstInvalidUtf8(std::string_view text);

// A command-line word (UTF-16, as Windows hands it over) as UTF-8, where an
// unpaired surrogate keeps its three-byte form (ED A0..BF xx) rather than
// becoming U+FFFD, so that FirstInvalidUtf8 finds it and the word is
// refused instead of reaching the store as a replacement character.
std::string ArgumentUtf8(std::u16string_view text);

}  // namespace tolvane::cli
