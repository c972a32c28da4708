// Reading, atomic replacement and exclusive locking of hive files on POSIX
// systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/hive/file_access.h"
#include "platform/hive/hive_file.h"

namespace tolvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr std::size_t kReadChunk = 64 * 1024;

// Owns one file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

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
HiveStatus IoFailure(const std::string &path, const char *what, int error) {
  return HiveStatus::Fail(HiveError::kIo,
                          path + ": " + what + ": " + std::generic_category().message(error));
}

std::string DirectoryOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

HiveStatus ReadWholeFile(const std::string &path, std::string *bytes) {
  bytes->clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT) {
      return HiveStatus::Fail(HiveError::kNotFound,
                              path + ": " + std::generic_category().message(error));
    }
    return IoFailure(path, "cannot open", error);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return IoFailure(path, "cannot read", errno);
  if (!S_ISREG(info.st_mode))
    return HiveStatus::Fail(HiveError::kIo, path + ": not a regular file");
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
  return HiveStatus::Ok();
}

HiveStatus WriteFileAtomically(const std::string &path, std::string_view bytes) {
  std::string target = path;
  struct stat linkInfo {};
  if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    // Write beside what the link points to, so the link survives the rename.
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (resolved == nullptr) return IoFailure(path, "cannot follow the symbolic link", errno);
    target = resolved.get();
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    return HiveStatus::Fail(HiveError::kIo, path + ": not a regular file");
  }

  UniqueFd fd;
  std::string temporaryPath;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && fd.get() < 0; ++attempt) {
    temporaryPath = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd.Reset(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0 && errno != EEXIST) {
      return IoFailure(path, "cannot create a temporary file beside it", errno);
    }
  }
  if (fd.get() < 0) return IoFailure(path, "cannot create a temporary file beside it", EEXIST);
  TemporaryFile temporary(temporaryPath);

  int error = 0;
  if (exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
    return IoFailure(path, "cannot copy the file's permissions", errno);
  }
  if (!WriteAll(fd.get(), bytes, &error)) return IoFailure(path, "cannot write", error);
  if (::fsync(fd.get()) != 0) return IoFailure(path, "cannot flush to disk", errno);
  if (::close(fd.Release()) != 0) return IoFailure(path, "cannot write", errno);
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    return IoFailure(path, "cannot replace the file", errno);
  }
  temporary.Keep();
  // Make the rename itself durable; a directory that cannot be flushed
  // (some file systems refuse) still holds the complete new file.
  UniqueFd directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) ::fsync(directory.get());
  return HiveStatus::Ok();
}

ExclusiveFileLock::~ExclusiveFileLock() { Release(); }

HiveStatus ExclusiveFileLock::Acquire(const std::string &lockPath) {
  Release();
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (lock.get() < 0 && (errno == EACCES || errno == EROFS)) {
    // A lock file made by someone else in a directory we may only read.
    lock.Reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  }
  if (lock.get() < 0) return IoFailure(lockPath, "cannot open the lock file", errno);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return IoFailure(lockPath, "cannot lock", errno);
  }
  handle_ = lock.Release();
  return HiveStatus::Ok();
}

void ExclusiveFileLock::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace tolvane
