// Making one file-name extension open with one of the suite's document
// classes (a ProgID), for all users and for the current user, and telling
// the shell that associations changed. "Associated" means: the extension's
// "open" verb runs the same executable as the ProgID's, whichever ProgID the
// extension names. Every operation takes the platform by reference, keeps no
// state and leaves no registry key open.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/status.h"

namespace tolvane {

// The per-user override tree below HKEY_CURRENT_USER; one subkey per extension.
inline constexpr TextView kPerUserFileExtsPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// Results of ChangeFileExtAssociation.
inline constexpr std::int32_t kAssocChanged = 0;
inline constexpr std::int32_t kAssocRefused = 5;

// The executable that the "open" verb of an extension (".zdw") or a ProgID
// runs, as the shell resolves it. False (and *executable empty) when there
// is none or its path does not fit kMaxPathChars.
bool QueryOpenExecutable(Platform& platform, const char16_t* association, Text* executable);

// True when extension and progId both resolve an open executable and the two
// paths are equal with letters A to Z compared without regard to case. Both
// are always queried. Writes nothing.
bool IsExtAssociatedWith(Platform& platform, const char16_t* extension, const char16_t* progId);

// Points extension at progId: the default value of HKEY_CLASSES_ROOT\ext
// (key created when missing) and, when the per-user tree exists, the value
// "ProgID" of its extension subkey (created when missing), after deleting
// that subkey's value "Application". Nothing else is touched and nothing is
// undone when a later step fails. Refused, with nothing written, for an
// extension that is null, lacks its leading "." or holds a backslash, a
// progId that is null, empty, holds a backslash or has no key openable with
// full access, and an extension too long for the per-user path (over 199
// characters). Fails also when a key or value could not be written (the
// reason names it and the store's code).
Status WriteFileExtAssociation(Platform& platform, const char16_t* progId,
                               const char16_t* extension);

// Succeeds when extension already opens with progId's program (nothing
// written, nothing sent) or has been made to (one association-changed
// notification); fails as WriteFileExtAssociation does (no notification).
Status AssociateFileExt(Platform& platform, const char16_t* extension, const char16_t* progId);

// AssociateFileExt as the export answers it: 0, or 5 for every failure.
std::int32_t ChangeFileExtAssociation(Platform& platform, const char16_t* extension,
                                      const char16_t* progId);

// Sends the association-changed notification; always 0.
std::int32_t SendAssocChangedNotify(Platform& platform);

}  // namespace tolvane
