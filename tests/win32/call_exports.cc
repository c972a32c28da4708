// Calls one export of tolvane.dll as an installer does: loads the library
// that lies beside this program by its full path, finds the export by name
// and prints what it returned.
//
//   call_exports RegProduct GROUP [DIR]         (no DIR: a null directory)
//   call_exports UnregProduct GROUP [DIR]
//   call_exports ChangeFileExtAssociation EXT PROGID
//   call_exports SendAssocChangedNotify
//   call_exports cycles N GROUP DIR   (load, RegProduct, free; N times)
//
// Prints "NAME returned N" and exits 0 once the export ran, whatever it
// returned ("handles A B" for cycles: the process's handle count after
// the first cycle and after the last); exits 2 when the library or the export cannot be found or
// the arguments are wrong.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "include/tolvane/tolvane.h"
#include "platform/win32/unique_handle.h"

namespace {

constexpr int kExitUsage = 2;

using Library = tolvane::win32::UniqueModule;
using LocalWords = tolvane::UniqueHandle<tolvane::win32::NullHandleTraits<LPWSTR*, &::LocalFree>>;

// The process's command line as wide words (argv would be in the ANSI code
// page).
std::vector<std::wstring> Arguments() {
  int count = 0;
  const LocalWords words(::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<std::wstring> out;
  if (!words) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(words.get()[i]);
  return out;
}

// The full path of tolvane.dll in this program's folder, so that no other
// copy on the search path is loaded.
bool LibraryPath(std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    if (buffer.size() >= 32768) return false;
    buffer.resize(buffer.size() * 2);
  }
  const std::size_t slash = buffer.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return false;
  *path = buffer.substr(0, slash + 1) + L"tolvane.dll";
  return true;
}

int Usage() {
  std::fputs(
      "usage: call_exports RegProduct|UnregProduct GROUP [DIR] | ChangeFileExtAssociation EXT "
      "PROGID | "
      "SendAssocChangedNotify\n",
      stderr);
  return kExitUsage;
}

int Missing(const char* name) {
  std::fprintf(stderr, "call_exports: tolvane.dll does not export %s\n", name);
  return kExitUsage;
}

template <typename Function>
Function Find(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// The handles this process holds, found by asking about each handle value
// in turn (GetProcessHandleCount is not answered everywhere).
DWORD OpenHandleCount() {
  DWORD count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

}  // namespace

int main() {
  const std::vector<std::wstring> args = Arguments();
  if (args.size() < 2) return Usage();
  const std::wstring& name = args[1];

  std::wstring path;
  if (!LibraryPath(&path)) {
    std::fputs("call_exports: cannot tell this program's folder\n", stderr);
    return kExitUsage;
  }
  if (name == L"cycles" && args.size() == 5) {
    const int cycles = std::stoi(args[2]);
    // The system libraries tolvane.dll imports stay loaded, as in an
    // installer's process: the cycles count the library's own handles.
    std::vector<Library> system;
    for (const wchar_t* name : {L"msi.dll", L"ole32.dll", L"oleaut32.dll", L"user32.dll"}) {
      system.emplace_back(::LoadLibraryW(name));
    }
    DWORD first = 0;
    DWORD last = 0;
    for (int i = 0; i < cycles; ++i) {
      Library library(::LoadLibraryW(path.c_str()));
      const auto call = Find<decltype(&RegProduct)>(library.get(), "RegProduct");
      if (call == nullptr) return Missing("RegProduct");
      call(args[3].c_str(), args[4].c_str());
      library.Reset();
      if (i == 0 || i + 1 == cycles) (i == 0 ? first : last) = OpenHandleCount();
    }
    std::printf("handles %lu %lu\n", first, last);
    return 0;
  }
  const Library library(::LoadLibraryW(path.c_str()));
  if (!library) {
    std::fprintf(stderr, "call_exports: cannot load tolvane.dll (error %lu)\n", ::GetLastError());
    return kExitUsage;
  }

  std::int32_t result = 0;
  const char* exportName = nullptr;
  if ((name == L"RegProduct" || name == L"UnregProduct") &&
      (args.size() == 3 || args.size() == 4)) {
    exportName = name == L"RegProduct" ? "RegProduct" : "UnregProduct";
    const auto call = Find<decltype(&RegProduct)>(library.get(), exportName);
    if (call == nullptr) return Missing(exportName);
    result = call(args[2].c_str(), args.size() == 4 ? args[3].c_str() : nullptr);
  } else if (name == L"ChangeFileExtAssociation" && args.size() == 4) {
    exportName = "ChangeFileExtAssociation";
    const auto call = Find<decltype(&ChangeFileExtAssociation)>(library.get(), exportName);
    if (call == nullptr) return Missing(exportName);
    result = call(args[2].c_str(), args[3].c_str());
  } else if (name == L"SendAssocChangedNotify" && args.size() == 2) {
    exportName = "SendAssocChangedNotify";
    const auto call = Find<decltype(&SendAssocChangedNotify)>(library.get(), exportName);
    if (call == nullptr) return Missing(exportName);
    result = call();
  } else {
    return Usage();
  }
  std::printf("%s returned %ld\n", exportName, static_cast<long>(result));
  return 0;
}
