// The constant registration data model: records, record lists, groups and
// the catalogue that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/registry_store.h"

namespace tolvane {

// What one record does. The field is a plain 32-bit number: values that are
// not listed (6, or anything above 7) are representable and fail when run.
enum class RecordKind : std::uint32_t {
  SetString = 0,          // write data as stored
  SetExpandedString = 1,  // write data with every "${App}" replaced by the directory
  RunScript = 2,          // run registrar script keyPath (an id) if module valueName exists
  IfExists = 3,           // prefix: run the next record only if root\keyPath[valueName] exists
  SubDirectory = 4,       // prefix: run the next record with directory + keyPath
  DeleteEntry = 5,        // delete value valueName, or the whole key tree when null
  EndOfList = 7,
};

// One fixed-layout record. In a RunScript record keyPath carries the
// script's 16-bit resource id in place of a pointer (see ScriptIdPointer)
// and valueName the module file the script registers.
struct RegistrationRecord {
  RecordKind kind;
  RegKey root;
  const char16_t* keyPath;
  const char16_t* valueName;
  const char16_t* data;
};

// The keyPath of a RunScript record for resource id, and back.
inline const char16_t* ScriptIdPointer(std::uint16_t id) {
  return reinterpret_cast<const char16_t*>(static_cast<std::uintptr_t>(id));
}
inline std::uint16_t ScriptIdOf(const RegistrationRecord& record) {
  return static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(record.keyPath) & 0xFFFFu);
}

// A record list is a contiguous array ended by an EndOfList record; a group
// is a null-terminated array of record lists, run in order.
using RecordList = const RegistrationRecord*;
using RegistrationGroup = const RecordList*;

// One named group of the catalogue.
struct GroupCatalogueEntry {
  const char16_t* name;
  RegistrationGroup group;
};

using GroupCatalogue = std::span<const GroupCatalogueEntry>;

}  // namespace tolvane
