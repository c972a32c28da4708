// A registry store that forwards every call to another store and records,
// in order, each change the calls made: keys created, values set, values
// and keys deleted. The command line reports these changes; the library
// itself never sees the journal.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/forwarding_registry_store.h"
#include "platform/text.h"

namespace tolvane::cli {

enum class ChangeKind { kCreateKey, kSetValue, kDeleteValue, kDeleteKey };

struct Change {
  ChangeKind kind;
  Text key;              // full path, "HKEY_CLASSES_ROOT\.zdw"
  bool hasName = false;  // values only: false for the default value
  Text name;
  std::uint32_t type = 0;  // set-value only
  std::string data;        // set-value only: the raw bytes
  bool replaced = false;   // set-value only: the value was there before (or may have been)
};

class JournalingRegistryStore final : public ForwardingRegistryStore {
 public:
  // inner is borrowed and must outlive the journal.
  explicit JournalingRegistryStore(RegistryStore& inner) : ForwardingRegistryStore(inner) {}

  const std::vector<Change>& changes() const { return changes_; }

  ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                    RegKey* result) override;
  ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access, RegKey* result,
                      bool* created) override;
  ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                     std::uint32_t byteCount) override;
  ErrorCode DeleteValue(RegKey key, const char16_t* name) override;
  ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) override;
  ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) override;
  ErrorCode CloseKey(RegKey key) override;

 private:
  // Full path of a root or of a key this journal handed out.
  Text PathOf(RegKey key) const;
  static Text Join(const Text& parent, const char16_t* subkey);
  void RecordValue(ChangeKind kind, RegKey key, const char16_t* name);

  std::map<std::uintptr_t, Text> paths_;
  std::vector<Change> changes_;
};

}  // namespace tolvane::cli
