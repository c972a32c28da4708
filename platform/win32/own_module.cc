#include "platform/win32/own_module.h"

#include <atomic>

namespace tolvane::win32 {
namespace {

// Written once by the loader's process-attach call, read by any thread after.
std::atomic<HMODULE>& RememberedModule() {
  static std::atomic<HMODULE> module{nullptr};
  return module;
}

}  // namespace

void RememberOwnModule(HMODULE module) { RememberedModule().store(module); }

HMODULE OwnModule() {
  if (HMODULE module = RememberedModule().load(); module != nullptr) return module;
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

}  // namespace tolvane::win32
