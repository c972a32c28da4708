// The record executor's path helpers on untrusted texts. The input is a
// program of operations on one PathBuffer (heap-allocated, so a write past
// it is caught), each mirrored on a std::u16string: after every step the
// buffer must hold exactly the mirror's text, terminated, within 259 units,
// and a refused text must leave it unchanged.
//
// Input: repeated [op byte][operands]. A text operand is a length (a byte,
// plus one more bit from the next byte: 0 to 511 units) followed by its
// units, one byte each, except that 0xFF takes the next two bytes as one
// little-endian unit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "registration/path_buffer.h"

namespace tolvane::fuzz {
namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool more() const { return pos_ < size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  Text ReadText() {
    std::size_t length = Byte();
    length |= static_cast<std::size_t>(Byte() & 1) << 8;
    Text text;
    while (text.size() < length && more()) {
      const std::uint8_t b = Byte();
      if (b != 0xFF) {
        text.push_back(b);
      } else {
        const std::uint8_t lo = Byte();
        text.push_back(static_cast<char16_t>(lo | (Byte() << 8)));
      }
    }
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The parent-segment collapsing on a plain string, step by step.
void CollapseModel(Text& text) {
  static constexpr TextView kParent = u"\\..";
  std::size_t start = 0;
  while (true) {
    const std::size_t match = text.find(kParent, start);
    if (match == Text::npos || match == start) return;
    const std::size_t p = text.rfind(u'\\', match - 1);
    if (p == Text::npos || p < start) return;
    text.erase(p, match + kParent.size() - p);
    start = p;
  }
}

// "${App}" replaced left to right; the scan resumes after the inserted text.
Text ExpandModel(const Text& value, const Text& directory) {
  static constexpr TextView kToken = u"${App}";
  Text out;
  std::size_t pos = 0;
  while (true) {
    const std::size_t match = value.find(kToken, pos);
    if (match == Text::npos) return out + value.substr(pos);
    out += value.substr(pos, match - pos);
    out += directory;
    pos = match + kToken.size();
  }
}

void ExpectHolds(const PathBuffer& buffer, const Text& model, const char* step) {
  if (buffer.size() > kMaxPathChars || buffer.c_str()[buffer.size()] != u'\0' ||
      buffer.view() != model) {
    std::fprintf(stderr, "after %s: buffer %zu units, expected %zu\n", step, buffer.size(),
                 model.size());
    PropertyBroken("the path buffer does not hold the expected text");
  }
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  using namespace tolvane::fuzz;
  Input in(data, size);
  auto buffer = std::make_unique<PathBuffer>();
  auto expanded = std::make_unique<PathBuffer>();
  Text model;
  for (int steps = 0; in.more() && steps < 64; ++steps) {
    switch (in.Byte() % 8) {
      case 0: {
        const Text text = in.ReadText();
        const bool fits = text.size() <= kMaxPathChars;
        Check(buffer->Assign(text) == fits,
              "Assign accepted a text that does not fit, or refused one that does");
        if (fits) model = text;
        ExpectHolds(*buffer, model, "Assign");
        break;
      }
      case 1: {
        const Text text = in.ReadText();
        const bool fits = model.size() + text.size() <= kMaxPathChars;
        Check(buffer->Append(text) == fits,
              "Append accepted a text that does not fit, or refused one that does");
        if (fits) model += text;
        ExpectHolds(*buffer, model, "Append");
        break;
      }
      case 2: {
        const bool needs = !model.empty() && model.back() != u'\\';
        const bool fits = !needs || model.size() < kMaxPathChars;
        Check(EnsureTrailingBackslash(*buffer) == fits, "EnsureTrailingBackslash answered wrongly");
        if (needs && fits) model += u'\\';
        ExpectHolds(*buffer, model, "EnsureTrailingBackslash");
        break;
      }
      case 3:
        StripTrailingBackslash(*buffer);
        if (!model.empty() && model.back() == u'\\') model.pop_back();
        ExpectHolds(*buffer, model, "StripTrailingBackslash");
        break;
      case 4:
        CollapseParentSegments(*buffer);
        CollapseModel(model);
        ExpectHolds(*buffer, model, "CollapseParentSegments");
        break;
      case 5: {
        // The buffer's text is the directory, as the executor expands values.
        const Text value = in.ReadText();
        const Text want = ExpandModel(value, model);
        const bool fits = want.size() <= kMaxPathChars;
        Check(ExpandAppToken(value, buffer->view(), expanded.get()) == fits,
              "ExpandAppToken accepted a result that does not fit, or refused one that does");
        ExpectHolds(*expanded, fits ? want : Text(), "ExpandAppToken");
        ExpectHolds(*buffer, model, "ExpandAppToken (directory)");
        break;
      }
      case 6: {
        const std::size_t n = in.Byte() | static_cast<std::size_t>(in.Byte() & 1) << 8;
        if (n <= model.size()) {
          buffer->Truncate(n);
          model.resize(n);
        }
        ExpectHolds(*buffer, model, "Truncate");
        break;
      }
      case 7: {
        const std::size_t from = in.Byte() | static_cast<std::size_t>(in.Byte() & 1) << 8;
        const std::size_t to = in.Byte() | static_cast<std::size_t>(in.Byte() & 1) << 8;
        buffer->Erase(from, to);
        if (from < to && from < model.size()) model.erase(from, std::min(to, model.size()) - from);
        ExpectHolds(*buffer, model, "Erase");
        break;
      }
    }
  }
  return 0;
}
