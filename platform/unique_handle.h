// One owner for every kind of handle the library holds: registry keys of a
// RegistryStore, and on each platform its own handles (keys, modules, files,
// descriptors). Traits says what a handle is and how one is closed:
//
//   struct Traits {
//     using Handle = ...;             // the handle type
//     static Handle Invalid();        // the value that holds nothing
//     auto Close(Handle h) const;     // releases h; its result is Reset's
//   };
//
// Traits may carry state (a key's store, say); it is copied into the owner.
// An owner closes its handle exactly once, when it is reset, given a new
// handle or destroyed. Movable, not copyable.
#pragma once

#include <utility>

namespace tolvane {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;
  using CloseResult = decltype(std::declval<const Traits&>().Close(std::declval<Handle>()));

  UniqueHandle() = default;
  explicit UniqueHandle(Traits traits) : traits_(std::move(traits)) {}
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(Traits traits, Handle handle) : traits_(std::move(traits)), handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : traits_(other.traits_), handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      traits_ = other.traits_;
      handle_ = other.Release();
    }
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }

  // Where an opening call writes a new handle; closes the old one first.
  Handle* Receive() {
    Reset();
    return &handle_;
  }
  // Closes the handle now (nothing when none is held) and answers what the
  // close answered, or a value-initialised result when nothing was held.
  CloseResult Reset() {
    CloseResult result{};
    if (handle_ != Traits::Invalid()) result = traits_.Close(handle_);
    handle_ = Traits::Invalid();
    return result;
  }
  // Closes the old handle and takes handle.
  void Reset(Handle handle) {
    Reset();
    handle_ = handle;
  }
  // Gives the handle up without closing it.
  Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

 private:
  Traits traits_{};
  Handle handle_ = Traits::Invalid();
};

}  // namespace tolvane
