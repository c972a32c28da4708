// The registry as every part of the library uses it. Keys are addressed by a
// parent (a predefined root or an open key) and a backslash-separated subkey
// path; names compare without regard to case. Every operation answers the
// platform's error number (0 success, 2 not found, 5 access denied, ...) and
// never throws. Implementations: the system registry (Windows build) and an
// in-memory store (portable build, and every unit test).
#pragma once

#include <cstdint>

#include "platform/status_codes.h"
#include "platform/unique_handle.h"

namespace tolvane {

// An open registry key or a predefined root. Pointer-sized and opaque: the
// Windows build stores an HKEY in it, the in-memory store its own handle
// numbers. kNoKey means "no key".
enum class RegKey : std::uintptr_t {};
inline constexpr RegKey kNoKey{0};

// Predefined roots have the platform's sign-extended handle values, so a
// record table holding them has the same bytes on both builds.
constexpr RegKey PredefinedKey(std::uint32_t value) {
  return static_cast<RegKey>(
      static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value))));
}
inline constexpr RegKey kHkeyClassesRoot = PredefinedKey(0x80000000u);
inline constexpr RegKey kHkeyCurrentUser = PredefinedKey(0x80000001u);
inline constexpr RegKey kHkeyLocalMachine = PredefinedKey(0x80000002u);
inline constexpr RegKey kHkeyUsers = PredefinedKey(0x80000003u);
inline constexpr RegKey kHkeyPerformanceData = PredefinedKey(0x80000004u);
inline constexpr RegKey kHkeyCurrentConfig = PredefinedKey(0x80000005u);
inline constexpr RegKey kHkeyDynData = PredefinedKey(0x80000006u);

// True for the seven predefined roots above.
bool IsPredefinedKey(RegKey key);

// Access rights, as the platform numbers them.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyReadWrite = 0x2001F;  // KEY_READ | KEY_WRITE
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Longest key name the platform allows (units, without terminator); an
// enumeration buffer of kMaxKeyNameUnits + 1 always suffices.
inline constexpr std::uint32_t kMaxKeyNameUnits = 255;
// Longest value name the platform allows, in units.
inline constexpr std::uint32_t kMaxValueNameUnits = 16383;

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Opens parent\subkey with the access asked for. A null or empty subkey
  // opens a new handle on the parent itself. On success *result is a key the
  // caller must close; on failure it is kNoKey.
  virtual ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                            RegKey* result) = 0;

  // Opens parent\subkey, creating every missing key on the path
  // (non-volatile, no class). *created, when given, tells whether the last
  // key was new.
  virtual ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                              RegKey* result, bool* created) = 0;

  // Reads a value (null or empty name: the default value). *byteCount is
  // the buffer size in; the data size out. With data null only the size and
  // type are reported. A buffer too small answers kErrorMoreData and fills
  // nothing; a missing value answers kErrorFileNotFound. type may be null.
  virtual ErrorCode QueryValue(RegKey key, const char16_t* name, std::uint32_t* type, void* data,
                               std::uint32_t* byteCount) = 0;

  // Writes a value of any type from byteCount raw bytes.
  virtual ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                             std::uint32_t byteCount) = 0;

  // Deletes one value; kErrorFileNotFound when it is absent.
  virtual ErrorCode DeleteValue(RegKey key, const char16_t* name) = 0;

  // Deletes parent\subkey with its values; refused when it has subkeys.
  virtual ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) = 0;

  // Deletes parent\subkey with all its subkeys and values.
  virtual ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) = 0;

  // Names the subkey at index. *nameUnits is the buffer size in units
  // (terminator included) in, the name length out. kErrorNoMoreItems past
  // the last subkey; kErrorMoreData when the name does not fit.
  virtual ErrorCode EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                            std::uint32_t* nameUnits) = 0;

  // Names the value at index and reads it. *nameUnits is the name buffer
  // size in units (terminator included) in, the name length out; type may
  // be null; data and *byteCount work as for QueryValue (data null: sizes
  // only). kErrorNoMoreItems past the last value; kErrorMoreData when the
  // name or the data does not fit (*byteCount then tells the data size).
  // The order is the store's own; each value comes once for indexes 0 to
  // count - 1 while the key does not change.
  virtual ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                              std::uint32_t* nameUnits, std::uint32_t* type, void* data,
                              std::uint32_t* byteCount) = 0;

  // Counts the key's subkeys and values; either pointer may be null.
  virtual ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                 std::uint32_t* valueCount) = 0;

  // Releases a key. Closing kNoKey or a predefined root is no error.
  virtual ErrorCode CloseKey(RegKey key) = 0;
};

// How a key of a store is released: through the store that opened it.
struct StoreKeyTraits {
  StoreKeyTraits(RegistryStore& owner) : store(&owner) {}  // NOLINT: converts on purpose
  using Handle = RegKey;
  static RegKey Invalid() { return kNoKey; }
  ErrorCode Close(RegKey key) const { return store->CloseKey(key); }
  RegistryStore* store;
};

// Owns one open key and closes it when it goes out of scope:
//   ScopedKey key(store);
//   store.OpenKey(parent, name, access, key.Receive());
using ScopedKey = UniqueHandle<StoreKeyTraits>;

}  // namespace tolvane
