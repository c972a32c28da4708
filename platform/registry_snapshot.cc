#include "platform/registry_snapshot.h"

#include <algorithm>
#include <string>

#include "platform/registry_names.h"
#include "platform/root_keys.h"

namespace tolvane {
namespace {

// Every value of an open key, in enumeration order.
ErrorCode ReadValues(RegistryStore& store, RegKey key, std::vector<StoredValue>* values) {
  std::u16string name(kMaxValueNameUnits + 1, u'\0');
  std::string data(256, '\0');
  for (std::uint32_t index = 0;; ++index) {
    StoredValue value;
    std::uint32_t units = kMaxValueNameUnits + 1;
    auto bytes = static_cast<std::uint32_t>(data.size());
    ErrorCode code =
        store.EnumValue(key, index, name.data(), &units, &value.type, data.data(), &bytes);
    if (code == kErrorMoreData && bytes > data.size()) {
      data.resize(bytes);
      units = kMaxValueNameUnits + 1;
      code = store.EnumValue(key, index, name.data(), &units, &value.type, data.data(), &bytes);
    }
    if (code == kErrorNoMoreItems) return kErrorSuccess;
    if (code != kErrorSuccess) return code;
    value.name.assign(name.data(), units);
    value.data.assign(data.data(), bytes);
    values->push_back(std::move(value));
  }
}

// The names of an open key's subkeys, in registry name order.
ErrorCode ReadSubkeyNames(RegistryStore& store, RegKey key, std::vector<Text>* names) {
  // Some registries hold names longer than the limit (the system's under
  // Wine): read those too.
  constexpr std::uint32_t kLongestName = 16383;
  std::u16string name(kMaxKeyNameUnits + 1, u'\0');
  for (std::uint32_t index = 0;; ++index) {
    auto units = static_cast<std::uint32_t>(name.size());
    ErrorCode code = store.EnumKey(key, index, name.data(), &units);
    if (code == kErrorMoreData && name.size() <= kLongestName) {
      name.resize(kLongestName + 1);
      units = kLongestName + 1;
      code = store.EnumKey(key, index, name.data(), &units);
    }
    if (code == kErrorNoMoreItems) break;
    if (code != kErrorSuccess) return code;
    names->emplace_back(name.data(), units);
  }
  std::sort(names->begin(), names->end(),
            [](const Text& a, const Text& b) { return CompareRegistryNames(a, b) < 0; });
  return kErrorSuccess;
}

// Appends key (open, borrowed) at path and its subtree. With unread, what
// cannot be read is named there and passed over.
ErrorCode Collect(RegistryStore& store, RegKey key, const Text& path, bool includeSelf,
                  std::vector<StoredKey>* keys, std::vector<UnreadKey>* unread) {
  const auto passOver = [unread](const Text& at, ErrorCode code) {
    if (code != kErrorSuccess && unread != nullptr) unread->push_back(UnreadKey{at, code});
    return unread != nullptr ? kErrorSuccess : code;
  };
  if (includeSelf) {
    keys->push_back(StoredKey{path, {}});
    const ErrorCode code = passOver(path, ReadValues(store, key, &keys->back().values));
    if (code != kErrorSuccess) return code;
  }
  std::vector<Text> children;
  ErrorCode code = passOver(path, ReadSubkeyNames(store, key, &children));
  for (std::size_t i = 0; code == kErrorSuccess && i < children.size(); ++i) {
    ScopedKey child(store);
    const Text childPath = path + u'\\' + children[i];
    code = passOver(childPath, store.OpenKey(key, children[i].c_str(), kKeyRead, child.Receive()));
    if (code == kErrorSuccess && child.get() != kNoKey)
      code = Collect(store, child.get(), childPath, true, keys, unread);
  }
  return code;
}

// The stored spelling of the subkey of key named name (any letter case);
// false when there is none.
bool StoredSpelling(RegistryStore& store, RegKey key, TextView name, Text* spelling) {
  std::vector<Text> children;
  if (ReadSubkeyNames(store, key, &children) != kErrorSuccess) return false;
  for (Text& child : children) {
    if (EqualsNoCase(child, name)) {
      *spelling = std::move(child);
      return true;
    }
  }
  return false;
}

}  // namespace

ErrorCode ReadRegistryTree(RegistryStore& store, RegKey root, TextView path,
                           std::vector<StoredKey>* keys, std::vector<UnreadKey>* unread) {
  keys->clear();
  if (unread != nullptr) unread->clear();
  const TextView rootName = RootKeyName(root);
  if (rootName.empty()) return kErrorInvalidHandle;
  const Text subkey(path);
  ScopedKey top(store);
  ErrorCode code = store.OpenKey(root, subkey.c_str(), kKeyRead, top.Receive());
  if (code != kErrorSuccess) return code;

  // The path as the store spells it, found one level at a time.
  Text spelled(rootName);
  Text below;
  TextView rest = path;
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    const TextView part = rest.substr(0, slash);
    rest = slash == TextView::npos ? TextView() : rest.substr(slash + 1);
    if (part.empty()) continue;
    ScopedKey parent(store);
    if (!below.empty() && store.OpenKey(root, below.c_str(), kKeyRead, parent.Receive()) != 0)
      break;
    Text name;
    if (!StoredSpelling(store, below.empty() ? root : parent.get(), part, &name)) name = Text(part);
    if (!below.empty()) below += u'\\';
    below += name;
    spelled += u'\\' + name;
  }
  code = Collect(store, top.get(), spelled, true, keys, unread);
  if (code != kErrorSuccess) keys->clear();
  return code;
}

ErrorCode ReadWholeRegistry(RegistryStore& store, std::vector<StoredKey>* keys,
                            std::vector<UnreadKey>* unread) {
  keys->clear();
  if (unread != nullptr) unread->clear();
  for (const RootKeyEntry& entry : kRootKeys) {
    const RegKey root = entry.key;
    std::uint32_t subkeys = 0;
    std::uint32_t values = 0;
    if (store.QueryInfoKey(root, &subkeys, &values) != kErrorSuccess) continue;
    const ErrorCode code = Collect(store, root, Text(RootKeyName(root)), values > 0, keys, unread);
    if (code != kErrorSuccess) {
      keys->clear();
      return code;
    }
  }
  return kErrorSuccess;
}

}  // namespace tolvane
