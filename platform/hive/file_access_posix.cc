// Reading, atomic replacement and locking of hive files on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/hive/file_access.h"
#include "platform/portable/posix_handles.h"

namespace tolvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr std::size_t kReadChunk = 64 * 1024;

using posix::UniqueFd;

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string &path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

// `error` is an errno value, read before anything else could change it.
Status IoFailure(const std::string &path, const char *what, int error) {
  return Status::Fail(StatusKind::kIo,
                      path + ": " + what + ": " + std::generic_category().message(error));
}

std::string DirectoryOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Why a path that is there cannot be a hive, a script or an export file.
Status NotRegular(const std::string &path, mode_t mode) {
  return Status::Fail(StatusKind::kIo,
                      path + (S_ISDIR(mode) ? ": is a directory" : ": not a regular file"));
}

bool WriteAll(int fd, std::string_view bytes, int *error) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

Status ReadWholeFile(const std::string &path, std::string *bytes, bool pipes) {
  bytes->clear();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT) {
      return Status::Fail(StatusKind::kNotFound,
                          path + ": " + std::generic_category().message(error));
    }
    return IoFailure(path, "cannot open", error);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return IoFailure(path, "cannot read", errno);
  const bool pipe = pipes && S_ISFIFO(info.st_mode);
  if (!S_ISREG(info.st_mode) && !pipe) return NotRegular(path, info.st_mode);
  // A pipe is read blocking, to its writers' end.
  if (pipe && ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
    return IoFailure(path, "cannot read", errno);
  }
  std::string out;
  out.reserve(static_cast<std::size_t>(info.st_size));
  std::vector<char> chunk(kReadChunk);
  while (true) {
    const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return IoFailure(path, "cannot read", errno);
    }
    if (got == 0) break;
    out.append(chunk.data(), static_cast<std::size_t>(got));
  }
  *bytes = std::move(out);
  return Status::Ok();
}

Status WriteFileAtomically(const std::string &path, std::string_view bytes) {
  std::string target = path;
  struct stat linkInfo {};
  if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    // Write beside what the link points to (which need not exist yet), so
    // the link survives the rename.
    target = ResolvedPath(path);
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return NotRegular(path, existing.st_mode);

  UniqueFd fd;
  std::string temporaryPath;
  const auto process = static_cast<std::uint64_t>(::getpid());
  for (int attempt = 0; attempt < kTemporaryNameAttempts && fd.get() < 0; ++attempt) {
    temporaryPath = TemporaryPath(target, process, attempt);
    fd.Reset(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0 && errno != EEXIST) {
      return IoFailure(path, "cannot create a temporary file beside it", errno);
    }
  }
  if (fd.get() < 0) return IoFailure(path, "cannot create a temporary file beside it", EEXIST);
  TemporaryFile temporary(temporaryPath);

  if (exists) {
    // The new file takes the old one's owner and group before its mode (a
    // change of owner clears set-id bits). A file of another user that we
    // cannot hand back is not taken over.
    if (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0 &&
        existing.st_uid != ::geteuid()) {
      return Status::Fail(StatusKind::kIo,
                          path + ": belongs to user " + std::to_string(existing.st_uid) +
                              ", and a new file could not be given back to that user; "
                              "not replacing it");
    }
    if (::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
      return IoFailure(path, "cannot copy the file's permissions", errno);
    }
  }
  int error = 0;
  if (!WriteAll(fd.get(), bytes, &error)) return IoFailure(path, "cannot write", error);
  if (::fsync(fd.get()) != 0) return IoFailure(path, "cannot flush to disk", errno);
  if (fd.Reset() != 0) return IoFailure(path, "cannot write", errno);
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    return IoFailure(path, "cannot replace the file", errno);
  }
  temporary.Keep();
  // Make the rename itself durable; a directory that cannot be flushed
  // (some file systems refuse) still holds the complete new file.
  UniqueFd directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) ::fsync(directory.get());
  return Status::Ok();
}

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(::getpid()); }

bool ProcessIsRunning(std::uint64_t process) {
  if (process == 0 || process > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) {
    return false;
  }
  // EPERM: it runs, as another user.
  return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

namespace {

// Who holds a lock, as far as the lock file tells.
std::string LockHolder(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  return LockHolderName(std::string_view(text, got > 0 ? static_cast<std::size_t>(got) : 0));
}

}  // namespace

FileLock::~FileLock() { Release(); }

namespace {

// Opens the lock file as it is, never through a symbolic link and never
// emptying it: a link planted in the hive's folder must not let a writer
// write into the file it points to.
int OpenLockFile(const std::string &lockPath, int *error) {
  constexpr int kFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
  *error = fd < 0 ? errno : 0;
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    // A lock file made by someone else in a directory we may only read;
    // when there is none, the reason is still the folder's.
    fd = ::open(lockPath.c_str(), O_RDONLY | kFlags);
    if (fd >= 0 || errno != ENOENT) *error = fd < 0 ? errno : 0;
  }
  return fd;
}

// Whether an open lock file can be one: a regular file with no other name
// (a hard link to someone's file would be written through), holding nothing
// but a holder's process id.
Status CheckLockFile(int fd, const std::string &lockPath) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return IoFailure(lockPath, "cannot read", errno);
  if (!S_ISREG(info.st_mode)) return NotRegular(lockPath, info.st_mode);
  char text[64] = {};
  const ssize_t got =
      info.st_size < static_cast<off_t>(sizeof text) ? ::pread(fd, text, sizeof text, 0) : -1;
  const std::string_view held(text, got > 0 ? static_cast<std::size_t>(got) : 0);
  const bool idOnly =
      got >= 0 && held.find_first_not_of("0123456789 \r\n") == std::string_view::npos;
  if (info.st_nlink > 1 || !idOnly) {
    return Status::Fail(StatusKind::kIo, lockPath +
                                             ": is not a lock file (it has other names or "
                                             "holds other data); not using it");
  }
  return Status::Ok();
}

// Whether path still names the file open as fd (it was not deleted or
// replaced since it was opened).
bool PathNamesFile(const std::string &path, int fd) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

Status FileLock::Acquire(const std::string &lockPath, LockMode mode, const LockWait &wait) {
  Release();
  const int operation = (mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  auto pause = std::chrono::milliseconds(5);
  UniqueFd lock;
  // A lock taken on a file that someone removed or replaced meanwhile locks
  // nothing another process can see: take it again on the file the path
  // names now.
  while (true) {
    int error = 0;
    lock.Reset(OpenLockFile(lockPath, &error));
    if (lock.get() < 0) {
      if (mode == LockMode::kShared && (error == EACCES || error == EROFS || error == ENOENT)) {
        return Status::Ok();  // a reader on a medium nobody writes through this folder
      }
      if (error == ELOOP) {
        return Status::Fail(StatusKind::kIo,
                            lockPath + ": is a symbolic link, not a lock file; not using it");
      }
      return IoFailure(lockPath, "cannot open the lock file", error);
    }
    Status checked = CheckLockFile(lock.get(), lockPath);
    if (!checked.ok()) return checked;
    while (::flock(lock.get(), operation) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return IoFailure(lockPath, "cannot lock", errno);
      const auto waited = std::chrono::steady_clock::now() - start;
      if (waited >= wait.limit) {
        return Status::Fail(StatusKind::kIo,
                            LockGaveUpMessage(lockPath, LockHolder(lock.get()), wait.limit));
      }
      if (!told && wait.notice) {
        wait.notice(LockWaitingNotice(lockPath, LockHolder(lock.get()), wait.limit));
      }
      told = true;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
    if (PathNamesFile(lockPath, lock.get())) break;
    if (std::chrono::steady_clock::now() - start >= wait.limit) {
      return Status::Fail(StatusKind::kIo,
                          lockPath + ": the lock file keeps being replaced; gave up");
    }
  }
  if (mode == LockMode::kExclusive) {
    // Checked again under the lock: another process may have written it
    // between the check and the lock.
    Status checked = CheckLockFile(lock.get(), lockPath);
    if (!checked.ok()) return checked;
    // Best effort: the id only makes a waiting process's message clearer.
    const std::string id = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock.get(), 0) == 0) {
      [[maybe_unused]] const ssize_t ignored = ::pwrite(lock.get(), id.data(), id.size(), 0);
    }
  }
  mode_ = mode;
  path_ = lockPath;
  handle_.Reset(lock.Release());
  return Status::Ok();
}

bool FileLock::StillNamed() const {
  return !handle_ || PathNamesFile(path_, static_cast<int>(handle_.get()));
}

void FileLock::Release() {
  if (!handle_) return;
  // An empty lock file names no holder once we are gone.
  if (mode_ == LockMode::kExclusive && ::ftruncate(static_cast<int>(handle_.get()), 0) != 0) {
    // Nothing to do: a stale id names a process that no longer runs.
  }
  handle_.Reset();  // closing unlocks
}

bool LockFileTraits::Close(std::intptr_t handle) const {
  return ::close(static_cast<int>(handle)) == 0;
}

}  // namespace tolvane
