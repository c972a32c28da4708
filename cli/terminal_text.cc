#include "cli/terminal_text.h"

#include <algorithm>
#include <cwchar>

namespace tolvane::cli {
namespace {

constexpr wchar_t kEllipsis = L'\u2026';

// The longest head of text that fits width cells.
std::size_t HeadFitting(std::wstring_view text, int width) {
  int used = 0;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    used += CellWidth(text[i]);
    if (used > width) break;
  }
  return i;
}

void WrapParagraph(std::wstring_view text, int width, std::vector<std::wstring>* lines) {
  std::wstring line;
  int lineWidth = 0;
  bool opening = true;  // nothing of the paragraph placed yet
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t spacesEnd = text.find_first_not_of(L' ', i);
    const std::wstring_view spaces =
        text.substr(i, spacesEnd == text.npos ? text.npos : spacesEnd - i);
    i += spaces.size();
    if (i >= text.size()) break;
    const std::size_t wordEnd = std::min(text.find(L' ', i), text.size());
    std::wstring_view word = text.substr(i, wordEnd - i);
    i = wordEnd;
    const int spacesWidth = (line.empty() && !opening) ? 0 : DisplayWidth(spaces);
    const int wordWidth = DisplayWidth(word);
    if (lineWidth + spacesWidth + wordWidth <= width) {
      if (spacesWidth > 0) line += spaces;
      line += word;
      lineWidth += spacesWidth + wordWidth;
      opening = false;
      continue;
    }
    if (!line.empty()) lines->push_back(std::move(line));
    line.clear();
    opening = false;
    // A word wider than a whole line is cut where the line ends.
    while (DisplayWidth(word) > width) {
      const std::size_t head = std::max<std::size_t>(1, HeadFitting(word, width));
      lines->emplace_back(word.substr(0, head));
      word.remove_prefix(head);
    }
    line = word;
    lineWidth = DisplayWidth(word);
  }
  lines->push_back(std::move(line));
}

}  // namespace

std::wstring WideOf(TextView text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

int CellWidth(wchar_t c) { return std::max(0, ::wcwidth(c)); }

int DisplayWidth(std::wstring_view text) {
  int width = 0;
  for (const wchar_t c : text) width += CellWidth(c);
  return width;
}

std::wstring FitWithEllipsis(std::wstring_view text, int width) {
  if (DisplayWidth(text) <= width) return std::wstring(text);
  if (width < 1) return {};
  std::wstring head(text.substr(0, HeadFitting(text, width - CellWidth(kEllipsis))));
  return head + kEllipsis;
}

std::vector<std::wstring> WrapWords(std::wstring_view text, int width) {
  std::vector<std::wstring> lines;
  if (text.empty() || width < 1) return lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(L'\n', start);
    WrapParagraph(text.substr(start, end == text.npos ? text.npos : end - start), width, &lines);
    if (end == text.npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace tolvane::cli
