// The file-system work behind hive files that differs between POSIX and
// Windows: an exclusive lock on a lock file. Reading whole files and
// replacing them atomically are declared in hive_file.h; each platform
// implements all three in its file_access_*.cc.
#pragma once

#include <cstdint>
#include <string>

#include "platform/hive/hive_format.h"

namespace tolvane {

// An exclusive lock on a lock file, held until Release or destruction. The
// lock file is created when missing and never deleted. Acquire waits while
// another process holds the lock.
class ExclusiveFileLock {
 public:
  ExclusiveFileLock() = default;
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;
  ~ExclusiveFileLock();

  HiveStatus Acquire(const std::string& lockPath);
  void Release();
  bool held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE
};

}  // namespace tolvane
