// The predefined registry roots and their names: the one table behind the
// hive file, the command line, the script language's root names, the
// in-memory store and the tree reader.
#pragma once

#include <array>
#include <string>

#include "platform/registry_store.h"
#include "platform/text.h"

namespace tolvane {

struct RootKeyEntry {
  RegKey key;
  const char16_t* full;       // "HKEY_CLASSES_ROOT"
  const char16_t* shortName;  // "HKCR"
};

// The seven roots in the platform's order.
inline constexpr std::array<RootKeyEntry, 7> kRootKeys{{
    {kHkeyClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {kHkeyUsers, u"HKEY_USERS", u"HKU"},
    {kHkeyPerformanceData, u"HKEY_PERFORMANCE_DATA", u"HKPD"},
    {kHkeyCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC"},
    {kHkeyDynData, u"HKEY_DYN_DATA", u"HKDD"},
}};

// The full name of a predefined root ("HKEY_CLASSES_ROOT"), or an empty
// view for any other key.
TextView RootKeyName(RegKey root);

// The root named by its full name or short form (HKCR, HKCU, HKLM, HKU,
// HKCC, HKPD, HKDD), without regard to case; kNoKey for any other text.
RegKey RootKeyFromName(TextView name);

// Splits "ROOT\sub\path" into its root and the rest (no leading
// backslash; empty for the root itself). False when the root is unknown.
bool SplitRootedPath(TextView rooted, RegKey* root, Text* subkey);

// A key as a person reads it in a reason, with the root's short form:
// "HKCR\.zdw"; with valueName also the value: "HKCR\.zdw (default)" for a
// null or empty name, "HKCR\.zdw \"Name\"" otherwise. An unknown root shows
// as "key N".
std::string KeyInWords(RegKey root, const char16_t* path);
std::string ValueInWords(RegKey root, const char16_t* path, const char16_t* valueName);

}  // namespace tolvane
