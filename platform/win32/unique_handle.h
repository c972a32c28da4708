// Owners for the platform's handles: one template, one alias per handle type.
// A handle is released exactly once, by its owner, on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace tolvane::win32 {

// Owns a handle of type T that is released with Close and is "none" when
// null. Movable, not copyable.
template <typename T, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // Releases the held handle (if any) and takes handle.
  void reset(T handle = nullptr) {
    if (handle_ != nullptr) Close(handle_);
    handle_ = handle;
  }
  // Gives the handle up without releasing it.
  T release() { return std::exchange(handle_, nullptr); }
  // Where a creating call writes a new handle; releases the old one first.
  T* put() {
    reset();
    return &handle_;
  }

 private:
  T handle_ = nullptr;
};

using UniqueHkey = UniqueHandle<HKEY, &::RegCloseKey>;
using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary>;

}  // namespace tolvane::win32
