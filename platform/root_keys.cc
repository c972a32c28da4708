#include "platform/root_keys.h"

#include <array>

namespace tolvane {
namespace {

struct RootName {
  RegKey key;
  const char16_t* full;
  const char16_t* shortName;
};

constexpr std::array<RootName, 7> kRootNames{{
    {kHkeyClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {kHkeyUsers, u"HKEY_USERS", u"HKU"},
    {kHkeyPerformanceData, u"HKEY_PERFORMANCE_DATA", u"HKPD"},
    {kHkeyCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC"},
    {kHkeyDynData, u"HKEY_DYN_DATA", u"HKDD"},
}};

}  // namespace

bool IsPredefinedKey(RegKey key) {
  for (const RootName& r : kRootNames) {
    if (r.key == key) return true;
  }
  return false;
}

TextView RootKeyName(RegKey root) {
  for (const RootName& r : kRootNames) {
    if (r.key == root) return r.full;
  }
  return {};
}

RegKey RootKeyFromName(TextView name) {
  for (const RootName& r : kRootNames) {
    if (EqualsNoCase(name, r.full) || EqualsNoCase(name, r.shortName)) return r.key;
  }
  return kNoKey;
}

bool SplitRootedPath(TextView rooted, RegKey* root, Text* subkey) {
  const std::size_t slash = rooted.find(u'\\');
  const TextView head = rooted.substr(0, slash);
  const RegKey key = RootKeyFromName(head);
  if (key == kNoKey) return false;
  *root = key;
  subkey->clear();
  if (slash != TextView::npos) {
    TextView rest = rooted.substr(slash + 1);
    while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    subkey->assign(rest);
  }
  return true;
}

}  // namespace tolvane
