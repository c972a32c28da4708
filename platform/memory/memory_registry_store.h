// An in-memory registry with the semantics of the system registry: the
// predefined roots, names compared without regard to case, the platform's
// error numbers, access rights checked against each handle, enumeration by
// index in name order. It is the portable build's registry (loaded from and
// saved to a hive file by the host) and the store beneath every unit test;
// the tests' recording and fault injection live in decorators over it
// (tests/fault_injecting_registry_store.h), not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/stored_key.h"
#include "platform/text.h"

namespace tolvane {

class MemoryRegistryStore final : public RegistryStore {
 public:
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
  ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameUnits,
                      std::uint32_t* type, void* data, std::uint32_t* byteCount) override;
  ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                         std::uint32_t* valueCount) override;
  ErrorCode CloseKey(RegKey key) override;

  // Keys opened or created and not yet closed.
  std::size_t OpenKeyCount() const { return openHandles_; }

  // Every key below the roots, depth first, parents before children,
  // siblings ordered by lower-cased name; values in the order first
  // written. A root appears only when it holds values.
  std::vector<StoredKey> Snapshot() const;
  // The same for root\path and everything beneath it; 2 when it is missing.
  ErrorCode SnapshotTree(RegKey root, TextView path, std::vector<StoredKey>* keys) const;

  // Removes every key and value; open handles become handles on deleted
  // keys.
  void Clear();

 private:
  struct Node;
  // An open handle: the key it holds (kept alive even once deleted) and the
  // rights it was opened with. A free slot holds no node.
  struct Handle {
    std::shared_ptr<Node> node;
    std::uint32_t access = 0;
  };

  Node* RootNode(RegKey root) const;
  // Resolves a handle or root; null and *code set when it is not usable.
  // The answer points at the key's owning entry (a root's or a handle's).
  const std::shared_ptr<Node>* Resolve(RegKey key, std::uint32_t* access, ErrorCode* code) const;
  RegKey NewHandle(std::shared_ptr<Node> node, std::uint32_t access);
  // The owning entry of the key subkey names beneath from, or null with
  // *code set (2 when a component is missing, or the path's own fault).
  const std::shared_ptr<Node>* Walk(const std::shared_ptr<Node>* from, const char16_t* subkey,
                                    ErrorCode* code);
  // Folds name into the scratch buffer and answers it.
  TextView Fold(TextView name);
  void DeleteSubtree(Node& node);
  // Deletes node's subtree and removes it from its parent (which it must have).
  void Detach(std::shared_ptr<Node> node);
  void Collect(const Node& node, const Text& path, bool includeSelf,
               std::vector<StoredKey>* keys) const;

  std::vector<std::shared_ptr<Node>> roots_;
  // Handle values are kFirstHandle + 4 * slot; freed slots are reused, so
  // opening and closing keys allocates nothing once the table has grown.
  std::vector<Handle> handles_;
  std::vector<std::size_t> freeSlots_;
  std::size_t openHandles_ = 0;
  Text folded_;  // scratch for the name being looked up
};

}  // namespace tolvane
