// The pieces the in-memory registry's tree is made of: a name kept beside
// its folded form, a key with its values and subkeys, the index that finds
// a subkey among many, and the arena keys are taken from.
//
// Names are folded once, when stored (every unit mapped by the registry's
// case table), and hashed then; a lookup folds and hashes the wanted name
// once and compares hashes before units. Keys come from an arena in slabs
// and return to it when deleted, so making and deleting keys seldom calls
// the allocator, and a key's name (a value's name and data) is one
// allocation holding both forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tolvane {

// A name folded for comparison, with its hash; a view of the caller's units.
struct FoldedName {
  TextView units;
  std::uint32_t hash = 0;
};

// Folds name into out (which has room for name.size() units) and answers it.
FoldedName FoldName(TextView name, char16_t* out);

// A stored name: the name as written and its folded form, and for a value
// its data, in one allocation.
class NameBuffer {
 public:
  NameBuffer() = default;
  NameBuffer(TextView name, const FoldedName& folded, std::string_view payload = {});

  TextView name() const { return TextView(units_.get(), length_); }
  TextView folded() const { return TextView(units_.get() + length_, length_); }
  std::uint32_t hash() const { return hash_; }
  std::string_view payload() const {
    return std::string_view(reinterpret_cast<const char*>(units_.get() + 2 * length_),
                            payloadBytes_);
  }
  bool Matches(const FoldedName& wanted) const {
    return hash_ == wanted.hash && folded() == wanted.units;
  }
  // Puts payload in place of the old one; in the same buffer when the size
  // is the same (a value written again, usually with what it held).
  void ReplacePayload(std::string_view payload);

 private:
  std::unique_ptr<char16_t[]> units_;
  std::uint32_t length_ = 0;
  std::uint32_t hash_ = 0;
  std::uint32_t payloadBytes_ = 0;
};

class ChildIndex;
class ValueIndex;

// One key. Subkeys are kept in the order they were added and sorted by
// folded name only when listing needs it. Subkeys added in name order (as a
// hive file lists them) stay sorted and are found by halving, a name past
// the last one at once; from kIndexedChildren on, subkeys that came out of
// order are found through a hash index. Either way adding or finding the
// n-th subkey costs about the same at any n. Values keep the order they
// were first written; from kIndexedChildren on they are found through a
// hash index too, and a deleted one leaves a hole that is closed up when
// the list is next read in order (or when holes outnumber values), so that
// setting, finding and deleting the n-th value cost about the same at any n.
struct KeyNode {
  struct Value {
    NameBuffer stored;  // the name, and the data as the payload
    std::uint32_t type = 0;
    bool erased = false;  // a hole left by EraseValue

    TextView name() const { return stored.name(); }
    std::string_view data() const { return stored.payload(); }
  };

  KeyNode();
  ~KeyNode();
  KeyNode(KeyNode&&) noexcept;
  KeyNode& operator=(KeyNode&&) noexcept;

  static constexpr std::size_t kIndexedChildren = 16;

  NameBuffer name;
  KeyNode* parent = nullptr;    // null for a root and for a deleted key
  std::uint32_t pathUnits = 0;  // of the key's full path, root included
  std::uint32_t handles = 0;    // open handles on this key
  bool deleted = false;

  // The subkeys in folded-name order.
  const std::vector<KeyNode*>& Children() const;
  std::size_t ChildCount() const { return children_.size(); }
  KeyNode* Child(const FoldedName& wanted) const;
  // Adds a subkey not yet present.
  void AddChild(KeyNode* child);
  // Removes a subkey; the caller decides what becomes of it.
  void RemoveChild(const KeyNode* child);
  // Hands every subkey to release, then forgets them all.
  template <typename Release>
  void ReleaseChildren(Release release) {
    for (KeyNode* child : children_) release(child);
    ClearChildren();
  }
  // Back to the state of a new key, keeping the lists' room for reuse.
  void Reset();

  // The values in the order they were first written.
  const std::vector<Value>& Values() const;
  std::size_t ValueCount() const { return values_.size() - erasedValues_; }
  Value* FindValue(const FoldedName& wanted);
  // Adds a value not yet present.
  void AddValue(Value value);
  // Removes a value FindValue answered.
  void EraseValue(Value* value);
  void ClearValues();

 private:
  void ClearChildren();
  void CloseValueHoles() const;

  mutable std::vector<KeyNode*> children_;
  mutable bool sorted_ = true;
  std::unique_ptr<ChildIndex> index_;
  mutable std::vector<Value> values_;
  mutable std::size_t erasedValues_ = 0;
  mutable std::unique_ptr<ValueIndex> valueIndex_;
};

// Where keys come from: slabs of nodes, and the nodes given back for reuse.
// A node given back is emptied at once (its names and values freed; its
// lists keep their room for the key that reuses it).
class KeyNodeArena {
 public:
  KeyNode* New();
  void Free(KeyNode* node);
  // Frees every slab; only when no node taken from it is in use any more.
  void Release();

 private:
  static constexpr std::size_t kSlabNodes = 64;
  std::vector<std::unique_ptr<KeyNode[]>> slabs_;
  std::size_t usedInLastSlab_ = kSlabNodes;
  std::vector<KeyNode*> free_;
};

}  // namespace tolvane
