// Reading, atomic replacement and locking of hive files on Windows:
// renames with MoveFileExW, LockFileEx locks, names resolved by the system
// (GetFinalPathNameByHandleW), so that every spelling of one file is one
// file here.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hive/file_access.h"
#include "platform/win32/unique_handle.h"

namespace tolvane {
namespace {

// Host file names are UTF-8 on the command line; the file API wants UTF-16.
std::wstring Wide(const std::string& path) {
  const Text units = Utf8ToUtf16(path);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const std::wstring& wide) { return Utf16ToUtf8(Text(wide.begin(), wide.end())); }

// The system's words for an error code, on one line.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words;
  if (length > 0 && text != nullptr) {
    Text units;
    for (DWORD i = 0; i < length; ++i) {
      if (text[i] != L'\r' && text[i] != L'\n') units.push_back(static_cast<char16_t>(text[i]));
    }
    while (!units.empty() && (units.back() == u' ' || units.back() == u'.')) units.pop_back();
    words = Utf16ToUtf8(units) + " ";
  }
  if (text != nullptr) ::LocalFree(text);
  return words + "(error " + std::to_string(error) + ")";
}

Status IoFailure(const std::string& path, const char* what, DWORD error) {
  return Status::Fail(StatusKind::kIo, path + ": " + what + ": " + ErrorText(error));
}

using win32::UniqueFile;

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

// The security descriptor of an existing file, as much of it as the saver
// may give a new file: owner, group and access list, or the access list
// alone when the owner cannot be read.
Status ReadSecurity(const std::wstring& file, std::vector<BYTE>* descriptor,
                    SECURITY_INFORMATION* parts) {
  constexpr SECURITY_INFORMATION kWithOwner =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  constexpr SECURITY_INFORMATION kAccessList = DACL_SECURITY_INFORMATION;
  for (const SECURITY_INFORMATION wanted : {kWithOwner, kAccessList}) {
    DWORD size = 0;
    ::GetFileSecurityW(file.c_str(), wanted, nullptr, 0, &size);
    if (size == 0) continue;
    descriptor->assign(size, 0);
    if (::GetFileSecurityW(file.c_str(), wanted, descriptor->data(), size, &size)) {
      *parts = wanted;
      return Status::Ok();
    }
  }
  descriptor->clear();
  return Status::Fail(StatusKind::kIo,
                      "cannot read the file's security: " + ErrorText(::GetLastError()));
}

}  // namespace

Status ReadWholeFile(const std::string& path, std::string* bytes, bool pipes) {
  bytes->clear();
  if (std::string refused = RefusedPathReason(path); !refused.empty()) {
    return Status::Fail(StatusKind::kIo, std::move(refused));
  }
  UniqueFile file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Status::Fail(StatusKind::kIo, path + ": is a directory");
    }
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Status::Fail(StatusKind::kNotFound, path + ": the file does not exist");
    }
    return IoFailure(path, "cannot open", error);
  }
  // Pipes, consoles and devices are not hive files; a directory does not
  // open at all without backup semantics.
  const DWORD type = ::GetFileType(file.get());
  if (type != FILE_TYPE_DISK && !(pipes && type == FILE_TYPE_PIPE)) {
    return Status::Fail(StatusKind::kIo, path + ": not a regular file");
  }
  std::string out;
  std::vector<char> chunk(64 * 1024);
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer is done
      return IoFailure(path, "cannot read", ::GetLastError());
    }
    if (got == 0) break;
    out.append(chunk.data(), got);
  }
  *bytes = std::move(out);
  return Status::Ok();
}

namespace {

// The final path of an existing file or folder as the system resolves it:
// links followed, the case and long names stored on disk, one drive for
// every view of the volume. Empty when it cannot be opened.
std::wstring FinalPathOf(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::wstring();
  std::wstring final(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        file.get(), final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.resize(length);
  }
  // "\\?\C:\..." and "\\?\UNC\server\..." read as a person writes them
  // while they are short enough to work without the prefix.
  constexpr std::size_t kRoomForSuffix = 40;
  const std::wstring prefix = L"\\\\?\\";
  if (final.compare(0, prefix.size(), prefix) == 0 && final.size() + kRoomForSuffix < MAX_PATH) {
    if (final.compare(prefix.size(), 4, L"UNC\\") == 0) return L"\\\\" + final.substr(8);
    if (final.size() > prefix.size() + 1 && final[prefix.size() + 1] == L':') {
      return final.substr(prefix.size());
    }
  }
  return final;
}

// The path as the system reads it: absolute, trailing dots and spaces of
// the name dropped ("C:\h.reg." is "C:\h.reg"), "C:name" on drive C's
// current folder. Unchanged when the system cannot read it.
std::wstring FullPathOf(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

}  // namespace

namespace {

std::string ReservedDeviceName(const std::string& path) {
  static constexpr const char* kDevices[] = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  if (path.rfind("\\\\?\\", 0) == 0) return std::string();
  const std::size_t slash = path.find_last_of("\\/:");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  for (const char* device : kDevices) {
    if (name == device) return name;
  }
  return std::string();
}

// Whether a colon past the drive ("C:", also after a "\\?\" or "\\.\"
// prefix) makes the path name a stream of a file.
bool NamesAStream(std::string_view path) {
  for (std::string_view prefix : {"\\\\?\\", "\\\\.\\"}) {
    if (path.substr(0, prefix.size()) == prefix) path.remove_prefix(prefix.size());
  }
  const char first = path.empty() ? '\0' : path[0];
  const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (letter && path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
  return path.find(':') != std::string_view::npos;
}

}  // namespace

std::string RefusedPathReason(const std::string& path) {
  const std::string device = ReservedDeviceName(path);
  if (!device.empty()) {
    return path + ": " + device +
           " is a device name on Windows, whatever follows it, and cannot name a file; choose "
           "another name";
  }
  if (NamesAStream(path)) {
    return path +
           ": a ':' past the drive names a stream of a file, not a file; choose a name "
           "without ':'";
  }
  return std::string();
}

std::string ResolvedPath(const std::string& path) {
  if (!RefusedPathReason(path).empty()) return path;  // refused where it is opened
  const std::wstring full = FullPathOf(Wide(path));
  std::wstring final = FinalPathOf(full);
  if (final.empty()) {
    // A file not made yet: its folder's final path and the name it will
    // get.
    const std::size_t slash = full.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash + 1 < full.size()) {
      const std::wstring folder = FinalPathOf(full.substr(0, slash + 1));
      if (!folder.empty()) {
        final = folder + (folder.back() == L'\\' ? L"" : L"\\") + full.substr(slash + 1);
      }
    }
  }
  return Narrow(final.empty() ? full : final);
}

Status WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (std::string refused = RefusedPathReason(path); !refused.empty()) {
    return Status::Fail(StatusKind::kIo, std::move(refused));
  }
  // The file the name resolves to is replaced (a link keeps pointing at
  // it), and its temporary lies beside it, where writers clean up.
  const std::string resolved = ResolvedPath(path);
  const std::wstring target = Wide(resolved);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status::Fail(StatusKind::kIo, path + ": is a directory");
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Status::Fail(StatusKind::kIo, path +
                                             ": the file is read-only; not replacing it "
                                             "(attrib -r clears the attribute)");
  }
  std::vector<BYTE> security;
  SECURITY_INFORMATION kept = 0;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const Status read = ReadSecurity(target, &security, &kept);
    if (!read.ok()) return Status::Fail(StatusKind::kIo, path + ": " + read.message);
  }
  std::wstring temporaryPath;
  UniqueFile file;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    temporaryPath = Wide(TemporaryPath(resolved, CurrentProcessId(), attempt));
    file.Reset(::CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && ::GetLastError() != ERROR_FILE_EXISTS) {
      return IoFailure(path, "cannot create a temporary file beside it", ::GetLastError());
    }
  }
  if (!file) return IoFailure(path, "cannot create a temporary file beside it", 0);
  TemporaryFile temporary(temporaryPath);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() > 1u << 20 ? 1u << 20 : bytes.size());
    if (!::WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) {
      return IoFailure(path, "cannot write", ::GetLastError());
    }
    bytes.remove_prefix(written);
  }
  if (!::FlushFileBuffers(file.get())) return IoFailure(path, "cannot flush", ::GetLastError());
  file.Reset();
  // The new file keeps the old one's access rights and its hidden, system
  // and other attributes.
  if (!security.empty() && !::SetFileSecurityW(temporary.path().c_str(), kept, security.data())) {
    return IoFailure(path, "cannot give the new file the old one's security", ::GetLastError());
  }
  constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKeptAttributes) != 0 &&
      !::SetFileAttributesW(temporary.path().c_str(), attributes & kKeptAttributes)) {
    return IoFailure(path, "cannot give the new file the old one's attributes", ::GetLastError());
  }
  // A file another process holds open for a moment (one resolving the
  // hive's name to find its lock, an indexer) cannot be replaced: wait a
  // little for it.
  DWORD pause = 5;
  while (!::MoveFileExW(temporary.path().c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || pause > 2000) {
      return IoFailure(path, "cannot replace the file", error);
    }
    ::Sleep(pause);
    pause *= 2;
  }
  temporary.Keep();
  return Status::Ok();
}

std::uint64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool ProcessIsRunning(std::uint64_t process) {
  if (process == 0 || process > MAXDWORD) return false;
  const win32::UniqueKernelObject handle(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process)));
  if (!handle) return ::GetLastError() == ERROR_ACCESS_DENIED;  // running, as someone else
  DWORD exitCode = 0;
  return ::GetExitCodeProcess(handle.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

namespace {

// The lock covers one byte far past the end of the lock file, so that the
// holder's id at its start stays readable to those who wait (Windows locks
// keep other handles from reading locked bytes).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::string LockHolder(HANDLE file) {
  char text[32] = {};
  DWORD got = 0;
  OVERLAPPED start{};
  if (!::ReadFile(file, text, sizeof text - 1, &got, &start)) got = 0;
  return LockHolderName(std::string_view(text, got));
}

}  // namespace

FileLock::~FileLock() { Release(); }

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Status NotALockFile(const std::string& lockPath, const char* what) {
  return Status::Fail(StatusKind::kIo, lockPath + ": " + what + "; not using it");
}

// Opens the lock file as it is, never through a link (a symbolic link or
// junction planted in the hive's folder must not let a writer write into
// what it points to) and never emptying it.
HANDLE OpenLockFile(const std::string& lockPath, DWORD* error) {
  const HANDLE file = ::CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                    nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  *error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  return file;
}

// Whether an open lock file can be one: a plain file on disk (not a folder,
// link or device) with no other name (a hard link to someone's file would
// be written through), holding nothing but a holder's process id.
Status CheckLockFile(HANDLE file, const std::string& lockPath) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file) != FILE_TYPE_DISK) return NotALockFile(lockPath, "not a regular file");
  if (!::GetFileInformationByHandle(file, &info)) {
    return IoFailure(lockPath, "cannot read", ::GetLastError());
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return NotALockFile(lockPath, "is a link, not a lock file");
  }
  char text[64] = {};
  DWORD got = 0;
  OVERLAPPED start{};
  // A read at an offset fails at the file's end rather than reading nothing;
  // the file is empty then, whatever its size was a moment ago (the holder
  // empties it as it lets go, and nothing stops that before the lock).
  const bool small = info.nFileSizeHigh == 0 && info.nFileSizeLow < sizeof text;
  const bool read = small && (::ReadFile(file, text, sizeof text, &got, &start) ||
                              ::GetLastError() == ERROR_HANDLE_EOF);
  const bool idOnly = read && std::string_view(text, got).find_first_not_of("0123456789 \r\n") ==
                                  std::string_view::npos;
  if (info.nNumberOfLinks > 1 || !idOnly) {
    return NotALockFile(lockPath, "is not a lock file (it has other names or holds other data)");
  }
  return Status::Ok();
}

// Whether path still names the open file: it was not removed, renamed away
// or replaced since it was opened.
bool PathNamesFile(const std::string& path, HANDLE file) {
  UniqueFile named(::CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION held{};
  BY_HANDLE_FILE_INFORMATION now{};
  return named && ::GetFileInformationByHandle(file, &held) &&
         ::GetFileInformationByHandle(named.get(), &now) &&
         held.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
         held.nFileIndexHigh == now.nFileIndexHigh && held.nFileIndexLow == now.nFileIndexLow;
}

}  // namespace

Status FileLock::Acquire(const std::string& lockPath, LockMode mode, const LockWait& wait) {
  Release();
  const DWORD flags =
      LOCKFILE_FAIL_IMMEDIATELY | (mode == LockMode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  DWORD pause = 5;
  UniqueFile file;
  // A lock taken on a file that someone removed or replaced meanwhile locks
  // nothing another process can see: take it again on the file the path
  // names now.
  while (true) {
    DWORD error = 0;
    file.Reset(OpenLockFile(lockPath, &error));
    if (!file) {
      const DWORD attributes = ::GetFileAttributesW(Wide(lockPath).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return NotALockFile(lockPath, "is a directory, not a lock file");
      }
      if (mode == LockMode::kShared &&
          (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
           error == ERROR_PATH_NOT_FOUND)) {
        return Status::Ok();  // a reader on a medium nobody writes through this folder
      }
      return IoFailure(lockPath, "cannot open the lock file", error);
    }
    Status checked = CheckLockFile(file.get(), lockPath);
    if (!checked.ok()) return checked;
    while (true) {
      OVERLAPPED region{};
      region.OffsetHigh = kLockOffsetHigh;
      if (::LockFileEx(file.get(), flags, 0, 1, 0, &region)) break;
      error = ::GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        return IoFailure(lockPath, "cannot lock", error);
      }
      if (std::chrono::steady_clock::now() - start >= wait.limit) {
        return Status::Fail(StatusKind::kIo,
                            LockGaveUpMessage(lockPath, LockHolder(file.get()), wait.limit));
      }
      if (!told && wait.notice) {
        wait.notice(LockWaitingNotice(lockPath, LockHolder(file.get()), wait.limit));
      }
      told = true;
      ::Sleep(pause);
      pause = std::min<DWORD>(pause * 2, 100);
    }
    if (PathNamesFile(lockPath, file.get())) break;
    if (std::chrono::steady_clock::now() - start >= wait.limit) {
      return Status::Fail(StatusKind::kIo,
                          lockPath + ": the lock file keeps being replaced; gave up");
    }
  }
  if (mode == LockMode::kExclusive) {
    // Checked again under the lock: another process may have written it
    // between the check and the lock.
    Status checked = CheckLockFile(file.get(), lockPath);
    if (!checked.ok()) return checked;
    const std::string id = std::to_string(::GetCurrentProcessId()) + "\r\n";
    OVERLAPPED start{};
    DWORD written = 0;
    if (::WriteFile(file.get(), id.data(), static_cast<DWORD>(id.size()), &written, &start)) {
      ::SetFilePointer(file.get(), static_cast<LONG>(id.size()), nullptr, FILE_BEGIN);
      ::SetEndOfFile(file.get());
    }
  }
  mode_ = mode;
  path_ = lockPath;
  handle_.Reset(reinterpret_cast<std::intptr_t>(file.Release()));
  return Status::Ok();
}

void FileLock::Release() {
  if (!handle_) return;
  const HANDLE file = reinterpret_cast<HANDLE>(handle_.get());
  if (mode_ == LockMode::kExclusive) {
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file);
  }
  handle_.Reset();  // closing unlocks
}

bool FileLock::StillNamed() const {
  return !handle_ || PathNamesFile(path_, reinterpret_cast<HANDLE>(handle_.get()));
}

bool LockFileTraits::Close(std::intptr_t handle) const {
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

}  // namespace tolvane
