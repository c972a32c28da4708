// What the script runner relies on from ModuleResources, one table run
// against the build's own implementation: the scripts embedded in the
// portable build natively, the "REGISTRY" resources of tolvane.dll under
// Wine. A row that passes on one and fails on the other is a difference the
// portable build must not have.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/test_platform.h"

#ifdef _WIN32
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_process_paths.h"
#include "tests/win32/temp_file.h"
#else
#include "platform/portable/embedded_module_resources.h"
#endif

namespace tolvane {
namespace {

#ifdef _WIN32
// tolvane.dll lies beside the test program.
struct Modules {
  Modules() {
    Win32ProcessPaths paths;
    EXPECT_TRUE(paths.HostExecutablePath(&directory));
    directory.resize(directory.find_last_of(u'\\') + 1);
  }
  Text Own() const { return directory + u"tolvane.dll"; }
  Text Missing() const { return directory + u"no_such_folder\\tolvane.dll"; }
  Text NotAModule() const { return file.path(); }

  Text directory;
  testing::TempFile file{"HKCR { }"};
  Win32ModuleResources resources;
};
#else
struct Modules {
  Modules() { files.Add(NotAModule()); }
  Text Own() const { return paths.ownModule; }
  Text Missing() const { return u"C:\\No\\Such\\Folder\\tolvane.dll"; }
  Text NotAModule() const { return u"C:\\Suite\\Bin\\readme.txt"; }

  testing::FixedProcessPaths paths;
  testing::ListFileProbe files;
  EmbeddedModuleResources resources{paths, files};
};
#endif

TEST(ModuleResourcesContract, ScriptsComeFromTheOwnModuleAndFailuresSayWhy) {
  Modules modules;
  const struct {
    Text module;
    std::uint16_t id;
    ErrorCode code;
  } kCases[] = {
      {modules.Own(), 103, kErrorSuccess},
      {modules.Own(), 130, kErrorSuccess},
      {modules.Own(), 133, kErrorSuccess},
      {modules.Own(), 9999, kErrorResourceNameNotFound},
      {modules.Missing(), 130, kErrorFileNotFound},
      {modules.NotAModule(), 130, kErrorBadExeFormat},
  };
  for (const auto& c : kCases) {
    std::string bytes = "stale";
    EXPECT_EQ(modules.resources.LoadRegistryScript(c.module, c.id, &bytes), c.code)
        << Utf16ToUtf8(c.module) << " " << c.id;
    // A script is the resource's bytes as written: a root key name first.
    EXPECT_EQ(bytes.substr(0, 2), c.code == kErrorSuccess ? "HK" : "") << c.id;
  }
}

}  // namespace
}  // namespace tolvane
