// The registrar script engine: applies a script to the registry store while
// reading it, root block by root block. Register mode creates keys, writes
// values and removes the trees "ForceRemove" and "Delete" name; unregister
// mode deletes what a script names, keeping "NoRemove" entries and keys that
// still have subkeys. Unregister mode runs only to undo a root block whose
// registration failed.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/platform.h"
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
  // Everything is borrowed. The level buffers are allocated here, once, as
  // one block indexed by depth instead of living in each walk's stack frame:
  // 64 levels of them take about half a megabyte, more than a caller's
  // thread (an installer's custom-action thread, say) can be expected to
  // spare. ready() tells whether that allocation succeeded.
  ScriptWalk(RegistryStore& registry, TextServices& text, ScriptParser& parser);
  ScriptWalk(const ScriptWalk&) = delete;
  ScriptWalk& operator=(const ScriptWalk&) = delete;

  bool ready() const { return levels_ != nullptr; }
  // The buffers of nesting level depth (1 to kMaxBlockDepth).
  BlockBuffers& level(std::size_t depth) { return levels_[depth - 1]; }

  RegistryStore& registry;
  TextServices& text;
  ScriptParser& parser;
  TokenBuffer token = {};

 private:
  std::unique_ptr<BlockBuffers[]> levels_;
};

// Expands the replacements of parser over script, then registers each root
// block. A failing root block is unregistered over its whole text and the
// failure that stopped registration is answered; blocks completed before it
// stay registered, blocks after it are not applied. Answers 0 on success.
// Every key it opens is closed before it returns.
HResult ApplyScript(Platform& platform, ScriptParser& parser, const char16_t* script);

// ApplyScript that also tells, on failure, where reading stopped: the offset
// in the expanded text right after the last token read (taken before the
// undo runs), or kNoStopOffset when the replacement pass failed. For
// messages that point at the fault.
inline constexpr std::size_t kNoStopOffset = static_cast<std::size_t>(-1);
HResult ApplyScript(Platform& platform, ScriptParser& parser, const char16_t* script,
                    std::size_t* stopOffset);

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
bool IsProtectedKeyName(TextServices& text, const char16_t* name);

}  // namespace tolvane
