// The platform's handles, each owned by the one owner template of
// platform/unique_handle.h.
#pragma once

#include <windows.h>

#include <msi.h>

#include "platform/unique_handle.h"

namespace tolvane::win32 {

// Handles whose "none" is null, released by Close.
template <typename T, auto CloseFunction>
struct NullHandleTraits {
  using Handle = T;
  static T Invalid() { return nullptr; }
  auto Close(T handle) const { return CloseFunction(handle); }
};

// File handles, whose "none" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  BOOL Close(HANDLE handle) const { return ::CloseHandle(handle); }
};

// Installer handles (records, here), whose "none" is 0.
struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static MSIHANDLE Invalid() { return 0; }
  UINT Close(MSIHANDLE handle) const { return ::MsiCloseHandle(handle); }
};

using UniqueHkey = UniqueHandle<NullHandleTraits<HKEY, &::RegCloseKey>>;
using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, &::FreeLibrary>>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
// Processes, threads and other kernel objects whose "none" is null.
using UniqueKernelObject = UniqueHandle<NullHandleTraits<HANDLE, &::CloseHandle>>;
using UniqueMsiHandle = UniqueHandle<MsiHandleTraits>;
// Memory the system allocated for the caller to give back with LocalFree.
using UniqueLocalMemory = UniqueHandle<NullHandleTraits<HLOCAL, &::LocalFree>>;

}  // namespace tolvane::win32
