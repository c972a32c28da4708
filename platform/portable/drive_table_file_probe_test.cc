#include "platform/portable/drive_table_file_probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/portable/host_process_paths.h"

namespace tolvane {
namespace {

class DriveTableFileProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tolvane-probe-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    std::filesystem::create_directories(root_ / "Suite" / "Bin");
    std::ofstream(root_ / "Suite" / "Bin" / "Zdw.exe") << "x";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::filesystem::path root_;
};

TEST_F(DriveTableFileProbeTest, MatchesComponentsWithoutRegardToCase) {
  DriveTableFileProbe probe;
  probe.SetDrive(u'c', root_.string());
  EXPECT_TRUE(probe.Exists(u"C:\\Suite\\Bin\\Zdw.exe"));
  EXPECT_TRUE(probe.Exists(u"c:\\SUITE\\bin\\ZDW.EXE"));
  EXPECT_TRUE(probe.Exists(u"C:\\Suite\\Bin\\"));
  EXPECT_TRUE(probe.Exists(u"C:\\Suite\\Bin\\..\\Bin\\zdw.exe"));
  EXPECT_FALSE(probe.Exists(u"C:\\Suite\\Bin\\Tabrix.exe"));
  EXPECT_FALSE(probe.Exists(u"D:\\Suite\\Bin\\Zdw.exe"));
  EXPECT_FALSE(probe.Exists(u"Suite\\Bin\\Zdw.exe"));
}

TEST_F(DriveTableFileProbeTest, DotDotNeverLeavesTheDrivesFolder) {
  std::ofstream(root_ / "outside.txt") << "x";
  DriveTableFileProbe probe;
  probe.SetDrive(u'C', (root_ / "Suite").string());
  const std::pair<const char16_t*, bool> kCases[] = {
      {u"C:\\..\\outside.txt", false},
      {u"C:\\Bin\\..\\..\\..\\outside.txt", false},
      {u"C:\\..\\..\\Bin\\Zdw.exe", true},
      {u"C:\\Bin\\..\\Bin\\..\\..\\Bin\\Zdw.exe", true}};
  for (const auto& [path, exists] : kCases) {
    EXPECT_EQ(probe.Exists(path), exists) << Utf16ToUtf8(path);
  }
}

TEST_F(DriveTableFileProbeTest, DriveZIsTheHostRootUnlessRemapped) {
  DriveTableFileProbe probe;
  const Text zPath = HostPathToZDrive((root_ / "suite" / "BIN" / "zdw.exe").string());
  EXPECT_TRUE(probe.Exists(zPath));
  probe.ClearDrives();
  EXPECT_FALSE(probe.Exists(zPath));
}

TEST(HostProcessPathsTest, ReportsZDrivePathsOrTheHostsChoice) {
  EXPECT_EQ(HostPathToZDrive("/opt/suite/bin/x.so"), u"Z:\\opt\\suite\\bin\\x.so");
  HostProcessPaths paths;
  Text exe;
  ASSERT_TRUE(paths.HostExecutablePath(&exe));
  EXPECT_EQ(exe.substr(0, 3), u"Z:\\");
  Text own;
  ASSERT_TRUE(paths.OwnModulePath(&own));
  EXPECT_EQ(own.substr(0, 3), u"Z:\\");
  paths.SetHostExecutablePath(u"C:\\Setup\\setup.exe");
  ASSERT_TRUE(paths.HostExecutablePath(&exe));
  EXPECT_EQ(exe, u"C:\\Setup\\setup.exe");
}

}  // namespace
}  // namespace tolvane
