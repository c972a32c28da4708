// A decorator that counts the calls a registry store answers, by operation,
// for the benchmarks: on the system registry every call is a round trip to
// the registry's owner, so how many calls a run makes matters as much as
// how long each takes.
#pragma once

#include <cstdint>

#include "platform/forwarding_registry_store.h"

namespace tolvane {

struct RegistryCallCounts {
  std::uint64_t open = 0;
  std::uint64_t create = 0;
  std::uint64_t queryValue = 0;
  std::uint64_t setValue = 0;
  std::uint64_t deleteValue = 0;
  std::uint64_t deleteKey = 0;
  std::uint64_t deleteTree = 0;
  std::uint64_t enumKey = 0;
  std::uint64_t enumValue = 0;
  std::uint64_t queryInfo = 0;
  std::uint64_t close = 0;

  std::uint64_t total() const {
    return open + create + queryValue + setValue + deleteValue + deleteKey + deleteTree + enumKey +
           enumValue + queryInfo + close;
  }
};

class CountingRegistryStore final : public ForwardingRegistryStore {
 public:
  explicit CountingRegistryStore(RegistryStore& inner) : ForwardingRegistryStore(inner) {}

  const RegistryCallCounts& counts() const { return counts_; }
  void Reset() { counts_ = {}; }

  ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                    RegKey* result) override {
    ++counts_.open;
    return inner().OpenKey(parent, subkey, access, result);
  }
  ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access, RegKey* result,
                      bool* created) override {
    ++counts_.create;
    return inner().CreateKey(parent, subkey, access, result, created);
  }
  ErrorCode QueryValue(RegKey key, const char16_t* name, std::uint32_t* type, void* data,
                       std::uint32_t* byteCount) override {
    ++counts_.queryValue;
    return inner().QueryValue(key, name, type, data, byteCount);
  }
  ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                     std::uint32_t byteCount) override {
    ++counts_.setValue;
    return inner().SetValue(key, name, type, data, byteCount);
  }
  ErrorCode DeleteValue(RegKey key, const char16_t* name) override {
    ++counts_.deleteValue;
    return inner().DeleteValue(key, name);
  }
  ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) override {
    ++counts_.deleteKey;
    return inner().DeleteKey(parent, subkey);
  }
  ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) override {
    ++counts_.deleteTree;
    return inner().DeleteTree(parent, subkey);
  }
  ErrorCode EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                    std::uint32_t* nameUnits) override {
    ++counts_.enumKey;
    return inner().EnumKey(key, index, name, nameUnits);
  }
  ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameUnits,
                      std::uint32_t* type, void* data, std::uint32_t* byteCount) override {
    ++counts_.enumValue;
    return inner().EnumValue(key, index, name, nameUnits, type, data, byteCount);
  }
  ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                         std::uint32_t* valueCount) override {
    ++counts_.queryInfo;
    return inner().QueryInfoKey(key, subkeyCount, valueCount);
  }
  ErrorCode CloseKey(RegKey key) override {
    ++counts_.close;
    return inner().CloseKey(key);
  }

 private:
  RegistryCallCounts counts_;
};

}  // namespace tolvane
