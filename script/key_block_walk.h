// The parts of the script engine behind ApplyScript: the walk of one key
// block in register or unregister mode and the steps it is made of. Only the
// engine and its tests include this.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/registry_store.h"
#include "platform/status_codes.h"
#include "platform/text_services.h"
#include "script/script_language.h"

namespace tolvane {

// Key names that "ForceRemove" and "Delete" never remove (compared whole,
// without regard to case).
inline constexpr const char16_t* ProtectedKeyNames[] = {
    u"AppID",    u"CLSID",     u"Component Categories",
    u"FileType", u"Interface", u"Hardware",
    u"Mime",     u"SAM",       u"SECURITY",
    u"SYSTEM",   u"Software",  u"TypeLib",
};

// Deepest block nesting a script may use, the root block counting as 1.
// Deeper blocks are refused as a syntax fault, which bounds the stack.
inline constexpr std::size_t kMaxBlockDepth = 64;

// A saved key name: 259 units and a terminator.
inline constexpr std::size_t kSavedKeyNameUnits = 260;

enum class ScriptMode { kRegister, kUnregister };

// The buffers one block walk owns.
struct BlockBuffers {
  TokenBuffer valueName;
  char16_t keyName[kSavedKeyNameUnits];
};

// The state one apply operation shares among its nested block walks: the
// services, the parser, the one token buffer every walk reads into, and the
// buffers of each nesting level.
class ScriptWalk {
 public:
  // Everything is borrowed. The level buffers live here, indexed by depth,
  // instead of in each walk's stack frame: 64 levels of them take about half
  // a megabyte, more than a caller's thread (an installer's custom-action
  // thread, say) can be expected to spare. Each level's buffers are made
  // when a block first reaches that depth, so a script pays only for the
  // depth it uses (a few blocks of 8.7 KB that the heap hands out again
  // from one run to the next), never for all 64.
  ScriptWalk(RegistryStore& registry, TextServices& text, ScriptParser& parser)
      : registry(registry), text(text), parser(parser) {}
  ScriptWalk(const ScriptWalk&) = delete;
  ScriptWalk& operator=(const ScriptWalk&) = delete;

  // The buffers of nesting level depth (1 to kMaxBlockDepth); null when
  // memory is out.
  BlockBuffers* level(std::size_t depth);

  RegistryStore& registry;
  TextServices& text;
  ScriptParser& parser;
  TokenBuffer token;

 private:
  std::unique_ptr<BlockBuffers> levels_[kMaxBlockDepth];
};

// Walks one block body with the parser's cursor just after its "{", applying
// it beneath parent (borrowed, never closed here) in mode. skipping (only in
// unregister mode) reads the body without touching the registry. depth is
// the block's nesting level, the root block's being 1. On return the token
// buffer holds the block's closing token; no key is left open.
HResult ApplyKeyBlock(ScriptWalk& walk, RegKey parent, ScriptMode mode, bool skipping,
                      std::size_t depth);

// Reads "type value-text" after an "=" and writes the value to key under
// valueName (null: the default value), then reads the next token into the
// walk's token buffer. Answers the first failure.
HResult WriteScriptValue(ScriptWalk& walk, RegKey key, const char16_t* valueName);

// When the token buffer holds a token beginning with "=", reads past the
// assignment's type and value text and reads the next token; otherwise does
// nothing. Writes nothing to the registry.
HResult SkipValueAssignment(ScriptWalk& walk);

// Deletes parent\name with every subkey, children before parents. Answers
// the store's error number of the step that stopped it, or of the final
// delete. No key is left open.
ErrorCode DeleteKeyTree(RegistryStore& registry, RegKey parent, const char16_t* name);

// True when key (open, borrowed) has at least one subkey.
bool HasSubkeys(RegistryStore& registry, RegKey key);

// Whether name is one of ProtectedKeyNames.
bool IsProtectedKeyName(const char16_t* name);

}  // namespace tolvane
