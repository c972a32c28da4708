#include "platform/memory/memory_registry_store.h"

#include <algorithm>
#include <cstring>

#include "platform/registry_names.h"
#include "platform/root_keys.h"

namespace tolvane {

struct MemoryRegistryStore::Node {
  Text name;
  Node* parent = nullptr;
  bool deleted = false;
  std::vector<StoredValue> values;
  std::vector<std::shared_ptr<Node>> children;  // in CompareRegistryNames order

  // Where a child of that name is or would go, children being sorted.
  std::vector<std::shared_ptr<Node>>::const_iterator Position(TextView childName) const {
    return std::lower_bound(children.begin(), children.end(), childName,
                            [](const std::shared_ptr<Node>& c, TextView wanted) {
                              return CompareRegistryNames(c->name, wanted) < 0;
                            });
  }
  Node* Child(TextView childName) const { return ChildShared(childName).get(); }
  std::shared_ptr<Node> ChildShared(TextView childName) const {
    const auto it = Position(childName);
    if (it == children.end() || !EqualsNoCase((*it)->name, childName)) return nullptr;
    return *it;
  }
  StoredValue* Value(TextView valueName) {
    for (auto& v : values) {
      if (EqualsNoCase(v.name, valueName)) return &v;
    }
    return nullptr;
  }
  Text FullPath() const {
    if (parent == nullptr) return name;
    Text path = parent->FullPath();
    path += u'\\';
    path += name;
    return path;
  }
};

namespace {

constexpr ErrorCode kErrorBadPathname = 161;
constexpr ErrorCode kErrorNoAccess = 998;

// Splits a subkey path into its components. A leading backslash is
// refused; runs of backslashes inside or at the end separate like one, as
// the system registry reads paths.
ErrorCode SplitPath(const char16_t* subkey, std::vector<TextView>* parts) {
  parts->clear();
  TextView rest = ViewOf(subkey);
  if (!rest.empty() && rest.front() == u'\\') return kErrorBadPathname;
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    const TextView part = rest.substr(0, slash);
    if (part.size() > kMaxKeyNameUnits) return kErrorInvalidParameter;
    if (!part.empty()) parts->push_back(part);
    if (slash == TextView::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return kErrorSuccess;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The unit of a string value's bytes that starts at byte offset.
char16_t UnitAt(const void* bytes, std::size_t offset) {
  char16_t unit;
  std::memcpy(&unit, static_cast<const char*>(bytes) + offset, sizeof unit);
  return unit;
}

TextView NameOf(const char16_t* name) { return ViewOf(name); }

}  // namespace

MemoryRegistryStore::MemoryRegistryStore() {
  for (const RootKeyEntry& root : kRootKeys) {
    auto node = std::make_shared<Node>();
    node->name = root.full;
    roots_.push_back(std::move(node));
  }
}

MemoryRegistryStore::~MemoryRegistryStore() = default;

MemoryRegistryStore::Node* MemoryRegistryStore::RootNode(RegKey root) const {
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    if (kRootKeys[i].key == root) return roots_[i].get();
  }
  return nullptr;
}

std::shared_ptr<MemoryRegistryStore::Node> MemoryRegistryStore::Resolve(RegKey key,
                                                                        std::uint32_t* access,
                                                                        ErrorCode* code) const {
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    if (kRootKeys[i].key == key) {
      *access = kKeyAllAccess;
      return roots_[i];
    }
  }
  const auto it = handles_.find(static_cast<std::uintptr_t>(key));
  if (it == handles_.end()) {
    *code = kErrorInvalidHandle;
    return nullptr;
  }
  if (it->second.node->deleted) {
    *code = kErrorKeyDeleted;
    return nullptr;
  }
  *access = it->second.access;
  return it->second.node;
}

RegKey MemoryRegistryStore::NewHandle(std::shared_ptr<Node> node, std::uint32_t access) {
  const std::uintptr_t value = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(value, Handle{std::move(node), access});
  return static_cast<RegKey>(value);
}

ErrorCode MemoryRegistryStore::OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                       RegKey* result) {
  if (result != nullptr) *result = kNoKey;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(parent, &parentAccess, &code);
  if (result == nullptr) code = kErrorInvalidParameter;
  if (node == nullptr || code != kErrorSuccess) {
    return code;
  }
  std::vector<TextView> parts;
  code = SplitPath(subkey, &parts);
  for (std::size_t i = 0; code == kErrorSuccess && i < parts.size(); ++i) {
    node = node->ChildShared(parts[i]);
    if (node == nullptr) code = kErrorFileNotFound;
  }
  if (code == kErrorSuccess) *result = NewHandle(node, access);
  return code;
}

ErrorCode MemoryRegistryStore::CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                         RegKey* result, bool* created) {
  if (result != nullptr) *result = kNoKey;
  if (created != nullptr) *created = false;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(parent, &parentAccess, &code);
  if (result == nullptr) code = kErrorInvalidParameter;
  if (node == nullptr || code != kErrorSuccess) {
    return code;
  }
  std::vector<TextView> parts;
  code = SplitPath(subkey, &parts);
  // Check the whole path before creating anything, so a refused create
  // leaves no partial keys behind.
  Node* walk = node.get();
  std::size_t existing = 0;
  while (code == kErrorSuccess && existing < parts.size()) {
    Node* child = walk->Child(parts[existing]);
    if (child == nullptr) break;
    walk = child;
    ++existing;
  }
  if (code == kErrorSuccess && existing < parts.size()) {
    // Creating beneath the handle's own key needs its create right.
    if (walk == node.get() && (parentAccess & kKeyCreateSubKey) == 0) code = kErrorAccessDenied;
  }
  if (code == kErrorSuccess) {
    for (std::size_t i = 0; i < existing; ++i) node = node->ChildShared(parts[i]);
    for (std::size_t i = existing; i < parts.size(); ++i) {
      auto child = std::make_shared<Node>();
      child->name = Text(parts[i]);
      child->parent = node.get();
      node->children.insert(node->Position(parts[i]), child);
      node = child;
    }
    if (created != nullptr) *created = existing < parts.size();
    *result = NewHandle(node, access);
  }
  return code;
}

ErrorCode MemoryRegistryStore::QueryValue(RegKey key, const char16_t* name, std::uint32_t* type,
                                          void* data, std::uint32_t* byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyQueryValue) == 0) {
    code = kErrorAccessDenied;
  } else if (data != nullptr && byteCount == nullptr) {
    code = kErrorInvalidParameter;
  } else if (StoredValue* v = node->Value(NameOf(name)); v == nullptr) {
    code = kErrorFileNotFound;
  } else {
    if (type != nullptr) *type = v->type;
    const auto size = static_cast<std::uint32_t>(v->data.size());
    if (data != nullptr && *byteCount < size) {
      code = kErrorMoreData;
    } else if (data != nullptr && size > 0) {
      std::memcpy(data, v->data.data(), size);
      // A string stored without its terminator gets one in the caller's
      // buffer when there is room, as the system registry does.
      if (IsStringType(v->type) && size >= sizeof(char16_t) &&
          size + sizeof(char16_t) <= *byteCount &&
          UnitAt(v->data.data(), size - sizeof(char16_t)) != u'\0') {
        std::memset(static_cast<char*>(data) + size, 0, sizeof(char16_t));
      }
    }
    if (byteCount != nullptr) *byteCount = size;
  }
  return code;
}

ErrorCode MemoryRegistryStore::SetValue(RegKey key, const char16_t* name, std::uint32_t type,
                                        const void* data, std::uint32_t byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeySetValue) == 0) {
    code = kErrorAccessDenied;
  } else if (data == nullptr && byteCount != 0) {
    code = kErrorNoAccess;
  } else if (NameOf(name).size() > kMaxValueNameUnits) {
    code = kErrorInvalidParameter;
  } else {
    // Only the bytes the caller counted are read. (Wine's registry also
    // takes a terminator lying just past the count; reading there could run
    // past the caller's buffer, so this store keeps to the documented rule.)
    std::string bytes(static_cast<const char*>(data), byteCount);
    if (StoredValue* v = node->Value(NameOf(name)); v != nullptr) {
      v->type = type;
      v->data = std::move(bytes);
    } else {
      node->values.push_back(StoredValue{Text(NameOf(name)), type, std::move(bytes)});
    }
  }
  return code;
}

ErrorCode MemoryRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeySetValue) == 0) {
    code = kErrorAccessDenied;
  } else {
    const TextView wanted = NameOf(name);
    auto it = std::find_if(node->values.begin(), node->values.end(), [&](const StoredValue& v) {
      return EqualsNoCase(v.name, wanted);
    });
    if (it == node->values.end()) {
      code = kErrorFileNotFound;
    } else {
      node->values.erase(it);
    }
  }
  return code;
}

ErrorCode MemoryRegistryStore::DeleteSubtree(Node& node) {
  // Children first, as the platform does.
  while (!node.children.empty()) {
    const ErrorCode code = DeleteSubtree(*node.children.front());
    if (code != kErrorSuccess) return code;
  }
  node.deleted = true;
  Node* parent = node.parent;
  node.parent = nullptr;  // a deleted key held by a handle names only itself
  auto& siblings = parent->children;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                              [&](const std::shared_ptr<Node>& c) { return c.get() == &node; }));
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(parent, &access, &code);
  const std::shared_ptr<Node> base = node;
  if (node == nullptr) return code;
  // An empty subkey deletes the key itself; a null one is refused.
  if (subkey == nullptr) {
    return kErrorInvalidParameter;
  }
  std::vector<TextView> parts;
  code = SplitPath(subkey, &parts);
  for (std::size_t i = 0; code == kErrorSuccess && i < parts.size(); ++i) {
    node = node->ChildShared(parts[i]);
    if (node == nullptr) code = kErrorFileNotFound;
  }
  if (code == kErrorSuccess) {
    if (node->parent == nullptr || !node->children.empty()) {
      code = kErrorAccessDenied;
    } else {
      code = DeleteSubtree(*node);
    }
  }
  return code;
}

ErrorCode MemoryRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(parent, &access, &code);
  const std::shared_ptr<Node> base = node;
  if (node == nullptr) return code;
  std::vector<TextView> parts;
  code = SplitPath(subkey, &parts);
  for (std::size_t i = 0; code == kErrorSuccess && i < parts.size(); ++i) {
    node = node->ChildShared(parts[i]);
    if (node == nullptr) code = kErrorFileNotFound;
  }
  if (code == kErrorSuccess) {
    if (parts.empty()) {
      // No subkey: the key's subkeys and values go, the key itself stays.
      // The handle must allow listing the key; its values go only through
      // a handle that may write them.
      const std::uint32_t listing = kKeyEnumerateSubKeys | kKeyQueryValue;
      if ((access & listing) != listing) code = kErrorAccessDenied;
      while (code == kErrorSuccess && !node->children.empty()) {
        code = DeleteSubtree(*node->children.front());
      }
      if (code == kErrorSuccess && !node->values.empty()) {
        if ((access & kKeySetValue) == 0) {
          code = kErrorAccessDenied;
        } else {
          node->values.clear();
        }
      }
    } else {
      code = DeleteSubtree(*node);
    }
  }
  return code;
}

ErrorCode MemoryRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                       std::uint32_t* nameUnits) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyEnumerateSubKeys) == 0) {
    code = kErrorAccessDenied;
  } else if (name == nullptr || nameUnits == nullptr) {
    code = kErrorInvalidParameter;
  } else if (index >= node->children.size()) {
    code = kErrorNoMoreItems;
  } else {
    const Text& childName = node->children[index]->name;
    if (childName.size() + 1 > *nameUnits) {
      code = kErrorMoreData;
    } else {
      std::copy(childName.begin(), childName.end(), name);
      name[childName.size()] = u'\0';
      *nameUnits = static_cast<std::uint32_t>(childName.size());
    }
  }
  return code;
}

ErrorCode MemoryRegistryStore::EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                                         std::uint32_t* nameUnits, std::uint32_t* type, void* data,
                                         std::uint32_t* byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (name == nullptr || nameUnits == nullptr || (data != nullptr && byteCount == nullptr)) {
    return kErrorInvalidParameter;
  }
  if (index >= node->values.size()) return kErrorNoMoreItems;
  const StoredValue& value = node->values[index];
  if (value.name.size() + 1 > *nameUnits) return kErrorMoreData;
  const auto size = static_cast<std::uint32_t>(value.data.size());
  if (type != nullptr) *type = value.type;
  if (data != nullptr && *byteCount < size) {
    *byteCount = size;
    return kErrorMoreData;
  }
  std::copy(value.name.begin(), value.name.end(), name);
  name[value.name.size()] = u'\0';
  *nameUnits = static_cast<std::uint32_t>(value.name.size());
  if (data != nullptr && size > 0) std::memcpy(data, value.data.data(), size);
  if (byteCount != nullptr) *byteCount = size;
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                            std::uint32_t* valueCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  std::shared_ptr<Node> node = Resolve(key, &access, &code);
  if (node == nullptr) {
    return code;
  }
  if ((access & kKeyQueryValue) == 0) {
    code = kErrorAccessDenied;
  } else {
    if (subkeyCount != nullptr) *subkeyCount = static_cast<std::uint32_t>(node->children.size());
    if (valueCount != nullptr) *valueCount = static_cast<std::uint32_t>(node->values.size());
  }
  return code;
}

ErrorCode MemoryRegistryStore::CloseKey(RegKey key) {
  if (key == kNoKey || IsPredefinedKey(key)) return kErrorSuccess;
  const auto it = handles_.find(static_cast<std::uintptr_t>(key));
  if (it == handles_.end()) {
    return kErrorInvalidHandle;
  }
  const std::shared_ptr<Node> node = it->second.node;
  handles_.erase(it);
  ErrorCode code = kErrorSuccess;
  return code;
}

void MemoryRegistryStore::Collect(const Node& node, const Text& path, bool includeSelf,
                                  std::vector<StoredKey>* keys) const {
  if (includeSelf) keys->push_back(StoredKey{path, node.values});
  for (const auto& child : node.children) {
    Collect(*child, path + u'\\' + child->name, true, keys);
  }
}

std::vector<StoredKey> MemoryRegistryStore::Snapshot() const {
  std::vector<StoredKey> keys;
  for (const auto& root : roots_) Collect(*root, root->name, !root->values.empty(), &keys);
  return keys;
}

ErrorCode MemoryRegistryStore::SnapshotTree(RegKey root, TextView path,
                                            std::vector<StoredKey>* keys) const {
  keys->clear();
  const Node* node = RootNode(root);
  if (node == nullptr) return kErrorInvalidHandle;
  const Text copy(path);
  std::vector<TextView> parts;
  const ErrorCode code = SplitPath(copy.c_str(), &parts);
  if (code != kErrorSuccess) return code;
  for (const TextView part : parts) {
    node = node->Child(part);
    if (node == nullptr) return kErrorFileNotFound;
  }
  Collect(*node, node->FullPath(), true, keys);
  return kErrorSuccess;
}

void MemoryRegistryStore::Clear() {
  for (auto& root : roots_) {
    while (!root->children.empty()) DeleteSubtree(*root->children.front());
    root->values.clear();
  }
}

}  // namespace tolvane
