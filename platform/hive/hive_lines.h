// Hive text as lines: the encoding of a file settled and checked as a
// whole, then its lines decoded one at a time. Internal to platform/hive.
//
// The file is never decoded as a whole: each line is decoded into one
// reused buffer when the parser reaches it, so the memory a load touches
// stays the file's bytes and the operations made from them. Whatever would
// refuse the file as a whole (a bad encoding, an odd UTF-16 byte count) is
// checked before the first line is read, so such a file is refused for that
// reason wherever the problem sits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/text.h"

namespace tolvane::hive_text {

// A file refused at `line` (1-based) for `problem`.
Status Malformed(std::size_t line, const std::string &problem);

enum class Encoding { kUtf16Le, kUtf8 };

inline char16_t Utf16LeUnit(const char *bytes) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                               (static_cast<unsigned char>(bytes[1]) << 8));
}

// UTF-16LE bytes (an even count) as units, written to `units` (room for
// half the bytes); returns how many.
inline std::size_t DecodeUtf16Le(std::string_view bytes, char16_t *units) {
  const std::size_t count = bytes.size() / 2;
  if constexpr (std::endian::native == std::endian::little) {
    if (count != 0) std::memcpy(units, bytes.data(), count * 2);
  } else {
    for (std::size_t i = 0; i < count; ++i) units[i] = Utf16LeUnit(bytes.data() + 2 * i);
  }
  return count;
}

// Settles the encoding from the byte-order mark and the first bytes, and
// checks the whole text: *text is left at the first line's first byte.
Status CheckEncoding(std::string_view *text, Encoding *encoding);

// How many operations a text can make at most, to size their list once:
// every operation has a line of its own, and all but the last line end in
// a line feed (CR-only files merely let the list grow).
std::size_t LineFeeds(std::string_view bytes, Encoding encoding);

// Whether any of the units in the eight bytes at `bytes` (1: bytes, 2:
// little-endian byte pairs read on a little-endian machine) is below 14,
// that is might be a line break or a NUL. A borrow into the top bit of a
// unit that was below 14 shows through `~word`, one from a larger unit
// does not.
template <std::size_t kUnit>
bool AnyUnitBelow14(const char *bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  constexpr std::uint64_t kOnes = kUnit == 1 ? 0x0101010101010101u : 0x0001000100010001u;
  constexpr std::uint64_t kHighs = kOnes << (8 * kUnit - 1);
  return ((word - kOnes * 14) & ~word & kHighs) != 0;
}

// Walks the text line by line, splitting at CR LF, LF or CR; a break at the
// very end starts no new line. The same pass notes a NUL in the line, which
// no line may hold.
class LineReader {
 public:
  LineReader(std::string_view bytes, Encoding encoding) : bytes_(bytes), encoding_(encoding) {}

  // Moves to the next line; false at the end of the text.
  bool Next() {
    return encoding_ == Encoding::kUtf16Le ? NextIn<Encoding::kUtf16Le>()
                                           : NextIn<Encoding::kUtf8>();
  }

  // The current line: valid until the next call of Next.
  TextView line() const { return line_; }
  bool hasNul() const { return hasNul_; }
  // 1-based number of the current line; after the end, the number of lines.
  std::size_t number() const { return number_; }

 private:
  template <Encoding kEncoding>
  bool NextIn() {
    constexpr std::size_t kUnit = kEncoding == Encoding::kUtf16Le ? 2 : 1;
    const std::size_t size = bytes_.size() / kUnit;
    if (pos_ >= size) return false;
    const char *data = bytes_.data();
    const auto at = [data](std::size_t i) -> char16_t {
      if constexpr (kUnit == 2) return Utf16LeUnit(data + 2 * i);
      return static_cast<unsigned char>(data[i]);
    };
    std::size_t end = pos_;
    hasNul_ = false;
    for (; end < size; ++end) {
      // Most units are none of the three looked for (all below 14): eight
      // bytes are passed over at once while none of their units is.
      if constexpr (kUnit == 1 || std::endian::native == std::endian::little) {
        constexpr std::size_t kPerWord = 8 / kUnit;
        while (end + kPerWord <= size && !AnyUnitBelow14<kUnit>(data + end * kUnit)) {
          end += kPerWord;
        }
        if (end >= size) break;
      }
      const char16_t c = at(end);
      if (c > u'\r') continue;
      if (c == u'\r' || c == u'\n') break;
      if (c == u'\0') hasNul_ = true;
    }
    // The buffer only grows, so a long line after short ones costs no
    // clearing of the units it is about to overwrite anyway.
    const std::string_view raw = bytes_.substr(pos_ * kUnit, (end - pos_) * kUnit);
    if constexpr (kUnit == 2) {
      if (buffer_.size() < end - pos_) buffer_.resize(end - pos_);
      line_ = TextView(buffer_.data(), DecodeUtf16Le(raw, buffer_.data()));
    } else {
      // The whole text was checked, so the line decodes; clearing keeps
      // the buffer's room.
      buffer_.clear();
      Utf8ToUtf16Strict(raw, &buffer_);
      line_ = buffer_;
    }
    if (end + 1 < size && at(end) == u'\r' && at(end + 1) == u'\n') ++end;
    pos_ = end + 1;
    ++number_;
    return true;
  }

  std::string_view bytes_;
  Encoding encoding_;
  std::size_t pos_ = 0;  // in units of the encoding: bytes or byte pairs
  Text buffer_;          // the decoded units of the current line, and room
  TextView line_;
  bool hasNul_ = false;
  std::size_t number_ = 0;
};

}  // namespace tolvane::hive_text
