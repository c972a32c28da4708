#include "platform/memory/copy_on_write_registry_store.h"

#include <string>
#include <vector>

#include "platform/registry_names.h"

namespace tolvane {
namespace {

// Rights beyond reading: asking for one of them on a key that exists beneath
// asks the store beneath for it too.
constexpr std::uint32_t kWritingRights = kKeySetValue | kKeyCreateSubKey | kKeyCreateLink |
                                         0x00010000u /* DELETE */ | 0x00040000u /* WRITE_DAC */ |
                                         0x00080000u /* WRITE_OWNER */;

// The components of a subkey path folded and joined by single backslashes;
// false for a path no key can have (the layer refuses it with its error).
bool FoldPath(const char16_t* subkey, Text* path, Text* spelled) {
  if (subkey == nullptr) return true;
  if (*subkey == u'\\') return false;
  std::size_t run = 0;
  for (const char16_t* c = subkey; *c != u'\0'; ++c) {
    if (*c == u'\\') {
      run = 0;
      continue;
    }
    if (++run > kMaxKeyNameUnits) return false;
    if (run == 1 && !path->empty()) {
      path->push_back(u'\\');
      spelled->push_back(u'\\');
    }
    path->push_back(RegistryLower(*c));
    spelled->push_back(*c);
  }
  return true;
}

}  // namespace

bool CopyOnWriteRegistryStore::PlaceOf(RegKey parent, const char16_t* subkey, Place* place) const {
  if (IsPredefinedKey(parent)) {
    place->root = parent;
    place->path.clear();
    place->spelled.clear();
  } else {
    const auto it = places_.find(parent);
    if (it == places_.end()) return false;
    *place = it->second;
  }
  return FoldPath(subkey, &place->path, &place->spelled);
}

ErrorCode CopyOnWriteRegistryStore::Reach(const Place& place) {
  // Top down, so that each key's parent is settled before the key.
  std::vector<std::size_t> cuts{0};
  for (std::size_t i = 0; i < place.path.size(); ++i) {
    if (place.path[i] == u'\\') cuts.push_back(i);
  }
  if (!place.path.empty()) cuts.push_back(place.path.size());
  for (const std::size_t cut : cuts) {
    Text prefix = place.path.substr(0, cut);
    if (!filled_.emplace(place.root, prefix).second) continue;
    const TextView spelled = TextView(place.spelled).substr(0, cut);
    if (const ErrorCode code = Arrive(place.root, prefix, spelled); code != kErrorSuccess) {
      filled_.erase({place.root, prefix});
      return code;
    }
  }
  return kErrorSuccess;
}

bool CopyOnWriteRegistryStore::Gone(RegKey root, const Text& path) const {
  if (gone_.empty()) return false;
  for (std::size_t cut = 0;; ++cut) {
    cut = path.find(u'\\', cut);
    if (gone_.count({root, path.substr(0, cut)}) != 0) return true;
    if (cut == Text::npos) return false;
  }
}

ErrorCode CopyOnWriteRegistryStore::Arrive(RegKey root, const Text& path, TextView spelled) {
  if (path.empty()) return CopyValues(root, path);
  if (Gone(root, path)) return kErrorSuccess;
  ScopedKey here(layer_);
  if (layer_.OpenKey(root, path.c_str(), kKeyRead, here.Receive()) != kErrorSuccess) {
    // Not in the layer: absent, unless the parent was never listed and the
    // store beneath has it, which then comes into the layer.
    const std::size_t slash = path.rfind(u'\\');
    const Text parent = slash == Text::npos ? Text() : path.substr(0, slash);
    if (listed_.count({root, parent}) != 0) return kErrorSuccess;
    ScopedKey up(layer_);
    if (layer_.OpenKey(root, parent.c_str(), kKeyCreateSubKey, up.Receive()) != kErrorSuccess) {
      return kErrorSuccess;
    }
    ScopedKey from(inner());
    const ErrorCode code = inner().OpenKey(root, path.c_str(), kKeyRead, from.Receive());
    if (code == kErrorFileNotFound) return kErrorSuccess;
    if (code != kErrorSuccess) return code;
    ScopedKey made(layer_);
    const Text name(slash == Text::npos ? spelled : spelled.substr(slash + 1));
    if (const ErrorCode c =
            layer_.CreateKey(up.get(), name.c_str(), kKeyRead, made.Receive(), nullptr);
        c != kErrorSuccess) {
      return c;
    }
  }
  return CopyValues(root, path);
}

ErrorCode CopyOnWriteRegistryStore::CopyValues(RegKey root, const Text& path) {
  RegistryStore& beneath = inner();
  ScopedKey from(beneath);
  ErrorCode code = beneath.OpenKey(root, path.c_str(), kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) return kErrorSuccess;
  if (code != kErrorSuccess) return code;
  ScopedKey to(layer_);
  code = layer_.OpenKey(root, path.c_str(), kKeyAllAccess, to.Receive());
  if (code != kErrorSuccess) return code;
  if (name_.empty()) name_.resize(kMaxValueNameUnits + 1);
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxValueNameUnits + 1;
    std::uint32_t type = 0;
    auto bytes = static_cast<std::uint32_t>(data_.size());
    code = beneath.EnumValue(from.get(), i, name_.data(), &units, &type, data_.data(), &bytes);
    if (code == kErrorMoreData && bytes > data_.size()) {
      data_.resize(bytes);
      --i;
      continue;
    }
    if (code == kErrorNoMoreItems) return kErrorSuccess;
    if (code != kErrorSuccess) return code;
    name_[units] = u'\0';
    code = layer_.SetValue(to.get(), name_.c_str(), type, data_.data(), bytes);
    if (code != kErrorSuccess) return code;
  }
}

ErrorCode CopyOnWriteRegistryStore::List(RegKey root, const Text& path) {
  if (!listed_.emplace(root, path).second || Gone(root, path)) return kErrorSuccess;
  ScopedKey to(layer_);
  if (layer_.OpenKey(root, path.c_str(), kKeyAllAccess, to.Receive()) != kErrorSuccess) {
    return kErrorSuccess;
  }
  RegistryStore& beneath = inner();
  ScopedKey from(beneath);
  ErrorCode code = beneath.OpenKey(root, path.c_str(), kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) return kErrorSuccess;
  if (code != kErrorSuccess) {
    listed_.erase({root, path});
    return code;
  }
  char16_t name[kMaxKeyNameUnits + 1];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxKeyNameUnits + 1;
    code = beneath.EnumKey(from.get(), i, name, &units);
    if (code == kErrorNoMoreItems) return kErrorSuccess;
    if (code != kErrorSuccess) {
      listed_.erase({root, path});
      return code;
    }
    Text child = path.empty() ? Text() : path + u'\\';
    for (std::uint32_t u = 0; u < units; ++u) child.push_back(RegistryLower(name[u]));
    if (gone_.count({root, child}) != 0) continue;
    name[units] = u'\0';
    ScopedKey made(layer_);
    code = layer_.CreateKey(to.get(), name, kKeyRead, made.Receive(), nullptr);
    if (code != kErrorSuccess) return code;
  }
}

ErrorCode CopyOnWriteRegistryStore::ListKey(RegKey key) {
  if (IsPredefinedKey(key)) {
    if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
    return List(key, Text());
  }
  const auto it = places_.find(key);
  return it == places_.end() ? kErrorSuccess : List(it->second.root, it->second.path);
}

ErrorCode CopyOnWriteRegistryStore::CheckAccess(const Place& place, std::uint32_t access) {
  if ((access & kWritingRights) == 0) return kErrorSuccess;
  ScopedKey probe(inner());
  const ErrorCode code = inner().OpenKey(place.root, place.path.c_str(), access, probe.Receive());
  return code == kErrorAccessDenied ? code : kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::OpenKey(RegKey parent, const char16_t* subkey,
                                            std::uint32_t access, RegKey* result) {
  Place place;
  const bool known = PlaceOf(parent, subkey, &place);
  if (known) {
    if (const ErrorCode code = Reach(place); code != kErrorSuccess) {
      if (result != nullptr) *result = kNoKey;
      return code;
    }
  }
  ErrorCode code = layer_.OpenKey(parent, subkey, access, result);
  if (code == kErrorSuccess && known) code = CheckAccess(place, access);
  if (code != kErrorSuccess) {
    if (result != nullptr && *result != kNoKey) {
      layer_.CloseKey(*result);
      *result = kNoKey;
    }
    return code;
  }
  if (known) places_[*result] = std::move(place);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                              std::uint32_t access, RegKey* result, bool* created) {
  Place place;
  const bool known = PlaceOf(parent, subkey, &place);
  if (known) {
    if (const ErrorCode code = Reach(place); code != kErrorSuccess) {
      if (result != nullptr) *result = kNoKey;
      if (created != nullptr) *created = false;
      return code;
    }
  }
  bool made = false;
  ErrorCode code = layer_.CreateKey(parent, subkey, access, result, &made);
  if (code == kErrorSuccess && known && !made) code = CheckAccess(place, access);
  if (code != kErrorSuccess) {
    if (result != nullptr && *result != kNoKey) {
      layer_.CloseKey(*result);
      *result = kNoKey;
    }
    if (created != nullptr) *created = false;
    return code;
  }
  if (created != nullptr) *created = made;
  if (known) places_[*result] = std::move(place);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::ReachRoot(RegKey key) {
  return IsPredefinedKey(key) ? Reach(Place{key, Text(), Text()}) : kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::QueryValue(RegKey key, const char16_t* name,
                                               std::uint32_t* type, void* data,
                                               std::uint32_t* byteCount) {
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
  return layer_.QueryValue(key, name, type, data, byteCount);
}

ErrorCode CopyOnWriteRegistryStore::SetValue(RegKey key, const char16_t* name, std::uint32_t type,
                                             const void* data, std::uint32_t byteCount) {
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
  return layer_.SetValue(key, name, type, data, byteCount);
}

ErrorCode CopyOnWriteRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
  return layer_.DeleteValue(key, name);
}

ErrorCode CopyOnWriteRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  Place place;
  const bool known = PlaceOf(parent, subkey, &place);
  if (known) {
    ErrorCode code = Reach(place);
    if (code == kErrorSuccess) code = List(place.root, place.path);
    if (code != kErrorSuccess) return code;
  }
  const ErrorCode code = layer_.DeleteKey(parent, subkey);
  if (code == kErrorSuccess && known) gone_.emplace(place.root, place.path);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  Place place;
  const bool known = PlaceOf(parent, subkey, &place);
  const bool itself = subkey == nullptr || *subkey == u'\0';  // the key stays, its subkeys go
  if (known) {
    ErrorCode code = Reach(place);
    if (code == kErrorSuccess && itself) code = List(place.root, place.path);
    if (code != kErrorSuccess) return code;
  }
  const ErrorCode code = layer_.DeleteTree(parent, subkey);
  if (code == kErrorSuccess && known && !itself) gone_.emplace(place.root, place.path);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                            std::uint32_t* nameUnits) {
  if (const ErrorCode code = ListKey(key); code != kErrorSuccess) return code;
  return layer_.EnumKey(key, index, name, nameUnits);
}

ErrorCode CopyOnWriteRegistryStore::EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                                              std::uint32_t* nameUnits, std::uint32_t* type,
                                              void* data, std::uint32_t* byteCount) {
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
  return layer_.EnumValue(key, index, name, nameUnits, type, data, byteCount);
}

ErrorCode CopyOnWriteRegistryStore::QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                                 std::uint32_t* valueCount) {
  if (const ErrorCode code = ListKey(key); code != kErrorSuccess) return code;
  return layer_.QueryInfoKey(key, subkeyCount, valueCount);
}

ErrorCode CopyOnWriteRegistryStore::CloseKey(RegKey key) {
  places_.erase(key);
  return layer_.CloseKey(key);
}

}  // namespace tolvane
