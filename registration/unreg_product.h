// Taking a registration group back out of the registry for an installation
// directory: what an uninstaller calls.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/status.h"
#include "registration/registration_record.h"
#include "registration/reverse_record_executor.h"

namespace tolvane {

// Unregisters group groupName of catalogue for installDir, chosen as
// RegProduct chooses it (null or empty: the host executable's directory).
// The group's lists are taken back last first, each list's records last
// first (see UndoRecord): values that hold exactly what registering writes
// go, with the keys they leave empty up to the key each record owns;
// values changed since stay (listed in *notes when given); scripts are
// unregistered whether their module is still installed or not; what
// DeleteEntry records removed is not restored. Succeeds when everything
// was taken back, after one association-changed notification when a value
// of an extension key or a per-user FileExts key went; fails when the
// catalogue has no such group or the directory cannot be told or does not
// fit 259 characters (nothing touched), or when a record failed (the other
// records and lists still run; no notification). A second call changes
// nothing and sends no notification. A failure's reason is the unknown
// group's (with the groups and any near name) or the first failed record's,
// after the group's name.
Status UnregisterProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                         const char16_t* installDir, UndoNotes* notes = nullptr);

// UnregisterProduct's outcome as the export answers it: 0, or 1016 for
// every failure.
std::int32_t UnregProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                          const char16_t* installDir, UndoNotes* notes = nullptr);

// The same over the library's built-in catalogue.
std::int32_t UnregProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir,
                          UndoNotes* notes = nullptr);

}  // namespace tolvane
