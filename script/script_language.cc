#include "script/script_language.h"

#include "platform/root_keys.h"

#include <cstring>
#include <limits>
#include <new>

namespace tolvane {
namespace {

// The expanded text while the replacement pass builds it. Growth follows
// the pass's own rule (doubling), so the buffer is managed here rather than
// by a string's growth policy.
class ExpansionBuffer {
 public:
  HResult Start(std::size_t inputUnits) {
    if (!InitialExpansionCapacity(inputUnits, &capacity_)) return kEOutOfMemory;
    units_.reset(new (std::nothrow) char16_t[capacity_]);
    return units_ ? kSOk : kEOutOfMemory;
  }

  HResult Append(const char16_t* units, std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() - length_ - 1) return kEOutOfMemory;
    const std::size_t newLength = length_ + count;
    std::size_t grown = 0;
    if (!GrowExpansionCapacity(capacity_, newLength, &grown)) return kEOutOfMemory;
    if (grown != capacity_) {
      std::unique_ptr<char16_t[]> larger(new (std::nothrow) char16_t[grown]);
      if (!larger) return kEOutOfMemory;
      std::memcpy(larger.get(), units_.get(), length_ * sizeof(char16_t));
      units_ = std::move(larger);
      capacity_ = grown;
    }
    std::memcpy(units_.get() + length_, units, count * sizeof(char16_t));
    length_ = newLength;
    return kSOk;
  }

  std::size_t length() const { return length_; }

  void HandOver(ExpandedText* expanded) {
    units_[length_] = u'\0';
    expanded->units = std::move(units_);
    expanded->length = length_;
    expanded->capacity = capacity_;
  }

 private:
  std::unique_ptr<char16_t[]> units_;
  std::size_t length_ = 0;
  std::size_t capacity_ = 0;
};

// A set of units below 64 as a mask, for scanning loops.
constexpr std::uint64_t Bit(char16_t unit) { return std::uint64_t{1} << unit; }
constexpr bool In(char16_t unit, std::uint64_t mask) {
  return unit < 64 && ((mask >> unit) & 1) != 0;
}

// Follows the expanded text as ReadToken will split it, to tell whether the
// next character lands inside a quoted token.
class QuoteTracker {
 public:
  bool InsideQuotes() const { return state_ == State::kQuoted; }

  void Feed(char16_t unit) {
    switch (state_) {
      case State::kQuoted:
        if (unit == u'\'') state_ = State::kClosing;
        return;
      case State::kClosing:
        // A second apostrophe stands for one; anything else follows the
        // closed token and may start the next.
        if (unit == u'\'') {
          state_ = State::kQuoted;
          return;
        }
        state_ = IsScriptBlank(unit) ? State::kBetween : State::kUnquoted;
        return;
      case State::kBetween:
        if (IsScriptBlank(unit)) return;
        state_ = unit == u'\'' ? State::kQuoted : State::kUnquoted;
        return;
      case State::kUnquoted:
        if (IsScriptBlank(unit)) state_ = State::kBetween;
        return;
    }
  }

  // Feeds the units from p up to the first '%' or terminator and answers
  // where it stopped. Inside a token, a quote or a run of blanks only the
  // unit that can end it changes the state, so those stretches are skipped
  // in tight loops that test each unit against a mask of the few that stop
  // them (all below 64).
  const char16_t* FeedUpToPercent(const char16_t* p) {
    constexpr std::uint64_t kEnd = Bit(u'\0') | Bit(u'%');
    constexpr std::uint64_t kBlanks = Bit(u'\t') | Bit(u'\n') | Bit(u'\r') | Bit(u' ');
    while (true) {
      switch (state_) {
        case State::kQuoted:
          while (!In(*p, kEnd | Bit(u'\''))) ++p;
          break;
        case State::kUnquoted:
          while (!In(*p, kEnd | kBlanks)) ++p;
          break;
        case State::kBetween:
          while (In(*p, kBlanks)) ++p;
          break;
        case State::kClosing:
          break;
      }
      if (In(*p, kEnd)) return p;
      Feed(*p++);
    }
  }

 private:
  enum class State { kBetween, kUnquoted, kQuoted, kClosing };

  State state_ = State::kBetween;
};

// Appends a replacement value: inside a quoted token with its apostrophes
// doubled, elsewhere as it stands.
HResult AppendValue(const char16_t* value, QuoteTracker& quotes, ExpansionBuffer& out) {
  const std::size_t length = TextLength(value);
  if (!quotes.InsideQuotes()) {
    for (std::size_t i = 0; i < length; ++i) quotes.Feed(value[i]);
    return out.Append(value, length);
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (value[i] != u'\'') continue;
    // Up to and including the apostrophe, then the apostrophe once more.
    HResult hr = out.Append(value + start, i + 1 - start);
    if (Succeeded(hr)) hr = out.Append(value + i, 1);
    if (Failed(hr)) return hr;
    start = i + 1;
  }
  return out.Append(value + start, length - start);
}

bool HexDigitValue(char16_t unit, std::uint8_t* value) {
  if (unit >= u'0' && unit <= u'9') {
    *value = static_cast<std::uint8_t>(unit - u'0');
  } else if (unit >= u'A' && unit <= u'F') {
    *value = static_cast<std::uint8_t>(unit - u'A' + 10);
  } else if (unit >= u'a' && unit <= u'f') {
    *value = static_cast<std::uint8_t>(unit - u'a' + 10);
  } else {
    *value = 0;
    return false;
  }
  return true;
}

void PutUnit(std::uint8_t* bytes, std::size_t index, char16_t unit) {
  bytes[2 * index] = static_cast<std::uint8_t>(unit & 0xFF);
  bytes[2 * index + 1] = static_cast<std::uint8_t>(unit >> 8);
}

}  // namespace

bool InitialExpansionCapacity(std::size_t inputUnits, std::size_t* capacity) {
  if (inputUnits > std::numeric_limits<std::size_t>::max() / 2) return false;
  *capacity = 2 * inputUnits < 100 ? 1000 : 2 * inputUnits;
  return true;
}

bool GrowExpansionCapacity(std::size_t capacity, std::size_t length, std::size_t* grown) {
  if (capacity == 0 || length >= std::numeric_limits<std::size_t>::max()) return false;
  while (capacity <= length + 1) {
    if (capacity > kMaxDoublableCapacity) return false;
    capacity *= 2;
  }
  *grown = capacity;
  return true;
}

HResult ExpandReplacements(const char16_t* script, const ReplacementMap& replacements,
                           ExpandedText* expanded, ExpansionTrace* trace) {
  *expanded = ExpandedText();
  if (trace != nullptr) *trace = ExpansionTrace();
  if (script == nullptr) return kEInvalidArg;
  ExpansionBuffer out;
  HResult hr = out.Start(TextLength(script));
  if (Failed(hr)) return hr;

  QuoteTracker quotes;
  const char16_t* p = script;
  while (*p != u'\0') {
    const std::size_t expandedStart = out.length();
    const char16_t* start = p;
    if (*p != u'%') {
      // The text up to the next "%" (or the end) goes in one piece; the quote
      // tracker still sees each unit.
      const char16_t* run = p;
      p = quotes.FeedUpToPercent(p);
      hr = out.Append(run, static_cast<std::size_t>(p - run));
    } else if (p[1] == u'%') {
      hr = out.Append(p, 1);
      quotes.Feed(*p);
      p += 2;
    } else {
      const char16_t* name = p + 1;
      const char16_t* close = name;
      while (*close != u'\0' && *close != u'%') ++close;
      if (trace != nullptr) trace->faultOffset = static_cast<std::size_t>(p - script);
      if (*close == u'\0') return kDispEException;
      const auto nameUnits = static_cast<std::size_t>(close - name);
      if (nameUnits > kMaxReplacementNameUnits) return kEFail;
      char16_t key[kMaxReplacementNameUnits + 1];
      std::memcpy(key, name, nameUnits * sizeof(char16_t));
      key[nameUnits] = u'\0';
      const char16_t* value = replacements.Find(key);
      if (value == nullptr) return kDispEException;
      hr = AppendValue(value, quotes, out);
      p = close + 1;
    }
    if (Failed(hr)) return hr;
    if (trace != nullptr && *start == u'%') {
      trace->insertions.push_back({static_cast<std::size_t>(start - script),
                                   static_cast<std::size_t>(p - script), expandedStart,
                                   out.length()});
    }
  }
  out.HandOver(expanded);
  return kSOk;
}

void SkipBlanks(ScriptParser& parser) {
  while (IsScriptBlank(*parser.cursor)) ++parser.cursor;
}

HResult ReadToken(ScriptParser& parser, TokenBuffer& token) {
  token[0] = u'\0';
  SkipBlanks(parser);
  const char16_t* p = parser.cursor;
  if (*p == u'\0') return kDispEException;

  std::size_t length = 0;
  // Stores one unit, refusing a token that would grow past its limit.
  auto store = [&](char16_t unit) {
    if (length + 1 > kMaxTokenUnits) return false;
    token[length++] = unit;
    return true;
  };

  if (*p == u'\'') {
    ++p;
    while (true) {
      if (*p == u'\0') {
        token[length] = u'\0';
        return kDispEException;
      }
      if (*p == u'\'') {
        if (p[1] != u'\'') {
          ++p;
          break;
        }
        ++p;  // the pair stands for one apostrophe: store the second
      }
      if (!store(*p)) {
        token[length] = u'\0';
        return kDispEException;
      }
      ++p;
    }
  } else {
    while (*p != u'\0' && !IsScriptBlank(*p)) {
      if (!store(*p)) {
        token[length] = u'\0';
        return kDispEException;
      }
      ++p;
    }
  }
  token[length] = u'\0';
  parser.cursor = p;
  return kSOk;
}

std::optional<RegKey> FindRootKey(const char16_t* token) {
  for (const RootKeyEntry& entry : kRootKeys) {
    if (EqualsNoCase(ViewOf(entry.shortName), ViewOf(token)) ||
        EqualsNoCase(ViewOf(entry.full), ViewOf(token))) {
      return entry.key;
    }
  }
  return std::nullopt;
}

std::optional<ValueKind> FindValueType(const char16_t* token) {
  for (const ValueTypeEntry& entry : ValueTypeLetters) {
    if (EqualsNoCase(ViewOf(entry.letter), ViewOf(token))) return entry.kind;
  }
  return std::nullopt;
}

std::uint8_t* ConvertedValue::Reserve(std::size_t byteCount) {
  if (byteCount <= kLocalValueBytes) return local_;
  heap_.reset(new (std::nothrow) std::uint8_t[byteCount]);
  return heap_.get();
}

HResult ConvertValue(TextServices& text, ValueKind kind, const char16_t* valueText,
                     ConvertedValue* value) {
  const std::size_t length = TextLength(valueText);
  // Registry data sizes are 32-bit; no token comes anywhere near this.
  if (length > std::numeric_limits<std::uint32_t>::max() / 2 - 2) return kEOutOfMemory;
  switch (kind) {
    case ValueKind::kString: {
      static constexpr char16_t kEmpty[] = u"";
      value->type_ = kRegSz;
      value->data_ = valueText != nullptr ? valueText : kEmpty;
      value->byteCount_ = static_cast<std::uint32_t>(2 * (length + 1));
      return kSOk;
    }
    case ValueKind::kNumber: {
      const std::uint32_t number = valueText != nullptr ? text.TextToUInt32(valueText) : 0;
      for (int i = 0; i < 4; ++i) value->local_[i] = static_cast<std::uint8_t>(number >> (8 * i));
      value->type_ = kRegDword;
      value->data_ = value->local_;
      value->byteCount_ = 4;
      return kSOk;
    }
    case ValueKind::kBytes: {
      if (length % 2 != 0) return kEFail;
      const std::size_t count = length / 2;
      std::uint8_t* bytes = value->Reserve(count);
      if (bytes == nullptr) return kEFail;
      for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        HexDigitValue(valueText[2 * i], &high);
        HexDigitValue(valueText[2 * i + 1], &low);
        bytes[i] = static_cast<std::uint8_t>((high << 4) | low);
      }
      value->type_ = kRegBinary;
      value->data_ = bytes;
      value->byteCount_ = static_cast<std::uint32_t>(count);
      return kSOk;
    }
    case ValueKind::kMultiString: {
      // Every unit of the text plus the NULs after the last piece: at most
      // length + 2 units.
      std::uint8_t* bytes = value->Reserve(2 * (length + 2));
      if (bytes == nullptr) return kEOutOfMemory;
      std::size_t units = 0;
      bool pieceEmpty = true;
      const char16_t* p = valueText != nullptr ? valueText : u"";
      while (*p != u'\0') {
        if (p[0] == u'\\' && p[1] == u'0') {
          PutUnit(bytes, units++, u'\0');
          if (pieceEmpty) break;  // an empty piece ends the list, its NUL included
          pieceEmpty = true;
          p += 2;
        } else {
          PutUnit(bytes, units++, *p);
          pieceEmpty = false;
          ++p;
        }
      }
      if (*p == u'\0') {
        // The text ran out: close the last piece unless it is empty, then
        // end the list.
        if (!pieceEmpty) PutUnit(bytes, units++, u'\0');
        PutUnit(bytes, units++, u'\0');
      }
      value->type_ = kRegMultiSz;
      value->data_ = bytes;
      value->byteCount_ = static_cast<std::uint32_t>(2 * units);
      return kSOk;
    }
  }
  return kDispEException;
}

}  // namespace tolvane
