#include "tests/fault_injecting_registry_store.h"

#include "platform/registry_names.h"
#include "platform/root_keys.h"

namespace tolvane {
namespace {

Text Fold(TextView text) {
  Text folded(text);
  for (char16_t& unit : folded) unit = RegistryLower(unit);
  return folded;
}

// Whether a key with this restriction may be opened with these rights.
bool Allows(FaultInjectingRegistryStore::Restriction restriction, std::uint32_t access) {
  switch (restriction) {
    case FaultInjectingRegistryStore::Restriction::kNone:
      return true;
    case FaultInjectingRegistryStore::Restriction::kReadOnly:
      return (access & ~kKeyRead) == 0;
    case FaultInjectingRegistryStore::Restriction::kUnopenable:
      return false;
  }
  return false;
}

// The components of a subkey path; runs of backslashes count as one.
std::vector<TextView> Components(const char16_t* subkey) {
  std::vector<TextView> parts;
  TextView rest = ViewOf(subkey);
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    if (slash != 0) parts.push_back(rest.substr(0, slash));
    if (slash == TextView::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return parts;
}

}  // namespace

FaultInjectingRegistryStore::KeyPath FaultInjectingRegistryStore::PathOf(RegKey key) const {
  const TextView root = RootKeyName(key);
  if (!root.empty()) return KeyPath{Text(root), Fold(root)};
  const auto it = handles_.find(static_cast<std::uintptr_t>(key));
  return it == handles_.end() ? KeyPath{} : it->second;
}

FaultInjectingRegistryStore::KeyPath FaultInjectingRegistryStore::Join(const KeyPath& parent,
                                                                       const char16_t* subkey) {
  KeyPath path = parent;
  if (!IsNullOrEmpty(subkey)) {
    path.display += u'\\';
    path.display += subkey;
  }
  for (const TextView part : Components(subkey)) {
    path.folded += u'\\';
    path.folded += Fold(part);
  }
  return path;
}

FaultInjectingRegistryStore::Restriction FaultInjectingRegistryStore::RestrictionOf(
    const Text& folded) const {
  const auto it = restrictions_.find(folded);
  return it == restrictions_.end() ? Restriction::kNone : it->second;
}

bool FaultInjectingRegistryStore::RestrictedAtOrBelow(const Text& folded) const {
  for (const auto& [path, restriction] : restrictions_) {
    if (path == folded ||
        (path.size() > folded.size() && path.compare(0, folded.size(), folded) == 0 &&
         path[folded.size()] == u'\\')) {
      return true;
    }
  }
  return false;
}

bool FaultInjectingRegistryStore::TakeFault(StoreOperation operation, ErrorCode* code) {
  if (faultCountdown_ == 0) return false;
  const bool counts = faultOperation_ == operation || (faultOperation_ == StoreOperation::kAny &&
                                                       operation != StoreOperation::kCloseKey);
  if (!counts || --faultCountdown_ != 0) return false;
  *code = faultCode_;
  return true;
}

void FaultInjectingRegistryStore::FailNth(StoreOperation operation, std::uint64_t nth,
                                          ErrorCode code) {
  faultOperation_ = operation;
  faultCountdown_ = nth;
  faultCode_ = code;
}

ErrorCode FaultInjectingRegistryStore::Record(StoreOperation operation, const Text& path,
                                              const char16_t* name, std::uint32_t access,
                                              ErrorCode result) {
  log_.push_back(StoreCall{operation, path, Text(ViewOf(name)), access, result});
  return result;
}

ErrorCode FaultInjectingRegistryStore::OpenKey(RegKey parent, const char16_t* subkey,
                                               std::uint32_t access, RegKey* result) {
  const KeyPath path = Join(PathOf(parent), subkey);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kOpenKey, &code)) {
    if (result != nullptr) *result = kNoKey;
    return Record(StoreOperation::kOpenKey, path.display, nullptr, access, code);
  }
  code = inner().OpenKey(parent, subkey, access, result);
  if (code == kErrorSuccess && !Allows(RestrictionOf(path.folded), access)) {
    inner().CloseKey(*result);
    *result = kNoKey;
    code = kErrorAccessDenied;
  }
  if (code == kErrorSuccess) Track(*result, path);
  return Record(StoreOperation::kOpenKey, path.display, nullptr, access, code);
}

ErrorCode FaultInjectingRegistryStore::CheckCreate(RegKey parent, const char16_t* subkey,
                                                   std::uint32_t access) {
  if (restrictions_.empty()) return kErrorSuccess;
  // The deepest key of the path that exists decides: creating beneath a
  // restricted key is refused before anything is made, and an existing
  // restricted key opens only with the rights its restriction allows.
  const KeyPath base = PathOf(parent);
  const std::vector<TextView> parts = Components(subkey);
  for (std::size_t n = parts.size() + 1; n > 0; --n) {
    Text prefix;
    KeyPath deepest = base;
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (i > 0) prefix += u'\\';
      prefix += parts[i];
      deepest.folded += u'\\' + Fold(parts[i]);
    }
    ScopedKey probe(inner());
    if (!prefix.empty() &&
        inner().OpenKey(parent, prefix.c_str(), kKeyRead, probe.Receive()) != kErrorSuccess) {
      continue;
    }
    const Restriction restriction = RestrictionOf(deepest.folded);
    if (n == parts.size() + 1)
      return Allows(restriction, access) ? kErrorSuccess : kErrorAccessDenied;
    return restriction == Restriction::kNone ? kErrorSuccess : kErrorAccessDenied;
  }
  return kErrorSuccess;
}

ErrorCode FaultInjectingRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                                 std::uint32_t access, RegKey* result,
                                                 bool* created) {
  const KeyPath path = Join(PathOf(parent), subkey);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kCreateKey, &code) ||
      (code = CheckCreate(parent, subkey, access)) != kErrorSuccess) {
    if (result != nullptr) *result = kNoKey;
    if (created != nullptr) *created = false;
    return Record(StoreOperation::kCreateKey, path.display, nullptr, access, code);
  }
  code = inner().CreateKey(parent, subkey, access, result, created);
  if (code == kErrorSuccess) Track(*result, path);
  return Record(StoreOperation::kCreateKey, path.display, nullptr, access, code);
}

ErrorCode FaultInjectingRegistryStore::QueryValue(RegKey key, const char16_t* name,
                                                  std::uint32_t* type, void* data,
                                                  std::uint32_t* byteCount) {
  ErrorCode code = kErrorSuccess;
  if (!TakeFault(StoreOperation::kQueryValue, &code)) {
    code = inner().QueryValue(key, name, type, data, byteCount);
  }
  return Record(StoreOperation::kQueryValue, PathOf(key).display, name, 0, code);
}

ErrorCode FaultInjectingRegistryStore::SetValue(RegKey key, const char16_t* name,
                                                std::uint32_t type, const void* data,
                                                std::uint32_t byteCount) {
  const KeyPath path = PathOf(key);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kSetValue, &code)) {
  } else if (RestrictionOf(path.folded) != Restriction::kNone) {
    code = kErrorAccessDenied;
  } else {
    code = inner().SetValue(key, name, type, data, byteCount);
  }
  return Record(StoreOperation::kSetValue, path.display, name, 0, code);
}

ErrorCode FaultInjectingRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  const KeyPath path = PathOf(key);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kDeleteValue, &code)) {
  } else if (RestrictionOf(path.folded) != Restriction::kNone) {
    code = kErrorAccessDenied;
  } else {
    code = inner().DeleteValue(key, name);
  }
  return Record(StoreOperation::kDeleteValue, path.display, name, 0, code);
}

ErrorCode FaultInjectingRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  const KeyPath path = Join(PathOf(parent), subkey);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kDeleteKey, &code)) {
  } else if (subkey != nullptr && RestrictionOf(path.folded) != Restriction::kNone) {
    code = kErrorAccessDenied;
  } else {
    code = inner().DeleteKey(parent, subkey);
  }
  return Record(StoreOperation::kDeleteKey, path.display, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::SweepTree(RegKey parent, const Text& name,
                                                 const Text& folded) {
  // Children first, as the registry deletes a tree; a restricted key stops
  // the walk and leaves whatever was not yet deleted.
  ScopedKey key(inner());
  ErrorCode code = inner().OpenKey(parent, name.c_str(), kKeyAllAccess, key.Receive());
  if (code != kErrorSuccess) return code;
  char16_t child[kMaxKeyNameUnits + 1];
  std::uint32_t units = kMaxKeyNameUnits + 1;
  while (inner().EnumKey(key.get(), 0, child, &units) == kErrorSuccess) {
    code = SweepTree(key.get(), child, folded + u'\\' + Fold(child));
    if (code != kErrorSuccess) return code;
    units = kMaxKeyNameUnits + 1;
  }
  key.Reset();
  if (RestrictionOf(folded) != Restriction::kNone) return kErrorAccessDenied;
  return inner().DeleteKey(parent, name.c_str());
}

ErrorCode FaultInjectingRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  const KeyPath path = Join(PathOf(parent), subkey);
  ErrorCode code = kErrorSuccess;
  if (TakeFault(StoreOperation::kDeleteTree, &code)) {
  } else if (!RestrictedAtOrBelow(path.folded)) {
    code = inner().DeleteTree(parent, subkey);
  } else if (!IsNullOrEmpty(subkey)) {
    code = SweepTree(parent, Text(ViewOf(subkey)), path.folded);
  } else {
    // The key stays: its subkeys go one by one, then its values, which a
    // restricted key keeps.
    char16_t child[kMaxKeyNameUnits + 1];
    std::uint32_t units = kMaxKeyNameUnits + 1;
    while (code == kErrorSuccess && inner().EnumKey(parent, 0, child, &units) == kErrorSuccess) {
      code = SweepTree(parent, child, path.folded + u'\\' + Fold(child));
      units = kMaxKeyNameUnits + 1;
    }
    std::uint32_t values = 0;
    if (code == kErrorSuccess && RestrictionOf(path.folded) != Restriction::kNone &&
        inner().QueryInfoKey(parent, nullptr, &values) == kErrorSuccess && values > 0) {
      code = kErrorAccessDenied;
    }
    if (code == kErrorSuccess) code = inner().DeleteTree(parent, subkey);
  }
  return Record(StoreOperation::kDeleteTree, path.display, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                               std::uint32_t* nameUnits) {
  ErrorCode code = kErrorSuccess;
  if (!TakeFault(StoreOperation::kEnumKey, &code)) {
    code = inner().EnumKey(key, index, name, nameUnits);
  }
  return Record(StoreOperation::kEnumKey, PathOf(key).display, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                                                 std::uint32_t* nameUnits, std::uint32_t* type,
                                                 void* data, std::uint32_t* byteCount) {
  ErrorCode code = kErrorSuccess;
  if (!TakeFault(StoreOperation::kEnumValue, &code)) {
    code = inner().EnumValue(key, index, name, nameUnits, type, data, byteCount);
  }
  return Record(StoreOperation::kEnumValue, PathOf(key).display, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                                    std::uint32_t* valueCount) {
  ErrorCode code = kErrorSuccess;
  if (!TakeFault(StoreOperation::kQueryInfoKey, &code)) {
    code = inner().QueryInfoKey(key, subkeyCount, valueCount);
  }
  return Record(StoreOperation::kQueryInfoKey, PathOf(key).display, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::CloseKey(RegKey key) {
  const Text path = PathOf(key).display;
  ErrorCode code = inner().CloseKey(key);
  handles_.erase(static_cast<std::uintptr_t>(key));
  if (key == kNoKey || IsPredefinedKey(key)) return code;
  TakeFault(StoreOperation::kCloseKey, &code);
  return Record(StoreOperation::kCloseKey, path, nullptr, 0, code);
}

ErrorCode FaultInjectingRegistryStore::Restrict(RegKey root, TextView path,
                                                Restriction restriction) {
  const TextView rootName = RootKeyName(root);
  if (rootName.empty()) return kErrorInvalidHandle;
  const Text subkey(path);
  ScopedKey probe(inner());
  const ErrorCode code = inner().OpenKey(root, subkey.c_str(), kKeyRead, probe.Receive());
  if (code != kErrorSuccess) return code;
  restrictions_[Join(KeyPath{Text(rootName), Fold(rootName)}, subkey.c_str()).folded] = restriction;
  return kErrorSuccess;
}

}  // namespace tolvane
