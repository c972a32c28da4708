#include "platform/portable/shared_object_module_registrar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/portable/host_process_paths.h"
#include "registration/self_register_module.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

// Shared objects load and register; anything else does nothing.
TEST(SharedObjectModuleRegistrarTest, RegistersSharedObjectsOnly) {
  const std::string marker = ::testing::TempDir() + "grafo-marker";
  ::setenv("TOLVANE_GRAFO_MARKER", marker.c_str(), 1);
  struct Case {
    std::string hostPath;
    bool registers;
  };
  const Case cases[] = {
      {TOLVANE_GRAFO_CHART_PATH, true},
      {TOLVANE_LIBRARY_PATH, false},  // a shared object without the export
      {__FILE__, false},              // not a module
      {std::string(TOLVANE_GRAFO_CHART_PATH) + ".missing", false},
  };
  testing::TestPlatform t;
  DriveTableFileProbe files;
  SharedObjectModuleRegistrar modules(files);
  Platform platform{t.registry,  t.notifier,       t.files, t.paths,
                    t.resources, t.text,           t.shell, t.platform.installer,
                    modules,     t.platform.notice};
  for (const Case& c : cases) {
    std::remove(marker.c_str());
    SelfRegisterModule(platform, HostPathToZDrive(c.hostPath).c_str());
    std::FILE* file = std::fopen(marker.c_str(), "r");
    EXPECT_EQ(file != nullptr, c.registers) << c.hostPath;
    if (file != nullptr) std::fclose(file);
  }
  EXPECT_EQ(modules.LoadModule(u"GrafoChart.ocx"), nullptr);
  std::remove(marker.c_str());
  ::unsetenv("TOLVANE_GRAFO_MARKER");
}

}  // namespace
}  // namespace tolvane
