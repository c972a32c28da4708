#include "platform/memory/key_tree.h"

#include <algorithm>
#include <cstring>

#include "platform/registry_names.h"

namespace tolvane {

FoldedName FoldName(TextView name, char16_t* out) {
  // FNV-1a over the folded units, with a final mix so that the low bits
  // the index uses depend on every unit.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = RegistryLower(name[i]);
    out[i] = unit;
    hash = (hash ^ unit) * 16777619u;
  }
  hash ^= hash >> 15;
  hash *= 0x2C1B3C6Du;
  hash ^= hash >> 12;
  return FoldedName{TextView(out, name.size()), hash};
}

NameBuffer::NameBuffer(TextView name, const FoldedName& folded, std::string_view payload)
    : length_(static_cast<std::uint32_t>(name.size())),
      hash_(folded.hash),
      payloadBytes_(static_cast<std::uint32_t>(payload.size())) {
  const std::size_t units = 2 * name.size() + (payload.size() + 1) / 2;
  if (units == 0) return;
  units_.reset(new char16_t[units]);
  // An empty name (a default value) may come with no units at all.
  if (!name.empty()) {
    std::memcpy(units_.get(), name.data(), name.size() * sizeof(char16_t));
    std::memcpy(units_.get() + name.size(), folded.units.data(), name.size() * sizeof(char16_t));
  }
  if (!payload.empty()) {
    std::memcpy(units_.get() + 2 * name.size(), payload.data(), payload.size());
  }
}

void NameBuffer::ReplacePayload(std::string_view payload) {
  if (payload.size() != payloadBytes_) {
    *this = NameBuffer(name(), FoldedName{folded(), hash_}, payload);
  } else if (!payload.empty()) {
    std::memmove(units_.get() + 2 * length_, payload.data(), payload.size());
  }
}

// Open addressing with linear probing over the subkeys; deletion shifts the
// entries after a freed slot back, so no tombstones pile up. Each slot keeps
// the key's hash beside it, so a probe touches a key only when the hashes
// agree: in a large index that is one cache miss a look-up, not three.
class ChildIndex {
 public:
  explicit ChildIndex(const std::vector<KeyNode*>& children) {
    Resize(children.size() * 2);
    for (KeyNode* child : children) Place(Slot{child, child->name.hash()});
    count_ = children.size();
  }

  KeyNode* Find(const FoldedName& wanted) const {
    for (std::size_t i = wanted.hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.node == nullptr) return nullptr;
      if (slot.hash == wanted.hash && slot.node->name.folded() == wanted.units) return slot.node;
    }
  }

  void Insert(KeyNode* node) {
    // At most three quarters full.
    if (4 * (count_ + 1) > 3 * slots_.size()) {
      std::vector<Slot> old;
      old.swap(slots_);
      Resize(old.size() * 2);
      for (const Slot& slot : old) {
        if (slot.node != nullptr) Place(slot);
      }
    }
    Place(Slot{node, node->name.hash()});
    ++count_;
  }

  void Erase(const KeyNode* node) {
    std::size_t i = node->name.hash() & mask_;
    while (slots_[i].node != node) i = (i + 1) & mask_;
    slots_[i] = Slot();
    --count_;
    for (std::size_t j = (i + 1) & mask_; slots_[j].node != nullptr; j = (j + 1) & mask_) {
      const std::size_t home = slots_[j].hash & mask_;
      // An entry whose home lies cyclically in (i, j] is still reachable.
      const bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (reachable) continue;
      slots_[i] = slots_[j];
      slots_[j] = Slot();
      i = j;
    }
  }

 private:
  struct Slot {
    KeyNode* node = nullptr;
    std::uint32_t hash = 0;
  };

  void Resize(std::size_t atLeast) {
    std::size_t size = 64;
    while (size < atLeast) size *= 2;
    slots_.assign(size, Slot());
    mask_ = size - 1;
  }
  void Place(const Slot& slot) {
    std::size_t i = slot.hash & mask_;
    while (slots_[i].node != nullptr) i = (i + 1) & mask_;
    slots_[i] = slot;
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

// The values' index: open addressing as ChildIndex, each slot holding a
// value's position in the list and its name's hash.
class ValueIndex {
 public:
  explicit ValueIndex(const std::vector<KeyNode::Value>& values) {
    std::size_t size = 64;
    while (size < 2 * values.size()) size *= 2;
    slots_.assign(size, Slot());
    mask_ = size - 1;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!values[i].erased) Place(Slot{static_cast<std::uint32_t>(i), values[i].stored.hash()});
    }
  }

  std::size_t Find(const std::vector<KeyNode::Value>& values, const FoldedName& wanted) const {
    for (std::size_t i = wanted.hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.position == kEmpty) return kEmpty;
      if (slot.hash == wanted.hash && values[slot.position].stored.folded() == wanted.units) {
        return slot.position;
      }
    }
  }

  // False when the index is too full to take one more (rebuild it larger).
  bool Insert(std::size_t position, std::uint32_t hash) {
    if (4 * (count_ + 1) > 3 * slots_.size()) return false;
    Place(Slot{static_cast<std::uint32_t>(position), hash});
    return true;
  }

  void Erase(std::size_t position, std::uint32_t hash) {
    std::size_t i = hash & mask_;
    while (slots_[i].position != position) i = (i + 1) & mask_;
    slots_[i] = Slot();
    --count_;
    for (std::size_t j = (i + 1) & mask_; slots_[j].position != kEmpty; j = (j + 1) & mask_) {
      const std::size_t home = slots_[j].hash & mask_;
      const bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (reachable) continue;
      slots_[i] = slots_[j];
      slots_[j] = Slot();
      i = j;
    }
  }

  static constexpr std::size_t kEmpty = 0xFFFFFFFFu;

 private:
  struct Slot {
    std::uint32_t position = kEmpty;
    std::uint32_t hash = 0;
  };

  void Place(const Slot& slot) {
    std::size_t i = slot.hash & mask_;
    while (slots_[i].position != kEmpty) i = (i + 1) & mask_;
    slots_[i] = slot;
    ++count_;
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

KeyNode::KeyNode() = default;
KeyNode::~KeyNode() = default;
KeyNode::KeyNode(KeyNode&&) noexcept = default;
KeyNode& KeyNode::operator=(KeyNode&&) noexcept = default;

namespace {

bool FoldedLess(const KeyNode* a, const KeyNode* b) { return a->name.folded() < b->name.folded(); }

}  // namespace

const std::vector<KeyNode*>& KeyNode::Children() const {
  if (!sorted_) {
    std::sort(children_.begin(), children_.end(), FoldedLess);
    sorted_ = true;
  }
  return children_;
}

KeyNode* KeyNode::Child(const FoldedName& wanted) const {
  if (index_) return index_->Find(wanted);
  if (!sorted_ || children_.size() < kIndexedChildren) {
    for (KeyNode* child : children_) {
      if (child->name.Matches(wanted)) return child;
    }
    return nullptr;
  }
  // Many subkeys, all added in name order (as a hive file lists them): a
  // name past the last one is missing at once, any other is found by
  // halving; no index is needed while the order holds.
  const KeyNode* last = children_.back();
  if (wanted.units > last->name.folded()) return nullptr;
  const auto at = std::lower_bound(
      children_.begin(), children_.end(), wanted.units,
      [](const KeyNode* child, TextView units) { return child->name.folded() < units; });
  return at != children_.end() && (*at)->name.Matches(wanted) ? *at : nullptr;
}

void KeyNode::AddChild(KeyNode* child) {
  if (!children_.empty() && FoldedLess(child, children_.back())) sorted_ = false;
  children_.push_back(child);
  if (index_) {
    index_->Insert(child);
  } else if (!sorted_ && children_.size() >= kIndexedChildren) {
    index_ = std::make_unique<ChildIndex>(children_);
  }
}

void KeyNode::RemoveChild(const KeyNode* child) {
  if (index_) index_->Erase(child);
  auto at = children_.end();
  if (sorted_) {
    at = std::lower_bound(children_.begin(), children_.end(), child, FoldedLess);
  } else {
    at = std::find(children_.begin(), children_.end(), child);
  }
  children_.erase(at);
}

void KeyNode::ClearChildren() {
  index_.reset();
  children_.clear();
  sorted_ = true;
}

void KeyNode::Reset() {
  name = NameBuffer();
  parent = nullptr;
  pathUnits = 0;
  handles = 0;
  deleted = false;
  ClearValues();
  ClearChildren();
}

const std::vector<KeyNode::Value>& KeyNode::Values() const {
  CloseValueHoles();
  return values_;
}

KeyNode::Value* KeyNode::FindValue(const FoldedName& wanted) {
  if (valueIndex_) {
    const std::size_t at = valueIndex_->Find(values_, wanted);
    return at == ValueIndex::kEmpty ? nullptr : &values_[at];
  }
  for (Value& v : values_) {
    if (!v.erased && v.stored.Matches(wanted)) return &v;
  }
  return nullptr;
}

void KeyNode::AddValue(Value value) {
  const std::uint32_t hash = value.stored.hash();
  values_.push_back(std::move(value));
  if (valueIndex_ && valueIndex_->Insert(values_.size() - 1, hash)) return;
  if (valueIndex_ || values_.size() >= kIndexedChildren) {
    valueIndex_ = std::make_unique<ValueIndex>(values_);
  }
}

void KeyNode::EraseValue(Value* value) {
  const auto position = static_cast<std::size_t>(value - values_.data());
  if (valueIndex_) valueIndex_->Erase(position, value->stored.hash());
  if (position + 1 == values_.size()) {
    values_.pop_back();
  } else {
    *value = Value();
    value->erased = true;
    ++erasedValues_;
  }
  if (erasedValues_ > ValueCount()) CloseValueHoles();
}

void KeyNode::CloseValueHoles() const {
  if (erasedValues_ == 0) return;
  values_.erase(
      std::remove_if(values_.begin(), values_.end(), [](const Value& v) { return v.erased; }),
      values_.end());
  erasedValues_ = 0;
  valueIndex_.reset();
  if (values_.size() >= kIndexedChildren) valueIndex_ = std::make_unique<ValueIndex>(values_);
}

void KeyNode::ClearValues() {
  values_.clear();
  erasedValues_ = 0;
  valueIndex_.reset();
}

KeyNode* KeyNodeArena::New() {
  if (!free_.empty()) {
    KeyNode* node = free_.back();
    free_.pop_back();
    return node;
  }
  if (usedInLastSlab_ == kSlabNodes) {
    slabs_.push_back(std::make_unique<KeyNode[]>(kSlabNodes));
    usedInLastSlab_ = 0;
  }
  return &slabs_.back()[usedInLastSlab_++];
}

void KeyNodeArena::Free(KeyNode* node) {
  node->Reset();
  free_.push_back(node);
}

void KeyNodeArena::Release() {
  slabs_.clear();
  free_.clear();
  usedInLastSlab_ = kSlabNodes;
}

}  // namespace tolvane
