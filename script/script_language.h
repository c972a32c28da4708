// The registrar script language: the %NAME% replacement pass over a whole
// script, the tokenizer, the tables of root-key names and value-type letters
// and the conversion of a value literal into registry data. Nothing here
// touches the registry; the engine (script_engine.h) reads tokens one at a
// time and applies them as it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/registry_store.h"
#include "platform/status_codes.h"
#include "platform/text.h"
#include "platform/text_services.h"
#include "script/replacement_map.h"

namespace tolvane {

// A token buffer: at most kMaxTokenUnits units and a terminator. Tokens are
// always read into such a fixed buffer, never into heap memory.
inline constexpr std::size_t kTokenBufferUnits = 4096;
inline constexpr std::size_t kMaxTokenUnits = 4094;
using TokenBuffer = char16_t[kTokenBufferUnits];

// Longest name between two percent signs that the replacement pass looks up.
inline constexpr std::size_t kMaxReplacementNameUnits = 31;

// A capacity above this many units cannot be doubled by the replacement pass.
inline constexpr std::size_t kMaxDoublableCapacity = 0x3FFFFFFF;

// The reading state of one apply operation: the replacements the text is
// expanded with (borrowed, never freed by the parser), and where the next
// character is read in the expanded text. Callers of ApplyScript fill only
// the replacements; the engine sets the cursor. Tokenizer callers set it to
// the text they read.
struct ScriptParser {
  const ReplacementMap& replacements;
  const char16_t* cursor = nullptr;
};

// The output of the replacement pass: a NUL-terminated text in a buffer of
// `capacity` units, owned by whoever holds it.
struct ExpandedText {
  std::unique_ptr<char16_t[]> units;
  std::size_t length = 0;
  std::size_t capacity = 0;

  const char16_t* c_str() const { return units.get(); }
  TextView view() const { return TextView(units.get(), length); }
};

// The capacity the replacement pass starts with for an input of inputUnits
// units: twice the input, but 1000 when that is less than 100. False when
// twice the input cannot be represented.
bool InitialExpansionCapacity(std::size_t inputUnits, std::size_t* capacity);

// The capacity after making room for a text of `length` units plus its
// terminator: capacity doubled until it exceeds length + 1 (unchanged when
// it already does). False when a capacity above kMaxDoublableCapacity would
// have to be doubled.
bool GrowExpansionCapacity(std::size_t capacity, std::size_t length, std::size_t* grown);

// Where the replacement pass put what it inserted, and where it stopped on
// a fault: for messages that point into the script a person wrote.
struct ExpansionTrace {
  // One "%NAME%" (or "%%") of the script and the text it became.
  struct Insertion {
    std::size_t sourceStart;  // at its first "%"
    std::size_t sourceEnd;    // after its last "%"
    std::size_t expandedStart;
    std::size_t expandedEnd;
  };
  std::vector<Insertion> insertions;
  std::size_t faultOffset = 0;  // script offset of the "%" that failed
};

// Copies script (up to its first NUL) into *expanded, replacing "%%" by "%"
// and "%NAME%" by the first value replacements has for NAME (without regard
// to case). Inserted values are not scanned again. A value inserted inside
// a quoted token has each apostrophe doubled, so that it is read back whole
// as the one token it was written into (an installation folder such as
// C:\Bob's Suite\ would otherwise close the quote early); elsewhere values
// are inserted unchanged. Answers 0, or DISP_E_EXCEPTION (no closing "%",
// name not in the map), E_FAIL (name longer than 31 units), E_OUTOFMEMORY,
// E_INVALIDARG (script null); on failure *expanded is left empty. trace,
// when given, receives where the insertions went and where a fault was.
HResult ExpandReplacements(const char16_t* script, const ReplacementMap& replacements,
                           ExpandedText* expanded, ExpansionTrace* trace = nullptr);

// True for the four blank characters TAB, LF, CR and SPACE.
constexpr bool IsScriptBlank(char16_t unit) {
  return unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == u' ';
}

// Moves the parser's cursor past blanks; it stops at the terminator.
void SkipBlanks(ScriptParser& parser);

// Reads the next token into token, NUL-terminated, and leaves the cursor
// right after it. A token starting with an apostrophe is quoted ("''" stands
// for one apostrophe, a single one closes it); any other runs to the next
// blank or the end. DISP_E_EXCEPTION at the end of the text, for an unclosed
// quote, or for a token longer than kMaxTokenUnits. Never allocates.
HResult ReadToken(ScriptParser& parser, TokenBuffer& token);

// The kinds of value a script writes.
enum class ValueKind { kString, kMultiString, kNumber, kBytes };

struct ValueTypeEntry {
  const char16_t* letter;
  ValueKind kind;
  std::uint32_t registryType;
};

// The type letters of a value assignment, in lookup order.
inline constexpr ValueTypeEntry ValueTypeLetters[] = {
    {u"S", ValueKind::kString, kRegSz},
    {u"M", ValueKind::kMultiString, kRegMultiSz},
    {u"D", ValueKind::kNumber, kRegDword},
    {u"B", ValueKind::kBytes, kRegBinary},
};

// The root a whole token names (without regard to case): the short or the
// full name of one of the predefined roots (root_keys.h), or none.
std::optional<RegKey> FindRootKey(const char16_t* token);

// The value kind a whole token names (without regard to case), or none.
std::optional<ValueKind> FindValueType(const char16_t* token);

// Registry data converted from a value text. Small values live inside the
// object; a "B" value above kLocalValueBytes bytes and an "M" value whose
// text is longer than 126 units use heap memory held here. A string value
// points at the value text it was converted from, which must outlive this.
class ConvertedValue {
 public:
  static constexpr std::size_t kLocalValueBytes = 256;

  ConvertedValue() = default;
  ConvertedValue(const ConvertedValue&) = delete;
  ConvertedValue& operator=(const ConvertedValue&) = delete;

  std::uint32_t type() const { return type_; }
  const void* data() const { return data_; }
  std::uint32_t byteCount() const { return byteCount_; }

 private:
  friend HResult ConvertValue(TextServices& text, ValueKind kind, const char16_t* valueText,
                              ConvertedValue* value);
  // Room for byteCount bytes, local when it fits; null when memory is out.
  std::uint8_t* Reserve(std::size_t byteCount);

  std::uint32_t type_ = kRegNone;
  const void* data_ = nullptr;
  std::uint32_t byteCount_ = 0;
  std::uint8_t local_[kLocalValueBytes] = {};
  std::unique_ptr<std::uint8_t[]> heap_;
};

// Converts valueText (NUL-terminated) into the registry type and bytes of
// kind:
//   kString      REG_SZ, the text and its NUL;
//   kNumber      REG_DWORD, text.TextToUInt32 as 4 little-endian bytes (a
//                text the conversion does not accept gives 0);
//   kBytes       REG_BINARY, one byte per pair of hexadecimal digits (any
//                other character counts 0); E_FAIL for an odd length or
//                when memory is out;
//   kMultiString REG_MULTI_SZ, pieces cut at each backslash-zero, each with
//                its NUL, then one more NUL; the data ends at the first
//                empty piece; E_OUTOFMEMORY when memory is out.
// Answers 0 on success; *value is then ready for the store's set value.
HResult ConvertValue(TextServices& text, ValueKind kind, const char16_t* valueText,
                     ConvertedValue* value);

}  // namespace tolvane
