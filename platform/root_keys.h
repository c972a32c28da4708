// Names of the predefined registry roots, for the hive file, the command
// line and the in-memory store.
#pragma once

#include "platform/registry_store.h"
#include "platform/text.h"

namespace tolvane {

// The full name of a predefined root ("HKEY_CLASSES_ROOT"), or an empty
// view for any other key.
TextView RootKeyName(RegKey root);

// The root named by its full name or short form (HKCR, HKCU, HKLM, HKU,
// HKCC, HKPD, HKDD), without regard to case; kNoKey for any other text.
RegKey RootKeyFromName(TextView name);

// Splits "ROOT\sub\path" into its root and the rest (no leading
// backslash; empty for the root itself). False when the root is unknown.
bool SplitRootedPath(TextView rooted, RegKey* root, Text* subkey);

}  // namespace tolvane
