#include "platform/win32/win32_module_resources.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane {
namespace {

// The calling thread's last error, or fallback when a failing call left
// none, so a failure is never reported as success.
ErrorCode LastErrorOr(ErrorCode fallback) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? static_cast<ErrorCode>(error) : fallback;
}

}  // namespace

ErrorCode Win32ModuleResources::LoadRegistryScript(TextView modulePath, std::uint16_t id,
                                                   std::string* bytes) {
  bytes->clear();
  // No file has an empty name; a NUL inside would name another file.
  if (modulePath.empty() || modulePath.find(u'\0') != TextView::npos) return kErrorFileNotFound;
  const std::wstring path = win32::WideCopy(modulePath);
  const win32::UniqueModule module(
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return LastErrorOr(kErrorFileNotFound);
  const HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(id), L"REGISTRY");
  if (resource == nullptr) return LastErrorOr(kErrorResourceNameNotFound);
  const HGLOBAL loaded = ::LoadResource(module.get(), resource);
  if (loaded == nullptr) return LastErrorOr(kErrorResourceDataNotFound);
  const DWORD size = ::SizeofResource(module.get(), resource);
  if (size == 0) return kErrorSuccess;
  const void* data = ::LockResource(loaded);
  if (data == nullptr) return LastErrorOr(kErrorResourceDataNotFound);
  bytes->assign(static_cast<const char*>(data), size);
  return kErrorSuccess;
}

}  // namespace tolvane
