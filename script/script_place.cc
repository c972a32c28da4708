#include "script/script_place.h"

#include <algorithm>

#include "script/script_engine.h"
#include "script/script_language.h"

namespace tolvane {
namespace {

// "line L, column C" of a script offset (1-based; columns in UTF-16 units).
std::string LineAndColumn(TextView script, std::size_t offset) {
  offset = std::min(offset, script.size());
  const TextView before = script.substr(0, offset);
  const std::size_t line =
      1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), u'\n'));
  const std::size_t lineStart = before.rfind(u'\n');
  const std::size_t column = offset - (lineStart == TextView::npos ? 0 : lineStart + 1) + 1;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string Shortened(TextView text) {
  constexpr std::size_t kLongest = 40;
  if (text.size() <= kLongest) return Utf16ToUtf8(text);
  return Utf16ToUtf8(text.substr(0, kLongest)) + "...";
}

// The script's place of an offset into the expanded text.
std::string SourcePlace(TextView script, const ExpansionTrace& trace, std::size_t expanded) {
  std::size_t shift = 0;  // expanded minus script offset after the insertions passed
  for (const ExpansionTrace::Insertion& insertion : trace.insertions) {
    if (insertion.expandedStart > expanded) break;
    if (expanded < insertion.expandedEnd) {
      const TextView name =
          script.substr(insertion.sourceStart, insertion.sourceEnd - insertion.sourceStart);
      return LineAndColumn(script, insertion.sourceStart) + ", in the value of " +
             Utf16ToUtf8(name);
    }
    shift = insertion.expandedEnd - insertion.sourceEnd;
  }
  return LineAndColumn(script, expanded - shift);
}

}  // namespace

std::string ScriptFailurePlace(TextView script, const ReplacementMap& replacements,
                               std::size_t stopOffset) {
  const Text text(script);
  ExpandedText expanded;
  ExpansionTrace trace;
  const HResult expandedStatus = ExpandReplacements(text.c_str(), replacements, &expanded, &trace);
  if (Failed(expandedStatus)) {
    const TextView rest = script.substr(std::min(trace.faultOffset, script.size()));
    const std::size_t close = rest.find(u'%', 1);
    const std::string where = LineAndColumn(script, trace.faultOffset);
    if (close == TextView::npos) return where + ": a '%' without its closing '%'";
    const std::string name = Utf16ToUtf8(rest.substr(1, close - 1));
    if (expandedStatus == kEFail)
      return where + ": the name %" + name + "% is longer than 31 characters";
    return where + ": %" + name + "% is not defined (--set " + name + "=VALUE defines it)";
  }
  if (stopOffset == kNoStopOffset) return "";

  // Read the expanded text token by token, as the engine did, up to the
  // token that reading stopped after (or failed on).
  ScriptParser parser{replacements, expanded.c_str()};
  TokenBuffer token;
  while (true) {
    SkipBlanks(parser);
    const auto start = static_cast<std::size_t>(parser.cursor - expanded.c_str());
    if (*parser.cursor == u'\0' || start >= stopOffset) {
      return SourcePlace(script, trace, start) + ", at the end of the script";
    }
    const HResult read = ReadToken(parser, token);
    const auto end = static_cast<std::size_t>(parser.cursor - expanded.c_str());
    if (Failed(read) || end >= stopOffset) {
      const std::string at = Failed(read)
                                 ? ", at a token that cannot be read (an unclosed quote, or "
                                   "longer than 4094 characters)"
                                 : ", at '" + Shortened(ViewOf(token)) + "'";
      return SourcePlace(script, trace, start) + at;
    }
  }
}

}  // namespace tolvane
