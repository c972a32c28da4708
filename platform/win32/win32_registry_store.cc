#include "platform/win32/win32_registry_store.h"

#include <windows.h>

#include "platform/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }
RegKey FromHkey(HKEY key) { return static_cast<RegKey>(reinterpret_cast<std::uintptr_t>(key)); }

// The create call takes no null path; an empty one opens the parent itself,
// as a null path does for the other operations.
const wchar_t* PathOrEmpty(const char16_t* subkey) {
  return subkey == nullptr ? L"" : win32::AsWide(subkey);
}

}  // namespace

ErrorCode Win32RegistryStore::OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                      RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = kNoKey;
  win32::UniqueHkey key;
  const LSTATUS status =
      ::RegOpenKeyExW(ToHkey(parent), win32::AsWide(subkey), 0, access, key.Receive());
  if (status != ERROR_SUCCESS) return status;
  *result = FromHkey(key.Release());
  return kErrorSuccess;
}

ErrorCode Win32RegistryStore::CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                                        RegKey* result, bool* created) {
  if (created != nullptr) *created = false;
  if (result == nullptr) return kErrorInvalidParameter;
  *result = kNoKey;
  win32::UniqueHkey key;
  DWORD disposition = 0;
  const LSTATUS status =
      ::RegCreateKeyExW(ToHkey(parent), PathOrEmpty(subkey), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, key.Receive(), &disposition);
  if (status != ERROR_SUCCESS) return status;
  // Without a subkey the key opened is the parent, which exists already;
  // some registry implementations report it as new all the same.
  if (created != nullptr) {
    *created = disposition == REG_CREATED_NEW_KEY && !IsNullOrEmpty(subkey);
  }
  *result = FromHkey(key.Release());
  return kErrorSuccess;
}

ErrorCode Win32RegistryStore::QueryValue(RegKey key, const char16_t* name, std::uint32_t* type,
                                         void* data, std::uint32_t* byteCount) {
  DWORD valueType = 0;
  DWORD count = byteCount != nullptr ? *byteCount : 0;
  const LSTATUS status =
      ::RegQueryValueExW(ToHkey(key), win32::AsWide(name), nullptr, &valueType,
                         static_cast<BYTE*>(data), byteCount != nullptr ? &count : nullptr);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != nullptr) *type = valueType;
    if (byteCount != nullptr) *byteCount = count;
  }
  return status;
}

ErrorCode Win32RegistryStore::SetValue(RegKey key, const char16_t* name, std::uint32_t type,
                                       const void* data, std::uint32_t byteCount) {
  return ::RegSetValueExW(ToHkey(key), win32::AsWide(name), 0, type, static_cast<const BYTE*>(data),
                          byteCount);
}

ErrorCode Win32RegistryStore::DeleteValue(RegKey key, const char16_t* name) {
  return ::RegDeleteValueW(ToHkey(key), win32::AsWide(name));
}

ErrorCode Win32RegistryStore::DeleteKey(RegKey parent, const char16_t* subkey) {
  return ::RegDeleteKeyW(ToHkey(parent), win32::AsWide(subkey));
}

ErrorCode Win32RegistryStore::DeleteTree(RegKey parent, const char16_t* subkey) {
  return ::RegDeleteTreeW(ToHkey(parent), win32::AsWide(subkey));
}

ErrorCode Win32RegistryStore::EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                                      std::uint32_t* nameUnits) {
  if (name == nullptr || nameUnits == nullptr) return kErrorInvalidParameter;
  DWORD units = *nameUnits;
  const LSTATUS status = ::RegEnumKeyExW(ToHkey(key), index, win32::AsWide(name), &units, nullptr,
                                         nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) *nameUnits = units;
  return status;
}

ErrorCode Win32RegistryStore::EnumValue(RegKey key, std::uint32_t index, char16_t* name,
                                        std::uint32_t* nameUnits, std::uint32_t* type, void* data,
                                        std::uint32_t* byteCount) {
  if (name == nullptr || nameUnits == nullptr || (data != nullptr && byteCount == nullptr)) {
    return kErrorInvalidParameter;
  }
  DWORD units = *nameUnits;
  DWORD valueType = 0;
  DWORD count = byteCount != nullptr ? *byteCount : 0;
  const LSTATUS status =
      ::RegEnumValueW(ToHkey(key), index, win32::AsWide(name), &units, nullptr, &valueType,
                      static_cast<BYTE*>(data), byteCount != nullptr ? &count : nullptr);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != nullptr) *type = valueType;
    if (byteCount != nullptr) *byteCount = count;
  }
  if (status == ERROR_SUCCESS) *nameUnits = units;
  return status;
}

ErrorCode Win32RegistryStore::QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                                           std::uint32_t* valueCount) {
  DWORD subkeys = 0;
  DWORD values = 0;
  const LSTATUS status =
      ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (subkeyCount != nullptr) *subkeyCount = subkeys;
  if (valueCount != nullptr) *valueCount = values;
  return kErrorSuccess;
}

ErrorCode Win32RegistryStore::CloseKey(RegKey key) {
  if (key == kNoKey || IsPredefinedKey(key)) return kErrorSuccess;
  return ::RegCloseKey(ToHkey(key));
}

}  // namespace tolvane
