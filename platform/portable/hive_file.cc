#include "platform/portable/hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace tolvane {
namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr const char *kLockSuffix = ".lock";

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

// Names the file in a status message.
HiveStatus InFile(const std::string &path, HiveStatus status) {
  if (!status.ok()) status.message = path + ": " + status.message;
  return status;
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

HiveStatus LoadHive(const std::string &path, MemoryRegistryStore &store) {
  std::string bytes;
  HiveStatus status = ReadWholeFile(path, &bytes);
  if (!status.ok()) return status;
  std::vector<HiveOperation> operations;
  status = ParseHive(bytes, &operations);
  if (!status.ok()) return InFile(path, status);
  store.Clear();
  status = ApplyHive(operations, store);
  if (!status.ok()) store.Clear();
  store.ClearLog();
  return InFile(path, status);
}

HiveStatus SaveHive(const std::string &path, const MemoryRegistryStore &store) {
  std::string bytes;
  const HiveStatus status = SerializeHiveUtf16(store.Snapshot(), &bytes);
  if (!status.ok()) return InFile(path, status);
  return WriteFileAtomically(path, bytes);
}

HiveStatus ImportHiveFile(const std::string &path, RegistryStore &store) {
  std::string bytes;
  HiveStatus status = ReadWholeFile(path, &bytes);
  if (!status.ok()) return status;
  std::vector<HiveOperation> operations;
  status = ParseHive(bytes, &operations);
  if (status.ok()) status = ApplyHive(operations, store);
  return InFile(path, status);
}

HiveStatus CreateHiveDirectory(const std::string &path) {
  std::error_code error;
  std::filesystem::create_directories(DirectoryOf(path), error);
  if (error) {
    return HiveStatus::Fail(
        HiveError::kIo, DirectoryOf(path) + ": cannot create the directory: " + error.message());
  }
  return HiveStatus::Ok();
}

HiveSession::~HiveSession() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

HiveStatus HiveSession::Open(const std::string &path) {
  Close();
  const std::string lockPath = path + kLockSuffix;
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (lock.get() < 0 && (errno == EACCES || errno == EROFS)) {
    // A lock file made by someone else in a directory we may only read.
    lock.Reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  }
  if (lock.get() < 0) return IoFailure(lockPath, "cannot open the lock file", errno);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return IoFailure(lockPath, "cannot lock", errno);
  }

  HiveStatus status = LoadHive(path, store_);
  if (status.error == HiveError::kNotFound) status = HiveStatus::Ok();  // an empty registry
  if (status.ok()) status = InFile(path, SerializeHiveUtf16(store_.Snapshot(), &saved_));
  if (!status.ok()) {
    store_.Clear();
    store_.ClearLog();
    saved_.clear();
    return status;  // the lock goes with `lock`
  }
  path_ = path;
  lockFd_ = lock.Release();
  return status;
}

bool HiveSession::Changed() const {
  if (!IsOpen()) return false;
  std::string bytes;
  if (!SerializeHiveUtf16(store_.Snapshot(), &bytes).ok()) return true;
  return bytes != saved_;
}

HiveStatus HiveSession::Commit() {
  if (!IsOpen()) return HiveStatus::Fail(HiveError::kIo, "no hive file is open");
  std::string bytes;
  HiveStatus status = SerializeHiveUtf16(store_.Snapshot(), &bytes);
  if (!status.ok()) return InFile(path_, status);
  status = WriteFileAtomically(path_, bytes);
  if (status.ok()) saved_ = std::move(bytes);
  return status;
}

void HiveSession::Close() {
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
  path_.clear();
  saved_.clear();
  store_.Clear();
  store_.ClearLog();
}

}  // namespace tolvane
