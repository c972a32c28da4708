#include "cli/script_failure.h"

#include <algorithm>

#include "script/script_engine.h"
#include "script/script_language.h"

namespace tolvane::cli {
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

Text Folded(TextView text) {
  Text folded(text);
  for (char16_t& unit : folded) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return folded;
}

bool IsWithin(const Text& key, const Text& tree) {
  return key == tree || (key.size() > tree.size() && key.compare(0, tree.size(), tree) == 0 &&
                         key[tree.size()] == u'\\');
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

std::string EmbeddedScriptFailurePlace(Platform& platform, const ReplacementMap& replacements,
                                       TextView modulePath, std::uint16_t id,
                                       std::size_t stopOffset) {
  std::string bytes;
  Text script;
  if (platform.resources.LoadRegistryScript(modulePath, id, &bytes) != kErrorSuccess ||
      platform.text.WidenAnsi(bytes, &script) != kErrorSuccess) {
    return "";
  }
  const TextView text = TextView(script).substr(0, script.find(u'\0'));
  const std::string place = ScriptFailurePlace(text, replacements, stopOffset);
  return place.empty() ? place : "script " + std::to_string(id) + ", " + place;
}

std::size_t RemainingChanges(const std::vector<Change>& changes, std::vector<std::string>* lost) {
  struct Live {
    const Change* change;
    Text key;  // folded
  };
  std::vector<Live> live;
  const auto createdHere = [&](const Text& key) {
    return std::any_of(live.begin(), live.end(), [&](const Live& l) {
      return l.change->kind == ChangeKind::kCreateKey && IsWithin(key, l.key);
    });
  };
  for (const Change& change : changes) {
    const Text key = Folded(change.key);
    switch (change.kind) {
      case ChangeKind::kCreateKey:
      case ChangeKind::kSetValue:
        live.push_back({&change, key});
        break;
      case ChangeKind::kDeleteValue: {
        const Text name = Folded(change.name);
        const auto set = std::find_if(live.rbegin(), live.rend(), [&](const Live& l) {
          return l.change->kind == ChangeKind::kSetValue && l.key == key &&
                 Folded(l.change->name) == name;
        });
        const bool cancels = set != live.rend() && (!set->change->replaced || createdHere(key));
        if (set != live.rend()) live.erase(std::next(set).base());
        if (!cancels) live.push_back({&change, key});
        break;
      }
      case ChangeKind::kDeleteKey: {
        const bool cancels = std::any_of(live.begin(), live.end(), [&](const Live& l) {
          return l.change->kind == ChangeKind::kCreateKey && l.key == key;
        });
        std::erase_if(live, [&](const Live& l) { return IsWithin(l.key, key); });
        if (!cancels) live.push_back({&change, key});
        break;
      }
    }
  }
  std::size_t remaining = 0;
  for (const Live& l : live) {
    const Change& change = *l.change;
    if (change.kind == ChangeKind::kCreateKey || change.kind == ChangeKind::kSetValue) {
      ++remaining;
    } else if (lost != nullptr) {
      lost->push_back(Utf16ToUtf8(change.key) +
                      (change.kind == ChangeKind::kDeleteKey ? std::string()
                       : change.hasName ? ": value \"" + Utf16ToUtf8(change.name) + "\""
                                        : std::string(": its default value")));
    }
  }
  return remaining;
}

}  // namespace tolvane::cli
