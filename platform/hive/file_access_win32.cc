// Reading, atomic replacement and exclusive locking of hive files on
// Windows: ReplaceFile-style renames with MoveFileExW, LockFileEx locks.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/hive/file_access.h"
#include "platform/hive/hive_file.h"

namespace tolvane {
namespace {

// Host file names are UTF-8 on the command line; the file API wants UTF-16.
std::wstring Wide(const std::string& path) {
  const Text units = Utf8ToUtf16(path);
  return std::wstring(units.begin(), units.end());
}

HiveStatus IoFailure(const std::string& path, const char* what, DWORD error) {
  return HiveStatus::Fail(HiveError::kIo,
                          path + ": " + what + " (error " + std::to_string(error) + ")");
}

// Owns a file handle.
struct FileHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FileHandle() = default;
  explicit FileHandle(HANDLE h) : handle(h) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  bool valid() const { return handle != INVALID_HANDLE_VALUE; }
};

// Deletes a temporary file unless it was moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::wstring path_;
};

}  // namespace

HiveStatus ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return HiveStatus::Fail(HiveError::kNotFound, path + ": the file does not exist");
    }
    return IoFailure(path, "cannot open", error);
  }
  std::string out;
  std::vector<char> chunk(64 * 1024);
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(file.handle, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      return IoFailure(path, "cannot read", ::GetLastError());
    }
    if (got == 0) break;
    out.append(chunk.data(), got);
  }
  *bytes = std::move(out);
  return HiveStatus::Ok();
}

HiveStatus WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = Wide(path);
  std::wstring temporaryPath;
  FileHandle file;
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    temporaryPath = target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(attempt);
    file.handle = ::CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS) {
      return IoFailure(path, "cannot create a temporary file beside it", ::GetLastError());
    }
  }
  if (!file.valid()) return IoFailure(path, "cannot create a temporary file beside it", 0);
  TemporaryFile temporary(temporaryPath);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() > 1u << 20 ? 1u << 20 : bytes.size());
    if (!::WriteFile(file.handle, bytes.data(), chunk, &written, nullptr)) {
      return IoFailure(path, "cannot write", ::GetLastError());
    }
    bytes.remove_prefix(written);
  }
  if (!::FlushFileBuffers(file.handle)) return IoFailure(path, "cannot flush", ::GetLastError());
  ::CloseHandle(file.handle);
  file.handle = INVALID_HANDLE_VALUE;
  if (!::MoveFileExW(temporary.path().c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return IoFailure(path, "cannot replace the file", ::GetLastError());
  }
  temporary.Keep();
  return HiveStatus::Ok();
}

ExclusiveFileLock::~ExclusiveFileLock() { Release(); }

HiveStatus ExclusiveFileLock::Acquire(const std::string& lockPath) {
  Release();
  HANDLE file = ::CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return IoFailure(lockPath, "cannot open the lock file", ::GetLastError());
  }
  OVERLAPPED whole{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    return IoFailure(lockPath, "cannot lock", error);
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return HiveStatus::Ok();
}

void ExclusiveFileLock::Release() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing unlocks
  handle_ = -1;
}

}  // namespace tolvane
