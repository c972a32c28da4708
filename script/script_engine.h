// The registrar script engine: applies a script to the registry store while
// reading it, root block by root block. Registering creates keys, writes
// values and removes the trees "ForceRemove" and "Delete" name; a root block
// whose registration fails is undone by unregistering it, which deletes what
// the block names, keeping "NoRemove" entries and keys that still have
// subkeys. How the block walks do that is the engine's own business
// (script/key_block_walk.h).
#pragma once

#include "platform/platform.h"
#include "platform/status_codes.h"
#include "script/script_language.h"

namespace tolvane {

// Expands the replacements of parser over script, then registers each root
// block. A failing root block is unregistered over its whole text and the
// failure that stopped registration is answered; blocks completed before it
// stay registered, blocks after it are not applied. Answers 0 on success.
// The parser's cursor is the engine's: it is set here and cleared before
// the call returns. Every key opened is closed before it returns.
// With stopOffset, a failure also tells where reading stopped: the offset in
// the expanded text right after the last token read (taken before the undo
// runs), or kNoStopOffset when the replacement pass failed; messages use it
// to point at the fault.
inline constexpr std::size_t kNoStopOffset = static_cast<std::size_t>(-1);
HResult ApplyScript(Platform& platform, ScriptParser& parser, const char16_t* script,
                    std::size_t* stopOffset = nullptr);

// Expands the replacements of parser over script, then unregisters every
// root block in text order, as the undo of a failed block does: named
// values and keys left without subkeys go, "NoRemove" entries stay, missing
// keys are passed over with everything inside them. A fault stops the run
// (a walk that stopped has lost its place in the text) and is answered;
// what earlier blocks removed stays removed. Answers 0 on success. Every
// key opened is closed before it returns.
HResult UnregisterScript(Platform& platform, ScriptParser& parser, const char16_t* script);

}  // namespace tolvane
