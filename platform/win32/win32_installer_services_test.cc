#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/failure_message.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_installer_session.h"
#include "platform/win32/win32_module_registrar.h"
#include "platform/win32/win32_user_notice.h"
#include "registration/self_register_module.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

// The library's string table carries exactly the texts the portable build
// shows, in the five languages, and nothing for another language.
TEST(Win32FailureMessageTest, StringTableMatchesTheTexts) {
  const win32::UniqueModule library(
      ::LoadLibraryExW(L"tolvane.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(library);
  for (const FailureMessageVariant& variant : FailureMessageVariants()) {
    std::wstring text;
    ASSERT_TRUE(LoadFailureMessage(library.get(), variant.languageId, &text)) << variant.languageId;
    EXPECT_EQ(text, win32::WideCopy(ViewOf(variant.text))) << variant.languageId;
  }
  std::wstring german;
  EXPECT_FALSE(LoadFailureMessage(library.get(), 1031, &german));
}

// The real loader: GrafoChart.ocx registers itself (its marker key
// appears); a missing file does nothing.
TEST(Win32SelfRegistrationTest, LoadsAndCallsDllRegisterServer) {
  std::wstring path = L"Z:" + win32::WideCopy(Utf8ToUtf16(TOLVANE_GRAFO_CHART_PATH));
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  struct Case {
    std::wstring path;
    bool registers;
  };
  const Case cases[] = {{path + L".missing", false}, {path, true}};
  testing::TestPlatform t;
  Win32ModuleRegistrar modules;
  Platform platform{t.registry,  t.notifier,       t.files, t.paths,
                    t.resources, t.text,           t.shell, t.platform.installer,
                    modules,     t.platform.notice};
  for (const Case& c : cases) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TolvaneTest");
    SelfRegisterModule(platform, reinterpret_cast<const char16_t*>(c.path.c_str()));
    win32::UniqueHkey key;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TolvaneTest\\GrafoChart", 0, KEY_READ,
                              key.Receive()) == ERROR_SUCCESS,
              c.registers);
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TolvaneTest");
}

// msi.dll answers through the ordinal imports; outside an installation
// every handle is invalid.
TEST(Win32InstallerSessionTest, QueriesReachTheInstaller) {
  Win32InstallerSession session;
  std::int32_t installed = 7, action = 7;
  EXPECT_EQ(session.GetFeatureState(0, u"Velmora", &installed, &action), ERROR_INVALID_HANDLE);
  EXPECT_EQ(action, 7);
  char16_t buffer[8] = {};
  std::uint32_t units = 8;
  EXPECT_EQ(session.GetProperty(0, u"CommonDir", buffer, &units), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace tolvane
