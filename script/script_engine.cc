#include "script/script_engine.h"

#include <cstring>
#include <new>

#include "script/key_block_walk.h"

namespace tolvane {
namespace {

bool IsWord(const char16_t* token, const char16_t* word) {
  return EqualsNoCase(ViewOf(token), ViewOf(word));
}

bool IsExactly(const char16_t* token, char16_t unit) { return token[0] == unit && token[1] == 0; }

// A key entry names exactly one level: not empty (which would address the
// parent itself) and without a backslash (which would address a deeper key).
bool IsSingleKeyName(const char16_t* name) {
  if (name[0] == u'\0') return false;
  for (const char16_t* p = name; *p != u'\0'; ++p) {
    if (*p == u'\\') return false;
  }
  return true;
}

// Clears the parser's cursor when the expanded text it points into goes.
class CursorGuard {
 public:
  explicit CursorGuard(ScriptParser& parser) : parser_(parser) {}
  CursorGuard(const CursorGuard&) = delete;
  CursorGuard& operator=(const CursorGuard&) = delete;
  ~CursorGuard() { parser_.cursor = nullptr; }

 private:
  ScriptParser& parser_;
};

// What the words in front of an entry's name said.
struct EntryHead {
  enum class Removal { kNone, kForceRemove, kDelete };
  Removal removal = Removal::kNone;
  bool removable = true;  // false after "NoRemove"
  bool isValue = false;   // "Val": the name is in the level's value-name buffer
};

// Reads the words an entry may begin with, the same way for both modes:
// "ForceRemove" or "Delete", then "NoRemove", then "Val" with its name and
// "=". On success the token buffer holds the entry's key name, or "=" for a
// value. Registering removes the tree that "ForceRemove" or "Delete" names
// as soon as the name is read (the removal's own failure, the key missing
// say, does not stop the entry); after "Delete" nothing else belongs to the
// entry, so registering stops there with the token after the name.
HResult ReadEntryHead(ScriptWalk& walk, RegKey parent, ScriptMode mode, BlockBuffers& buffers,
                      EntryHead* head) {
  TokenBuffer& token = walk.token;
  HResult hr = kSOk;
  *head = EntryHead();
  if (IsWord(token, u"ForceRemove") || IsWord(token, u"Delete")) {
    head->removal =
        IsWord(token, u"Delete") ? EntryHead::Removal::kDelete : EntryHead::Removal::kForceRemove;
    if (Failed(hr = ReadToken(walk.parser, token))) return hr;
    if (mode == ScriptMode::kRegister) {
      if (!IsSingleKeyName(token)) return kDispEException;
      if (!IsProtectedKeyName(token)) DeleteKeyTree(walk.registry, parent, token);
      if (head->removal == EntryHead::Removal::kDelete) return ReadToken(walk.parser, token);
    }
  }
  if (IsWord(token, u"NoRemove")) {
    head->removable = false;
    if (Failed(hr = ReadToken(walk.parser, token))) return hr;
  }
  if (IsWord(token, u"Val")) {
    head->isValue = true;
    if (Failed(hr = ReadToken(walk.parser, buffers.valueName))) return hr;
    if (Failed(hr = ReadToken(walk.parser, token))) return hr;
    return token[0] == u'=' ? kSOk : kDispEException;
  }
  return IsSingleKeyName(token) ? kSOk : kDispEException;
}

// One entry of a register walk up to the point where a block may follow.
// On success the token buffer holds the token after the entry; *ownsBlock
// tells whether the entry was a key entry, whose key is then open in
// current and may be followed by a block.
HResult RegisterEntry(ScriptWalk& walk, RegKey parent, BlockBuffers& buffers, ScopedKey& current,
                      bool* ownsBlock) {
  *ownsBlock = false;
  EntryHead head;
  HResult hr = ReadEntryHead(walk, parent, ScriptMode::kRegister, buffers, &head);
  if (Failed(hr)) return hr;
  if (head.removal == EntryHead::Removal::kDelete) return SkipValueAssignment(walk);
  if (head.isValue) return WriteScriptValue(walk, parent, buffers.valueName);

  const char16_t* name = walk.token;
  // Create opens a key that exists and makes one that does not, in one
  // registry call (a round trip each on the system registry). A key that
  // exists but refuses writing refuses the read-write create; it is then
  // used read-only, and a key that can be neither created nor opened fails
  // with the create's code.
  const ErrorCode created =
      walk.registry.CreateKey(parent, name, kKeyReadWrite, current.Receive(), nullptr);
  if (created != kErrorSuccess &&
      walk.registry.OpenKey(parent, name, kKeyRead, current.Receive()) != kErrorSuccess) {
    return HResultFromError(created);
  }
  *ownsBlock = true;
  if (Failed(hr = ReadToken(walk.parser, walk.token))) return hr;
  if (walk.token[0] == u'=') return WriteScriptValue(walk, current.get(), nullptr);
  return kSOk;
}

HResult RegisterBlock(ScriptWalk& walk, RegKey parent, BlockBuffers& buffers, std::size_t depth) {
  TokenBuffer& token = walk.token;
  // The key of the latest key entry; opening the next one closes it first,
  // and every return closes it.
  ScopedKey current(walk.registry);
  HResult hr = ReadToken(walk.parser, token);
  if (Failed(hr)) return hr;
  while (token[0] != u'}') {
    bool ownsBlock = false;
    if (Failed(hr = RegisterEntry(walk, parent, buffers, current, &ownsBlock))) return hr;
    if (IsExactly(token, u'{')) {
      // Only a key entry has a key for a block to apply beneath.
      if (!ownsBlock) return kDispEException;
      hr = ApplyKeyBlock(walk, current.get(), ScriptMode::kRegister, false, depth + 1);
      if (Failed(hr)) return hr;
      if (Failed(hr = ReadToken(walk.parser, token))) return hr;
    }
  }
  return kSOk;
}

HResult UnregisterBlock(ScriptWalk& walk, RegKey parent, BlockBuffers& buffers, bool skipping,
                        std::size_t depth) {
  TokenBuffer& token = walk.token;
  RegistryStore& registry = walk.registry;
  ScopedKey current(registry);
  HResult hr = ReadToken(walk.parser, token);
  if (Failed(hr)) return hr;
  while (token[0] != u'}') {
    // Unregistering removes nothing for "ForceRemove" or "Delete": the entry
    // goes on with the name that follows.
    EntryHead head;
    if (Failed(hr = ReadEntryHead(walk, parent, ScriptMode::kUnregister, buffers, &head)))
      return hr;

    if (head.isValue) {
      if (!skipping && head.removable) {
        ScopedKey self(registry);
        ErrorCode code = registry.OpenKey(parent, nullptr, kKeyWrite, self.Receive());
        if (code != kErrorSuccess) return HResultFromError(code);
        code = registry.DeleteValue(self.get(), buffers.valueName);
        if (code != kErrorSuccess && code != kErrorFileNotFound) return HResultFromError(code);
      }
      if (Failed(hr = SkipValueAssignment(walk))) return hr;
      if (IsExactly(token, u'{')) return kDispEException;
      continue;
    }

    ErrorCode openCode = kErrorFileNotFound;
    if (!skipping) openCode = registry.OpenKey(parent, token, kKeyRead, current.Receive());
    // The name is needed again after the block; one that does not fit the
    // saved-name buffer is never cut to fit, since a cut name would address
    // another key. (No store opens a key by such a long name.)
    const std::size_t nameUnits = TextLength(token);
    const bool nameSaved = nameUnits < kSavedKeyNameUnits;
    if (nameSaved) std::memcpy(buffers.keyName, token, (nameUnits + 1) * sizeof(char16_t));

    // A default value is never deleted by itself: it goes with its key.
    if (Failed(hr = ReadToken(walk.parser, token))) return hr;
    if (Failed(hr = SkipValueAssignment(walk))) return hr;
    if (IsExactly(token, u'{')) {
      if (head.removal == EntryHead::Removal::kDelete) return kDispEException;
      // A block beneath a key that did not open is read without touching
      // anything. Its failure ends this walk too, skipping or not: a walk
      // that stopped at a fault has lost its place in the text, and going
      // on from there would apply deeper entries at this level.
      hr = ApplyKeyBlock(walk, current.get(), ScriptMode::kUnregister,
                         skipping || openCode != kErrorSuccess, depth + 1);
      if (Failed(hr)) return hr;
      if (Failed(hr = ReadToken(walk.parser, token))) return hr;
    }
    if (openCode == kErrorFileNotFound) continue;
    if (openCode != kErrorSuccess) return HResultFromError(openCode);

    const bool hasSubkeys = HasSubkeys(registry, current.get());
    const ErrorCode closeCode = current.Reset();
    if (closeCode != kErrorSuccess) return HResultFromError(closeCode);
    if (head.removable && !hasSubkeys) {
      if (!nameSaved) return kEFail;
      const ErrorCode code = registry.DeleteKey(parent, buffers.keyName);
      if (code != kErrorSuccess) return HResultFromError(code);
    }
  }
  return kSOk;
}

}  // namespace

BlockBuffers* ScriptWalk::level(std::size_t depth) {
  std::unique_ptr<BlockBuffers>& buffers = levels_[depth - 1];
  if (!buffers) buffers.reset(new (std::nothrow) BlockBuffers);
  return buffers.get();
}

bool IsProtectedKeyName(const char16_t* name) {
  for (const char16_t* protectedName : ProtectedKeyNames) {
    if (EqualsNoCase(ViewOf(protectedName), ViewOf(name))) return true;
  }
  return false;
}

bool HasSubkeys(RegistryStore& registry, RegKey key) {
  std::uint32_t subkeys = 0;
  return registry.QueryInfoKey(key, &subkeys, nullptr) == kErrorSuccess && subkeys > 0;
}

ErrorCode DeleteKeyTree(RegistryStore& registry, RegKey parent, const char16_t* name) {
  // An empty name would open the parent itself and empty it.
  if (IsNullOrEmpty(name)) return kErrorInvalidParameter;
  ScopedKey key(registry);
  ErrorCode code = registry.OpenKey(parent, name, kKeyReadWrite, key.Receive());
  if (code != kErrorSuccess) return code;
  char16_t child[kMaxKeyNameUnits + 1];
  while (true) {
    // Index 0 each time: the subkey just deleted no longer counts. A failed
    // enumeration ends the loop; subkeys that remain make the delete fail.
    std::uint32_t units = kMaxKeyNameUnits + 1;
    if (registry.EnumKey(key.get(), 0, child, &units) != kErrorSuccess) break;
    code = DeleteKeyTree(registry, key.get(), child);
    if (code != kErrorSuccess) return code;
  }
  key.Reset();
  return registry.DeleteKey(parent, name);
}

HResult WriteScriptValue(ScriptWalk& walk, RegKey key, const char16_t* valueName) {
  TokenBuffer buffer;
  HResult hr = ReadToken(walk.parser, buffer);
  if (Failed(hr)) return hr;
  const std::optional<ValueKind> kind = FindValueType(buffer);
  if (!kind) return kDispEException;
  SkipBlanks(walk.parser);
  if (Failed(hr = ReadToken(walk.parser, buffer))) return hr;
  ConvertedValue value;
  if (Failed(hr = ConvertValue(walk.text, *kind, buffer, &value))) return hr;
  const ErrorCode code =
      walk.registry.SetValue(key, valueName, value.type(), value.data(), value.byteCount());
  if (code != kErrorSuccess) return HResultFromError(code);
  return ReadToken(walk.parser, walk.token);
}

HResult SkipValueAssignment(ScriptWalk& walk) {
  if (walk.token[0] != u'=') return kSOk;
  TokenBuffer buffer;
  HResult hr = ReadToken(walk.parser, buffer);  // the type, not looked up
  if (Failed(hr)) return hr;
  SkipBlanks(walk.parser);
  if (Failed(hr = ReadToken(walk.parser, buffer))) return hr;
  return ReadToken(walk.parser, walk.token);
}

HResult ApplyKeyBlock(ScriptWalk& walk, RegKey parent, ScriptMode mode, bool skipping,
                      std::size_t depth) {
  if (depth == 0 || depth > kMaxBlockDepth) return kDispEException;
  BlockBuffers* buffers = walk.level(depth);
  if (buffers == nullptr) return kEOutOfMemory;
  if (mode == ScriptMode::kRegister) return RegisterBlock(walk, parent, *buffers, depth);
  return UnregisterBlock(walk, parent, *buffers, skipping, depth);
}

namespace {

// Expands script and applies its root blocks ("ROOT {" ... "}") in order:
// applyBlock(walk, root, stop) runs with the cursor just after the block's
// "{" and answers its status; the first failure ends the run. stop(hr)
// records where the cursor stood (in *stopOffset, when asked for) and
// answers hr.
template <typename ApplyBlock>
HResult ApplyRootBlocks(Platform& platform, ScriptParser& parser, const char16_t* script,
                        std::size_t* stopOffset, ApplyBlock applyBlock) {
  if (stopOffset != nullptr) *stopOffset = kNoStopOffset;
  ExpandedText expanded;
  HResult hr = ExpandReplacements(script, parser.replacements, &expanded);
  if (Failed(hr)) return hr;
  CursorGuard guard(parser);
  parser.cursor = expanded.c_str();
  if (*parser.cursor == u'\0') return kSOk;
  const auto stop = [&](HResult failure) {
    if (stopOffset != nullptr)
      *stopOffset = static_cast<std::size_t>(parser.cursor - expanded.c_str());
    return failure;
  };

  ScriptWalk walk(platform.registry, platform.text, parser);
  walk.token[0] = u'\0';
  while (true) {
    if (Failed(hr = ReadToken(parser, walk.token))) return stop(hr);
    const std::optional<RegKey> root = FindRootKey(walk.token);
    if (!root) return stop(kDispEException);
    if (Failed(hr = ReadToken(parser, walk.token))) return stop(hr);
    if (walk.token[0] != u'{') return stop(kDispEException);
    if (Failed(hr = applyBlock(walk, *root, stop))) return hr;
    SkipBlanks(parser);
    if (*parser.cursor == u'\0') return kSOk;
  }
}

}  // namespace

HResult ApplyScript(Platform& platform, ScriptParser& parser, const char16_t* script,
                    std::size_t* stopOffset) {
  return ApplyRootBlocks(platform, parser, script, stopOffset,
                         [&parser](ScriptWalk& walk, RegKey root, const auto& stop) {
                           const char16_t* blockStart = parser.cursor;
                           const HResult hr =
                               ApplyKeyBlock(walk, root, ScriptMode::kRegister, false, 1);
                           if (!Failed(hr)) return hr;
                           stop(hr);
                           // Undo the failing block over its whole text; the undo's own status
                           // is not what the caller needs to know.
                           parser.cursor = blockStart;
                           ApplyKeyBlock(walk, root, ScriptMode::kUnregister, false, 1);
                           return hr;
                         });
}

HResult UnregisterScript(Platform& platform, ScriptParser& parser, const char16_t* script) {
  return ApplyRootBlocks(platform, parser, script, nullptr,
                         [](ScriptWalk& walk, RegKey root, const auto& /*stop*/) {
                           return ApplyKeyBlock(walk, root, ScriptMode::kUnregister, false, 1);
                         });
}

}  // namespace tolvane
