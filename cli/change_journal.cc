#include "cli/change_journal.h"

#include <cstring>

#include "platform/root_keys.h"

namespace tolvane::cli {
namespace {

Change KeyChange(ChangeKind kind, Text key) {
  Change change;
  change.kind = kind;
  change.key = std::move(key);
  return change;
}

}  // namespace

Text JournalingRegistryStore::PathOf(RegKey key) const {
  const TextView root = RootKeyName(key);
  if (!root.empty()) return Text(root);
  const auto it = paths_.find(static_cast<std::uintptr_t>(key));
  return it == paths_.end() ? Text(u"?") : it->second;
}

Text JournalingRegistryStore::Join(const Text& parent, const char16_t* subkey) {
  TextView rest = ViewOf(subkey);
  while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  if (rest.empty()) return parent;
  return parent + u'\\' + Text(rest);
}

ErrorCode JournalingRegistryStore::OpenKey(RegKey parent, const char16_t* subkey,
                                           std::uint32_t access, RegKey* result) {
  const ErrorCode code = inner().OpenKey(parent, subkey, access, result);
  if (code == kErrorSuccess)
    paths_[static_cast<std::uintptr_t>(*result)] = Join(PathOf(parent), subkey);
  return code;
}

ErrorCode JournalingRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                             std::uint32_t access, RegKey* result, bool* created) {
  // Find which keys of the path exist before, so every key the create makes
  // is reported, intermediate ones included.
  const Text base = PathOf(parent);
  const TextView path = ViewOf(subkey);
  std::vector<Text> prefixes;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') {
      if (i > 0) prefixes.emplace_back(path.substr(0, i));
    }
  }
  std::size_t firstMissing = prefixes.size();
  for (std::size_t i = prefixes.size(); i > 0; --i) {
    ScopedKey probe(inner());
    if (inner().OpenKey(parent, prefixes[i - 1].c_str(), kKeyRead, probe.Receive()) ==
        kErrorSuccess) {
      break;
    }
    firstMissing = i - 1;
  }
  bool made = false;
  const ErrorCode code = inner().CreateKey(parent, subkey, access, result, &made);
  if (created != nullptr) *created = made;
  if (code != kErrorSuccess) return code;
  paths_[static_cast<std::uintptr_t>(*result)] = Join(base, subkey);
  if (made) {
    for (std::size_t i = firstMissing; i < prefixes.size(); ++i) {
      changes_.push_back(KeyChange(ChangeKind::kCreateKey, Join(base, prefixes[i].c_str())));
    }
  }
  return code;
}

void JournalingRegistryStore::RecordValue(ChangeKind kind, RegKey key, const char16_t* name) {
  Change change = KeyChange(kind, PathOf(key));
  change.hasName = !IsNullOrEmpty(name);
  change.name = Text(ViewOf(name));
  changes_.push_back(std::move(change));
}

ErrorCode JournalingRegistryStore::SetValue(RegKey key, const char16_t* name, std::uint32_t type,
                                            const void* data, std::uint32_t byteCount) {
  // Whether the set replaces a value, so that deleting it again (the undo
  // of a failed script block) is known to leave nothing or to lose it. A
  // key that may not be read counts as holding one.
  // A set that leaves the value as it was (the same type and bytes, as a
  // second import of one file gives) changes nothing and is not recorded.
  // The value is read through a handle of its own: key may be write-only.
  ScopedKey reader(inner());
  const RegKey from = inner().OpenKey(key, u"", kKeyQueryValue, reader.Receive()) == kErrorSuccess
                          ? reader.get()
                          : key;
  std::uint32_t size = 0;
  std::uint32_t oldType = 0;
  const ErrorCode found = inner().QueryValue(from, name, &oldType, nullptr, &size);
  const bool replaced = found != kErrorFileNotFound;
  bool same = false;
  if (found == kErrorSuccess && oldType == type && size == byteCount) {
    std::string old(size, '\0');
    same = inner().QueryValue(from, name, nullptr, old.data(), &size) == kErrorSuccess &&
           size == byteCount && (size == 0 || std::memcmp(old.data(), data, size) == 0);
  }
  const ErrorCode code = inner().SetValue(key, name, type, data, byteCount);
  if (code == kErrorSuccess && !same) {
    RecordValue(ChangeKind::kSetValue, key, name);
    changes_.back().replaced = replaced;
    changes_.back().type = type;
    if (byteCount > 0) changes_.back().data.assign(static_cast<const char*>(data), byteCount);
  }
  return code;
}

ErrorCode JournalingRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  const ErrorCode code = inner().DeleteValue(key, name);
  if (code == kErrorSuccess) RecordValue(ChangeKind::kDeleteValue, key, name);
  return code;
}

ErrorCode JournalingRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  const ErrorCode code = inner().DeleteKey(parent, subkey);
  if (code == kErrorSuccess)
    changes_.push_back(KeyChange(ChangeKind::kDeleteKey, Join(PathOf(parent), subkey)));
  return code;
}

ErrorCode JournalingRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  // Without a subkey the key stays and its subkeys go: name each of them.
  std::vector<Text> children;
  if (IsNullOrEmpty(subkey)) {
    char16_t name[kMaxKeyNameUnits + 1];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t units = kMaxKeyNameUnits + 1;
      if (inner().EnumKey(parent, i, name, &units) != kErrorSuccess) break;
      children.push_back(Join(PathOf(parent), name));
    }
  }
  const ErrorCode code = inner().DeleteTree(parent, subkey);
  if (code == kErrorSuccess) {
    if (IsNullOrEmpty(subkey)) {
      for (Text& child : children)
        changes_.push_back(KeyChange(ChangeKind::kDeleteKey, std::move(child)));
    } else {
      changes_.push_back(KeyChange(ChangeKind::kDeleteKey, Join(PathOf(parent), subkey)));
    }
  }
  return code;
}

ErrorCode JournalingRegistryStore::CloseKey(RegKey key) {
  paths_.erase(static_cast<std::uintptr_t>(key));
  return inner().CloseKey(key);
}

}  // namespace tolvane::cli
