#include "platform/hive/hive_file.h"

#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace tolvane {
namespace {

constexpr const char *kLockSuffix = ".lock";

// Names the file in a status message.
Status InFile(const std::string &path, Status status) {
  if (!status.ok()) status.message = path + ": " + status.message;
  return status;
}

// The folder part of a path ("." for a bare file name).
std::string DirectoryOf(const std::string &path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  // "C:\h.reg" is in C:\ (a bare "C:" is drive C's current folder).
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

// A UTF-8 file name as a path: on Windows a narrow string would be read in
// the ANSI code page instead.
std::filesystem::path PathOf(const std::string &utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t *>(utf8.data()), utf8.size()));
}

}  // namespace

Status LoadHive(const std::string &path, MemoryRegistryStore &store) {
  std::string bytes;
  Status status = ReadWholeFile(path, &bytes);
  if (!status.ok()) return status;
  std::vector<HiveOperation> operations;
  if (!bytes.empty()) status = ParseHive(bytes, &operations);
  if (!status.ok()) return InFile(path, status);
  store.Clear();
  status = ApplyHive(operations, store);
  if (!status.ok()) store.Clear();
  return InFile(path, status);
}

Status SaveHive(const std::string &path, const MemoryRegistryStore &store) {
  std::string bytes;
  const Status status = SerializeStoreUtf16(store, &bytes);
  if (!status.ok()) return InFile(path, status);
  return WriteFileAtomically(path, bytes);
}

Status ReadHiveFile(const std::string &path, std::string *bytes, std::size_t *operationCount,
                    TextServices *text) {
  *operationCount = 0;
  Status status = ReadWholeFile(path, bytes, /*pipes=*/true);
  if (status.ok()) status = InFile(path, CheckHive(*bytes, operationCount, text));
  if (!status.ok()) bytes->clear();
  return status;
}

Status ImportHiveFile(const std::string &path, RegistryStore &store, std::size_t *operationCount) {
  std::string bytes;
  std::size_t count = 0;
  Status status = ReadHiveFile(path, &bytes, &count);
  if (operationCount != nullptr) *operationCount = count;
  if (status.ok()) status = InFile(path, ParseAndApplyHive(bytes, store));
  return status;
}

Status CreateHiveDirectory(const std::string &path) {
  std::error_code error;
  // The folder as the system reads the path ("C:sub\h.reg" is in drive C's
  // current folder).
  std::filesystem::create_directories(PathOf(DirectoryOf(ResolvedPath(path))), error);
  if (error) {
    return Status::Fail(StatusKind::kIo,
                        DirectoryOf(path) + ": cannot create the directory: " + error.message());
  }
  return Status::Ok();
}

HiveSession::~HiveSession() = default;

Status HiveSession::Open(const std::string &path, LockMode mode, const LockWait &wait) {
  Close();
  if (path.empty()) return Status::Fail(StatusKind::kIo, "the hive file name is empty");
  const std::string resolved = ResolvedPath(path);
  if (IsCompanionName(path) || IsCompanionName(resolved)) {
    return Status::Fail(StatusKind::kIo, path +
                                             ": a name ending in .lock or .tmpN-N is a lock or "
                                             "temporary file's; choose another name for a hive");
  }
  // A directory, a device or a link loop is refused before the lock file
  // is made beside it.
  std::error_code error;
  const auto kind = std::filesystem::status(PathOf(path), error).type();
  if (error && kind != std::filesystem::file_type::not_found) {
    return Status::Fail(StatusKind::kIo, path + ": " + error.message());
  }
  if (kind != std::filesystem::file_type::not_found &&
      kind != std::filesystem::file_type::regular) {
    return Status::Fail(StatusKind::kIo, path + (kind == std::filesystem::file_type::directory
                                                     ? ": is a directory"
                                                     : ": not a regular file"));
  }
  Status status = lock_.Acquire(CompanionPath(resolved, kLockSuffix), mode, wait);
  if (!status.ok()) return status;
  if (mode == LockMode::kExclusive) RemoveStaleTemporaries(path);

  // The store is empty here, so the file is read straight into it, one
  // line at a time; a bad file empties it again.
  {
    std::string bytes;
    status = ReadWholeFile(path, &bytes);
    if (status.error == StatusKind::kNotFound) status = Status::Ok();  // an empty registry
    store_.SetPathUnitLimit(kPathUnitsBase);
    AllowInput(bytes.size());
    if (status.ok() && !bytes.empty()) status = InFile(path, ParseAndApplyHive(bytes, store_));
    loadedBytes_ = bytes.size();
  }
  if (!status.ok()) {
    store_.Clear();
    lock_.Release();
    return status;
  }
  savedRevision_ = store_.Revision();
  path_ = path;
  mode_ = mode;
  open_ = true;
  return status;
}

void HiveSession::AllowInput(std::size_t bytes) {
  const std::size_t limit = store_.PathUnitLimit();
  const std::size_t room = std::numeric_limits<std::size_t>::max() - limit;
  store_.SetPathUnitLimit(bytes > room / kPathUnitsPerInputByte
                              ? std::numeric_limits<std::size_t>::max()
                              : limit + bytes * kPathUnitsPerInputByte);
}

bool HiveSession::Changed() const { return IsOpen() && store_.Revision() != savedRevision_; }

Status HiveSession::Commit() {
  if (!IsOpen()) return Status::Fail(StatusKind::kIo, "no hive file is open");
  if (mode_ != LockMode::kExclusive) {
    return Status::Fail(StatusKind::kIo, path_ + ": opened for reading only");
  }
  // Someone removed or replaced the lock file: another command may hold a
  // lock of its own on the new one and save too; one of the two would lose.
  if (!lock_.StillNamed()) {
    return Status::Fail(StatusKind::kIo, path_ +
                                             ": its lock file was removed or replaced while "
                                             "this command held it; not saving");
  }
  // Written straight from the store, with room for about the file it
  // replaces: the bytes are the only copy made.
  std::string bytes;
  Status status = SerializeStoreUtf16(store_, &bytes, loadedBytes_ + loadedBytes_ / 8);
  if (!status.ok()) return InFile(path_, status);
  status = WriteFileAtomically(path_, bytes);
  if (status.ok()) {
    savedRevision_ = store_.Revision();
    loadedBytes_ = bytes.size();
  }
  return status;
}

void HiveSession::Close() {
  open_ = false;
  lock_.Release();
  path_.clear();
  store_.Clear();
}

}  // namespace tolvane
