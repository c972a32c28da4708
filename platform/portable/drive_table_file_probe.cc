#include "platform/portable/drive_table_file_probe.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/portable/posix_handles.h"

namespace tolvane {
namespace {

char16_t UpperLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

// Finds the entry of directory dir whose name equals name without regard
// to case; an exact match wins over a folded one.
bool FindEntry(const std::string& dir, TextView name, std::string* found) {
  const std::string exact = Utf16ToUtf8(name);
  struct stat st {};
  const std::string exactPath = (dir == "/" ? "" : dir) + "/" + exact;
  if (::lstat(exactPath.c_str(), &st) == 0) {
    *found = exact;
    return true;
  }
  const posix::UniqueDir handle(::opendir(dir.c_str()));
  if (!handle) return false;
  while (const dirent* entry = ::readdir(handle.get())) {
    const std::string entryName = entry->d_name;
    if (EqualsNoCase(Utf8ToUtf16(entryName), name)) {
      *found = entryName;
      return true;
    }
  }
  return false;
}

}  // namespace

DriveTableFileProbe::DriveTableFileProbe() { drives_[u'Z'] = "/"; }

void DriveTableFileProbe::SetDrive(char16_t letter, std::string hostDirectory) {
  drives_[UpperLetter(letter)] = std::move(hostDirectory);
}

void DriveTableFileProbe::ClearDrives() { drives_.clear(); }

bool DriveTableFileProbe::ToHostPath(TextView windowsPath, std::string* hostPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != u':') return false;
  const auto drive = drives_.find(UpperLetter(windowsPath[0]));
  if (drive == drives_.end()) return false;
  std::string path = drive->second;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // The length of path at each component below the drive's folder, so that
  // ".." steps back one and never above the folder (C:\.. is C:\).
  std::vector<std::size_t> below;
  TextView rest = windowsPath.substr(2);
  while (!rest.empty()) {
    const std::size_t slash = rest.find_first_of(u"\\/");
    const TextView part = rest.substr(0, slash);
    rest = slash == TextView::npos ? TextView() : rest.substr(slash + 1);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!below.empty()) {
        path.resize(below.back());
        below.pop_back();
      }
      continue;
    }
    std::string found;
    if (!FindEntry(path, part, &found)) return false;
    below.push_back(path.size());
    path = (path == "/" ? "" : path) + "/" + found;
  }
  *hostPath = path;
  return true;
}

bool DriveTableFileProbe::Exists(TextView windowsPath) {
  std::string host;
  if (!ToHostPath(windowsPath, &host)) return false;
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0;
}

}  // namespace tolvane
