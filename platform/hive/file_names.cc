// Companion file names of a hive (temporaries, lock), path resolution and
// the clean-up of stale temporaries: the same on every platform.
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/hive/file_access.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// Longest file name (one path component) the file systems in use allow.
constexpr std::size_t kMaxFileNameBytes = 255;
constexpr std::string_view kTemporaryMark = ".tmp";

// A UTF-8 file name as a path: on Windows a narrow string would be read in
// the ANSI code page instead.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string units = path.u8string();
  return std::string(reinterpret_cast<const char*>(units.data()), units.size());
}

std::size_t FileNameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

// Reads "<digits>" at text[*at], moving *at past them.
bool ReadNumber(std::string_view text, std::size_t* at, std::uint64_t* number) {
  const std::size_t start = *at;
  *number = 0;
  while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at]))) {
    if (*at - start >= 19) return false;
    *number = *number * 10 + static_cast<std::uint64_t>(text[*at] - '0');
    ++*at;
  }
  return *at > start;
}

}  // namespace

std::string CompanionPath(const std::string& path, std::string_view suffix) {
  const std::size_t nameStart = FileNameStart(path);
  std::size_t nameEnd = path.size();
  if (nameEnd - nameStart + suffix.size() > kMaxFileNameBytes) {
    nameEnd =
        nameStart + (kMaxFileNameBytes > suffix.size() ? kMaxFileNameBytes - suffix.size() : 0);
    // Never cut a UTF-8 sequence: back up over continuation bytes.
    while (nameEnd > nameStart && (static_cast<unsigned char>(path[nameEnd]) & 0xC0) == 0x80) {
      --nameEnd;
    }
  }
  return path.substr(0, nameEnd) + std::string(suffix);
}

std::string TemporaryPath(const std::string& target, std::uint64_t process, int attempt) {
  return CompanionPath(target, std::string(kTemporaryMark) + std::to_string(process) + "-" +
                                   std::to_string(attempt));
}

bool IsCompanionName(const std::string& path) {
  std::string name = path.substr(FileNameStart(path));
#ifdef _WIN32
  // "H.REG.LOCK" is the lock file "h.reg.lock" there.
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
#endif
  constexpr std::string_view kLock = ".lock";
  if (name.size() >= kLock.size() && name.substr(name.size() - kLock.size()) == kLock) return true;
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos) return false;
  std::size_t at = mark + kTemporaryMark.size();
  std::uint64_t number = 0;
  if (!ReadNumber(name, &at, &number) || at >= name.size() || name[at] != '-') return false;
  ++at;
  return ReadNumber(name, &at, &number) && at == name.size();
}

#ifndef _WIN32
// Windows resolves names its own way (trailing dots, short names, drive
// views): file_access_win32.cc asks the system.
std::string ResolvedPath(const std::string& path) {
  constexpr int kMaxLinks = 40;
  std::error_code error;
  fs::path current = PathOf(path);
  // Follow a link to a file that does not exist yet too (a hive's first
  // save), which weakly_canonical leaves unresolved.
  for (int link = 0; link < kMaxLinks && fs::is_symlink(fs::symlink_status(current, error));
       ++link) {
    const fs::path target = fs::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  const fs::path absolute = fs::absolute(current, error);
  if (!error) current = absolute;
  const fs::path resolved = fs::weakly_canonical(current, error);
  if (error || resolved.empty()) return path;
  return Utf8Of(resolved);
}
#endif  // _WIN32

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  const bool same = fs::equivalent(PathOf(a), PathOf(b), error);
  return !error && same;
}

std::size_t RemoveStaleTemporaries(const std::string& path) {
  const std::string target = ResolvedPath(path);
  const std::size_t nameStart = FileNameStart(target);
  const fs::path directory =
      PathOf(nameStart == 0 ? std::string(".") : target.substr(0, nameStart));
  std::error_code error;
  fs::directory_iterator entries(directory, error);
  if (error) return 0;
  std::size_t removed = 0;
  for (const fs::directory_entry& entry : entries) {
    const std::string name = Utf8Of(entry.path().filename());
    // "<name>.tmp<process>-<attempt>", the name shortened as TemporaryPath
    // shortens it for that suffix.
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string::npos) continue;
    std::size_t at = mark + kTemporaryMark.size();
    std::uint64_t process = 0;
    std::uint64_t attempt = 0;
    if (!ReadNumber(name, &at, &process) || at >= name.size() || name[at] != '-') continue;
    ++at;
    if (!ReadNumber(name, &at, &attempt) || at != name.size() || attempt > 1000) continue;
    const std::string expected = TemporaryPath(target, process, static_cast<int>(attempt));
    if (expected.compare(nameStart, std::string::npos, name) != 0) continue;
    if (ProcessIsRunning(process)) continue;
    // A file that has a lock file of its own was used as a hive, not left
    // by a save.
    if (fs::exists(fs::path(entry.path()) += ".lock", error)) continue;
    if (!entry.is_regular_file(error) || error) continue;
    if (fs::remove(entry.path(), error) && !error) ++removed;
  }
  return removed;
}

std::string LockHolderName(std::string_view lockFileText) {
  std::uint64_t process = 0;
  std::size_t at = 0;
  if (ReadNumber(lockFileText, &at, &process) && ProcessIsRunning(process)) {
    return "process " + std::to_string(process);
  }
  return "another process";
}

namespace {

std::string Seconds(std::chrono::milliseconds span) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span).count();
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

std::string LockWaitingNotice(const std::string& lockPath, const std::string& holder,
                              std::chrono::milliseconds limit) {
  return "waiting for " + lockPath + ", held by " + holder + " (at most " + Seconds(limit) + ")";
}

std::string LockGaveUpMessage(const std::string& lockPath, const std::string& holder,
                              std::chrono::milliseconds limit) {
  return lockPath + ": locked by " + holder + "; gave up after " + Seconds(limit) +
         " (--wait SECONDS waits longer)";
}

}  // namespace tolvane
