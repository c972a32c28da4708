// Running a named registration group for an installation directory.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "registration/registration_record.h"

namespace tolvane {

// Registers group groupName of catalogue for installDir (null or empty: the
// directory of the host process's executable). Answers 0 when every record
// succeeded, after sending the association-changed notification if
// anything changed; 1016 when the catalogue has no such group (nothing
// touched), when a record failed (no notification; nothing rolled back), or
// when the directory does not fit 259 characters (nothing touched).
std::int32_t RegProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                        const char16_t* installDir);

// The same over the library's built-in catalogue.
std::int32_t RegProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir);

// The directory a group runs for: installDir, or when it is null or empty
// the directory of the host process's executable. False when that cannot
// be told or does not fit 259 characters.
bool ChooseInstallDirectory(Platform& platform, const char16_t* installDir, Text* directory);

// The directory part of an executable's path: its drive (up to 2 units,
// such as C:) and its folders up to the last backslash, without file name:
// C:\Suite\Bin\setup.exe gives C:\Suite\Bin\. False when the path does not
// fit kMaxPathChars or its folders exceed 255 units.
bool ExecutableDirectory(TextView executablePath, Text* directory);

}  // namespace tolvane
