#include "platform/memory/memory_registry_store.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/registry_names.h"
#include "platform/root_keys.h"

namespace tolvane {
namespace {

constexpr ErrorCode kErrorBadPathname = 161;
constexpr ErrorCode kErrorNoAccess = 998;
constexpr std::uintptr_t kFirstHandle = 0x1000;

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The unit of a string value's bytes that starts at byte offset.
char16_t UnitAt(const void* bytes, std::size_t offset) {
  char16_t unit;
  std::memcpy(&unit, static_cast<const char*>(bytes) + offset, sizeof unit);
  return unit;
}

void FoldInto(TextView name, Text* folded) {
  folded->resize(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) (*folded)[i] = RegistryLower(name[i]);
}

// Visits the components of a subkey path in order; runs of backslashes
// inside or at the end separate like one, as the system registry reads
// paths. A leading backslash is refused, and so is a component longer than
// a key name may be; visit answering false stops the walk.
template <typename Visit>
ErrorCode ForEachComponent(const char16_t* subkey, Visit visit) {
  TextView rest = ViewOf(subkey);
  if (!rest.empty() && rest.front() == u'\\') return kErrorBadPathname;
  // Check every component's length first, so a refused path changes nothing.
  for (TextView check = rest; !check.empty();) {
    const std::size_t slash = check.find(u'\\');
    if (check.substr(0, slash).size() > kMaxKeyNameUnits) return kErrorInvalidParameter;
    if (slash == TextView::npos) break;
    check.remove_prefix(slash + 1);
  }
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    const TextView part = rest.substr(0, slash);
    if (!part.empty() && !visit(part)) break;
    if (slash == TextView::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return kErrorSuccess;
}

}  // namespace

// One key. Each name is folded once, when the key is made (every unit
// mapped by the registry's case table), so a lookup folds the wanted name
// once and compares units plainly. Subkeys added in name order (as a hive
// file lists them) stay sorted and are found by halving, a name past the
// last one at once; many subkeys added out of order are found through a
// hash index of folded names, and sorted only when listing needs it. Either
// way adding the n-th subkey costs about the same at any n. Values keep the order
// they were first written, each with its folded name beside it.
struct MemoryRegistryStore::Node {
  struct Value {
    Text folded;
    StoredValue stored;
  };

  Text name;
  Text folded;
  Node* parent = nullptr;
  bool deleted = false;
  std::vector<Value> values;

  // Subkeys are found through the index once there are this many.
  static constexpr std::size_t kIndexedChildren = 16;

  // The subkeys in folded-name order (after EnsureSorted).
  const std::vector<std::shared_ptr<Node>>& Children() const {
    EnsureSorted();
    return children_;
  }
  std::size_t ChildCount() const { return children_.size(); }

  std::shared_ptr<Node>* Child(TextView foldedName) {
    if (index_) {
      const auto it = index_->find(foldedName);
      return it == index_->end() ? nullptr : &it->second;
    }
    if (!sorted_ || children_.size() < kIndexedChildren) {
      for (std::shared_ptr<Node>& child : children_) {
        if (child->folded == foldedName) return &child;
      }
      return nullptr;
    }
    // Sorted: a name past the last one (keys added in order, as a hive file
    // lists them) is missing at once; any other is found by halving.
    const TextView last = children_.back()->folded;
    if (foldedName > last) return nullptr;
    if (foldedName == last) return &children_.back();
    const auto at = std::lower_bound(children_.begin(), children_.end(), foldedName,
                                     [](const std::shared_ptr<Node>& c, TextView wanted) {
                                       return TextView(c->folded) < wanted;
                                     });
    return at != children_.end() && (*at)->folded == foldedName ? &*at : nullptr;
  }
  // Adds a subkey not yet present; answers its owning entry.
  std::shared_ptr<Node>* AddChild(std::shared_ptr<Node> child) {
    if (!children_.empty() && TextView(child->folded) < TextView(children_.back()->folded)) {
      sorted_ = false;
    }
    children_.push_back(std::move(child));
    if (index_) {
      const auto [at, added] = index_->emplace(children_.back()->folded, children_.back());
      return &at->second;
    }
    // Sorted subkeys are found by halving; the index is built for many
    // subkeys that came out of order.
    if (!sorted_ && children_.size() >= kIndexedChildren) {
      index_ = std::make_unique<std::unordered_map<TextView, std::shared_ptr<Node>>>();
      for (const auto& c : children_) index_->emplace(c->folded, c);
      return &index_->find(children_.back()->folded)->second;
    }
    return &children_.back();
  }
  // Removes a subkey (which stays alive while a handle holds it).
  void RemoveChild(const Node* child) {
    if (index_) index_->erase(child->folded);
    auto at = children_.end();
    if (sorted_) {
      at = std::lower_bound(children_.begin(), children_.end(), TextView(child->folded),
                            [](const std::shared_ptr<Node>& c, TextView wanted) {
                              return TextView(c->folded) < wanted;
                            });
    } else {
      at = std::find_if(children_.begin(), children_.end(),
                        [&](const std::shared_ptr<Node>& c) { return c.get() == child; });
    }
    children_.erase(at);
  }
  // Forgets every subkey.
  void ClearChildren() {
    index_.reset();
    children_.clear();
    sorted_ = true;
  }
  Value* FindValue(TextView foldedName) {
    for (Value& v : values) {
      if (v.folded == foldedName) return &v;
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

 private:
  void EnsureSorted() const {
    if (sorted_) return;
    std::sort(children_.begin(), children_.end(),
              [](const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) {
                return a->folded < b->folded;
              });
    sorted_ = true;
  }

  mutable std::vector<std::shared_ptr<Node>> children_;
  mutable bool sorted_ = true;
  std::unique_ptr<std::unordered_map<TextView, std::shared_ptr<Node>>> index_;
};

MemoryRegistryStore::MemoryRegistryStore() {
  for (const RootKeyEntry& root : kRootKeys) {
    auto node = std::make_shared<Node>();
    node->name = root.full;
    FoldInto(node->name, &node->folded);
    roots_.push_back(std::move(node));
  }
}

MemoryRegistryStore::~MemoryRegistryStore() = default;

TextView MemoryRegistryStore::Fold(TextView name) {
  FoldInto(name, &folded_);
  return folded_;
}

MemoryRegistryStore::Node* MemoryRegistryStore::RootNode(RegKey root) const {
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    if (kRootKeys[i].key == root) return roots_[i].get();
  }
  return nullptr;
}

const std::shared_ptr<MemoryRegistryStore::Node>* MemoryRegistryStore::Resolve(
    RegKey key, std::uint32_t* access, ErrorCode* code) const {
  const auto value = static_cast<std::uintptr_t>(key);
  const std::size_t slot = (value - kFirstHandle) / 4;
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0 || slot >= handles_.size() ||
      handles_[slot].node == nullptr) {
    for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
      if (kRootKeys[i].key == key) {
        *access = kKeyAllAccess;
        return &roots_[i];
      }
    }
    *code = kErrorInvalidHandle;
    return nullptr;
  }
  const Handle& handle = handles_[slot];
  if (handle.node->deleted) {
    *code = kErrorKeyDeleted;
    return nullptr;
  }
  *access = handle.access;
  return &handle.node;
}

RegKey MemoryRegistryStore::NewHandle(std::shared_ptr<Node> node, std::uint32_t access) {
  std::size_t slot = handles_.size();
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    handles_.emplace_back();
  }
  handles_[slot] = Handle{std::move(node), access};
  ++openHandles_;
  return static_cast<RegKey>(kFirstHandle + 4 * slot);
}

const std::shared_ptr<MemoryRegistryStore::Node>* MemoryRegistryStore::Walk(
    const std::shared_ptr<Node>* from, const char16_t* subkey, ErrorCode* code) {
  const std::shared_ptr<Node>* node = from;
  *code = ForEachComponent(subkey, [&](TextView part) {
    node = (*node)->Child(Fold(part));
    return node != nullptr;
  });
  if (*code == kErrorSuccess && node == nullptr) *code = kErrorFileNotFound;
  return *code == kErrorSuccess ? node : nullptr;
}

ErrorCode MemoryRegistryStore::OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                       RegKey* result) {
  if (result != nullptr) *result = kNoKey;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* base = Resolve(parent, &parentAccess, &code);
  if (base == nullptr) return code;
  if (result == nullptr) return kErrorInvalidParameter;
  const std::shared_ptr<Node>* node = Walk(base, subkey, &code);
  if (node == nullptr) return code;
  *result = NewHandle(*node, access);
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                         std::uint32_t access, RegKey* result, bool* created) {
  if (result != nullptr) *result = kNoKey;
  if (created != nullptr) *created = false;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(parent, &parentAccess, &code);
  if (owner == nullptr) return code;
  if (result == nullptr) return kErrorInvalidParameter;
  Node* base = owner->get();
  // Find the deepest existing key first, so a refused create leaves no
  // partial keys behind.
  const std::shared_ptr<Node>* found = owner;
  bool missing = false;
  code = ForEachComponent(subkey, [&](TextView part) {
    const std::shared_ptr<Node>* child = (*found)->Child(Fold(part));
    if (child == nullptr) {
      missing = true;
      return false;
    }
    found = child;
    return true;
  });
  Node* node = found->get();
  if (code != kErrorSuccess) return code;
  // Creating beneath the handle's own key needs its create right.
  if (missing && node == base && (parentAccess & kKeyCreateSubKey) == 0) return kErrorAccessDenied;
  if (missing) {
    node = base;
    ForEachComponent(subkey, [&](TextView part) {
      const TextView folded = Fold(part);
      found = node->Child(folded);
      if (found == nullptr) {
        auto child = std::make_shared<Node>();
        child->name = Text(part);
        child->folded = Text(folded);
        child->parent = node;
        found = node->AddChild(std::move(child));
      }
      node = found->get();
      return true;
    });
  }
  if (created != nullptr) *created = missing;
  *result = NewHandle(*found, access);
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::QueryValue(RegKey key, const char16_t* name, std::uint32_t* type,
                                          void* data, std::uint32_t* byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (data != nullptr && byteCount == nullptr) return kErrorInvalidParameter;
  const Node::Value* found = node->FindValue(Fold(ViewOf(name)));
  if (found == nullptr) return kErrorFileNotFound;
  const StoredValue& v = found->stored;
  if (type != nullptr) *type = v.type;
  const auto size = static_cast<std::uint32_t>(v.data.size());
  if (data != nullptr && *byteCount < size) {
    code = kErrorMoreData;
  } else if (data != nullptr && size > 0) {
    std::memcpy(data, v.data.data(), size);
    // A string stored without its terminator gets one in the caller's
    // buffer when there is room, as the system registry does.
    if (IsStringType(v.type) && size >= sizeof(char16_t) && size + sizeof(char16_t) <= *byteCount &&
        UnitAt(v.data.data(), size - sizeof(char16_t)) != u'\0') {
      std::memset(static_cast<char*>(data) + size, 0, sizeof(char16_t));
    }
  }
  if (byteCount != nullptr) *byteCount = size;
  return code;
}

ErrorCode MemoryRegistryStore::SetValue(RegKey key, const char16_t* name, std::uint32_t type,
                                        const void* data, std::uint32_t byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
  if (data == nullptr && byteCount != 0) return kErrorNoAccess;
  const TextView wanted = ViewOf(name);
  if (wanted.size() > kMaxValueNameUnits) return kErrorInvalidParameter;
  // Only the bytes the caller counted are read. (Wine's registry also takes
  // a terminator lying just past the count; reading there could run past
  // the caller's buffer, so this store keeps to the documented rule.)
  const char* bytes = static_cast<const char*>(data);
  if (Node::Value* v = node->FindValue(Fold(wanted)); v != nullptr) {
    v->stored.type = type;
    v->stored.data.assign(bytes, byteCount);  // keeps the old capacity
  } else {
    node->values.push_back(
        Node::Value{folded_, StoredValue{Text(wanted), type, std::string(bytes, byteCount)}});
  }
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
  Node::Value* v = node->FindValue(Fold(ViewOf(name)));
  if (v == nullptr) return kErrorFileNotFound;
  node->values.erase(node->values.begin() + (v - node->values.data()));
  return kErrorSuccess;
}

void MemoryRegistryStore::DeleteSubtree(Node& node) {
  // Children first, as the platform does; a handle still open on a deleted
  // key keeps that key (and only it) alive, naming only itself.
  for (const auto& child : node.Children()) {
    DeleteSubtree(*child);
    child->parent = nullptr;
  }
  node.ClearChildren();
  node.values.clear();
  node.deleted = true;
}

void MemoryRegistryStore::Detach(std::shared_ptr<Node> node) {
  // node is a copy, so the key stays alive until its parent has let go.
  Node* owner = node->parent;
  DeleteSubtree(*node);
  node->parent = nullptr;
  owner->RemoveChild(node.get());
}

ErrorCode MemoryRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* base = Resolve(parent, &access, &code);
  if (base == nullptr) return code;
  // An empty subkey deletes the key itself; a null one is refused.
  if (subkey == nullptr) return kErrorInvalidParameter;
  const std::shared_ptr<Node>* found = Walk(base, subkey, &code);
  if (found == nullptr) return code;
  Node* node = found->get();
  if (node->parent == nullptr || node->ChildCount() != 0) return kErrorAccessDenied;
  Detach(*found);
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* base = Resolve(parent, &access, &code);
  if (base == nullptr) return code;
  const std::shared_ptr<Node>* found = Walk(base, subkey, &code);
  if (found == nullptr) return code;
  Node* node = found->get();
  if (node != base->get()) {
    Detach(*found);
    return kErrorSuccess;
  }
  // No subkey: the key's subkeys and values go, the key itself stays. The
  // handle must allow listing the key; its values go only through a handle
  // that may write them.
  const std::uint32_t listing = kKeyEnumerateSubKeys | kKeyQueryValue;
  if ((access & listing) != listing) return kErrorAccessDenied;
  for (const auto& child : node->Children()) {
    DeleteSubtree(*child);
    child->parent = nullptr;
  }
  node->ClearChildren();
  if (!node->values.empty()) {
    if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
    node->values.clear();
  }
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                       std::uint32_t* nameUnits) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (name == nullptr || nameUnits == nullptr) return kErrorInvalidParameter;
  if (index >= node->ChildCount()) return kErrorNoMoreItems;
  const Text& childName = node->Children()[index]->name;
  if (childName.size() + 1 > *nameUnits) return kErrorMoreData;
  std::copy(childName.begin(), childName.end(), name);
  name[childName.size()] = u'\0';
  *nameUnits = static_cast<std::uint32_t>(childName.size());
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                                         std::uint32_t* nameUnits, std::uint32_t* type, void* data,
                                         std::uint32_t* byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (name == nullptr || nameUnits == nullptr || (data != nullptr && byteCount == nullptr)) {
    return kErrorInvalidParameter;
  }
  if (index >= node->values.size()) return kErrorNoMoreItems;
  const StoredValue& value = node->values[index].stored;
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
  const std::shared_ptr<Node>* owner = Resolve(key, &access, &code);
  if (owner == nullptr) return code;
  Node* node = owner->get();
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (subkeyCount != nullptr) *subkeyCount = static_cast<std::uint32_t>(node->ChildCount());
  if (valueCount != nullptr) *valueCount = static_cast<std::uint32_t>(node->values.size());
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::CloseKey(RegKey key) {
  if (key == kNoKey || IsPredefinedKey(key)) return kErrorSuccess;
  const auto value = static_cast<std::uintptr_t>(key);
  const std::size_t slot = (value - kFirstHandle) / 4;
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0 || slot >= handles_.size() ||
      handles_[slot].node == nullptr) {
    return kErrorInvalidHandle;
  }
  handles_[slot].node.reset();
  freeSlots_.push_back(slot);
  --openHandles_;
  return kErrorSuccess;
}

void MemoryRegistryStore::Collect(const Node& node, const Text& path, bool includeSelf,
                                  std::vector<StoredKey>* keys) const {
  if (includeSelf) {
    StoredKey key{path, {}};
    key.values.reserve(node.values.size());
    for (const Node::Value& v : node.values) key.values.push_back(v.stored);
    keys->push_back(std::move(key));
  }
  for (const auto& child : node.Children()) {
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
  Node* node = RootNode(root);
  if (node == nullptr) return kErrorInvalidHandle;
  const Text copy(path);
  ErrorCode code = kErrorSuccess;
  // Walk needs the scratch buffer; a snapshot is a reading call, so it uses
  // its own.
  Text folded;
  code = ForEachComponent(copy.c_str(), [&](TextView part) {
    FoldInto(part, &folded);
    const std::shared_ptr<Node>* child = node->Child(folded);
    node = child != nullptr ? child->get() : nullptr;
    return node != nullptr;
  });
  if (code != kErrorSuccess) return code;
  if (node == nullptr) return kErrorFileNotFound;
  Collect(*node, node->FullPath(), true, keys);
  return kErrorSuccess;
}

void MemoryRegistryStore::Clear() {
  for (auto& root : roots_) {
    for (const auto& child : root->Children()) {
      DeleteSubtree(*child);
      child->parent = nullptr;
    }
    root->ClearChildren();
    root->values.clear();
  }
}

}  // namespace tolvane
