// The Windows services of the platform layer against the real system (the
// unit-test program runs on Windows or under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_open_executable_query.h"
#include "platform/win32/win32_process_paths.h"
#include "platform/win32/win32_registry_store.h"
#include "platform/win32/win32_text_services.h"
#include "tests/win32/temp_file.h"

namespace tolvane {
namespace {

using testing::TempFile;

Text HostExecutable() {
  Win32ProcessPaths paths;
  Text path;
  EXPECT_TRUE(paths.HostExecutablePath(&path));
  return path;
}

// The directory of the test program, with its trailing backslash.
Text HostDirectory() {
  const Text path = HostExecutable();
  return path.substr(0, path.find_last_of(u'\\') + 1);
}

bool EndsWithNoCase(TextView text, TextView tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

TEST(Win32RegistryKeys, PredefinedRootsAreThePlatformsHandles) {
  const struct {
    RegKey key;
    HKEY hkey;
  } kRoots[] = {
      {kHkeyClassesRoot, HKEY_CLASSES_ROOT},
      {kHkeyCurrentUser, HKEY_CURRENT_USER},
      {kHkeyLocalMachine, HKEY_LOCAL_MACHINE},
      {kHkeyUsers, HKEY_USERS},
      {kHkeyPerformanceData, HKEY_PERFORMANCE_DATA},
      {kHkeyCurrentConfig, HKEY_CURRENT_CONFIG},
      {kHkeyDynData, HKEY_DYN_DATA},
  };
  for (const auto& root : kRoots) {
    EXPECT_EQ(static_cast<std::uintptr_t>(root.key), reinterpret_cast<std::uintptr_t>(root.hkey));
  }
}

TEST(Win32RegistryKeys, UniqueHkeyClosesItsKeyOnce) {
  win32::UniqueHkey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  const HKEY raw = key.get();
  win32::UniqueHkey moved(std::move(key));
  EXPECT_FALSE(key);
  EXPECT_EQ(moved.get(), raw);
  DWORD subkeys = 0;
  EXPECT_EQ(::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  moved.Reset();
  EXPECT_EQ(::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
}

TEST(Win32TextServices, WidensAsciiAndRefusesEmptyText) {
  Win32TextServices text;
  Text wide = u"stale";
  ASSERT_EQ(text.WidenAnsi("HKCR\r\n{ %PATH% }", &wide), kErrorSuccess);
  EXPECT_EQ(wide, u"HKCR\r\n{ %PATH% }");
  EXPECT_NE(text.WidenAnsi("", &wide), kErrorSuccess);
  EXPECT_TRUE(wide.empty());
}

TEST(Win32TextServices, WidensWithTheThreadsCodePage) {
  // The unit tests run with the Korean code page, as the suite's users do.
  if (::GetACP() != 949) GTEST_SKIP() << "ANSI code page " << ::GetACP();
  Win32TextServices text;
  Text wide;
  ASSERT_EQ(text.WidenAnsi("\xC7\xD1\xB1\xDB 2007", &wide), kErrorSuccess);
  EXPECT_EQ(wide, u"\uD55C\uAE00 2007");
}

TEST(Win32TextServices, ConvertsNumbersAndGivesZeroForOtherText) {
  Win32TextServices text;
  const struct {
    const char16_t* text;
    std::uint32_t value;
  } kCases[] = {
      {u"0", 0}, {u"42", 42},  {u"4294967295", 4294967295u}, {u"4294967296", 0}, {u"abc", 0},
      {u"", 0},  {nullptr, 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(text.TextToUInt32(c.text), c.value) << (c.text ? Utf16ToUtf8(c.text) : "null");
  }
}

TEST(Win32TextServices, ComparesWithoutRegardToCase) {
  Win32TextServices text;
  EXPECT_TRUE(EqualsNoCase(u"PATH", u"path"));
  EXPECT_TRUE(EqualsNoCase(u"\u00C4rger", u"\u00E4RGER"));
  EXPECT_FALSE(EqualsNoCase(u"PATH", u"PAT"));
  EXPECT_FALSE(EqualsNoCase(u"PATH", u"MODULE"));
}

TEST(Win32ProcessPaths, NamesTheTestProgramAsHostAndOwnModule) {
  Win32ProcessPaths paths;
  Text host;
  Text own;
  ASSERT_TRUE(paths.HostExecutablePath(&host));
  ASSERT_TRUE(paths.OwnModulePath(&own));
  EXPECT_TRUE(EndsWithNoCase(host, u"\\tolvane_tests.exe")) << Utf16ToUtf8(host);
  // The library's code is linked into the test program, so its own module
  // is the program itself.
  EXPECT_EQ(own, host);
}

TEST(Win32FileProbe, FindsFilesAndDirectoriesOnly) {
  Win32FileProbe files;
  const Text host = HostExecutable();
  EXPECT_TRUE(files.Exists(host));
  EXPECT_TRUE(files.Exists(HostDirectory()));
  EXPECT_FALSE(files.Exists(HostDirectory() + u"no_such_module.exe"));
  EXPECT_FALSE(files.Exists(u""));
  EXPECT_FALSE(files.Exists(Text(host) + u'\0' + u"x"));
}

TEST(Win32ModuleResources, ReadsRegistryResourcesByIdInAnyLanguage) {
  Win32ModuleResources resources;
  const Text host = HostExecutable();
  std::string bytes = "stale";
  ASSERT_EQ(resources.LoadRegistryScript(host, 9001, &bytes), kErrorSuccess);
  EXPECT_EQ(bytes, "HKCR\r\n{\r\n  NoRemove Tolvane.Test\r\n}\r\n");
  ASSERT_EQ(resources.LoadRegistryScript(host, 9002, &bytes), kErrorSuccess);
  EXPECT_EQ(bytes, "ko");
}

TEST(Win32ModuleResources, AnswersThePlatformsErrorAndNoBytes) {
  Win32ModuleResources resources;
  const TempFile notAModule("HKCR { }");
  ASSERT_FALSE(notAModule.path().empty());
  const struct {
    Text path;
    std::uint16_t id;
    ErrorCode code;
  } kCases[] = {
      {HostExecutable(), 9003, kErrorResourceNameNotFound},
      // Loading as data opens the file directly: a missing one is not found.
      {HostDirectory() + u"no_such_module.dll", 9001, kErrorFileNotFound},
      {notAModule.path(), 9001, kErrorBadExeFormat},
      {u"", 9001, kErrorFileNotFound},
  };
  for (const auto& c : kCases) {
    std::string bytes = "stale";
    EXPECT_EQ(resources.LoadRegistryScript(c.path, c.id, &bytes), c.code) << Utf16ToUtf8(c.path);
    EXPECT_TRUE(bytes.empty());
  }
}

// A document class and an extension in the classes root, removed again when
// the test ends. The classes root is written directly: not every registry
// merges the per-user classes into it. Where the caller may not write it,
// the test is skipped.
class ScratchAssociation : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kExtension = L".tolvanetestext";
  static constexpr const wchar_t* kProgId = L"Tolvane.TestDocument.1";

  void SetUp() override {
    Remove();
    const std::wstring exe = win32::WideCopy(HostExecutable());
    const std::wstring command = L"\"" + exe + L"\" \"%1\"";
    if (!Write(kExtension, kProgId)) GTEST_SKIP() << "the classes root is not writable";
    ASSERT_TRUE(Write(std::wstring(kProgId) + L"\\shell\\open\\command", command.c_str()));
  }
  void TearDown() override { Remove(); }

  static bool Write(const std::wstring& path, const wchar_t* value) {
    win32::UniqueHkey key;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const DWORD bytes = static_cast<DWORD>((::lstrlenW(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            bytes) == ERROR_SUCCESS;
  }
  static void Remove() {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  }
};

TEST_F(ScratchAssociation, ResolvesTheOpenVerbOfExtensionAndProgId) {
  Win32OpenExecutableQuery shell;
  const Text host = HostExecutable();
  for (const char16_t* association : {u".tolvanetestext", u"Tolvane.TestDocument.1"}) {
    Text executable = u"stale";
    EXPECT_TRUE(shell.QueryOpenExecutable(association, &executable)) << Utf16ToUtf8(association);
    EXPECT_TRUE(EqualsNoCase(executable, host)) << Utf16ToUtf8(executable);
  }
  for (const char16_t* association :
       {u".tolvanenosuchext", u"", static_cast<const char16_t*>(nullptr)}) {
    Text executable = u"stale";
    EXPECT_FALSE(shell.QueryOpenExecutable(association, &executable));
    EXPECT_TRUE(executable.empty());
  }
}

// The built library, loaded the way installers load it.
TEST(Win32Library, ExportsRegProductByNameAndRefusesUnknownGroups) {
  const std::wstring path = win32::WideCopy(HostDirectory() + u"tolvane.dll");
  const win32::UniqueModule library(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(library) << "error " << ::GetLastError();
  using RegProductFunction = std::int32_t(__cdecl*)(const wchar_t*, const wchar_t*);
  // Through the generic function type, as every use of GetProcAddress must.
  const auto regProduct = reinterpret_cast<RegProductFunction>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library.get(), "RegProduct")));
  ASSERT_NE(regProduct, nullptr);
  // An unknown group touches nothing and answers the registry failure code.
  EXPECT_EQ(regProduct(L"TOLVANE_NO_SUCH_GROUP", L"C:\\Suite\\Bin\\"), kErrorRegistryIoFailed);
}

TEST(Win32Library, CarriesAManifestThatAsksForNoElevation) {
  const std::wstring path = win32::WideCopy(HostDirectory() + u"tolvane.dll");
  const win32::UniqueModule library(
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(library);
  const HRSRC resource =
      ::FindResourceW(library.get(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr);
  const HGLOBAL loaded = ::LoadResource(library.get(), resource);
  ASSERT_NE(loaded, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(loaded)),
                             ::SizeofResource(library.get(), resource));
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
      << manifest;
}

}  // namespace
}  // namespace tolvane
