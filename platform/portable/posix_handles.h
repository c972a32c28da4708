// The portable build's handles, each owned by the one owner template of
// platform/unique_handle.h: file descriptors, directory streams, C streams
// and loaded shared objects.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <stdio.h>

#include "platform/unique_handle.h"

namespace tolvane::posix {

// File descriptors, whose "none" is -1.
struct FdTraits {
  using Handle = int;
  static int Invalid() { return -1; }
  int Close(int fd) const { return ::close(fd); }
};

// Handles whose "none" is null, released by Close.
template <typename T, auto CloseFunction>
struct NullHandleTraits {
  using Handle = T;
  static T Invalid() { return nullptr; }
  int Close(T handle) const { return CloseFunction(handle); }
};

using UniqueFd = UniqueHandle<FdTraits>;
using UniqueDir = UniqueHandle<NullHandleTraits<DIR*, &::closedir>>;
using UniqueStdioFile = UniqueHandle<NullHandleTraits<std::FILE*, &::fclose>>;
using UniqueSharedObject = UniqueHandle<NullHandleTraits<void*, &::dlclose>>;

}  // namespace tolvane::posix
