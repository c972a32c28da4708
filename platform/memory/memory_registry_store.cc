#include "platform/memory/memory_registry_store.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/registry_names.h"
#include "platform/root_keys.h"

namespace tolvane {
namespace {

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

// Visits the components of a subkey path in order; runs of backslashes
// inside or at the end separate like one, as the system registry reads
// paths. A leading backslash is refused, and so is a component longer than
// a key name may be; visit answering false stops the walk.
template <typename Visit>
ErrorCode ForEachComponent(const char16_t* subkey, Visit visit) {
  if (subkey == nullptr) return kErrorSuccess;
  if (*subkey == u'\\') return kErrorBadPathname;
  // Check every component's length first, so a refused path changes nothing.
  const char16_t* end = subkey;
  for (std::size_t run = 0; *end != u'\0'; ++end) {
    run = *end == u'\\' ? 0 : run + 1;
    if (run > kMaxKeyNameUnits) return kErrorInvalidParameter;
  }
  for (const char16_t* start = subkey; start < end;) {
    const char16_t* stop = start;
    while (stop < end && *stop != u'\\') ++stop;
    if (stop > start && !visit(TextView(start, static_cast<std::size_t>(stop - start)))) break;
    start = stop + 1;
  }
  return kErrorSuccess;
}

}  // namespace

MemoryRegistryStore::MemoryRegistryStore()
    : roots_(kRootKeys.size()), folded_(new char16_t[kMaxValueNameUnits + 1]) {
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    const TextView name = kRootKeys[i].full;
    roots_[i].name = NameBuffer(name, FoldName(name, folded_.get()));
    roots_[i].pathUnits = static_cast<std::uint32_t>(name.size());
  }
}

MemoryRegistryStore::~MemoryRegistryStore() = default;

FoldedName MemoryRegistryStore::Fold(TextView name) {
  // No stored name is longer than a value name may be, so a longer one is
  // folded only as far as that and answered one unit longer: it matches
  // nothing.
  if (name.size() > kMaxValueNameUnits) {
    FoldedName folded = FoldName(name.substr(0, kMaxValueNameUnits), folded_.get());
    folded_[kMaxValueNameUnits] = u'\0';
    folded.units = TextView(folded_.get(), kMaxValueNameUnits + 1);
    return folded;
  }
  return FoldName(name, folded_.get());
}

KeyNode* MemoryRegistryStore::RootNode(RegKey root) {
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    if (kRootKeys[i].key == root) return &roots_[i];
  }
  return nullptr;
}

std::size_t MemoryRegistryStore::HandleSlot(RegKey key) {
  const auto value = static_cast<std::uintptr_t>(key);
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0) return kNoSlot;
  return (value - kFirstHandle) / 4;
}

KeyNode* MemoryRegistryStore::Resolve(RegKey key, std::uint32_t* access, ErrorCode* code) {
  const auto value = static_cast<std::uintptr_t>(key);
  const std::size_t slot = (value - kFirstHandle) / 4;
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0 || slot >= handles_.size() ||
      handles_[slot].node == nullptr) {
    if (KeyNode* root = RootNode(key); root != nullptr) {
      *access = kKeyAllAccess;
      return root;
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
  return handle.node;
}

RegKey MemoryRegistryStore::NewHandle(KeyNode* node, std::uint32_t access) {
  std::size_t slot = handles_.size();
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    handles_.emplace_back();
  }
  handles_[slot] = Handle{node, access};
  ++node->handles;
  ++openHandles_;
  return static_cast<RegKey>(kFirstHandle + 4 * slot);
}

KeyNode* MemoryRegistryStore::Walk(KeyNode* from, const char16_t* subkey, ErrorCode* code) {
  KeyNode* node = from;
  *code = ForEachComponent(subkey, [&](TextView part) {
    node = node->Child(Fold(part));
    return node != nullptr;
  });
  if (*code == kErrorSuccess && node == nullptr) *code = kErrorFileNotFound;
  return *code == kErrorSuccess ? node : nullptr;
}

KeyNode* MemoryRegistryStore::AddChild(KeyNode* parent, TextView name, const FoldedName& folded) {
  KeyNode* child = arena_.New();
  child->name = NameBuffer(name, folded);
  child->parent = parent;
  child->pathUnits = parent->pathUnits + 1 + static_cast<std::uint32_t>(name.size());
  pathUnits_ += child->pathUnits;
  parent->AddChild(child);
  return child;
}

ErrorCode MemoryRegistryStore::OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                       RegKey* result) {
  if (result != nullptr) *result = kNoKey;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* base = Resolve(parent, &parentAccess, &code);
  if (base == nullptr) return code;
  if (result == nullptr) return kErrorInvalidParameter;
  KeyNode* node = Walk(base, subkey, &code);
  if (node == nullptr) return code;
  *result = NewHandle(node, access);
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                         std::uint32_t access, RegKey* result, bool* created) {
  if (result != nullptr) *result = kNoKey;
  if (created != nullptr) *created = false;
  std::uint32_t parentAccess = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* base = Resolve(parent, &parentAccess, &code);
  if (base == nullptr) return code;
  if (result == nullptr) return kErrorInvalidParameter;
  // Existing levels are followed; from the first missing one on every level
  // is made. The path's components are checked before any is visited, and
  // the one refusal that can come later (no create right on the handle's
  // own key) comes before anything is made, so a refused create leaves no
  // partial keys behind.
  KeyNode* node = base;
  KeyNode* first = nullptr;  // the first key made
  bool missing = false;
  bool denied = false;
  code = ForEachComponent(subkey, [&](TextView part) {
    const FoldedName folded = Fold(part);
    if (!missing) {
      if (KeyNode* child = node->Child(folded); child != nullptr) {
        node = child;
        return true;
      }
      // Creating beneath the handle's own key needs its create right.
      if (node == base && (parentAccess & kKeyCreateSubKey) == 0) {
        denied = true;
        return false;
      }
      missing = true;
    }
    node = AddChild(node, part, folded);
    if (first == nullptr) first = node;
    return true;
  });
  if (code != kErrorSuccess) return code;
  if (denied) return kErrorAccessDenied;
  if (pathUnits_ > pathUnitLimit_) {
    Detach(first);
    return kErrorNotEnoughMemory;
  }
  if (missing) ++revision_;
  if (created != nullptr) *created = missing;
  *result = NewHandle(node, access);
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::QueryValue(RegKey key, const char16_t* name, std::uint32_t* type,
                                          void* data, std::uint32_t* byteCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (data != nullptr && byteCount == nullptr) return kErrorInvalidParameter;
  const KeyNode::Value* found = node->FindValue(Fold(ViewOf(name)));
  if (found == nullptr) return kErrorFileNotFound;
  if (type != nullptr) *type = found->type;
  const std::string_view stored = found->data();
  const auto size = static_cast<std::uint32_t>(stored.size());
  if (data != nullptr && *byteCount < size) {
    code = kErrorMoreData;
  } else if (data != nullptr && size > 0) {
    std::memcpy(data, stored.data(), size);
    // A string stored without its terminator gets one in the caller's
    // buffer when there is room, as the system registry does.
    if (IsStringType(found->type) && size >= sizeof(char16_t) &&
        size + sizeof(char16_t) <= *byteCount &&
        UnitAt(stored.data(), size - sizeof(char16_t)) != u'\0') {
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
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
  if (data == nullptr && byteCount != 0) return kErrorNoAccess;
  const TextView wanted = ViewOf(name);
  if (wanted.size() > kMaxValueNameUnits) return kErrorInvalidParameter;
  // Only the bytes the caller counted are read. (Wine's registry also takes
  // a terminator lying just past the count; reading there could run past
  // the caller's buffer, so this store keeps to the documented rule.)
  const char* bytes = static_cast<const char*>(data);
  const FoldedName folded = Fold(wanted);
  const std::string_view payload(bytes, byteCount);
  if (KeyNode::Value* v = node->FindValue(folded); v != nullptr) {
    if (v->type == type && v->data() == payload) return kErrorSuccess;
    // The name keeps the spelling it was first written with.
    v->stored.ReplacePayload(payload);
    v->type = type;
  } else {
    node->AddValue(KeyNode::Value{NameBuffer(wanted, folded, payload), type});
  }
  ++revision_;
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
  KeyNode::Value* v = node->FindValue(Fold(ViewOf(name)));
  if (v == nullptr) return kErrorFileNotFound;
  node->EraseValue(v);
  ++revision_;
  return kErrorSuccess;
}

void MemoryRegistryStore::DeleteSubtree(KeyNode& node) {
  // Children first, as the platform does; a handle still open on a deleted
  // key keeps that key (and only it) alive, naming only itself.
  node.ReleaseChildren([this](KeyNode* child) { Drop(child); });
  node.ClearValues();
  node.deleted = true;
}

void MemoryRegistryStore::Drop(KeyNode* node) {
  pathUnits_ -= node->pathUnits;
  DeleteSubtree(*node);
  node->parent = nullptr;
  if (node->handles == 0) arena_.Free(node);
}

void MemoryRegistryStore::Detach(KeyNode* node) {
  node->parent->RemoveChild(node);
  Drop(node);
}

ErrorCode MemoryRegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* base = Resolve(parent, &access, &code);
  if (base == nullptr) return code;
  // An empty subkey deletes the key itself; a null one is refused.
  if (subkey == nullptr) return kErrorInvalidParameter;
  KeyNode* node = Walk(base, subkey, &code);
  if (node == nullptr) return code;
  if (node->parent == nullptr || node->ChildCount() != 0) return kErrorAccessDenied;
  Detach(node);
  ++revision_;
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* base = Resolve(parent, &access, &code);
  if (base == nullptr) return code;
  KeyNode* node = Walk(base, subkey, &code);
  if (node == nullptr) return code;
  if (node != base) {
    Detach(node);
    ++revision_;
    return kErrorSuccess;
  }
  // No subkey: the key's subkeys and values go, the key itself stays. The
  // handle must allow listing the key; its values go only through a handle
  // that may write them.
  const std::uint32_t listing = kKeyEnumerateSubKeys | kKeyQueryValue;
  if ((access & listing) != listing) return kErrorAccessDenied;
  if (node->ChildCount() != 0) ++revision_;
  node->ReleaseChildren([this](KeyNode* child) { Drop(child); });
  if (node->ValueCount() != 0) {
    if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
    node->ClearValues();
    ++revision_;
  }
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                       std::uint32_t* nameUnits) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (name == nullptr || nameUnits == nullptr) return kErrorInvalidParameter;
  if (index >= node->ChildCount()) return kErrorNoMoreItems;
  const TextView childName = node->Children()[index]->name.name();
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
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (name == nullptr || nameUnits == nullptr || (data != nullptr && byteCount == nullptr)) {
    return kErrorInvalidParameter;
  }
  if (index >= node->ValueCount()) return kErrorNoMoreItems;
  const KeyNode::Value& value = node->Values()[index];
  const TextView valueName = value.name();
  if (valueName.size() + 1 > *nameUnits) return kErrorMoreData;
  const std::string_view stored = value.data();
  const auto size = static_cast<std::uint32_t>(stored.size());
  if (type != nullptr) *type = value.type;
  if (data != nullptr && *byteCount < size) {
    *byteCount = size;
    return kErrorMoreData;
  }
  std::copy(valueName.begin(), valueName.end(), name);
  name[valueName.size()] = u'\0';
  *nameUnits = static_cast<std::uint32_t>(valueName.size());
  if (data != nullptr && size > 0) std::memcpy(data, stored.data(), size);
  if (byteCount != nullptr) *byteCount = size;
  return kErrorSuccess;
}

ErrorCode MemoryRegistryStore::QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                            std::uint32_t* valueCount) {
  std::uint32_t access = 0;
  ErrorCode code = kErrorSuccess;
  KeyNode* node = Resolve(key, &access, &code);
  if (node == nullptr) return code;
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (subkeyCount != nullptr) *subkeyCount = static_cast<std::uint32_t>(node->ChildCount());
  if (valueCount != nullptr) *valueCount = static_cast<std::uint32_t>(node->ValueCount());
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
  KeyNode* node = handles_[slot].node;
  handles_[slot].node = nullptr;
  freeSlots_.push_back(slot);
  --openHandles_;
  // The last handle on a deleted key gives the key back.
  if (--node->handles == 0 && node->deleted) arena_.Free(node);
  return kErrorSuccess;
}

namespace {

// Copies what it visits into a snapshot.
class SnapshotVisitor final : public StoredKeyVisitor {
 public:
  explicit SnapshotVisitor(std::vector<StoredKey>* keys) : keys_(keys) {}
  bool Key(TextView path) override {
    keys_->push_back(StoredKey{Text(path), {}});
    return true;
  }
  bool Value(TextView name, std::uint32_t type, std::string_view data) override {
    keys_->back().values.push_back(StoredValue{Text(name), type, std::string(data)});
    return true;
  }

 private:
  std::vector<StoredKey>* keys_;
};

}  // namespace

bool MemoryRegistryStore::Visit(const KeyNode& node, Text* path, bool includeSelf,
                                StoredKeyVisitor& visitor) const {
  if (includeSelf) {
    if (!visitor.Key(*path)) return false;
    for (const KeyNode::Value& v : node.Values()) {
      if (!visitor.Value(v.name(), v.type, v.data())) return false;
    }
  }
  const std::size_t length = path->size();
  for (const KeyNode* child : node.Children()) {
    *path += u'\\';
    *path += child->name.name();
    const bool more = Visit(*child, path, true, visitor);
    path->resize(length);
    if (!more) return false;
  }
  return true;
}

bool MemoryRegistryStore::VisitKeys(StoredKeyVisitor& visitor) const {
  Text path;
  for (const KeyNode& root : roots_) {
    path.assign(root.name.name());
    if (!Visit(root, &path, root.ValueCount() != 0, visitor)) return false;
  }
  return true;
}

std::vector<StoredKey> MemoryRegistryStore::Snapshot() const {
  std::vector<StoredKey> keys;
  SnapshotVisitor visitor(&keys);
  VisitKeys(visitor);
  return keys;
}

ErrorCode MemoryRegistryStore::SnapshotTree(RegKey root, TextView path,
                                            std::vector<StoredKey>* keys) const {
  keys->clear();
  const KeyNode* node = nullptr;
  for (std::size_t i = 0; i < kRootKeys.size(); ++i) {
    if (kRootKeys[i].key == root) node = &roots_[i];
  }
  if (node == nullptr) return kErrorInvalidHandle;
  const Text copy(path);
  // A snapshot is a reading call, so it folds into a buffer of its own.
  Text full(node->name.name());
  std::vector<char16_t> folded(kMaxKeyNameUnits);
  const ErrorCode code = ForEachComponent(copy.c_str(), [&](TextView part) {
    node = node->Child(FoldName(part, folded.data()));
    if (node == nullptr) return false;
    full += u'\\';
    full += node->name.name();
    return true;
  });
  if (code != kErrorSuccess) return code;
  if (node == nullptr) return kErrorFileNotFound;
  SnapshotVisitor visitor(keys);
  Visit(*node, &full, true, visitor);
  return kErrorSuccess;
}

void MemoryRegistryStore::Clear() {
  ++revision_;
  for (KeyNode& root : roots_) {
    root.ReleaseChildren([this](KeyNode* child) { Drop(child); });
    root.ClearValues();
  }
  // With no handle open every key has gone back, and the memory goes too.
  if (openHandles_ == 0) arena_.Release();
}

}  // namespace tolvane
