// A registry store that passes every call to another store unchanged. It is
// the base of the decorators that watch or alter a store's traffic (the
// command's change journal, the test stores that record calls and inject
// faults, the benchmarks' call counter): each overrides only the calls it
// cares about. The shipped stores stay free of that machinery.
#pragma once

#include "platform/registry_store.h"

namespace tolvane {

class ForwardingRegistryStore : public RegistryStore {
 public:
  // inner is borrowed and must outlive the decorator.
  explicit ForwardingRegistryStore(RegistryStore& inner) : inner_(inner) {}
  ForwardingRegistryStore(const ForwardingRegistryStore&) = delete;
  ForwardingRegistryStore& operator=(const ForwardingRegistryStore&) = delete;

  RegistryStore& inner() const { return inner_; }

  ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                    RegKey* result) override {
    return inner_.OpenKey(parent, subkey, access, result);
  }
  ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access, RegKey* result,
                      bool* created) override {
    return inner_.CreateKey(parent, subkey, access, result, created);
  }
  ErrorCode QueryValue(RegKey key, const char16_t* name, std::uint32_t* type, void* data,
                       std::uint32_t* byteCount) override {
    return inner_.QueryValue(key, name, type, data, byteCount);
  }
  ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                     std::uint32_t byteCount) override {
    return inner_.SetValue(key, name, type, data, byteCount);
  }
  ErrorCode DeleteValue(RegKey key, const char16_t* name) override {
    return inner_.DeleteValue(key, name);
  }
  ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) override {
    return inner_.DeleteKey(parent, subkey);
  }
  ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) override {
    return inner_.DeleteTree(parent, subkey);
  }
  ErrorCode EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                    std::uint32_t* nameUnits) override {
    return inner_.EnumKey(key, index, name, nameUnits);
  }
  ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameUnits,
                      std::uint32_t* type, void* data, std::uint32_t* byteCount) override {
    return inner_.EnumValue(key, index, name, nameUnits, type, data, byteCount);
  }
  ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                         std::uint32_t* valueCount) override {
    return inner_.QueryInfoKey(key, subkeyCount, valueCount);
  }
  ErrorCode CloseKey(RegKey key) override { return inner_.CloseKey(key); }

 private:
  RegistryStore& inner_;
};

}  // namespace tolvane
