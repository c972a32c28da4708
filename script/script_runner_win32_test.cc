// The script runner on the platform's own module resources and text
// services, reading registry_test_module.dll (built beside the test program),
// with the in-memory registry as the store.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/memory/counting_notifier.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_text_services.h"
#include "script/script_runner.h"
#include "tests/test_platform.h"
#include "tests/win32/temp_file.h"

namespace tolvane {
namespace {

using testing::Dump;
using testing::ReadString;

// The directory of the test program, with its trailing backslash.
Text TestDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Text();
  const Text program = win32::TextOf(path, length);
  return program.substr(0, program.find_last_of(u'\\') + 1);
}

Text TestModule() { return TestDirectory() + u"registry_test_module.dll"; }

// The ANSI code page of the calling thread's locale.
UINT ThreadCodePage() {
  UINT codePage = 0;
  ::GetLocaleInfoW(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t));
  return codePage;
}

// Gives the calling thread the locale language for its lifetime and
// restores the thread's previous locale afterwards.
class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(LANGID language) : saved_(::GetThreadLocale()) {
    ::SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
  }
  ScopedThreadLocale(const ScopedThreadLocale&) = delete;
  ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;
  ~ScopedThreadLocale() { ::SetThreadLocale(saved_); }

 private:
  const LCID saved_;
};

// A platform of the real module resources and text services over the
// in-memory registry.
struct Win32ResourcePlatform {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore registry{memory};
  CountingNotifier notifier;
  testing::ListFileProbe files;
  testing::FixedProcessPaths paths;
  Win32ModuleResources resources;
  Win32TextServices text;
  RegistryOpenExecutableQuery shell{registry};
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

class ScriptRunnerWin32Test : public ::testing::Test {
 protected:
  static constexpr const char16_t* kDirectory = u"C:\\Suite\\Bin\\";

  ScriptRunnerWin32Test() { EXPECT_EQ(map_.Add(u"PATH", kDirectory), kSOk); }

  HResult Run(const Text& module, std::uint16_t id) {
    const HResult hr = RunScriptResource(t_.platform, map_, module, id);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    return hr;
  }

  Win32ResourcePlatform t_;
  ReplacementMap map_;
};

TEST_F(ScriptRunnerWin32Test, AppliesEitherLanguageCopyOfAScriptWithBothLanguages) {
  const std::vector<std::string> expected = {
      "HKEY_CLASSES_ROOT\\CLSID",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}|=Tolvane Test Module",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}\\InprocServer32",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}\\InprocServer32|="
      "C:\\Suite\\Bin\\registry_test_module.dll",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}\\InprocServer32|"
      "ThreadingModel=Apartment",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}\\ProgID",
      "HKEY_CLASSES_ROOT\\CLSID\\{0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}\\ProgID|="
      "Tolvane.TestModule.1",
      "HKEY_CLASSES_ROOT\\Tolvane.TestModule.1",
      "HKEY_CLASSES_ROOT\\Tolvane.TestModule.1|=Tolvane Test Module",
      "HKEY_CLASSES_ROOT\\Tolvane.TestModule.1\\CLSID",
      "HKEY_CLASSES_ROOT\\Tolvane.TestModule.1\\CLSID|={0F6B3C2E-7A41-4D35-9E0B-2C51A8D47E10}",
  };
  // The thread's language decides which copy the lookup prefers; both hold
  // the same script.
  for (const LANGID language : {LANGID{0x412}, LANGID{0x409}}) {
    SCOPED_TRACE(language);
    const ScopedThreadLocale locale(language);
    Win32ResourcePlatform t;
    EXPECT_EQ(RunScriptResource(t.platform, map_, TestModule(), 201), kSOk);
    EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
    EXPECT_EQ(Dump(t.memory), expected);
  }
}

TEST_F(ScriptRunnerWin32Test, AppliesAScriptWithOnlyAKoreanCopy) {
  // Even where the thread's language would prefer another copy.
  const ScopedThreadLocale locale(0x409);
  EXPECT_EQ(Run(TestModule(), 202), kSOk);
  EXPECT_EQ(Dump(t_.memory), (std::vector<std::string>{"HKEY_CURRENT_USER\\Software",
                                                       "HKEY_CURRENT_USER\\Software\\"
                                                       "Tolvane.KoreanOnly"}));
}

TEST_F(ScriptRunnerWin32Test, WidensWithTheThreadsAnsiCodePage) {
  const struct {
    LANGID language;
    UINT codePage;
    const char16_t* name;
  } kCases[] = {
      // The suite's users: C7 D1 B1 DB is the two syllables U+D55C U+AE00.
      {0x412, 949, u"\uD55C\uAE00 C:\\Suite\\Bin\\"},
      // A Western thread reads the same bytes as four Latin-1 letters.
      {0x409, 1252, u"\u00C7\u00D1\u00B1\u00DB C:\\Suite\\Bin\\"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.codePage);
    const ScopedThreadLocale locale(c.language);
    ASSERT_EQ(ThreadCodePage(), c.codePage);
    Win32ResourcePlatform t;
    EXPECT_EQ(RunScriptResource(t.platform, map_, TestModule(), 204), kSOk);
    EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
    EXPECT_EQ(ReadString(t.registry, kHkeyCurrentUser, u"Software\\Tolvane.Display", u"Name"),
              c.name);
  }
}

TEST_F(ScriptRunnerWin32Test, FailuresBeforeTheScriptReadOrWriteNothing) {
  const testing::TempFile notAModule("HKCU { A }");
  ASSERT_FALSE(notAModule.path().empty());
  const struct {
    const char* what;
    Text module;
    std::uint16_t id;
    HResult status;
  } kCases[] = {
      {"no such id", TestModule(), 205, HResultFromError(kErrorResourceNameNotFound)},
      // Found, but zero bytes leave nothing to widen.
      {"empty resource", TestModule(), 203, HResultFromError(kErrorInvalidParameter)},
      // Loading as data opens the file itself: a missing file, whether its
      // directory exists or not, is not found.
      {"missing file", TestDirectory() + u"no_such_module.dll", 201,
       HResultFromError(kErrorFileNotFound)},
      {"missing directory", TestDirectory() + u"no_such_directory\\registry_test_module.dll", 201,
       HResultFromError(kErrorFileNotFound)},
      {"not a module", notAModule.path(), 201, HResultFromError(kErrorBadExeFormat)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    t_.registry.ClearLog();
    EXPECT_EQ(Run(c.module, c.id), c.status);
    EXPECT_TRUE(t_.registry.Log().empty());
    EXPECT_TRUE(Dump(t_.memory).empty());
  }
}

}  // namespace
}  // namespace tolvane
