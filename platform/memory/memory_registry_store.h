// An in-memory registry with the semantics of the system registry: the
// predefined roots, names compared without regard to case, the platform's
// error numbers, access rights checked against each handle, enumeration by
// index in name order. It is the portable build's registry (loaded from and
// saved to a hive file by the host) and the store of every unit test, which
// can restrict keys, make an operation fail on demand and count open keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry_store.h"
#include "platform/stored_key.h"
#include "platform/text.h"

namespace tolvane {

// Operations of the store, for fault injection and the operation log.
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

class MemoryRegistryStore final : public RegistryStore {
 public:
  // How a key may be opened. kReadOnly: only with rights within KEY_READ
  // (writing, creating beneath it and deleting it are refused with 5);
  // kUnopenable: every open answers 5.
  enum class Restriction { kNone, kReadOnly, kUnopenable };

  MemoryRegistryStore();
  ~MemoryRegistryStore() override;
  MemoryRegistryStore(const MemoryRegistryStore&) = delete;
  MemoryRegistryStore& operator=(const MemoryRegistryStore&) = delete;

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
  void ClearFault();

  // Keys opened or created and not yet closed.
  std::size_t OpenKeyCount() const { return handles_.size(); }

  // Every call answered so far, oldest first; ClearLog empties it.
  const std::vector<StoreCall>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }

  // Every key below the roots, depth first, parents before children,
  // siblings ordered by lower-cased name; values in the order first
  // written. A root appears only when it holds values.
  std::vector<StoredKey> Snapshot() const;
  // The same for root\path and everything beneath it; 2 when it is missing.
  ErrorCode SnapshotTree(RegKey root, TextView path, std::vector<StoredKey>* keys) const;

  // Removes every key and value and forgets restrictions; open handles
  // become handles on deleted keys.
  void Clear();

 private:
  struct Node;
  struct Handle {
    std::shared_ptr<Node> node;
    std::uint32_t access;
  };

  Node* RootNode(RegKey root) const;
  // Resolves a handle or root; null and *code set when it is not usable.
  std::shared_ptr<Node> Resolve(RegKey key, std::uint32_t* access, ErrorCode* code) const;
  bool TakeFault(StoreOperation operation, ErrorCode* code);
  RegKey NewHandle(std::shared_ptr<Node> node, std::uint32_t access);
  ErrorCode Record(StoreOperation operation, const Node* node, const char16_t* subkey,
                   const char16_t* name, std::uint32_t access, ErrorCode result);
  ErrorCode DeleteSubtree(Node& node);
  void Collect(const Node& node, const Text& path, bool includeSelf,
               std::vector<StoredKey>* keys) const;

  std::vector<std::shared_ptr<Node>> roots_;
  std::unordered_map<std::uintptr_t, Handle> handles_;
  std::uintptr_t nextHandle_ = 0x1000;
  StoreOperation faultOperation_ = StoreOperation::kAny;
  std::uint64_t faultCountdown_ = 0;
  ErrorCode faultCode_ = 0;
  std::vector<StoreCall> log_;
};

}  // namespace tolvane
