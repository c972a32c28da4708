// Writing hive files: stores and their snapshots to regedit text, as
// UTF-16LE file bytes or UTF-8 for a terminal.
#include <bit>
#include <cstring>

#include "platform/hive/hive_format.h"
#include "platform/hive/hive_text.h"

namespace tolvane {
namespace {

using hive_text::Excerpt;
using hive_text::kHeader;

// A hex line is broken once the text written on it reaches this column.
constexpr std::size_t kHexWrapColumn = 77;
// Indent of a continued hex line.
constexpr TextView kHexContinuation = u"\\\r\n  ";
constexpr std::size_t kHexContinuationColumn = 2;

// Where the text goes: UTF-16 units (Text), or UTF-16LE file bytes
// written as they are made, so a save holds no second copy of its text.
class Utf16LeBytes {
 public:
  explicit Utf16LeBytes(std::string *bytes) : bytes_(bytes) {}
  void push_back(char16_t unit) {
    bytes_->push_back(static_cast<char>(unit & 0xFF));
    bytes_->push_back(static_cast<char>(unit >> 8));
  }
  void append(TextView units) {
    const std::size_t start = bytes_->size();
    bytes_->resize(start + units.size() * 2);
    char *out = bytes_->data() + start;
    if constexpr (std::endian::native == std::endian::little) {
      if (!units.empty()) std::memcpy(out, units.data(), units.size() * 2);
    } else {
      for (const char16_t unit : units) {
        *out++ = static_cast<char>(unit & 0xFF);
        *out++ = static_cast<char>(unit >> 8);
      }
    }
  }
  std::size_t size() const { return bytes_->size() / 2; }

 private:
  std::string *bytes_;
};

template <typename Out>
void AppendAscii(std::string_view ascii, Out *out) {
  for (const char c : ascii) out->push_back(static_cast<char16_t>(c));
}

template <typename Out>
void AppendQuoted(TextView text, Out *out) {
  out->push_back(u'"');
  // Runs without a character to escape are copied whole.
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\\' && c != u'"' && c != u'\n' && c != u'\r') continue;
    out->append(text.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case u'\\':
        AppendAscii("\\\\", out);
        break;
      case u'"':
        AppendAscii("\\\"", out);
        break;
      case u'\n':
        AppendAscii("\\n", out);
        break;
      default:  // u'\r'
        AppendAscii("\\r", out);
        break;
    }
  }
  out->append(text.substr(plain));
  out->push_back(u'"');
}

// Lower-case hex without leading zeros.
template <typename Out>
void AppendHexNumber(std::uint32_t value, std::size_t minDigits, Out *out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buffer[8];
  std::size_t count = 0;
  do {
    buffer[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < minDigits);
  while (count > 0) out->push_back(static_cast<char16_t>(buffer[--count]));
}

// Bytes as "xx,xx,...", wrapped as regedit wraps them; `column` is the
// width of the line's text before the first byte.
template <typename Out>
void AppendHexBytes(std::string_view data, std::size_t column, Out *out) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    AppendHexNumber(static_cast<unsigned char>(data[i]), 2, out);
    if (i + 1 == data.size()) break;
    out->push_back(u',');
    column += 3;
    if (column >= kHexWrapColumn) {
      out->append(kHexContinuation);
      column = kHexContinuationColumn;
    }
  }
}

// The text of REG_SZ data that is exactly one NUL-terminated string;
// false for anything "text" would not carry back unchanged.
bool PlainString(std::string_view data, Text *text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  text->resize(data.size() / 2 - 1);
  for (std::size_t i = 0; i < text->size(); ++i) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                            (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    if (unit == u'\0') return false;
    (*text)[i] = unit;
  }
  return data[data.size() - 2] == '\0' && data[data.size() - 1] == '\0';
}

// Writes the keys it is handed as hive text, header first, each key as it
// comes. A key or value name no hive file can carry stops it with the
// reason in status().
template <typename Out>
class HiveTextWriter final : public StoredKeyVisitor {
 public:
  explicit HiveTextWriter(Out *out) : out_(out) {
    out_->append(kHeader);
    AppendAscii("\r\n\r\n", out_);
  }

  bool Key(TextView path) override {
    if (path.find_first_of(TextView(u"\r\n\0", 3)) != TextView::npos) {
      status_ = Status::Fail(StatusKind::kMalformed,
                             "key \"" + Excerpt(path) +
                                 "\" has a line break in its name, which a hive file cannot hold");
      return false;
    }
    EndKey();
    out_->push_back(u'[');
    out_->append(path);
    AppendAscii("]\r\n", out_);
    path_ = path;
    inKey_ = true;
    return true;
  }

  bool Value(TextView name, std::uint32_t type, std::string_view data) override {
    if (name.find(u'\0') != TextView::npos) {
      status_ = Status::Fail(StatusKind::kMalformed,
                             "a value of key \"" + Excerpt(path_) + "\" has a NUL in its name");
      return false;
    }
    const std::size_t start = out_->size();
    if (name.empty()) {
      out_->push_back(u'@');
    } else {
      AppendQuoted(name, out_);
    }
    out_->push_back(u'=');
    if (type == kRegSz && PlainString(data, &scratch_)) {
      AppendQuoted(scratch_, out_);
    } else if (type == kRegDword && data.size() == 4) {
      std::uint32_t number = 0;
      for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
      AppendAscii("dword:", out_);
      AppendHexNumber(number, 8, out_);
    } else {
      if (type == kRegBinary) {
        AppendAscii("hex:", out_);
      } else {
        AppendAscii("hex(", out_);
        AppendHexNumber(type, 1, out_);
        AppendAscii("):", out_);
      }
      AppendHexBytes(data, out_->size() - start, out_);
    }
    AppendAscii("\r\n", out_);
    return true;
  }

  // Ends the last key; the status of the whole text.
  Status Finish() {
    if (status_.ok()) EndKey();
    return status_;
  }

 private:
  void EndKey() {
    if (inKey_) AppendAscii("\r\n", out_);
    inKey_ = false;
  }

  Out *out_;
  Status status_;
  TextView path_;  // the current key's, for a message; valid while it is visited
  bool inKey_ = false;
  Text scratch_;  // a string value's text, reused
};

// Hands a snapshot's keys to a visitor as a store would.
bool VisitSnapshot(const std::vector<StoredKey> &keys, StoredKeyVisitor &visitor) {
  for (const StoredKey &key : keys) {
    if (!visitor.Key(key.path)) return false;
    for (const StoredValue &value : key.values) {
      if (!visitor.Value(value.name, value.type, value.data)) return false;
    }
  }
  return true;
}

// BOM and UTF-16LE text of what `visit` hands a writer.
template <typename Visit>
Status WriteUtf16(Visit visit, std::size_t sizeHint, std::string *bytes) {
  std::string out;
  out.reserve(sizeHint);
  out.push_back(static_cast<char>(0xFF));
  out.push_back(static_cast<char>(0xFE));
  Utf16LeBytes units(&out);
  HiveTextWriter<Utf16LeBytes> writer(&units);
  visit(writer);
  Status status = writer.Finish();
  if (status.ok()) *bytes = std::move(out);
  return status;
}

}  // namespace

Status FormatHiveText(const std::vector<StoredKey> &keys, Text *text) {
  text->clear();
  Text out;
  HiveTextWriter<Text> writer(&out);
  VisitSnapshot(keys, writer);
  Status status = writer.Finish();
  if (status.ok()) *text = std::move(out);
  return status;
}

Status SerializeHiveUtf16(const std::vector<StoredKey> &keys, std::string *bytes) {
  bytes->clear();
  return WriteUtf16([&](StoredKeyVisitor &writer) { VisitSnapshot(keys, writer); }, 0, bytes);
}

Status SerializeStoreUtf16(const MemoryRegistryStore &store, std::string *bytes,
                           std::size_t sizeHint) {
  bytes->clear();
  return WriteUtf16([&](StoredKeyVisitor &writer) { store.VisitKeys(writer); }, sizeHint, bytes);
}

Status SerializeHiveUtf8(const std::vector<StoredKey> &keys, std::string *bytes, bool crlf) {
  bytes->clear();
  Text text;
  Status status = FormatHiveText(keys, &text);
  if (!status.ok()) return status;
  if (!crlf) {
    // Every CR in the text ends a line: CRs inside names and strings are
    // written as the escape \r.
    Text lf;
    lf.reserve(text.size());
    for (const char16_t unit : text) {
      if (unit != u'\r') lf.push_back(unit);
    }
    text = std::move(lf);
  }
  *bytes = Utf16ToUtf8(text);
  return status;
}

}  // namespace tolvane
