// Reading hive files: bytes to lines, lines to operations, operations
// applied to a store.
//
// The reader is on the path of every command of the portable build (the
// whole registry is loaded from its hive first), so it checks the encoding
// once, then decodes one line at a time into one reused buffer; names and
// strings are copied out in runs rather than unit by unit, and nothing is
// allocated per line.
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/hive/hive_format.h"
#include "platform/hive/hive_text.h"
#include "platform/root_keys.h"

namespace tolvane {
namespace {

using hive_text::Excerpt;
using hive_text::kHeader;

constexpr TextView kHeaderRegedit4 = u"REGEDIT4";
constexpr std::size_t kMaxDwordDigits = 8;
constexpr std::size_t kMaxTypeDigits = 8;
// Deepest key the registry holds, in levels below its root.
constexpr std::size_t kMaxKeyDepth = 512;

Status Malformed(std::size_t line, const std::string &problem) {
  return Status::Fail(StatusKind::kMalformed, "line " + std::to_string(line) + ": " + problem,
                      line);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

TextView Trim(TextView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Text as UTF-16LE bytes, appended.
void AppendUtf16Le(TextView text, std::string *bytes) {
  const std::size_t start = bytes->size();
  bytes->resize(start + text.size() * 2);
  char *out = bytes->data() + start;
  if constexpr (std::endian::native == std::endian::little) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size() * 2);
  } else {
    for (const char16_t unit : text) {
      *out++ = static_cast<char>(unit & 0xFF);
      *out++ = static_cast<char>(unit >> 8);
    }
  }
}

// ---------------------------------------------------------------------------
// Decoding: bytes to lines of UTF-16 units.
//
// The file is never decoded as a whole: each line is decoded into one
// reused buffer when the parser reaches it, so the memory a load touches
// stays the file's bytes and the operations made from them. Whatever would
// refuse the file as a whole (a bad encoding, an odd UTF-16 byte count) is
// checked before the first line is read, so such a file is refused for that
// reason wherever the problem sits.

enum class Encoding { kUtf16Le, kUtf8 };

// The 1-based line holding position `end` of a text whose lines end in
// CR LF, LF or CR. Only failures need it, so it counts afresh.
template <typename View>
std::size_t LineAt(View text, std::size_t end) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      ++line;
    }
  }
  return line;
}

char16_t Utf16LeUnit(const char *bytes) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                               (static_cast<unsigned char>(bytes[1]) << 8));
}

// UTF-16LE bytes (an even count) as units, written to `units` (room for
// half the bytes); returns how many.
std::size_t DecodeUtf16Le(std::string_view bytes, char16_t *units) {
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
Status CheckEncoding(std::string_view *text, Encoding *encoding) {
  std::string_view &bytes = *text;
  if (bytes.empty()) return Malformed(1, "the file is empty; the header line is missing");
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    bytes.remove_prefix(2);
    *encoding = Encoding::kUtf16Le;
    if (bytes.size() % 2 != 0) {
      // The stray byte sits on the last line, or on a new one after a break.
      Text units(bytes.size() / 2, u'\0');
      DecodeUtf16Le(bytes, units.data());
      return Malformed(LineAt(TextView(units), units.size()),
                       "the file ends in the middle of a UTF-16 character (odd byte count)");
    }
    return Status::Ok();
  }
  if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
    return Malformed(1,
                     "UTF-16 big-endian text is not supported; use UTF-16LE "
                     "with BOM or UTF-8");
  }
  if (bytes.size() >= 2 && byte(0) != 0 && byte(1) == 0) {
    return Malformed(1, "UTF-16 text without a byte-order mark");
  }
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    bytes.remove_prefix(3);
  }
  *encoding = Encoding::kUtf8;
  if (const std::size_t bad = FindIllFormedUtf8(bytes); bad != std::string_view::npos) {
    return Malformed(LineAt(bytes, bad), "invalid UTF-8 text");
  }
  return Status::Ok();
}

// How many operations a text can make at most, to size their list once:
// every operation has a line of its own, and all but the last line end in
// a line feed (CR-only files merely let the list grow).
std::size_t LineFeeds(std::string_view bytes, Encoding encoding) {
  std::size_t count = 0;
  if (encoding == Encoding::kUtf8) {
    for (const char c : bytes) count += c == '\n';
  } else {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      count += bytes[i] == '\n' && bytes[i + 1] == '\0';
    }
  }
  return count;
}

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

// ---------------------------------------------------------------------------
// Parsing.

// Reads through one line.
class Cursor {
 public:
  explicit Cursor(TextView text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  void Advance() { ++pos_; }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
  }
  bool Consume(TextView literal) {
    if (text_.substr(pos_).substr(0, literal.size()) != literal) return false;
    pos_ += literal.size();
    return true;
  }
  // Only blanks and an optional ';' comment remain.
  bool AtEndOrComment() {
    SkipBlanks();
    return AtEnd() || Peek() == u';';
  }
  // The units up to the next quote or backslash (or the end), passed over.
  TextView TakePlain() {
    const std::size_t start = pos_;
    while (!AtEnd() && text_[pos_] != u'"' && text_[pos_] != u'\\') ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  TextView text_;
  std::size_t pos_ = 0;
};

class HiveApplier;

class HiveParser {
 public:
  // Each operation read goes to the list, or with `applier` to it at once;
  // without a list one operation is reused for every line (and with neither
  // the text is only checked and its operations counted).
  // `text` widens a REGEDIT4 file's 8-bit text.
  HiveParser(std::string_view bytes, Encoding encoding, std::vector<HiveOperation> *operations,
             HiveApplier *applier = nullptr, TextServices *text = nullptr)
      : lines_(bytes, encoding), operations_(operations), applier_(applier), textServices_(text) {}

  Status Run() {
    if (!lines_.Next() || (lines_.line() != kHeader && lines_.line() != kHeaderRegedit4)) {
      return Malformed(1, "missing header: the first line must be exactly \"" +
                              Utf16ToUtf8(kHeader) + "\" (or \"REGEDIT4\")");
    }
    regedit4_ = lines_.line() == kHeaderRegedit4;
    while (lines_.Next()) {
      Status status = CheckNoNul();
      if (!status.ok()) return status;
      const TextView line = Trim(lines_.line());
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        status = ParseKeyLine(line);
      } else if (line.front() == u'@' || line.front() == u'"') {
        status = ParseValueLine(line);
      } else {
        status = Fail("unrecognised line \"" + Excerpt(line) +
                      "\": expected a [key], a value, a comment or a blank line");
      }
      if (status.ok()) status = Emit();
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }

  // How many operations the lines read so far made.
  std::size_t count() const { return count_; }

 private:
  enum class KeyState { kNone, kKey, kDeleted };

  // The operation the current line is read into: a new one at the end of
  // the list, or the reused one, emptied.
  HiveOperation &NewOperation() {
    ++count_;
    if (operations_ != nullptr) return operations_->emplace_back();
    current_.type = 0;
    current_.root = kNoKey;
    current_.path.clear();
    current_.name.clear();
    current_.data.clear();
    return current_;
  }

  // Hands the operation just read to the applier, if there is one.
  Status Emit();

  std::size_t LineNumber() const { return lines_.number(); }
  Status Fail(const std::string &problem) const { return Malformed(LineNumber(), problem); }

  Status CheckNoNul() const {
    if (lines_.hasNul()) return Fail("NUL character in the text");
    return Status::Ok();
  }

  Status ParseKeyLine(TextView line) {
    const std::size_t close = line.rfind(u']');
    if (close == TextView::npos) return Fail("key line without a closing ']'");
    Cursor after(line.substr(close + 1));
    if (!after.AtEndOrComment()) return Fail("text after the closing ']' of a key");
    TextView inner = line.substr(1, close - 1);
    const bool deletion = !inner.empty() && inner.front() == u'-';
    if (deletion) inner.remove_prefix(1);
    if (inner.empty()) return Fail("empty key name");
    const std::size_t slash = inner.find(u'\\');
    const TextView rootName = inner.substr(0, slash);
    // Files spell one root the same way line after line: the last lookup
    // answers most of them.
    if (rootName != lastRootName_) {
      const RegKey found = RootKeyFromName(rootName);
      if (found == kNoKey) return Fail("unknown root key \"" + Excerpt(rootName) + "\"");
      lastRootName_ = rootName;
      lastRoot_ = found;
    }
    // The operation is made first so that the path is built in its place;
    // a failure empties the whole list anyway.
    HiveOperation &op = NewOperation();
    op.kind = deletion ? HiveOperationKind::kDeleteTree : HiveOperationKind::kCreateKey;
    op.root = lastRoot_;
    op.line = LineNumber();
    const TextView rest = slash == TextView::npos ? TextView() : inner.substr(slash + 1);
    std::size_t depth = 0;
    bool gaps = false;  // doubled or trailing backslashes, which add nothing
    for (std::size_t start = 0, i = 0; i <= rest.size(); ++i) {
      if (i < rest.size() && rest[i] != u'\\') continue;
      const TextView part = rest.substr(start, i - start);
      start = i + 1;
      if (part.size() > kMaxKeyNameUnits) {
        return Fail("key name \"" + Excerpt(part) + "\" is longer than " +
                    std::to_string(kMaxKeyNameUnits) + " characters");
      }
      if (part.empty()) {
        gaps = true;
      } else if (++depth > kMaxKeyDepth) {
        return Fail("key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
      }
    }
    Text &path = op.path;
    if (!gaps) {
      path.assign(rest);
    } else {
      for (std::size_t start = 0, i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] != u'\\') continue;
        if (i > start) {
          if (!path.empty()) path += u'\\';
          path.append(rest.substr(start, i - start));
        }
        start = i + 1;
      }
    }
    if (deletion && path.empty()) return Fail("a root key cannot be deleted");
    keyState_ = deletion ? KeyState::kDeleted : KeyState::kKey;
    return Status::Ok();
  }

  // Reads a quoted text whose opening quote was consumed, up to and
  // including its closing quote, appending it unescaped to *out.
  Status ParseQuoted(Cursor &cursor, Text *out) const {
    while (true) {
      out->append(cursor.TakePlain());
      if (cursor.AtEnd()) return Fail("unterminated string: no closing quote on the line");
      const char16_t c = cursor.Peek();
      cursor.Advance();
      if (c == u'"') return Status::Ok();
      if (cursor.AtEnd()) return Fail("unterminated string: no closing quote on the line");
      const char16_t escaped = cursor.Peek();
      cursor.Advance();
      switch (escaped) {
        case u'\\':
        case u'"':
          out->push_back(escaped);
          break;
        case u'n':
          out->push_back(u'\n');
          break;
        case u'r':
          out->push_back(u'\r');
          break;
        default:
          return Fail("unknown escape \"\\" + Utf16ToUtf8(TextView(&escaped, 1)) +
                      "\" (only \\\\, \\\", \\n and \\r are allowed)");
      }
    }
  }

  // Reads comma-separated hex bytes to the end of the line. *continued is
  // set when the line ends in a continuation backslash. `continuedFrom` is
  // the line a continuation line belongs to, 0 on a value's first line.
  Status ParseHexList(Cursor &cursor, std::size_t continuedFrom, std::string *bytes,
                      bool *continued) const {
    *continued = false;
    cursor.SkipBlanks();
    if (cursor.Peek() == u'\\') return EndWithContinuation(cursor, continued);
    if (cursor.AtEndOrComment()) return Status::Ok();
    bool first = true;
    while (true) {
      const int high = HexValue(cursor.Peek());
      if (high < 0) {
        if (first && continuedFrom != 0) {
          return Fail("expected hex bytes continuing the value of line " +
                      std::to_string(continuedFrom));
        }
        return Fail("bad hex byte: expected one or two hex digits");
      }
      first = false;
      cursor.Advance();
      int value = high;
      if (const int low = HexValue(cursor.Peek()); low >= 0) {
        value = value * 16 + low;
        cursor.Advance();
        if (HexValue(cursor.Peek()) >= 0) return Fail("bad hex byte: more than two digits");
      }
      bytes->push_back(static_cast<char>(value));
      if (cursor.Peek() == u',') {
        cursor.Advance();
        cursor.SkipBlanks();
        if (cursor.Peek() == u'\\') return EndWithContinuation(cursor, continued);
        if (cursor.AtEndOrComment()) return Status::Ok();  // a trailing comma
        continue;
      }
      if (cursor.AtEndOrComment()) return Status::Ok();
      return Fail("bad hex data: expected ',' between bytes");
    }
  }

  Status EndWithContinuation(Cursor &cursor, bool *continued) const {
    cursor.Advance();
    cursor.SkipBlanks();
    if (!cursor.AtEnd()) return Fail("text after the continuation '\\' of a hex value");
    *continued = true;
    return Status::Ok();
  }

  // Reads hex bytes from the cursor and from the lines a trailing backslash
  // continues onto (blank and comment lines between them are skipped).
  Status ParseHexValue(Cursor &cursor, std::string *bytes) {
    const std::size_t valueLine = LineNumber();
    bool continued = false;
    Status status = ParseHexList(cursor, 0, bytes, &continued);
    while (status.ok() && continued) {
      TextView line;
      do {
        if (!lines_.Next()) {
          return Malformed(lines_.number(), "the file ends inside the hex value of line " +
                                                std::to_string(valueLine));
        }
        if (status = CheckNoNul(); !status.ok()) return status;
        line = Trim(lines_.line());
      } while (line.empty() || line.front() == u';');
      Cursor next(line);
      status = ParseHexList(next, valueLine, bytes, &continued);
    }
    return status;
  }

  Status ParseValueLine(TextView line) {
    if (keyState_ == KeyState::kNone) return Fail("value line before the first [key] line");
    if (keyState_ == KeyState::kDeleted) {
      return Fail("value line after a key deletion [-...]; values need a [key] line");
    }
    // Built in place: a failure empties the whole list anyway.
    HiveOperation &op = NewOperation();
    op.line = LineNumber();
    Cursor cursor(line);
    if (cursor.Peek() == u'@') {
      cursor.Advance();
    } else {
      cursor.Advance();
      if (Status status = ParseQuoted(cursor, &op.name); !status.ok()) return status;
    }
    cursor.SkipBlanks();
    if (!cursor.Consume(u"=")) return Fail("expected '=' after the value name");
    cursor.SkipBlanks();

    if (cursor.Peek() == u'-') {
      cursor.Advance();
      if (!cursor.AtEndOrComment()) return Fail("text after '-' of a value deletion");
      op.kind = HiveOperationKind::kDeleteValue;
    } else if (cursor.Peek() == u'"') {
      cursor.Advance();
      text_.clear();
      if (Status status = ParseQuoted(cursor, &text_); !status.ok()) return status;
      if (!cursor.AtEndOrComment()) return Fail("text after the closing quote of a string");
      op.kind = HiveOperationKind::kSetValue;
      op.type = kRegSz;
      text_.push_back(u'\0');
      AppendUtf16Le(text_, &op.data);
    } else if (cursor.Consume(u"dword:")) {
      cursor.SkipBlanks();
      std::uint32_t value = 0;
      std::size_t digits = 0;
      for (int d = HexValue(cursor.Peek()); d >= 0; d = HexValue(cursor.Peek())) {
        if (++digits > kMaxDwordDigits) return Fail("dword value with more than 8 hex digits");
        value = (value << 4) | static_cast<std::uint32_t>(d);
        cursor.Advance();
      }
      if (digits == 0 || !cursor.AtEndOrComment()) {
        return Fail("bad dword value: expected 1 to 8 hex digits");
      }
      op.kind = HiveOperationKind::kSetValue;
      op.type = kRegDword;
      const char little[4] = {
          static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
          static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
      op.data.assign(little, sizeof little);
    } else if (cursor.Consume(u"hex:")) {
      op.kind = HiveOperationKind::kSetValue;
      op.type = kRegBinary;
      if (Status status = ParseHexValue(cursor, &op.data); !status.ok()) return status;
    } else if (cursor.Consume(u"hex(")) {
      std::uint32_t type = 0;
      std::size_t digits = 0;
      for (int d = HexValue(cursor.Peek()); d >= 0; d = HexValue(cursor.Peek())) {
        if (++digits > kMaxTypeDigits) return Fail("value type with more than 8 hex digits");
        type = (type << 4) | static_cast<std::uint32_t>(d);
        cursor.Advance();
      }
      if (!cursor.Consume(u"):")) return Fail("bad value type: expected hex(N): with N in hex");
      op.kind = HiveOperationKind::kSetValue;
      op.type = type;
      if (Status status = ParseHexValue(cursor, &op.data); !status.ok()) return status;
      if (regedit4_ && (type == kRegExpandSz || type == kRegMultiSz)) return WidenNarrow(&op.data);
    } else {
      return Fail(
          "unrecognised value data: expected \"text\", dword:, hex:, "
          "hex(N): or -");
    }
    return Status::Ok();
  }

  // Widens 8-bit text whose strings NULs separate into the UTF-16 bytes
  // the registry holds, NULs kept where they were.
  Status WidenNarrow(std::string *data) {
    Text wide;
    const std::string_view bytes(*data);
    for (std::size_t start = 0; start < bytes.size();) {
      const std::size_t nul = std::min(bytes.find('\0', start), bytes.size());
      const std::string_view piece = bytes.substr(start, nul - start);
      Text part;
      if (textServices_ != nullptr && !piece.empty()) {
        if (textServices_->WidenAnsi(piece, &part) != kErrorSuccess) {
          return Fail("8-bit text of a hex(2) or hex(7) value that the code page cannot widen");
        }
      } else {
        for (const char byte : piece) {
          if (static_cast<unsigned char>(byte) >= 0x80) {
            return Fail("8-bit text of a hex(2) or hex(7) value needs a code page");
          }
          part.push_back(static_cast<char16_t>(byte));
        }
      }
      wide += part;
      if (nul < bytes.size()) wide.push_back(u'\0');
      start = nul + 1;
    }
    data->clear();
    AppendUtf16Le(wide, data);
    return Status::Ok();
  }

  LineReader lines_;
  std::vector<HiveOperation> *operations_;
  HiveApplier *applier_;
  HiveOperation current_;  // the reused operation, with an applier
  TextServices *textServices_;
  bool regedit4_ = false;
  KeyState keyState_ = KeyState::kNone;
  Text lastRootName_;  // the root as the last key line spelt it
  RegKey lastRoot_ = kNoKey;
  Text text_;  // a string value's text, reused from value to value
  std::size_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Applying.

std::string KeyDisplayName(RegKey root, const Text &path) {
  Text name(RootKeyName(root));
  if (!path.empty()) {
    name += u'\\';
    name += path;
  }
  return Excerpt(name);
}

std::string KeyDisplayName(const HiveOperation &op) { return KeyDisplayName(op.root, op.path); }

Status StoreFailure(const HiveOperation &op, const std::string &what, ErrorCode code) {
  return Status::Fail(
      StatusKind::kStore,
      "line " + std::to_string(op.line) + ": " + what + " (error " + std::to_string(code) +
          (code == kErrorNotEnoughMemory
               ? ": the keys' full paths would add up to more than a registry made from "
                 "input of this size may hold; deep keys are counted at every level"
               : "") +
          ")",
      op.line);
}

std::string ValueDisplayName(const HiveOperation &op) {
  return op.name.empty() ? std::string("the default value") : "value \"" + Excerpt(op.name) + "\"";
}

// A list the reader made never has it: a value with no key to act on.
Status WithoutKey(const HiveOperation &op) {
  return Status::Fail(
      StatusKind::kMalformed,
      "line " + std::to_string(op.line) + ": " + ValueDisplayName(op) + " follows no [key]",
      op.line);
}

// Applies operations one after another. The key of the last key operation
// stays open for the values after it, and for a later key operation naming
// the same key; the applier remembers which key that is, so the operation
// that named it need not outlive its turn.
class HiveApplier {
 public:
  explicit HiveApplier(RegistryStore &store) : store_(store), current_(store) {}

  Status Apply(const HiveOperation &op) {
    ErrorCode code = kErrorSuccess;
    switch (op.kind) {
      case HiveOperationKind::kCreateKey:
        if (open_ && root_ == op.root && path_ == op.path) break;
        open_ = false;
        code = store_.CreateKey(op.root, op.path.c_str(), kKeyWrite, current_.Receive(), nullptr);
        if (code != kErrorSuccess) {
          return StoreFailure(op, "cannot create key " + KeyDisplayName(op), code);
        }
        open_ = true;
        root_ = op.root;
        path_.assign(op.path);
        break;
      case HiveOperationKind::kDeleteTree:
        current_.Reset();
        open_ = false;
        code = store_.DeleteTree(op.root, op.path.c_str());
        if (code != kErrorSuccess && code != kErrorFileNotFound) {
          return StoreFailure(op, "cannot delete key " + KeyDisplayName(op), code);
        }
        break;
      case HiveOperationKind::kSetValue:
        if (op.data.size() > std::numeric_limits<std::uint32_t>::max()) {
          return StoreFailure(op, ValueDisplayName(op) + " is too large", kErrorInvalidParameter);
        }
        if (!open_) return WithoutKey(op);
        code = store_.SetValue(current_.get(), op.name.c_str(), op.type, op.data.data(),
                               static_cast<std::uint32_t>(op.data.size()));
        if (code != kErrorSuccess) {
          return StoreFailure(
              op, "cannot set " + ValueDisplayName(op) + " of " + KeyDisplayName(root_, path_),
              code);
        }
        break;
      case HiveOperationKind::kDeleteValue:
        if (!open_) return WithoutKey(op);
        code = store_.DeleteValue(current_.get(), op.name.c_str());
        if (code != kErrorSuccess && code != kErrorFileNotFound) {
          return StoreFailure(
              op, "cannot delete " + ValueDisplayName(op) + " of " + KeyDisplayName(root_, path_),
              code);
        }
        break;
    }
    return Status::Ok();
  }

 private:
  RegistryStore &store_;
  ScopedKey current_;
  bool open_ = false;  // current_ holds the key root_\path_
  RegKey root_ = kNoKey;
  Text path_;
};

Status HiveParser::Emit() {
  if (applier_ == nullptr) return Status::Ok();
  return applier_->Apply(current_);
}

}  // namespace

Status ParseHive(std::string_view bytes, std::vector<HiveOperation> *operations,
                 TextServices *text) {
  operations->clear();
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (status.ok()) {
    // Sized once from the line count, but never past one operation for
    // every 16 bytes of text: a file of blank lines makes no operations and
    // must not reserve 120 bytes for each of its lines.
    operations->reserve(std::min(LineFeeds(bytes, encoding), bytes.size() / 16) + 1);
    status = HiveParser(bytes, encoding, operations, nullptr, text).Run();
  }
  if (!status.ok()) operations->clear();
  return status;
}

Status ApplyHive(const std::vector<HiveOperation> &operations, RegistryStore &store) {
  HiveApplier applier(store);
  for (const HiveOperation &op : operations) {
    if (Status status = applier.Apply(op); !status.ok()) return status;
  }
  return Status::Ok();
}

Status CheckHive(std::string_view bytes, std::size_t *operationCount, TextServices *text) {
  *operationCount = 0;
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (!status.ok()) return status;
  HiveParser parser(bytes, encoding, nullptr, nullptr, text);
  status = parser.Run();
  if (status.ok()) *operationCount = parser.count();
  return status;
}

Status ParseAndApplyHive(std::string_view bytes, RegistryStore &store, TextServices *text) {
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (!status.ok()) return status;
  HiveApplier applier(store);
  return HiveParser(bytes, encoding, nullptr, &applier, text).Run();
}

}  // namespace tolvane
