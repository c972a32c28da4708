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

}  // namespace

CopyOnWriteRegistryStore::Mark* CopyOnWriteRegistryStore::RootMark(RegKey root) {
  Mark*& mark = roots_[root];
  if (mark == nullptr) {
    mark = &marks_.emplace_back();
    mark->root = root;
  }
  return mark;
}

CopyOnWriteRegistryStore::Mark* CopyOnWriteRegistryStore::Child(const Mark& parent,
                                                                TextView folded) const {
  const auto found = children_.find(Place{&parent, folded});
  return found == children_.end() ? nullptr : found->second;
}

CopyOnWriteRegistryStore::Mark* CopyOnWriteRegistryStore::PlaceOf(RegKey key) const {
  const std::size_t slot = MemoryRegistryStore::HandleSlot(key);
  return slot < places_.size() ? places_[slot] : nullptr;
}

void CopyOnWriteRegistryStore::Remember(RegKey key, Mark* mark) {
  const std::size_t slot = MemoryRegistryStore::HandleSlot(key);
  if (slot == MemoryRegistryStore::kNoSlot) return;
  if (slot >= places_.size()) places_.resize(slot + 1, nullptr);
  places_[slot] = mark;
}

TextView CopyOnWriteRegistryStore::Keep(TextView folded) {
  constexpr std::size_t kBlockUnits = 16 * 1024;  // many names, each at most kMaxKeyNameUnits
  if (namesLeft_ < folded.size()) {
    names_.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlockUnits));
    namesLeft_ = kBlockUnits;
  }
  char16_t* at = names_.back().get() + (kBlockUnits - namesLeft_);
  folded.copy(at, folded.size());
  namesLeft_ -= folded.size();
  return TextView(at, folded.size());
}

bool CopyOnWriteRegistryStore::Hidden(const Mark& mark) {
  for (const Mark* m = &mark; m != nullptr; m = m->parent) {
    if (m->gone) return true;
  }
  return false;
}

Text CopyOnWriteRegistryStore::PathOf(const Mark& mark) {
  std::size_t units = 0;
  for (const Mark* m = &mark; m->parent != nullptr; m = m->parent) units += m->name.size() + 1;
  Text path(units == 0 ? 0 : units - 1, u'\\');
  for (const Mark* m = &mark; m->parent != nullptr; m = m->parent) {
    units -= m->name.size() + 1;
    path.replace(units, m->name.size(), m->name);
  }
  return path;
}

ErrorCode CopyOnWriteRegistryStore::Reach(RegKey parent, const char16_t* subkey, Mark** result) {
  *result = nullptr;
  Mark* mark = nullptr;
  if (IsPredefinedKey(parent)) {
    mark = RootMark(parent);
    if (!mark->filled) {
      if (const ErrorCode code = CopyRootValues(parent); code != kErrorSuccess) return code;
      mark->filled = true;
    }
  } else {
    mark = PlaceOf(parent);
    if (mark == nullptr) return kErrorSuccess;
  }
  if (subkey == nullptr) {
    *result = mark;
    return kErrorSuccess;
  }
  if (*subkey == u'\\') return kErrorSuccess;
  // Components are separated by runs of backslashes; a trailing run ends
  // the path.
  char16_t buffer[kMaxKeyNameUnits];
  const char16_t* c = subkey;
  // Below a key beneath lacks the layer alone answers, so one mark, that
  // key's, serves every key under it.
  while (*c != u'\0' && !mark->absent) {
    const char16_t* start = c;
    std::size_t units = 0;
    for (; *c != u'\0' && *c != u'\\'; ++c, ++units) {
      if (units == kMaxKeyNameUnits) return kErrorSuccess;
      buffer[units] = RegistryLower(*c);
    }
    const TextView spelled(start, units);
    const TextView folded(buffer, units);
    while (*c == u'\\') ++c;
    Mark* next = Child(*mark, folded);
    if (next == nullptr) {
      next = &marks_.emplace_back();
      next->root = mark->root;
      next->parent = mark;
      next->name = Keep(folded);
      children_.emplace(Place{mark, next->name}, next);
    }
    if (!next->filled) {
      if (const ErrorCode code = Arrive(*next, spelled); code != kErrorSuccess) return code;
      next->filled = true;
    }
    mark = next;
  }
  *result = mark;
  return kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::Arrive(Mark& mark, TextView spelled) {
  if (Hidden(mark)) return kErrorSuccess;
  // Below a key beneath lacks, beneath has nothing: no need to ask it.
  if (mark.parent->absent) {
    mark.absent = true;
    return kErrorSuccess;
  }
  const Text path = PathOf(mark);
  ScopedKey from(inner());
  ErrorCode code = inner().OpenKey(mark.root, path.c_str(), kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) {
    mark.absent = true;
    return kErrorSuccess;
  }
  if (code != kErrorSuccess) return code;
  ScopedKey to(layer_);
  if (mark.parent->listed) {
    // Listing the parent made the key already.
    code = layer_.OpenKey(mark.root, path.c_str(), kKeyAllAccess, to.Receive());
  } else {
    // The parent was reached first, so the layer has it, unless beneath
    // lost it since; then there is no parent to make the key beneath.
    const std::size_t slash = path.rfind(u'\\');
    const Text parent = slash == Text::npos ? Text() : path.substr(0, slash);
    ScopedKey up(layer_);
    if (layer_.OpenKey(mark.root, parent.c_str(), kKeyCreateSubKey, up.Receive()) !=
        kErrorSuccess) {
      return kErrorSuccess;
    }
    const Text name(spelled);
    code = layer_.CreateKey(up.get(), name.c_str(), kKeyAllAccess, to.Receive(), nullptr);
  }
  if (code != kErrorSuccess) return code;
  return CopyValues(from.get(), to.get());
}

ErrorCode CopyOnWriteRegistryStore::CopyRootValues(RegKey root) {
  ScopedKey from(inner());
  ErrorCode code = inner().OpenKey(root, u"", kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) return kErrorSuccess;
  if (code != kErrorSuccess) return code;
  ScopedKey to(layer_);
  code = layer_.OpenKey(root, u"", kKeyAllAccess, to.Receive());
  if (code != kErrorSuccess) return code;
  return CopyValues(from.get(), to.get());
}

ErrorCode CopyOnWriteRegistryStore::CopyValues(RegKey from, RegKey to) {
  RegistryStore& beneath = inner();
  ErrorCode code = kErrorSuccess;
  if (name_.empty()) name_.resize(kMaxValueNameUnits + 1);
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxValueNameUnits + 1;
    std::uint32_t type = 0;
    auto bytes = static_cast<std::uint32_t>(data_.size());
    code = beneath.EnumValue(from, i, name_.data(), &units, &type, data_.data(), &bytes);
    if (code == kErrorMoreData && bytes > data_.size()) {
      data_.resize(bytes);
      --i;
      continue;
    }
    if (code == kErrorNoMoreItems) return kErrorSuccess;
    if (code != kErrorSuccess) return code;
    name_[units] = u'\0';
    code = layer_.SetValue(to, name_.c_str(), type, data_.data(), bytes);
    if (code != kErrorSuccess) return code;
  }
}

ErrorCode CopyOnWriteRegistryStore::List(Mark& mark) {
  if (mark.listed || Hidden(mark)) return kErrorSuccess;
  if (mark.absent) {
    mark.listed = true;
    return kErrorSuccess;
  }
  const Text path = PathOf(mark);
  ScopedKey to(layer_);
  if (layer_.OpenKey(mark.root, path.c_str(), kKeyAllAccess, to.Receive()) != kErrorSuccess) {
    return kErrorSuccess;
  }
  RegistryStore& beneath = inner();
  ScopedKey from(beneath);
  ErrorCode code = beneath.OpenKey(mark.root, path.c_str(), kKeyRead, from.Receive());
  if (code == kErrorFileNotFound) {
    mark.listed = true;
    return kErrorSuccess;
  }
  if (code != kErrorSuccess) return code;
  char16_t name[kMaxKeyNameUnits + 1];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t units = kMaxKeyNameUnits + 1;
    code = beneath.EnumKey(from.get(), i, name, &units);
    if (code == kErrorNoMoreItems) break;
    if (code != kErrorSuccess) return code;
    folded_.clear();
    for (std::uint32_t u = 0; u < units; ++u) folded_.push_back(RegistryLower(name[u]));
    if (const Mark* child = Child(mark, folded_); child != nullptr && child->gone) continue;
    name[units] = u'\0';
    ScopedKey made(layer_);
    code = layer_.CreateKey(to.get(), name, kKeyRead, made.Receive(), nullptr);
    if (code != kErrorSuccess) return code;
  }
  mark.listed = true;
  return kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::ListKey(RegKey key) {
  Mark* mark = nullptr;
  if (IsPredefinedKey(key)) {
    if (const ErrorCode code = Reach(key, nullptr, &mark); code != kErrorSuccess) return code;
  } else {
    mark = PlaceOf(key);
  }
  return mark == nullptr ? kErrorSuccess : List(*mark);
}

ErrorCode CopyOnWriteRegistryStore::CheckAccess(Mark& mark, std::uint32_t access) {
  const std::uint32_t writing = access & kWritingRights;
  if ((writing & ~mark.granted) == 0 || mark.absent) return kErrorSuccess;
  ScopedKey probe(inner());
  const Text path = PathOf(mark);
  const ErrorCode code = inner().OpenKey(mark.root, path.c_str(), access, probe.Receive());
  if (code == kErrorAccessDenied) return code;
  mark.granted |= writing;
  return kErrorSuccess;
}

ErrorCode CopyOnWriteRegistryStore::OpenKey(RegKey parent, const char16_t* subkey,
                                            std::uint32_t access, RegKey* result) {
  Mark* mark = nullptr;
  ErrorCode code = Reach(parent, subkey, &mark);
  if (code == kErrorSuccess) code = layer_.OpenKey(parent, subkey, access, result);
  if (code == kErrorSuccess && mark != nullptr) code = CheckAccess(*mark, access);
  if (code != kErrorSuccess) {
    if (result != nullptr && *result != kNoKey) {
      layer_.CloseKey(*result);
      *result = kNoKey;
    }
    return code;
  }
  Remember(*result, mark);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::CreateKey(RegKey parent, const char16_t* subkey,
                                              std::uint32_t access, RegKey* result, bool* created) {
  Mark* mark = nullptr;
  bool made = false;
  ErrorCode code = Reach(parent, subkey, &mark);
  if (code == kErrorSuccess) code = layer_.CreateKey(parent, subkey, access, result, &made);
  if (code == kErrorSuccess && mark != nullptr && !made) code = CheckAccess(*mark, access);
  if (code != kErrorSuccess) {
    if (result != nullptr && *result != kNoKey) {
      layer_.CloseKey(*result);
      *result = kNoKey;
    }
    if (created != nullptr) *created = false;
    return code;
  }
  if (created != nullptr) *created = made;
  Remember(*result, mark);
  return code;
}

ErrorCode CopyOnWriteRegistryStore::ReachRoot(RegKey key) {
  if (!IsPredefinedKey(key)) return kErrorSuccess;
  Mark* mark = nullptr;
  return Reach(key, nullptr, &mark);
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
  Mark* mark = nullptr;
  ErrorCode code = Reach(parent, subkey, &mark);
  if (code == kErrorSuccess && mark != nullptr) code = List(*mark);
  if (code != kErrorSuccess) return code;
  code = layer_.DeleteKey(parent, subkey);
  if (code == kErrorSuccess && mark != nullptr && !mark->absent) mark->gone = true;
  return code;
}

ErrorCode CopyOnWriteRegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  const bool itself = subkey == nullptr || *subkey == u'\0';  // the key stays, its subkeys go
  Mark* mark = nullptr;
  ErrorCode code = Reach(parent, subkey, &mark);
  if (code == kErrorSuccess && mark != nullptr && itself) code = List(*mark);
  if (code != kErrorSuccess) return code;
  code = layer_.DeleteTree(parent, subkey);
  if (code == kErrorSuccess && mark != nullptr && !mark->absent && !itself) mark->gone = true;
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
  if (const std::size_t slot = MemoryRegistryStore::HandleSlot(key); slot < places_.size()) {
    places_[slot] = nullptr;
  }
  return layer_.CloseKey(key);
}

}  // namespace tolvane
