#include "script/replacement_map.h"

#include <new>

namespace tolvane {

HResult ReplacementMap::QueryInterface(const void* /*interfaceId*/, void** object) {
  if (object != nullptr) *object = nullptr;
  return kENotImpl;
}

std::uint32_t ReplacementMap::AddRef() { return 1; }

std::uint32_t ReplacementMap::Release() { return 0; }

HResult ReplacementMap::Add(const char16_t* name, const char16_t* value) {
  if (name == nullptr || value == nullptr) return kEInvalidArg;
  try {
    Text nameCopy(name);
    Text valueCopy(value);
    names_.push_back(std::move(nameCopy));
    try {
      values_.push_back(std::move(valueCopy));
    } catch (const std::bad_alloc&) {
      names_.pop_back();
      throw;
    }
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
  return kSOk;
}

HResult ReplacementMap::Clear() {
  names_.clear();
  values_.clear();
  names_.shrink_to_fit();
  values_.shrink_to_fit();
  return kSOk;
}

ReplacementMap::~ReplacementMap() { Clear(); }

const char16_t* ReplacementMap::Find(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (EqualsNoCase(names_[i], ViewOf(name))) return values_[i].c_str();
  }
  return nullptr;
}

}  // namespace tolvane
