// A fixed buffer of 260 UTF-16 units (259 characters and a terminator) for
// directory, path and value texts, and the text operations the record
// executor applies to it. A text that does not fit is refused and leaves
// the buffer as it was: nothing is ever truncated or written past the end.
#pragma once

#include <array>
#include <cstddef>

#include "platform/text.h"

namespace tolvane {

class PathBuffer {
 public:
  PathBuffer() { units_[0] = u'\0'; }

  // Replaces the text; false (buffer unchanged) when it does not fit.
  bool Assign(TextView text);
  // Appends; false (buffer unchanged) when the result would not fit.
  bool Append(TextView text);

  const char16_t* c_str() const { return units_.data(); }
  TextView view() const { return TextView(units_.data(), length_); }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  char16_t back() const { return length_ == 0 ? u'\0' : units_[length_ - 1]; }

  // Keeps the first n units (n <= size()).
  void Truncate(std::size_t n);
  // Removes units [from, to) and moves the rest down.
  void Erase(std::size_t from, std::size_t to);

 private:
  std::array<char16_t, kPathBufferUnits> units_;
  std::size_t length_ = 0;
};

// Appends a backslash unless the (non-empty) text ends with one; false when
// the backslash does not fit.
bool EnsureTrailingBackslash(PathBuffer& text);

// Removes one trailing backslash, if present; a second one before it stays.
void StripTrailingBackslash(PathBuffer& text);

// Removes each "\.." together with the component before it, left to right:
// C:\a\..\b\..\c becomes C:\c. The search restarts where the removed
// component began, so a parent segment directly after a removed one ends
// the collapsing (C:\a\b\..\..\c becomes C:\a\..\c), as does a "\.." with
// no component before it (C:\..\x stays as it is). The match does not look
// past the two dots: C:\a\..x becomes C:x.
void CollapseParentSegments(PathBuffer& text);

// Writes value into *out with every "${App}" (exact, case counts) replaced
// by directory; the scan resumes after each inserted directory, so a
// directory containing the token is not expanded again. False when the
// result does not fit (then *out is empty).
bool ExpandAppToken(TextView value, TextView directory, PathBuffer* out);

}  // namespace tolvane
