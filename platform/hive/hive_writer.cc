// Writing hive files: store snapshots to regedit text, as UTF-16LE file
// bytes or UTF-8 for a terminal.
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

void AppendAscii(std::string_view ascii, Text *out) {
  for (const char c : ascii) out->push_back(static_cast<char16_t>(c));
}

void AppendQuoted(TextView text, Text *out) {
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
void AppendHexNumber(std::uint32_t value, std::size_t minDigits, Text *out) {
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
void AppendHexBytes(std::string_view data, std::size_t column, Text *out) {
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

// `text` is room for a string's text, reused from value to value.
void AppendValue(const StoredValue &value, Text *text, Text *out) {
  const std::size_t start = out->size();
  if (value.name.empty()) {
    out->push_back(u'@');
  } else {
    AppendQuoted(value.name, out);
  }
  out->push_back(u'=');
  if (value.type == kRegSz && PlainString(value.data, text)) {
    AppendQuoted(*text, out);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    AppendAscii("dword:", out);
    AppendHexNumber(number, 8, out);
  } else {
    if (value.type == kRegBinary) {
      AppendAscii("hex:", out);
    } else {
      AppendAscii("hex(", out);
      AppendHexNumber(value.type, 1, out);
      AppendAscii("):", out);
    }
    AppendHexBytes(value.data, out->size() - start, out);
  }
  AppendAscii("\r\n", out);
}

}  // namespace

HiveStatus FormatHiveText(const std::vector<StoredKey> &keys, Text *text) {
  text->clear();
  for (const StoredKey &key : keys) {
    if (key.path.find_first_of(TextView(u"\r\n\0", 3)) != Text::npos) {
      return HiveStatus::Fail(HiveError::kMalformed,
                              "key \"" + Excerpt(key.path) +
                                  "\" has a line break in its name, which a hive file cannot hold");
    }
    for (const StoredValue &value : key.values) {
      if (value.name.find(u'\0') != Text::npos) {
        return HiveStatus::Fail(HiveError::kMalformed, "a value of key \"" + Excerpt(key.path) +
                                                           "\" has a NUL in its name");
      }
    }
  }
  Text out;
  out.append(kHeader);
  AppendAscii("\r\n\r\n", &out);
  Text scratch;  // a string value's text, reused
  for (const StoredKey &key : keys) {
    out.push_back(u'[');
    out.append(key.path);
    AppendAscii("]\r\n", &out);
    for (const StoredValue &value : key.values) AppendValue(value, &scratch, &out);
    AppendAscii("\r\n", &out);
  }
  *text = std::move(out);
  return HiveStatus::Ok();
}

HiveStatus SerializeHiveUtf16(const std::vector<StoredKey> &keys, std::string *bytes) {
  bytes->clear();
  Text text;
  HiveStatus status = FormatHiveText(keys, &text);
  if (!status.ok()) return status;
  std::string out(2 + text.size() * 2, '\0');
  out[0] = static_cast<char>(0xFF);
  out[1] = static_cast<char>(0xFE);
  if constexpr (std::endian::native == std::endian::little) {
    if (!text.empty()) std::memcpy(out.data() + 2, text.data(), text.size() * 2);
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      out[2 + 2 * i] = static_cast<char>(text[i] & 0xFF);
      out[3 + 2 * i] = static_cast<char>(text[i] >> 8);
    }
  }
  *bytes = std::move(out);
  return status;
}

HiveStatus SerializeHiveUtf8(const std::vector<StoredKey> &keys, std::string *bytes, bool crlf) {
  bytes->clear();
  Text text;
  HiveStatus status = FormatHiveText(keys, &text);
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
