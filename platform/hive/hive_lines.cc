#include "platform/hive/hive_lines.h"

namespace tolvane::hive_text {
namespace {

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

}  // namespace

Status Malformed(std::size_t line, const std::string &problem) {
  return Status::Fail(StatusKind::kMalformed, "line " + std::to_string(line) + ": " + problem,
                      line);
}

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

}  // namespace tolvane::hive_text
