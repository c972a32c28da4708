#include "tests/test_platform.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tolvane::testing {

bool ListFileProbe::Exists(TextView path) {
  ++queries_;
  for (const Text& p : paths_) {
    if (EqualsNoCase(p, path)) return true;
  }
  return false;
}

bool FixedProcessPaths::OwnModulePath(Text* path) {
  if (!ownModuleKnown) return false;
  *path = ownModule;
  return true;
}

bool FixedProcessPaths::HostExecutablePath(Text* path) {
  if (!hostExecutableKnown) return false;
  *path = hostExecutable;
  return true;
}

ErrorCode TableModuleResources::LoadRegistryScript(TextView modulePath, std::uint16_t id,
                                                   std::string* bytes) {
  bytes->clear();
  Text own;
  if (!paths_.OwnModulePath(&own) || !EqualsNoCase(own, modulePath)) return kErrorFileNotFound;
  const auto it = scripts_.find(id);
  if (it == scripts_.end()) return kErrorResourceNameNotFound;
  *bytes = it->second;
  return kErrorSuccess;
}

Text ReadString(RegistryStore& store, RegKey root, const char16_t* path, const char16_t* name) {
  ScopedKey key(store);
  if (store.OpenKey(root, path, kKeyRead, key.Receive()) != kErrorSuccess) return u"<missing>";
  std::uint32_t size = 0;
  if (store.QueryValue(key.get(), name, nullptr, nullptr, &size) != kErrorSuccess) {
    return u"<missing>";
  }
  Text data(size / 2 + 1, u'\0');
  store.QueryValue(key.get(), name, nullptr, data.data(), &size);
  data.resize(TextLength(data.c_str()));
  return data;
}

bool KeyExists(RegistryStore& store, RegKey root, const char16_t* path) {
  ScopedKey key(store);
  return store.OpenKey(root, path, kKeyRead, key.Receive()) == kErrorSuccess;
}

void WriteString(RegistryStore& store, RegKey root, const char16_t* path, const char16_t* name,
                 const char16_t* value) {
  ScopedKey key(store);
  ASSERT_EQ(store.CreateKey(root, path, kKeyAllAccess, key.Receive(), nullptr), kErrorSuccess);
  if (value != nullptr) {
    const auto bytes = static_cast<std::uint32_t>((TextLength(value) + 1) * sizeof(char16_t));
    ASSERT_EQ(store.SetValue(key.get(), name, kRegSz, value, bytes), kErrorSuccess);
  }
}

std::vector<std::string> Dump(const MemoryRegistryStore& store) {
  std::vector<std::string> lines;
  for (const StoredKey& key : store.Snapshot()) {
    lines.push_back(Utf16ToUtf8(key.path));
    for (const StoredValue& value : key.values) {
      std::string data;
      if (value.type == kRegSz || value.type == kRegExpandSz) {
        Text text(value.data.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
          text[i] = static_cast<char16_t>(static_cast<unsigned char>(value.data[2 * i]) |
                                          (static_cast<unsigned char>(value.data[2 * i + 1]) << 8));
        }
        data = Utf16ToUtf8(TextView(text.c_str()));
      } else {
        for (const char c : value.data) {
          char hex[4];
          std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
          data += hex;
        }
      }
      lines.push_back(Utf16ToUtf8(key.path) + "|" + Utf16ToUtf8(value.name) + "=" + data);
    }
  }
  return lines;
}

}  // namespace tolvane::testing
