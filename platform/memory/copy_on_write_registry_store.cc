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
bool FoldPath(const char16_t* subkey, Text* path) {
  if (subkey == nullptr) return true;
  if (*subkey == u'\\') return false;
  std::size_t run = 0;
  for (const char16_t* c = subkey; *c != u'\0'; ++c) {
    if (*c == u'\\') {
      run = 0;
      continue;
    }
    if (++run > kMaxKeyNameUnits) return false;
    if (run == 1 && !path->empty()) path->push_back(u'\\');
    path->push_back(RegistryLower(*c));
  }
  return true;
}

}  // namespace

bool CopyOnWriteRegistryStore::PlaceOf(RegKey parent, const char16_t* subkey, Place* place) const {
  if (IsPredefinedKey(parent)) {
    place->root = parent;
    place->path.clear();
  } else {
    const auto it = places_.find(parent);
    if (it == places_.end()) return false;
    *place = it->second;
  }
  return FoldPath(subkey, &place->path);
}

ErrorCode CopyOnWriteRegistryStore::Reach(const Place& place) {
  // Top down: a key's parent is filled before the key, so a key the layer
  // lacks then is in neither store (or was deleted here), and so is all
  // beneath it; those are noted as reached, never to be filled from beneath.
  std::vector<std::size_t> cuts{0};
  for (std::size_t i = 0; i < place.path.size(); ++i) {
    if (place.path[i] == u'\\') cuts.push_back(i);
  }
  if (!place.path.empty()) cuts.push_back(place.path.size());
  bool present = true;
  for (const std::size_t cut : cuts) {
    Text prefix = place.path.substr(0, cut);
    if (!reached_.emplace(place.root, prefix).second || !present) continue;
    if (!prefix.empty()) {
      ScopedKey probe(layer_);
      present =
          layer_.OpenKey(place.root, prefix.c_str(), kKeyRead, probe.Receive()) == kErrorSuccess;
    }
    if (!present) continue;
    if (const ErrorCode code = Fill(place.root, prefix); code != kErrorSuccess) {
      reached_.erase({place.root, prefix});
      return code;
    }
  }
  return kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::Fill(RegKey root, const Text& path) {
  RegistryStore& beneath = inner();
  ScopedKey from(beneath);
  ErrorCode code = beneath.OpenKey(root, path.c_str(), kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) return kErrorSuccess;
  if (code != kErrorSuccess) return code;
  ScopedKey to(layer_);
  code = layer_.OpenKey(root, path.c_str(), kKeyAllAccess, to.Receive());
  if (code != kErrorSuccess) return code;

  std::u16string name(kMaxValueNameUnits + 1, u'\0');
  std::string data(256, '\0');
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxValueNameUnits + 1;
    std::uint32_t type = 0;
    auto bytes = static_cast<std::uint32_t>(data.size());
    code = beneath.EnumValue(from.get(), i, name.data(), &units, &type, data.data(), &bytes);
    if (code == kErrorMoreData && bytes > data.size()) {
      data.resize(bytes);
      --i;
      continue;
    }
    if (code == kErrorNoMoreItems) break;
    if (code != kErrorSuccess) return code;
    name[units] = u'\0';
    code = layer_.SetValue(to.get(), name.c_str(), type, data.data(), bytes);
    if (code != kErrorSuccess) return code;
  }
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxKeyNameUnits + 1;
    code = beneath.EnumKey(from.get(), i, name.data(), &units);
    if (code == kErrorNoMoreItems) break;
    if (code != kErrorSuccess) return code;
    name[units] = u'\0';
    ScopedKey child(layer_);
    code = layer_.CreateKey(to.get(), name.c_str(), kKeyRead, child.Receive(), nullptr);
    if (code != kErrorSuccess) return code;
  }
  return kErrorSuccess;
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
  return IsPredefinedKey(key) ? Reach(Place{key, Text()}) : kErrorSuccess;
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
  if (Place place; PlaceOf(parent, subkey, &place)) {
    if (const ErrorCode code = Reach(place); code != kErrorSuccess) return code;
  }
  return layer_.DeleteKey(parent, subkey);
}

ErrorCode CopyOnWriteRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  if (Place place; PlaceOf(parent, subkey, &place)) {
    if (const ErrorCode code = Reach(place); code != kErrorSuccess) return code;
  }
  return layer_.DeleteTree(parent, subkey);
}

ErrorCode CopyOnWriteRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                            std::uint32_t* nameUnits) {
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
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
  if (const ErrorCode code = ReachRoot(key); code != kErrorSuccess) return code;
  return layer_.QueryInfoKey(key, subkeyCount, valueCount);
}

ErrorCode CopyOnWriteRegistryStore::CloseKey(RegKey key) {
  places_.erase(key);
  return layer_.CloseKey(key);
}

}  // namespace tolvane
