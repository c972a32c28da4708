#include "platform/hive/hive_parser.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/hive/hive_text.h"
#include "platform/root_keys.h"

namespace tolvane::hive_text {
namespace {

constexpr TextView kHeaderRegedit4 = u"REGEDIT4";
constexpr std::size_t kMaxDwordDigits = 8;
constexpr std::size_t kMaxTypeDigits = 8;
// Deepest key the registry holds, in levels below its root.
constexpr std::size_t kMaxKeyDepth = 512;

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

Status HiveParser::Emit() {
  if (applier_ == nullptr) return Status::Ok();
  return applier_->Apply(current_);
}

}  // namespace

Status ParseLines(std::string_view bytes, Encoding encoding, std::vector<HiveOperation> *operations,
                  HiveApplier *applier, TextServices *text, std::size_t *count) {
  HiveParser parser(bytes, encoding, operations, applier, text);
  Status status = parser.Run();
  if (count != nullptr) *count = parser.count();
  return status;
}

}  // namespace tolvane::hive_text
