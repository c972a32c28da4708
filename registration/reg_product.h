// Running a named registration group for an installation directory.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/status.h"
#include "registration/registration_record.h"

namespace tolvane {

// Registers group groupName of catalogue for installDir (null or empty: the
// directory of the host process's executable). Succeeds when every record
// succeeded, after sending the association-changed notification if
// anything changed. Fails when the catalogue has no such group (nothing
// touched; the reason lists the groups and any near name), when a record
// failed (no notification; nothing rolled back; the reason is the first
// failed record's, after the group's name), or when the directory does not
// fit 259 characters (nothing touched).
Status RegisterProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                       const char16_t* installDir);

// RegisterProduct's outcome as the export answers it: 0, or 1016 for
// every failure.
std::int32_t RegProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                        const char16_t* installDir);

// The same over the library's built-in catalogue.
std::int32_t RegProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir);

// The directory a group runs for: installDir, or when it is null or empty
// the directory of the host process's executable. Fails when that cannot
// be told or does not fit 259 characters, with the reason.
Status ChooseInstallDirectory(Platform& platform, const char16_t* installDir, Text* directory);

// The directory part of an executable's path: its drive (up to 2 units,
// such as C:) and its folders up to the last backslash, without file name:
// C:\Suite\Bin\setup.exe gives C:\Suite\Bin\. False when the path does not
// fit kMaxPathChars or its folders exceed 255 units.
bool ExecutableDirectory(TextView executablePath, Text* directory);

}  // namespace tolvane
