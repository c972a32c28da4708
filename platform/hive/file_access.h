// The file-system work behind hive files: reading a whole file, replacing
// one atomically, and locking. The names of companion files (temporaries,
// lock) and the clean-up of stale temporaries are shared by both platforms
// (file_names.cc); the rest is implemented once per platform in
// file_access_posix.cc and file_access_win32.cc.
//
// Paths are the host's file names in UTF-8. Nothing here throws; every
// failure comes back as a Status whose message names the file and the
// reason.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/hive/hive_format.h"
#include "platform/unique_handle.h"

namespace tolvane {

// Reads a whole regular file. kNotFound when it does not exist; kIo with
// the reason otherwise. A directory or device is refused without being
// read, so naming one can never block or fill memory; so is a pipe, unless
// pipes is set (a file a person names on the command line may be a pipe,
// /dev/stdin say, which is read to its end; a pipe nobody writes to reads
// as empty rather than waiting).
Status ReadWholeFile(const std::string& path, std::string* bytes, bool pipes = false);

// Replaces the file at path with `bytes` atomically: a temporary file
// beside it, flushed, renamed over it; a symbolic link keeps pointing at the
// new file. An existing file keeps its permissions and (where the platform
// has them) its owner and group; a file owned by another user whom the
// saver cannot give it back to is refused rather than taken over; on
// Windows it keeps its security descriptor and its hidden and system
// attributes, and a read-only file is refused. A path that exists but is not
// a regular file is refused. On failure the file at
// path is unchanged and no temporary file is left.
Status WriteFileAtomically(const std::string& path, std::string_view bytes);

// path with `suffix` added to its file name, the name shortened (at a
// character boundary) where the whole would pass the 255-byte limit of one
// file name, so that a hive with a long name still has a temporary and a
// lock file.
std::string CompanionPath(const std::string& path, std::string_view suffix);

// Whether the file name of path has the shape of a companion file (ending
// in ".lock", or in ".tmp<process>-<attempt>"). Such a name is refused as a
// hive or an export file: the lock or temporary of another file may have
// that name, and would be written into or removed as stale.
bool IsCompanionName(const std::string& path);

// The temporary name WriteFileAtomically uses for the file at `target`, for
// a writer process and attempt number.
std::string TemporaryPath(const std::string& target, std::uint64_t process, int attempt);

// The file path names once symbolic links and "." and ".." are resolved
// (as far as the path exists), so that every name of one hive finds the same
// lock. On Windows the system resolves it (trailing dots and spaces, letter
// case, short names, drive views, links). The path unchanged when it cannot
// be resolved.
std::string ResolvedPath(const std::string& path);

#ifdef _WIN32
// Why a Windows path cannot name a hive: its file name is a reserved device
// name (CON, AUX, NUL, COM1, ...), whatever its extension ("AUX.reg" opens
// the device AUX), or a colon past the drive makes it name a stream of a
// file ("h.reg:x"); the one-line refusal, empty when it can. A "\\?\" path
// names files literally and has no device names.
std::string RefusedPathReason(const std::string& path);
#endif

// Whether the two paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// Removes the temporary files that writers who are no longer running left
// beside the file at path (a save killed half-way). Call it holding the
// file's exclusive lock. Answers how many it removed.
std::size_t RemoveStaleTemporaries(const std::string& path);

// This process's id, and whether a process with that id is running.
std::uint64_t CurrentProcessId();
bool ProcessIsRunning(std::uint64_t process);

// Who holds a lock, from what the lock file's exclusive holder wrote in it
// (its process id): "process N" while that process runs, else "another
// process".
std::string LockHolderName(std::string_view lockFileText);

// The lines a waiting Acquire tells and fails with.
std::string LockWaitingNotice(const std::string& lockPath, const std::string& holder,
                              std::chrono::milliseconds limit);
std::string LockGaveUpMessage(const std::string& lockPath, const std::string& holder,
                              std::chrono::milliseconds limit);

enum class LockMode { kShared, kExclusive };

// How long a command waits for a hive file another process holds, unless
// told otherwise.
inline constexpr std::chrono::seconds kDefaultLockWait{30};

// How long Acquire waits for a lock another process holds, and whom it
// tells that it is waiting (once, with a line naming the holder).
struct LockWait {
  std::chrono::milliseconds limit = kDefaultLockWait;
  std::function<void(const std::string&)> notice;
};

// An open lock file: a file descriptor, or a HANDLE (whose "none" is -1
// too). Closing it gives up the lock.
struct LockFileTraits {
  using Handle = std::intptr_t;
  static Handle Invalid() { return -1; }
  bool Close(Handle handle) const;
};

// A lock on a lock file, held until Release or destruction: shared among
// readers, exclusive for one writer. The lock file is created when missing
// and never deleted; an exclusive holder writes its process id into it, so
// that a waiting process can name it.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // Takes the lock, waiting at most wait.limit while another process holds
  // it (kIo naming the holder after that). The lock file is never opened
  // through a symbolic link nor emptied on opening; one that is not a
  // regular file, has other names (hard links) or holds anything but a
  // holder's process id is refused. A lock file removed or replaced while
  // Acquire waited is locked again under its new identity. A shared lock
  // whose lock file cannot be made (a read-only medium, a folder the caller
  // may not write to, a folder that does not exist) succeeds without
  // holding anything: no writer can replace the file through that folder's
  // lock, and saves are atomic renames.
  Status Acquire(const std::string& lockPath, LockMode mode, const LockWait& wait);
  void Release();
  bool held() const { return static_cast<bool>(handle_); }

  // Whether the lock path still names the file this lock holds: false once
  // someone removed or replaced the lock file, after which another process
  // may hold a lock of its own on the new one. True when nothing is held.
  bool StillNamed() const;

 private:
  UniqueHandle<LockFileTraits> handle_;
  LockMode mode_ = LockMode::kShared;
  std::string path_;
};

}  // namespace tolvane
