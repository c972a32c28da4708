// A test decorator over any registry store: it records every call it
// answers (with the full path of the key addressed), makes the nth call of
// an operation fail on demand, restricts keys as an access-controlled
// registry would, and counts the keys opened through it and not yet closed.
// Tests put it between the code under test and the store they check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "platform/forwarding_registry_store.h"
#include "platform/text.h"

namespace tolvane {

// Operations of a store, for fault injection and the call log.
enum class StoreOperation {
  kAny,
  kOpenKey,
  kCreateKey,
  kQueryValue,
  kSetValue,
  kDeleteValue,
  kDeleteKey,
  kDeleteTree,
  kEnumKey,
  kEnumValue,
  kQueryInfoKey,
  kCloseKey,
};

// One call the store answered, for tests that check what was asked.
struct StoreCall {
  StoreOperation operation;
  Text path;  // full path of the key the call addressed
  Text name;  // value name, where the call has one
  std::uint32_t access = 0;
  ErrorCode result = 0;
};

class FaultInjectingRegistryStore final : public ForwardingRegistryStore {
 public:
  // How a key may be opened. kReadOnly: only with rights within KEY_READ
  // (writing, creating beneath it and deleting it are refused with 5);
  // kUnopenable: every open answers 5.
  enum class Restriction { kNone, kReadOnly, kUnopenable };

  explicit FaultInjectingRegistryStore(RegistryStore& inner) : ForwardingRegistryStore(inner) {}

  ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                    RegKey* result) override;
  ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access, RegKey* result,
                      bool* created) override;
  ErrorCode QueryValue(RegKey key, const char16_t* name, std::uint32_t* type, void* data,
                       std::uint32_t* byteCount) override;
  ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                     std::uint32_t byteCount) override;
  ErrorCode DeleteValue(RegKey key, const char16_t* name) override;
  ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) override;
  ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) override;
  ErrorCode EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                    std::uint32_t* nameUnits) override;
  ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameUnits,
                      std::uint32_t* type, void* data, std::uint32_t* byteCount) override;
  ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                         std::uint32_t* valueCount) override;
  // A close always releases the handle, even when an injected fault makes
  // it answer an error, so open-key counts stay exact.
  ErrorCode CloseKey(RegKey key) override;

  // Marks root\path (which must exist) as restricted; 2 when it does not.
  ErrorCode Restrict(RegKey root, TextView path, Restriction restriction);

  // Makes the nth call (1 = the next one) of the given operation, counted
  // from now, answer code without doing anything. kAny counts every
  // operation but CloseKey. One fault is armed at a time.
  void FailNth(StoreOperation operation, std::uint64_t nth, ErrorCode code);
  void ClearFault() { faultCountdown_ = 0; }

  // Keys opened or created through this store and not yet closed.
  std::size_t OpenKeyCount() const { return handles_.size(); }

  // Every call answered so far, oldest first; ClearLog empties it.
  const std::vector<StoreCall>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }

 private:
  // What the decorator knows of a key: its path as the caller spelled it
  // and folded for comparison.
  struct KeyPath {
    Text display;
    Text folded;
  };

  KeyPath PathOf(RegKey key) const;
  static KeyPath Join(const KeyPath& parent, const char16_t* subkey);
  Restriction RestrictionOf(const Text& folded) const;
  bool RestrictedAtOrBelow(const Text& folded) const;
  bool TakeFault(StoreOperation operation, ErrorCode* code);
  ErrorCode Record(StoreOperation operation, const Text& path, const char16_t* name,
                   std::uint32_t access, ErrorCode result);
  void Track(RegKey key, KeyPath path) {
    handles_[static_cast<std::uintptr_t>(key)] = std::move(path);
  }
  ErrorCode CheckCreate(RegKey parent, const char16_t* subkey, std::uint32_t access);
  ErrorCode SweepTree(RegKey parent, const Text& name, const Text& folded);

  std::unordered_map<std::uintptr_t, KeyPath> handles_;
  std::map<Text, Restriction> restrictions_;  // by folded full path
  StoreOperation faultOperation_ = StoreOperation::kAny;
  std::uint64_t faultCountdown_ = 0;
  ErrorCode faultCode_ = 0;
  std::vector<StoreCall> log_;
};

}  // namespace tolvane
