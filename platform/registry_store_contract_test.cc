// What the library relies on from a RegistryStore, checked against every
// implementation: the in-memory store on every build and, on Windows (or
// under Wine), the system registry under a scratch key of the current user.
// A case that passes on one and fails on the other is a difference the
// in-memory store must not have.
#include <gtest/gtest.h>

#include <type_traits>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/memory/copy_on_write_registry_store.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/registry_names.h"
#include "platform/registry_snapshot.h"
#include "platform/registry_store.h"
#include "tests/fault_injecting_registry_store.h"

#ifdef _WIN32
#include "platform/win32/win32_registry_store.h"
#endif

namespace tolvane {
namespace {

constexpr const char16_t* kScratch = u"Software\\TolvaneContractTest";

}  // namespace

// The stores under test. Their names show in the test list
// ("...<tolvane::InMemoryStore>"), so they live outside the anonymous
// namespace, whose name has a space in it.
struct InMemoryStore {
  static constexpr bool kSystemRegistry = false;
  MemoryRegistryStore store;
  void ExpectNoOpenKeys() const { EXPECT_EQ(store.OpenKeyCount(), 0u); }
};

// The test decorator must pass every call through unchanged.
struct DecoratedStore {
  static constexpr bool kSystemRegistry = false;
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store{memory};
  void ExpectNoOpenKeys() const { EXPECT_EQ(store.OpenKeyCount(), 0u); }
};

// The copy-on-write layer over a store that already holds keys of its own,
// which it must show and must never change.
template <typename Beneath>
struct CopyOnWriteTarget {
  static constexpr bool kSystemRegistry = false;
  CopyOnWriteTarget() {
    RegKey key = kNoKey;
    if (beneath.CreateKey(kHkeyCurrentUser, u"Software\\TolvaneContractTest\\Beneath", kKeyWrite,
                          &key, nullptr) == kErrorSuccess) {
      beneath.SetValue(key, u"kept", kRegDword, "\1\0\0\0", 4);
      beneath.CloseKey(key);
    }
  }
  ~CopyOnWriteTarget() {
    RegKey key = kNoKey;
    EXPECT_EQ(beneath.OpenKey(kHkeyCurrentUser, u"Software\\TolvaneContractTest\\Beneath", kKeyRead,
                              &key),
              kErrorSuccess);
    std::uint32_t subkeys = 9, values = 9;
    EXPECT_EQ(beneath.QueryInfoKey(key, &subkeys, &values), kErrorSuccess);
    EXPECT_EQ(subkeys + values, 1u) << "the store beneath was written";
    beneath.CloseKey(key);
    beneath.DeleteTree(kHkeyCurrentUser, u"Software\\TolvaneContractTest");
  }
  void ExpectNoOpenKeys() const { EXPECT_EQ(store.OpenKeyCount(), 0u); }
  Beneath beneath;
  CopyOnWriteRegistryStore store{beneath};
};
using CopyOnWriteOverMemory = CopyOnWriteTarget<MemoryRegistryStore>;

#ifdef _WIN32
struct SystemRegistry {
  static constexpr bool kSystemRegistry = true;
  Win32RegistryStore store;
  void ExpectNoOpenKeys() const {}
};
// The layer over the system registry, which it must leave as it found it.
using CopyOnWriteOverSystem = CopyOnWriteTarget<Win32RegistryStore>;
using StoreTargets = ::testing::Types<InMemoryStore, DecoratedStore, SystemRegistry,
                                      CopyOnWriteOverMemory, CopyOnWriteOverSystem>;
#else
using StoreTargets = ::testing::Types<InMemoryStore, DecoratedStore, CopyOnWriteOverMemory>;
#endif

namespace {

// UTF-16 text as the raw bytes a string value holds (terminator included
// when the text holds one).
std::string Bytes(TextView text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

template <typename Target>
class RegistryStoreContract : public ::testing::Test {
 protected:
  void SetUp() override {
    store().DeleteTree(kHkeyCurrentUser, kScratch);  // leftovers of an aborted run
    ASSERT_EQ(
        store().CreateKey(kHkeyCurrentUser, kScratch, kKeyAllAccess, base_.Receive(), nullptr),
        kErrorSuccess);
  }
  void TearDown() override {
    base_.Reset();
    EXPECT_EQ(store().DeleteTree(kHkeyCurrentUser, kScratch), kErrorSuccess);
    target_.ExpectNoOpenKeys();
  }

  RegistryStore& store() { return target_.store; }
  RegKey base() const { return base_.get(); }

  ErrorCode Open(const char16_t* path, ScopedKey& key, std::uint32_t access = kKeyAllAccess) {
    return store().OpenKey(base(), path, access, key.Receive());
  }
  ErrorCode Create(const char16_t* path, ScopedKey& key, bool* created = nullptr) {
    return store().CreateKey(base(), path, kKeyAllAccess, key.Receive(), created);
  }
  bool Exists(const char16_t* path) {
    ScopedKey key(store());
    return Open(path, key, kKeyRead) == kErrorSuccess;
  }
  // Creates base\path; when name is given, writes a REG_SZ value.
  void Put(const char16_t* path, const char16_t* name = nullptr, const char16_t* text = nullptr) {
    ScopedKey key(store());
    ASSERT_EQ(Create(path, key), kErrorSuccess) << Utf16ToUtf8(ViewOf(path));
    if (text != nullptr) {
      const Text data = Text(ViewOf(text)) + u'\0';
      ASSERT_EQ(store().SetValue(key.get(), name, kRegSz, data.data(),
                                 static_cast<std::uint32_t>(data.size() * 2)),
                kErrorSuccess);
    }
  }
  // The raw bytes of a value, read with a buffer of exactly their size.
  ErrorCode Read(RegKey key, const char16_t* name, std::uint32_t* type, std::string* data) {
    std::uint32_t size = 0;
    ErrorCode code = store().QueryValue(key, name, type, nullptr, &size);
    if (code != kErrorSuccess) return code;
    data->assign(size, '\0');
    code = store().QueryValue(key, name, type, data->data(), &size);
    data->resize(size);
    return code;
  }
  // The subkey names of base\path in enumeration order.
  std::vector<Text> Subkeys(const char16_t* path) {
    std::vector<Text> names;
    ScopedKey key(store());
    EXPECT_EQ(Open(path, key, kKeyRead), kErrorSuccess);
    for (std::uint32_t index = 0;; ++index) {
      char16_t name[kMaxKeyNameUnits + 1];
      std::uint32_t units = kMaxKeyNameUnits + 1;
      const ErrorCode code = store().EnumKey(key.get(), index, name, &units);
      if (code != kErrorSuccess) {
        EXPECT_EQ(code, kErrorNoMoreItems);
        break;
      }
      EXPECT_EQ(units, TextLength(name));
      names.emplace_back(name, units);
    }
    return names;
  }

  Target target_;
  ScopedKey base_{target_.store};
};

TYPED_TEST_SUITE(RegistryStoreContract, StoreTargets);

TYPED_TEST(RegistryStoreContract, OpenWithoutSubkeyGivesANewHandleOnTheParent) {
  this->Put(u"A", u"V", u"x");
  for (const char16_t* self : {static_cast<const char16_t*>(nullptr), u""}) {
    ScopedKey a(this->store());
    ScopedKey again(this->store());
    ASSERT_EQ(this->Open(u"A", a), kErrorSuccess);
    ASSERT_EQ(this->store().OpenKey(a.get(), self, kKeyRead, again.Receive()), kErrorSuccess);
    EXPECT_NE(again.get(), a.get());
    EXPECT_EQ(a.Reset(), kErrorSuccess);
    EXPECT_EQ(this->store().QueryValue(again.get(), u"V", nullptr, nullptr, nullptr),
              kErrorSuccess);
  }
  // A root opened this way reaches its keys like the root itself.
  ScopedKey user(this->store());
  ASSERT_EQ(this->store().OpenKey(kHkeyCurrentUser, nullptr, kKeyRead, user.Receive()),
            kErrorSuccess);
  ScopedKey scratch(this->store());
  EXPECT_EQ(this->store().OpenKey(user.get(), kScratch, kKeyRead, scratch.Receive()),
            kErrorSuccess);
}

TYPED_TEST(RegistryStoreContract, OpeningAMissingKeyGivesNotFoundAndNoKey) {
  this->Put(u"A");
  for (const char16_t* path : {u"Missing", u"Missing\\Deeper", u"A\\Missing"}) {
    RegKey key = static_cast<RegKey>(0x1234);
    EXPECT_EQ(this->store().OpenKey(this->base(), path, kKeyRead, &key), kErrorFileNotFound)
        << Utf16ToUtf8(path);
    EXPECT_EQ(key, kNoKey);
  }
}

TYPED_TEST(RegistryStoreContract, CreateMakesEveryMissingKeyOnThePath) {
  const struct {
    const char16_t* path;
    bool created;
  } kSteps[] = {
      {u"A\\B\\C", true}, {u"A\\B\\C", false}, {u"a\\b\\c", false},
      {u"A\\B", false},   {u"A\\B\\D", true},  {u"A\\B\\D\\", false},
  };
  for (const auto& step : kSteps) {
    ScopedKey key(this->store());
    bool created = !step.created;
    EXPECT_EQ(this->Create(step.path, key, &created), kErrorSuccess) << Utf16ToUtf8(step.path);
    EXPECT_EQ(created, step.created) << Utf16ToUtf8(step.path);
    EXPECT_TRUE(key);
  }
  for (const char16_t* path : {u"A", u"A\\B", u"A\\B\\C", u"A\\B\\D"}) {
    EXPECT_TRUE(this->Exists(path)) << Utf16ToUtf8(path);
  }
  // Whether the key was new is optional to ask; a create without subkey
  // opens the parent itself.
  ScopedKey key(this->store());
  EXPECT_EQ(this->store().CreateKey(this->base(), u"E", kKeyAllAccess, key.Receive(), nullptr),
            kErrorSuccess);
  for (const char16_t* self : {static_cast<const char16_t*>(nullptr), u""}) {
    bool created = true;
    ScopedKey same(this->store());
    EXPECT_EQ(this->store().CreateKey(key.get(), self, kKeyAllAccess, same.Receive(), &created),
              kErrorSuccess);
    EXPECT_FALSE(created);
    EXPECT_NE(same.get(), key.get());
  }
  EXPECT_EQ(this->Subkeys(u"E"), std::vector<Text>{});
}

TYPED_TEST(RegistryStoreContract, NamesCompareWithoutRegardToCaseAndKeepTheirSpelling) {
  const struct {
    const char16_t* created;
    const char16_t* other;
  } kPairs[] = {
      {u"MixedCase", u"mIXEDcASE"},
      {u"\u00C4rger\u00FF", u"\u00E4RGER\u0178"},                              // Latin-1
      {u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179"},                        // Latin Extended-A
      {u"\u0391\u03BB\u03C6\u03B1", u"\u03B1\u039B\u03A6\u0391"},              // Greek
      {u"\u041A\u043B\u044E\u0447\u0451", u"\u043A\u041B\u042E\u0427\u0401"},  // Cyrillic
  };
  for (const auto& pair : kPairs) {
    this->Put(pair.created, u"Value", u"first");
    ScopedKey key(this->store());
    bool created = true;
    ASSERT_EQ(this->Create(pair.other, key, &created), kErrorSuccess);
    EXPECT_FALSE(created) << Utf16ToUtf8(pair.other);
    std::uint32_t type = 0;
    std::string data;
    EXPECT_EQ(this->Read(key.get(), u"VALUE", &type, &data), kErrorSuccess);
    EXPECT_EQ(data, Bytes(TextView(u"first", 6)));
    // Writing under a name in other letters replaces the value.
    const Text second = u"second";
    ASSERT_EQ(this->store().SetValue(key.get(), u"vALUE", kRegSz, second.c_str(), 14),
              kErrorSuccess);
    std::uint32_t values = 0;
    EXPECT_EQ(this->store().QueryInfoKey(key.get(), nullptr, &values), kErrorSuccess);
    EXPECT_EQ(values, 1u);
  }
  std::vector<Text> expected;
  for (const auto& pair : kPairs) expected.emplace_back(pair.created);
  std::vector<Text> names = this->Subkeys(nullptr);
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

TYPED_TEST(RegistryStoreContract, QueryValueTellsExistenceSizeAndTooSmallBuffers) {
  this->Put(u"K", u"Name", u"abc");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  RegistryStore& store = this->store();
  // Without a buffer: existence, and the size when asked.
  EXPECT_EQ(store.QueryValue(key.get(), u"Name", nullptr, nullptr, nullptr), kErrorSuccess);
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  EXPECT_EQ(store.QueryValue(key.get(), u"Name", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, kRegSz);
  // A buffer too small: more data, with the size needed.
  char16_t small[2] = {};
  size = sizeof small;
  type = 0;
  EXPECT_EQ(store.QueryValue(key.get(), u"Name", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, kRegSz);
  // Missing values, the default value included, are not found.
  for (const char16_t* name : {u"Missing", u"", static_cast<const char16_t*>(nullptr)}) {
    size = 77;
    EXPECT_EQ(store.QueryValue(key.get(), name, nullptr, nullptr, &size), kErrorFileNotFound);
    char16_t buffer[8] = {};
    size = sizeof buffer;
    EXPECT_EQ(store.QueryValue(key.get(), name, nullptr, buffer, &size), kErrorFileNotFound);
  }
}

TYPED_TEST(RegistryStoreContract, ValuesKeepTheirTypeAndExactBytes) {
  const std::uint32_t number = 0x12345678;
  const struct {
    const char16_t* name;
    std::uint32_t type;
    std::string bytes;
  } kValues[] = {
      {u"String", kRegSz, Bytes(TextView(u"C:\\Suite\\Bin\\Zdw.exe", 21))},
      {u"Korean", kRegSz, Bytes(TextView(u"\uD55C\uAE00 \uBB38\uC11C", 6))},
      {u"Empty", kRegSz, Bytes(TextView(u"", 1))},
      {u"Binary", kRegBinary, std::string("\x00\x01\xFF\x7F\x00", 5)},
      {u"NoBytes", kRegBinary, std::string()},
      {u"Number", kRegDword, std::string(reinterpret_cast<const char*>(&number), 4)},
      {u"List", kRegMultiSz, Bytes(TextView(u"one\0two words\0\0", 16))},
      {nullptr, kRegSz, Bytes(TextView(u"default", 8))},
  };
  this->Put(u"K");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  for (const auto& v : kValues) {
    ASSERT_EQ(this->store().SetValue(key.get(), v.name, v.type, v.bytes.data(),
                                     static_cast<std::uint32_t>(v.bytes.size())),
              kErrorSuccess);
  }
  for (const auto& v : kValues) {
    const std::string name = v.name ? Utf16ToUtf8(v.name) : "(default)";
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(this->Read(key.get(), v.name, &type, &data), kErrorSuccess) << name;
    EXPECT_EQ(type, v.type) << name;
    EXPECT_EQ(data, v.bytes) << name;
    // A larger buffer receives the same bytes and the same size.
    std::string large(v.bytes.size() + 16, '\0');
    auto size = static_cast<std::uint32_t>(large.size());
    ASSERT_EQ(this->store().QueryValue(key.get(), v.name, nullptr, large.data(), &size),
              kErrorSuccess);
    EXPECT_EQ(large.substr(0, size), v.bytes) << name;
  }
  // The default value is the same under a null and an empty name.
  std::string data;
  EXPECT_EQ(this->Read(key.get(), u"", nullptr, &data), kErrorSuccess);
  EXPECT_EQ(data, Bytes(TextView(u"default", 8)));
  // Writing again replaces type and bytes.
  ASSERT_EQ(this->store().SetValue(key.get(), u"Number", kRegSz, u"4", 4), kErrorSuccess);
  std::uint32_t type = 0;
  EXPECT_EQ(this->Read(key.get(), u"Number", &type, &data), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, Bytes(TextView(u"4", 2)));
}

TYPED_TEST(RegistryStoreContract, DeleteValueRemovesOneValueOrAnswersNotFound) {
  this->Put(u"K", u"Keep", u"1");
  this->Put(u"K", u"Gone", u"2");
  this->Put(u"K", nullptr, u"default");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  RegistryStore& store = this->store();
  EXPECT_EQ(store.DeleteValue(key.get(), u"GONE"), kErrorSuccess);
  EXPECT_EQ(store.DeleteValue(key.get(), u"Gone"), kErrorFileNotFound);
  EXPECT_EQ(store.DeleteValue(key.get(), u"NeverThere"), kErrorFileNotFound);
  EXPECT_EQ(store.DeleteValue(key.get(), nullptr), kErrorSuccess);
  EXPECT_EQ(store.DeleteValue(key.get(), u""), kErrorFileNotFound);
  EXPECT_EQ(store.QueryValue(key.get(), u"Keep", nullptr, nullptr, nullptr), kErrorSuccess);
  std::uint32_t values = 0;
  EXPECT_EQ(store.QueryInfoKey(key.get(), nullptr, &values), kErrorSuccess);
  EXPECT_EQ(values, 1u);
}

TYPED_TEST(RegistryStoreContract, DeleteKeyRemovesOnlyAKeyWithoutSubkeys) {
  this->Put(u"Parent\\Child", u"V", u"child");
  this->Put(u"Parent", u"V", u"parent");
  RegistryStore& store = this->store();
  EXPECT_EQ(store.DeleteKey(this->base(), u"Parent"), kErrorAccessDenied);
  EXPECT_TRUE(this->Exists(u"Parent\\Child"));
  EXPECT_EQ(store.DeleteKey(this->base(), u"parent\\CHILD"), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"Parent\\Child"));
  EXPECT_EQ(store.DeleteKey(this->base(), u"Parent\\Child"), kErrorFileNotFound);
  EXPECT_EQ(store.DeleteKey(this->base(), u"Parent"), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"Parent"));
  // Created again, the key has none of its old values.
  this->Put(u"Parent");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"Parent", key), kErrorSuccess);
  EXPECT_EQ(store.QueryValue(key.get(), u"V", nullptr, nullptr, nullptr), kErrorFileNotFound);
}

TYPED_TEST(RegistryStoreContract, DeleteTreeRemovesEverythingBeneath) {
  for (const char16_t* path : {u"T\\A\\A1", u"T\\A\\A2\\Deep", u"T\\B", u"Other"}) {
    this->Put(path, u"V", path);
  }
  this->Put(u"T", u"V", u"top");
  RegistryStore& store = this->store();
  EXPECT_EQ(store.DeleteTree(this->base(), u"t\\a"), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"T\\A"));
  EXPECT_TRUE(this->Exists(u"T\\B"));
  EXPECT_EQ(store.DeleteTree(this->base(), u"T\\A"), kErrorFileNotFound);
  EXPECT_EQ(store.DeleteTree(this->base(), u"T"), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"T"));
  EXPECT_TRUE(this->Exists(u"Other"));
}

TYPED_TEST(RegistryStoreContract, DeleteTreeWithoutSubkeyEmptiesTheKeyItself) {
  this->Put(u"T\\A\\A1", u"V", u"1");
  this->Put(u"T", u"V", u"top");
  this->Put(u"T", nullptr, u"default");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"T", key), kErrorSuccess);
  EXPECT_EQ(this->store().DeleteTree(key.get(), nullptr), kErrorSuccess);
  EXPECT_TRUE(this->Exists(u"T"));
  std::uint32_t subkeys = 9;
  std::uint32_t values = 9;
  EXPECT_EQ(this->store().QueryInfoKey(key.get(), &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
}

TYPED_TEST(RegistryStoreContract, EnumerationNamesEachSubkeyOnceInNameOrder) {
  for (const char16_t* path : {u"P\\gamma", u"P\\Alpha", u"P\\beta\\inner"}) this->Put(path);
  EXPECT_EQ(this->Subkeys(u"P"), (std::vector<Text>{u"Alpha", u"beta", u"gamma"}));

  // The recursive delete's walk: index 0 after deleting the first subkey
  // names the next one, until none is left.
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"P", key), kErrorSuccess);
  std::vector<Text> deleted;
  for (int guard = 0; guard < 10; ++guard) {
    char16_t name[kMaxKeyNameUnits + 1];
    std::uint32_t units = kMaxKeyNameUnits + 1;
    const ErrorCode code = this->store().EnumKey(key.get(), 0, name, &units);
    if (code == kErrorNoMoreItems) break;
    ASSERT_EQ(code, kErrorSuccess);
    deleted.emplace_back(name, units);
    ASSERT_EQ(this->store().DeleteTree(key.get(), name), kErrorSuccess);
  }
  EXPECT_EQ(deleted, (std::vector<Text>{u"Alpha", u"beta", u"gamma"}));
}

TYPED_TEST(RegistryStoreContract, EnumerationRefusesShortBuffersAndEndsWithNoMoreItems) {
  this->Put(u"P\\LongerName");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"P", key), kErrorSuccess);
  char16_t name[kMaxKeyNameUnits + 1];
  // Ten units and a terminator: ten is too few, eleven are enough.
  for (std::uint32_t tooFew : {0u, 1u, 10u}) {
    std::uint32_t units = tooFew;
    EXPECT_EQ(this->store().EnumKey(key.get(), 0, name, &units), kErrorMoreData) << tooFew;
  }
  std::uint32_t units = 11;
  EXPECT_EQ(this->store().EnumKey(key.get(), 0, name, &units), kErrorSuccess);
  EXPECT_EQ(units, 10u);
  EXPECT_EQ(Text(name), u"LongerName");
  for (std::uint32_t index : {1u, 2u, 1000u}) {
    units = kMaxKeyNameUnits + 1;
    EXPECT_EQ(this->store().EnumKey(key.get(), index, name, &units), kErrorNoMoreItems);
  }
}

TYPED_TEST(RegistryStoreContract, ValueEnumerationNamesEachValueOnceWithItsData) {
  this->Put(u"V");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"V", key), kErrorSuccess);
  const struct {
    const char16_t* name;
    std::uint32_t type;
    std::string data;
  } kValues[] = {
      {u"", kRegSz, Bytes(TextView(u"d", 2))},
      {u"Number", kRegDword, std::string("\x2A\0\0\0", 4)},
      {u"Blob", kRegBinary, std::string(300, '\x5A')},
      {u"Multi", kRegMultiSz, Bytes(TextView(u"a\0b\0", 5))},
  };
  std::vector<std::string> wanted;
  for (const auto& v : kValues) {
    ASSERT_EQ(this->store().SetValue(key.get(), v.name, v.type, v.data.data(),
                                     static_cast<std::uint32_t>(v.data.size())),
              kErrorSuccess);
    wanted.push_back(Utf16ToUtf8(v.name) + "|" + std::to_string(v.type) + "|" + v.data);
  }
  std::vector<std::string> seen;
  char16_t name[kMaxValueNameUnits + 1];
  char data[512];
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t units = kMaxValueNameUnits + 1;
    std::uint32_t type = 0;
    std::uint32_t bytes = sizeof data;
    const ErrorCode code =
        this->store().EnumValue(key.get(), index, name, &units, &type, data, &bytes);
    if (code == kErrorNoMoreItems) break;
    ASSERT_EQ(code, kErrorSuccess);
    seen.push_back(Utf16ToUtf8(TextView(name, units)) + "|" + std::to_string(type) + "|" +
                   std::string(data, bytes));
  }
  std::sort(wanted.begin(), wanted.end());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, wanted);

  // A name or data buffer too small is refused; the data size is told.
  const struct {
    std::uint32_t units;
    std::uint32_t bytes;
  } kShort[] = {{1, sizeof data}, {kMaxValueNameUnits + 1, 2}};
  for (const auto& c : kShort) {
    std::uint32_t index = 0;
    std::uint32_t units = kMaxValueNameUnits + 1;
    std::uint32_t bytes = sizeof data;
    // The index of "Blob": its name and 300 bytes are both too long here.
    while (this->store().EnumValue(key.get(), index, name, &units, nullptr, data, &bytes) == 0 &&
           Text(name) != u"Blob") {
      ++index;
      units = kMaxValueNameUnits + 1;
      bytes = sizeof data;
    }
    units = c.units;
    bytes = c.bytes;
    EXPECT_EQ(this->store().EnumValue(key.get(), index, name, &units, nullptr, data, &bytes),
              kErrorMoreData);
    if (c.units > 4) {
      EXPECT_EQ(bytes, 300u);
    }
  }
}

TYPED_TEST(RegistryStoreContract, TreeReadingSpellsNamesAsStoredInRegistryOrder) {
  for (const char16_t* path : {u"T\\gamma", u"T\\Alpha\\Inner", u"T\\beta"}) this->Put(path);
  this->Put(u"T\\Alpha", u"v", u"1");
  std::vector<StoredKey> keys;
  ASSERT_EQ(ReadRegistryTree(this->store(), kHkeyCurrentUser,
                             u"software\\tolvanecontracttest\\t\\alpha\\..\\", &keys),
            kErrorFileNotFound);
  ASSERT_EQ(
      ReadRegistryTree(this->store(), kHkeyCurrentUser, u"software\\TOLVANEcontracttest\\t", &keys),
      kErrorSuccess);
  std::vector<Text> paths;
  for (const StoredKey& key : keys) paths.push_back(key.path);
  const Text top = u"HKEY_CURRENT_USER\\Software\\TolvaneContractTest\\T";
  EXPECT_EQ(paths, (std::vector<Text>{top, top + u"\\Alpha", top + u"\\Alpha\\Inner",
                                      top + u"\\beta", top + u"\\gamma"}));
  ASSERT_EQ(keys[1].values.size(), 1u);
  EXPECT_EQ(keys[1].values[0].name, u"v");
  EXPECT_EQ(keys[1].values[0].data, Bytes(TextView(u"1", 2)));
}

TYPED_TEST(RegistryStoreContract, QueryInfoCountsSubkeysAndValues) {
  this->Put(u"K");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  std::uint32_t subkeys = 9;
  std::uint32_t values = 9;
  EXPECT_EQ(this->store().QueryInfoKey(key.get(), &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
  this->Put(u"K\\One\\Grandchild");
  this->Put(u"K\\Two");
  this->Put(u"K", nullptr, u"default");
  this->Put(u"K", u"A", u"a");
  EXPECT_EQ(this->store().QueryInfoKey(key.get(), &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(this->store().QueryInfoKey(key.get(), nullptr, nullptr), kErrorSuccess);
}

TYPED_TEST(RegistryStoreContract, ClosingARootOrNoKeyIsNoError) {
  for (RegKey root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kNoKey}) {
    EXPECT_EQ(this->store().CloseKey(root), kErrorSuccess);
  }
  // The root is still usable afterwards.
  EXPECT_TRUE(this->Exists(nullptr));
  ScopedKey key(this->store());
  EXPECT_EQ(this->store().OpenKey(kHkeyCurrentUser, kScratch, kKeyRead, key.Receive()),
            kErrorSuccess);
}

TYPED_TEST(RegistryStoreContract, HandlesAllowOnlyTheAccessAskedFor) {
  this->Put(u"K", u"V", u"v");
  RegistryStore& store = this->store();
  ScopedKey reader(store);
  ASSERT_EQ(this->Open(u"K", reader, kKeyRead), kErrorSuccess);
  EXPECT_EQ(store.SetValue(reader.get(), u"V", kRegSz, u"w", 4), kErrorAccessDenied);
  EXPECT_EQ(store.DeleteValue(reader.get(), u"V"), kErrorAccessDenied);
  EXPECT_EQ(store.QueryValue(reader.get(), u"V", nullptr, nullptr, nullptr), kErrorSuccess);
  ScopedKey writer(store);
  ASSERT_EQ(this->Open(u"K", writer, kKeySetValue), kErrorSuccess);
  EXPECT_EQ(store.QueryValue(writer.get(), u"V", nullptr, nullptr, nullptr), kErrorAccessDenied);
  char16_t name[kMaxKeyNameUnits + 1];
  std::uint32_t units = kMaxKeyNameUnits + 1;
  EXPECT_EQ(store.EnumKey(writer.get(), 0, name, &units), kErrorAccessDenied);
  EXPECT_EQ(store.SetValue(writer.get(), u"V", kRegSz, u"w", 4), kErrorSuccess);
}

TYPED_TEST(RegistryStoreContract, AHandleOnADeletedKeyAnswersKeyDeleted) {
  this->Put(u"Doomed\\Child", u"V", u"v");
  RegistryStore& store = this->store();
  ScopedKey doomed(store);
  ASSERT_EQ(this->Open(u"Doomed\\Child", doomed), kErrorSuccess);
  ASSERT_EQ(store.DeleteTree(this->base(), u"Doomed"), kErrorSuccess);
  EXPECT_EQ(store.QueryValue(doomed.get(), u"V", nullptr, nullptr, nullptr), kErrorKeyDeleted);
  EXPECT_EQ(store.SetValue(doomed.get(), u"V", kRegSz, u"w", 4), kErrorKeyDeleted);
  ScopedKey child(store);
  EXPECT_EQ(store.CreateKey(doomed.get(), u"New", kKeyAllAccess, child.Receive(), nullptr),
            kErrorKeyDeleted);
  EXPECT_FALSE(child);
  EXPECT_EQ(doomed.Reset(), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"Doomed"));
}

TYPED_TEST(RegistryStoreContract, PathsWithALeadingBackslashAreRefused) {
  this->Put(u"A\\B");
  ScopedKey key(this->store());
  EXPECT_EQ(this->Open(u"\\A", key), kErrorBadPathname);
  EXPECT_EQ(this->Create(u"\\A\\C", key), kErrorBadPathname);
  EXPECT_FALSE(this->Exists(u"A\\C"));
  // Runs of backslashes inside or at the end separate like one.
  for (const char16_t* same : {u"A\\B\\", u"A\\\\B", u"A\\\\\\B\\\\"}) {
    EXPECT_EQ(this->Open(same, key), kErrorSuccess) << Utf16ToUtf8(same);
  }
  bool created = true;
  EXPECT_EQ(this->Create(u"A\\\\B\\\\C\\", key, &created), kErrorSuccess);
  EXPECT_TRUE(created);
  EXPECT_EQ(this->Subkeys(u"A\\B"), std::vector<Text>{u"C"});
}

TYPED_TEST(RegistryStoreContract, DeleteKeyWithAnEmptySubkeyDeletesTheKeyItself) {
  this->Put(u"Leaf", u"V", u"v");
  ScopedKey leaf(this->store());
  ASSERT_EQ(this->Open(u"Leaf", leaf), kErrorSuccess);
  EXPECT_EQ(this->store().DeleteKey(leaf.get(), nullptr), kErrorInvalidParameter);
  EXPECT_TRUE(this->Exists(u"Leaf"));
  EXPECT_EQ(this->store().DeleteKey(leaf.get(), u""), kErrorSuccess);
  EXPECT_FALSE(this->Exists(u"Leaf"));
  EXPECT_EQ(this->store().QueryValue(leaf.get(), u"V", nullptr, nullptr, nullptr),
            kErrorKeyDeleted);
}

TYPED_TEST(RegistryStoreContract, DeleteTreeWithAnEmptySubkeyKeepsTheKeyLikeNoSubkey) {
  this->Put(u"T\\A", u"V", u"1");
  this->Put(u"T", u"V", u"top");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"T", key), kErrorSuccess);
  EXPECT_EQ(this->store().DeleteTree(key.get(), u""), kErrorSuccess);
  EXPECT_TRUE(this->Exists(u"T"));
  EXPECT_FALSE(this->Exists(u"T\\A"));
  EXPECT_EQ(this->store().QueryValue(key.get(), u"V", nullptr, nullptr, nullptr),
            kErrorFileNotFound);
}

TYPED_TEST(RegistryStoreContract, DeleteTreeOfAKeysOwnValuesNeedsTheRightToWriteThem) {
  this->Put(u"T\\A");
  this->Put(u"T", u"V", u"top");
  ScopedKey reader(this->store());
  ASSERT_EQ(this->Open(u"T", reader, kKeyRead), kErrorSuccess);
  EXPECT_EQ(this->store().DeleteTree(reader.get(), nullptr), kErrorAccessDenied);
  EXPECT_EQ(this->store().QueryValue(reader.get(), u"V", nullptr, nullptr, nullptr), kErrorSuccess);
  // Without values, a reading handle is enough.
  this->Put(u"U\\A");
  ScopedKey other(this->store());
  ASSERT_EQ(this->Open(u"U", other, kKeyRead), kErrorSuccess);
  EXPECT_EQ(this->store().DeleteTree(other.get(), nullptr), kErrorSuccess);
  EXPECT_EQ(this->Subkeys(u"U"), std::vector<Text>{});
}

TYPED_TEST(RegistryStoreContract, StringsCountedWithoutTheirTerminatorGetIt) {
  this->Put(u"K");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  RegistryStore& store = this->store();
  // Stored: Wine's registry takes along a terminator lying just past the
  // count; the in-memory store never reads past what the caller counted.
  constexpr bool kLooksPastTheCount = TypeParam::kSystemRegistry;
  const char16_t a[] = u"a";
  const char16_t abc[] = u"abc";
  const char16_t abcd[] = {u'a', u'b', u'c', u'd', u'\0'};
  const struct {
    const char16_t* name;
    std::uint32_t type;
    const void* data;
    std::uint32_t count;
    std::uint32_t stored;
  } kCases[] = {
      {u"Sz", kRegSz, abc, 6, 8},         {u"Expand", kRegExpandSz, abc, 6, 8},
      {u"Multi", kRegMultiSz, abc, 6, 8}, {u"Odd", kRegSz, a, 3, 5},
      {u"NoNul", kRegSz, abcd, 6, 6},     {u"Binary", kRegBinary, abc, 6, 6},
      {u"Exact", kRegSz, abc, 8, 8},      {u"Empty", kRegSz, nullptr, 0, 0},
  };
  for (const auto& c : kCases) {
    ASSERT_EQ(store.SetValue(key.get(), c.name, c.type, c.data, c.count), kErrorSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(store.QueryValue(key.get(), c.name, nullptr, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, kLooksPastTheCount ? c.stored : c.count) << Utf16ToUtf8(c.name);
  }
  // Read back into a buffer with room, a string without terminator gets one;
  // a buffer without room gets just the bytes.
  const struct {
    const char16_t* name;
    std::uint32_t room;
    char16_t after;
  } kReads[] = {
      {u"NoNul", 16, u'\0'},
      {u"NoNul", 8, u'\0'},
      {u"NoNul", 7, u'\x7777'},
      {u"Binary", 16, u'\x7777'},
  };
  for (const auto& r : kReads) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'\x7777');
    std::uint32_t size = r.room;
    ASSERT_EQ(store.QueryValue(key.get(), r.name, nullptr, buffer, &size), kErrorSuccess);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[3], r.after) << Utf16ToUtf8(r.name) << " " << r.room;
  }
}

TYPED_TEST(RegistryStoreContract, SetValueRefusesMissingDataAndOverlongNames) {
  this->Put(u"K");
  ScopedKey key(this->store());
  ASSERT_EQ(this->Open(u"K", key), kErrorSuccess);
  EXPECT_EQ(this->store().SetValue(key.get(), u"V", kRegBinary, nullptr, 4), kErrorNoAccess);
  const Text longest(16383, u'v');
  EXPECT_EQ(this->store().SetValue(key.get(), longest.c_str(), kRegSz, u"", 2), kErrorSuccess);
  const Text overlong(16384, u'w');
  EXPECT_EQ(this->store().SetValue(key.get(), overlong.c_str(), kRegSz, u"", 2),
            kErrorInvalidParameter);
  std::uint32_t values = 0;
  EXPECT_EQ(this->store().QueryInfoKey(key.get(), nullptr, &values), kErrorSuccess);
  EXPECT_EQ(values, 1u);
}

// Every unit of the blocks that hold letters with case partners, as a
// one-unit key name: a key is new exactly when no earlier unit shares its
// registry name, and enumeration lists the keys in registry-name order.
TYPED_TEST(RegistryStoreContract, KeyNamesFoldAndSortAsTheRegistryNamesTableSays) {
  const struct {
    char16_t first;
    char16_t last;
  } kBlocks[] = {{0x0020, 0x2D2F}, {0xA640, 0xA7FF}, {0xAB70, 0xABBF}, {0xFF00, 0xFF5F}};
  ScopedKey parent(this->store());
  ASSERT_EQ(this->Create(u"Fold", parent), kErrorSuccess);
  std::vector<bool> taken(0x10000, false);
  std::vector<Text> expected;
  std::size_t mismatches = 0;
  for (const auto& block : kBlocks) {
    for (char32_t unit = block.first; unit <= block.last; ++unit) {
      if (unit == u'\\') continue;
      const char16_t name[2] = {static_cast<char16_t>(unit), u'\0'};
      const char16_t lower = RegistryLower(name[0]);
      ScopedKey key(this->store());
      bool created = false;
      ASSERT_EQ(this->store().CreateKey(parent.get(), name, kKeyAllAccess, key.Receive(), &created),
                kErrorSuccess);
      if (created == taken[lower]) {
        ADD_FAILURE() << "unit " << static_cast<unsigned>(unit)
                      << (created ? " made a new key" : " found an existing key");
        if (++mismatches > 10) return;
      }
      if (!taken[lower]) expected.emplace_back(name);
      taken[lower] = true;
    }
  }
  std::sort(expected.begin(), expected.end(),
            [](const Text& a, const Text& b) { return CompareRegistryNames(a, b) < 0; });
  EXPECT_TRUE(this->Subkeys(u"Fold") == expected);
}

}  // namespace
}  // namespace tolvane
