// Reading hive files: bytes to lines, lines to operations, operations
// applied to a store.
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

HiveStatus Malformed(std::size_t line, const std::string &problem) {
  return HiveStatus::Fail(HiveError::kMalformed, "line " + std::to_string(line) + ": " + problem,
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

// ---------------------------------------------------------------------------
// Decoding: bytes to lines of UTF-16 units.

// Splits at CR LF, LF or CR. A break at the very end starts no new line.
template <typename View, typename Line>
void SplitLines(View text, std::vector<Line> *lines) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines->emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines->emplace_back(text.substr(start));
}

// Strict UTF-8: overlong forms, surrogates and truncated sequences fail.
bool DecodeUtf8(std::string_view bytes, Text *out) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    char32_t cp = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
      cp = lead;
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1F;
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0F;
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      cp = lead & 0x07;
      length = 4;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return true;
}

HiveStatus DecodeLines(std::string_view bytes, std::vector<Text> *lines) {
  lines->clear();
  if (bytes.empty()) return Malformed(1, "the file is empty; the header line is missing");
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    bytes.remove_prefix(2);
    Text units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      units.push_back(static_cast<char16_t>(byte(i) | (byte(i + 1) << 8)));
    }
    SplitLines(TextView(units), lines);
    if (bytes.size() % 2 != 0) {
      // The stray byte sits on the last line, or on a new one after a break.
      const bool afterBreak = units.empty() || units.back() == u'\r' || units.back() == u'\n';
      const std::size_t line = lines->size() + (afterBreak ? 1 : 0);
      lines->clear();
      return Malformed(line, "the file ends in the middle of a UTF-16 character (odd byte count)");
    }
    return HiveStatus::Ok();
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
  std::vector<std::string_view> raw;
  SplitLines(bytes, &raw);
  lines->reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    Text line;
    if (!DecodeUtf8(raw[i], &line)) {
      lines->clear();
      return Malformed(i + 1, "invalid UTF-8 text");
    }
    lines->push_back(std::move(line));
  }
  return HiveStatus::Ok();
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

 private:
  TextView text_;
  std::size_t pos_ = 0;
};

class HiveParser {
 public:
  HiveParser(const std::vector<Text> &lines, std::vector<HiveOperation> *operations)
      : lines_(lines), operations_(operations) {}

  HiveStatus Run() {
    if (lines_.empty() || (lines_[0] != kHeader && lines_[0] != kHeaderRegedit4)) {
      return Malformed(1, "missing header: the first line must be exactly \"" +
                              Utf16ToUtf8(kHeader) + "\" (or \"REGEDIT4\")");
    }
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      HiveStatus status = CheckNoNul();
      if (!status.ok()) return status;
      const TextView line = Trim(lines_[index_]);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        status = ParseKeyLine(line);
      } else if (line.front() == u'@' || line.front() == u'"') {
        status = ParseValueLine(line);
      } else {
        status = Fail("unrecognised line \"" + Excerpt(line) +
                      "\": expected a [key], a value, a comment or a blank line");
      }
      if (!status.ok()) return status;
    }
    return HiveStatus::Ok();
  }

 private:
  enum class KeyState { kNone, kKey, kDeleted };

  std::size_t LineNumber() const { return index_ + 1; }
  HiveStatus Fail(const std::string &problem) const { return Malformed(LineNumber(), problem); }

  HiveStatus CheckNoNul() const {
    if (lines_[index_].find(u'\0') != Text::npos) return Fail("NUL character in the text");
    return HiveStatus::Ok();
  }

  HiveStatus ParseKeyLine(TextView line) {
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
    const RegKey root = RootKeyFromName(rootName);
    if (root == kNoKey) return Fail("unknown root key \"" + Excerpt(rootName) + "\"");
    Text path;
    std::size_t depth = 0;
    TextView rest = slash == TextView::npos ? TextView() : inner.substr(slash + 1);
    while (!rest.empty()) {
      const std::size_t next = rest.find(u'\\');
      const TextView part = rest.substr(0, next);
      if (part.size() > kMaxKeyNameUnits) {
        return Fail("key name \"" + Excerpt(part) + "\" is longer than " +
                    std::to_string(kMaxKeyNameUnits) + " characters");
      }
      if (!part.empty()) {  // doubled and trailing backslashes add nothing
        if (++depth > kMaxKeyDepth) {
          return Fail("key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        }
        if (!path.empty()) path += u'\\';
        path += part;
      }
      rest = next == TextView::npos ? TextView() : rest.substr(next + 1);
    }
    if (deletion && path.empty()) return Fail("a root key cannot be deleted");
    HiveOperation op;
    op.kind = deletion ? HiveOperationKind::kDeleteTree : HiveOperationKind::kCreateKey;
    op.root = root;
    op.path = path;
    op.line = LineNumber();
    operations_->push_back(std::move(op));
    keyState_ = deletion ? KeyState::kDeleted : KeyState::kKey;
    root_ = root;
    path_ = std::move(path);
    return HiveStatus::Ok();
  }

  // Reads a quoted text whose opening quote was consumed, up to and
  // including its closing quote.
  HiveStatus ParseQuoted(Cursor &cursor, Text *out) const {
    while (true) {
      if (cursor.AtEnd()) return Fail("unterminated string: no closing quote on the line");
      const char16_t c = cursor.Peek();
      cursor.Advance();
      if (c == u'"') return HiveStatus::Ok();
      if (c != u'\\') {
        out->push_back(c);
        continue;
      }
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
  HiveStatus ParseHexList(Cursor &cursor, std::size_t continuedFrom, std::string *bytes,
                          bool *continued) const {
    *continued = false;
    cursor.SkipBlanks();
    if (cursor.Peek() == u'\\') return EndWithContinuation(cursor, continued);
    if (cursor.AtEndOrComment()) return HiveStatus::Ok();
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
        if (cursor.AtEndOrComment()) return HiveStatus::Ok();  // a trailing comma
        continue;
      }
      if (cursor.AtEndOrComment()) return HiveStatus::Ok();
      return Fail("bad hex data: expected ',' between bytes");
    }
  }

  HiveStatus EndWithContinuation(Cursor &cursor, bool *continued) const {
    cursor.Advance();
    cursor.SkipBlanks();
    if (!cursor.AtEnd()) return Fail("text after the continuation '\\' of a hex value");
    *continued = true;
    return HiveStatus::Ok();
  }

  // Reads hex bytes from the cursor and from the lines a trailing backslash
  // continues onto (blank and comment lines between them are skipped).
  HiveStatus ParseHexValue(Cursor &cursor, std::string *bytes) {
    const std::size_t valueLine = LineNumber();
    bool continued = false;
    HiveStatus status = ParseHexList(cursor, 0, bytes, &continued);
    while (status.ok() && continued) {
      TextView line;
      do {
        if (++index_ >= lines_.size()) {
          return Malformed(lines_.size(), "the file ends inside the hex value of line " +
                                              std::to_string(valueLine));
        }
        if (status = CheckNoNul(); !status.ok()) return status;
        line = Trim(lines_[index_]);
      } while (line.empty() || line.front() == u';');
      Cursor next(line);
      status = ParseHexList(next, valueLine, bytes, &continued);
    }
    return status;
  }

  HiveStatus ParseValueLine(TextView line) {
    if (keyState_ == KeyState::kNone) return Fail("value line before the first [key] line");
    if (keyState_ == KeyState::kDeleted) {
      return Fail("value line after a key deletion [-...]; values need a [key] line");
    }
    HiveOperation op;
    op.root = root_;
    op.path = path_;
    op.line = LineNumber();
    Cursor cursor(line);
    if (cursor.Peek() == u'@') {
      cursor.Advance();
    } else {
      cursor.Advance();
      if (HiveStatus status = ParseQuoted(cursor, &op.name); !status.ok()) return status;
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
      Text text;
      if (HiveStatus status = ParseQuoted(cursor, &text); !status.ok()) return status;
      if (!cursor.AtEndOrComment()) return Fail("text after the closing quote of a string");
      op.kind = HiveOperationKind::kSetValue;
      op.type = kRegSz;
      text.push_back(u'\0');
      op.data.reserve(text.size() * 2);
      for (const char16_t unit : text) {
        op.data.push_back(static_cast<char>(unit & 0xFF));
        op.data.push_back(static_cast<char>(unit >> 8));
      }
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
      for (int shift = 0; shift < 32; shift += 8) {
        op.data.push_back(static_cast<char>((value >> shift) & 0xFF));
      }
    } else if (cursor.Consume(u"hex:")) {
      op.kind = HiveOperationKind::kSetValue;
      op.type = kRegBinary;
      if (HiveStatus status = ParseHexValue(cursor, &op.data); !status.ok()) return status;
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
      if (HiveStatus status = ParseHexValue(cursor, &op.data); !status.ok()) return status;
    } else {
      return Fail(
          "unrecognised value data: expected \"text\", dword:, hex:, "
          "hex(N): or -");
    }
    operations_->push_back(std::move(op));
    return HiveStatus::Ok();
  }

  const std::vector<Text> &lines_;
  std::vector<HiveOperation> *operations_;
  std::size_t index_ = 0;
  KeyState keyState_ = KeyState::kNone;
  RegKey root_ = kNoKey;
  Text path_;
};

// ---------------------------------------------------------------------------
// Applying.

std::string KeyDisplayName(const HiveOperation &op) {
  Text name(RootKeyName(op.root));
  if (!op.path.empty()) {
    name += u'\\';
    name += op.path;
  }
  return Excerpt(name);
}

HiveStatus StoreFailure(const HiveOperation &op, const std::string &what, ErrorCode code) {
  return HiveStatus::Fail(
      HiveError::kStore,
      "line " + std::to_string(op.line) + ": " + what + " (error " + std::to_string(code) + ")",
      op.line);
}

std::string ValueDisplayName(const HiveOperation &op) {
  return op.name.empty() ? std::string("the default value") : "value \"" + Excerpt(op.name) + "\"";
}

}  // namespace

HiveStatus ParseHive(std::string_view bytes, std::vector<HiveOperation> *operations) {
  operations->clear();
  std::vector<Text> lines;
  HiveStatus status = DecodeLines(bytes, &lines);
  if (status.ok()) status = HiveParser(lines, operations).Run();
  if (!status.ok()) operations->clear();
  return status;
}

HiveStatus ApplyHive(const std::vector<HiveOperation> &operations, RegistryStore &store) {
  // Consecutive operations on one key share one open handle.
  ScopedKey current(store);
  const HiveOperation *currentOp = nullptr;
  const auto open = [&](const HiveOperation &op) -> ErrorCode {
    if (currentOp != nullptr && currentOp->root == op.root && currentOp->path == op.path) {
      return kErrorSuccess;
    }
    currentOp = nullptr;
    const ErrorCode code =
        store.CreateKey(op.root, op.path.c_str(), kKeyWrite, current.Receive(), nullptr);
    if (code == kErrorSuccess) currentOp = &op;
    return code;
  };
  for (const HiveOperation &op : operations) {
    ErrorCode code = kErrorSuccess;
    switch (op.kind) {
      case HiveOperationKind::kCreateKey:
        code = open(op);
        if (code != kErrorSuccess) {
          return StoreFailure(op, "cannot create key " + KeyDisplayName(op), code);
        }
        break;
      case HiveOperationKind::kDeleteTree:
        current.Reset();
        currentOp = nullptr;
        code = store.DeleteTree(op.root, op.path.c_str());
        if (code != kErrorSuccess && code != kErrorFileNotFound) {
          return StoreFailure(op, "cannot delete key " + KeyDisplayName(op), code);
        }
        break;
      case HiveOperationKind::kSetValue:
        if (op.data.size() > std::numeric_limits<std::uint32_t>::max()) {
          return StoreFailure(op, ValueDisplayName(op) + " is too large", kErrorInvalidParameter);
        }
        code = open(op);
        if (code == kErrorSuccess) {
          code = store.SetValue(current.get(), op.name.c_str(), op.type, op.data.data(),
                                static_cast<std::uint32_t>(op.data.size()));
        }
        if (code != kErrorSuccess) {
          return StoreFailure(
              op, "cannot set " + ValueDisplayName(op) + " of " + KeyDisplayName(op), code);
        }
        break;
      case HiveOperationKind::kDeleteValue:
        code = open(op);
        if (code == kErrorSuccess) code = store.DeleteValue(current.get(), op.name.c_str());
        if (code != kErrorSuccess && code != kErrorFileNotFound) {
          return StoreFailure(
              op, "cannot delete " + ValueDisplayName(op) + " of " + KeyDisplayName(op), code);
        }
        break;
    }
  }
  return HiveStatus::Ok();
}

}  // namespace tolvane
