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

std::string KeyInWords(RegKey root, const char16_t* path) {
  std::string words;
  for (const RootKeyEntry& entry : kRootKeys) {
    if (entry.key == root) words = Utf16ToUtf8(ViewOf(entry.shortName));
  }
  if (words.empty()) words = "key " + std::to_string(static_cast<std::uintptr_t>(root));
  if (!IsNullOrEmpty(path)) words += "\\" + Utf16ToUtf8(ViewOf(path));
  return words;
}

std::string ValueInWords(RegKey root, const char16_t* path, const char16_t* valueName) {
  if (IsNullOrEmpty(valueName)) return KeyInWords(root, path) + " (default)";
  return KeyInWords(root, path) + " \"" + Utf16ToUtf8(ViewOf(valueName)) + "\"";
}

}  // namespace tolvane
