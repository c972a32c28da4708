#include "platform/root_keys.h"

namespace tolvane {

bool IsPredefinedKey(RegKey key) {
  for (const RootKeyEntry& r : kRootKeys) {
    if (r.key == key) return true;
  }
  return false;
}

TextView RootKeyName(RegKey root) {
  for (const RootKeyEntry& r : kRootKeys) {
    if (r.key == root) return r.full;
  }
  return {};
}

RegKey RootKeyFromName(TextView name) {
  for (const RootKeyEntry& r : kRootKeys) {
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
