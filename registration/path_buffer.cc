#include "registration/path_buffer.h"

#include <algorithm>

namespace tolvane {

bool PathBuffer::Assign(TextView text) {
  if (text.size() > kMaxPathChars) return false;
  std::copy(text.begin(), text.end(), units_.begin());
  length_ = text.size();
  units_[length_] = u'\0';
  return true;
}

bool PathBuffer::Append(TextView text) {
  if (text.size() > kMaxPathChars - length_) return false;
  std::copy(text.begin(), text.end(), units_.begin() + static_cast<std::ptrdiff_t>(length_));
  length_ += text.size();
  units_[length_] = u'\0';
  return true;
}

void PathBuffer::Truncate(std::size_t n) {
  if (n >= length_) return;
  length_ = n;
  units_[length_] = u'\0';
}

void PathBuffer::Erase(std::size_t from, std::size_t to) {
  if (from >= to || from >= length_) return;
  to = std::min(to, length_);
  std::copy(units_.begin() + static_cast<std::ptrdiff_t>(to),
            units_.begin() + static_cast<std::ptrdiff_t>(length_) + 1,
            units_.begin() + static_cast<std::ptrdiff_t>(from));
  length_ -= to - from;
}

bool EnsureTrailingBackslash(PathBuffer& text) {
  if (text.empty() || text.back() == u'\\') return true;
  return text.Append(u"\\");
}

void StripTrailingBackslash(PathBuffer& text) {
  if (!text.empty() && text.back() == u'\\') text.Truncate(text.size() - 1);
}

void CollapseParentSegments(PathBuffer& text) {
  static constexpr TextView kParent = u"\\..";
  std::size_t start = 0;
  while (true) {
    const TextView view = text.view();
    const std::size_t match = view.find(kParent, start);
    if (match == TextView::npos || match == start) return;
    // The nearest backslash before the match, not before start.
    std::size_t p = match;
    bool found = false;
    while (p > start) {
      --p;
      if (view[p] == u'\\') {
        found = true;
        break;
      }
    }
    if (!found) return;  // nothing to remove before this "\..": use the text as it stands
    text.Erase(p, match + kParent.size());
    start = p;
  }
}

bool ExpandAppToken(TextView value, TextView directory, PathBuffer* out) {
  static constexpr TextView kToken = u"${App}";
  out->Assign(u"");
  std::size_t pos = 0;
  while (pos <= value.size()) {
    const std::size_t match = value.find(kToken, pos);
    const TextView plain =
        value.substr(pos, match == TextView::npos ? TextView::npos : match - pos);
    if (!out->Append(plain)) break;
    if (match == TextView::npos) return true;
    if (!out->Append(directory)) break;
    pos = match + kToken.size();
  }
  out->Assign(u"");
  return false;
}

}  // namespace tolvane
