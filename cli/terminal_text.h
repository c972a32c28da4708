// Text measured and fitted in terminal cells, for the terminal dialog.
// Widths are display cells as wcwidth counts them in the current locale (a
// Korean syllable takes two); a character it cannot measure takes none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tolvane::cli {

// UTF-16 to the terminal's wide characters (code points).
std::wstring WideOf(TextView text);

int CellWidth(wchar_t c);
int DisplayWidth(std::wstring_view text);

// text when it fits width cells; otherwise its longest head that fits with
// an ellipsis after it (empty when width is below 1).
std::wstring FitWithEllipsis(std::wstring_view text, int width);

// text broken into lines of at most width cells, at each line break and
// between words: a word (a run without spaces, such as a file name) moves
// whole to the next line, and only a word wider than a line is cut. The
// spaces at a break are dropped; those that open a paragraph are kept.
std::vector<std::wstring> WrapWords(std::wstring_view text, int width);

}  // namespace tolvane::cli
