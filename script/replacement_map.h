// The ordered name/value list that supplies the %NAME% replacements of a
// registrar script. Names are not unique: Find answers from the first entry
// whose name matches without regard to case. Its virtual operations keep
// the slot order of a small COM interface (query-interface, add-reference,
// release, Add, Clear, destructor); the map is owned by whoever creates it
// and is not reference counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/status_codes.h"
#include "platform/text.h"

namespace tolvane {

class ReplacementMap {
 public:
  ReplacementMap() = default;
  ReplacementMap(const ReplacementMap&) = delete;
  ReplacementMap& operator=(const ReplacementMap&) = delete;

  // Always E_NOTIMPL; *object, when given, becomes null.
  virtual HResult QueryInterface(const void* interfaceId, void** object);
  // Always 1; counts nothing.
  virtual std::uint32_t AddRef();
  // Always 0; frees nothing.
  virtual std::uint32_t Release();
  // Appends private copies of name and value. E_INVALIDARG when either is
  // null; E_OUTOFMEMORY when a copy or the growth fails, the map unchanged.
  virtual HResult Add(const char16_t* name, const char16_t* value);
  // Frees every entry; answers 0.
  virtual HResult Clear();
  virtual ~ReplacementMap();

  // The value of the first entry named name (without regard to case), or
  // null. The pointer stays valid until the map is cleared or destroyed.
  const char16_t* Find(const char16_t* name) const;

  std::size_t count() const { return names_.size(); }

 private:
  std::vector<Text> names_;
  std::vector<Text> values_;
};

}  // namespace tolvane
