// The hive file on disk: load and save keep every key and value, a bad file
// is refused and left as it was, saves replace the file whole, and sessions
// in two processes never lose each other's changes.
#include "platform/hive/hive_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const std::string kSample = std::string(TOLVANE_REGEDIT_SAMPLES) + "/types-and-subkeys.reg";

class HiveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tolvane-hive-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    hive_ = (dir_ / "registry.reg").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // The names in the directory, to catch stray temporary files.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::string hive_;
};

TEST_F(HiveFileTest, SaveThenLoadKeepsEveryKeyAndValue) {
  MemoryRegistryStore store;
  ASSERT_TRUE(LoadHive(kSample, store).ok());
  EXPECT_EQ(store.OpenKeyCount(), 0u);
  const HiveStatus saved = SaveHive(hive_, store);
  ASSERT_TRUE(saved.ok()) << saved.message;
  EXPECT_EQ(Entries(), std::vector<std::string>{"registry.reg"});

  MemoryRegistryStore again;
  ASSERT_TRUE(LoadHive(hive_, again).ok());
  EXPECT_EQ(testing::Dump(again), testing::Dump(store));
  // The subtree still writes exactly what regedit wrote.
  std::vector<StoredKey> keys;
  ASSERT_EQ(again.SnapshotTree(kHkeyCurrentUser, u"Software\\Fixture\\Types", &keys), 0);
  std::string bytes;
  ASSERT_TRUE(SerializeHiveUtf16(keys, &bytes).ok());
  EXPECT_EQ(bytes, ReadBytes(kSample));
}

TEST_F(HiveFileTest, LoadRefusesABadFileAndKeepsTheStore) {
  const std::string bad = "Windows Registry Editor Version 5.00\n\n[HKCU\\A]\n\"a\"=dword:xyz\n";
  WriteBytes(hive_, bad);
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"Before", u"v", u"1");
  const HiveStatus status = LoadHive(hive_, store);
  EXPECT_EQ(status.error, HiveError::kMalformed);
  EXPECT_EQ(status.message.rfind(hive_ + ": line 4: ", 0), 0u) << status.message;
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Before", u"v"), u"1");

  const HiveStatus missing = LoadHive((dir_ / "nothing.reg").string(), store);
  EXPECT_EQ(missing.error, HiveError::kNotFound);
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Before", u"v"), u"1");
  EXPECT_EQ(LoadHive(dir_.string(), store).error, HiveError::kIo);
  EXPECT_EQ(ReadBytes(hive_), bad);
}

TEST_F(HiveFileTest, SaveReplacesTheFileWholeAndKeepsItsPermissionsAndLinks) {
  WriteBytes(hive_, "old");
  ASSERT_EQ(::chmod(hive_.c_str(), 0640), 0);
  const fs::path link = dir_ / "link.reg";
  fs::create_symlink("registry.reg", link);
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"A", u"v", u"1");

  ASSERT_TRUE(SaveHive(link.string(), store).ok());
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat info {};
  ASSERT_EQ(::stat(hive_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  MemoryRegistryStore again;
  ASSERT_TRUE(LoadHive(hive_, again).ok());
  EXPECT_EQ(testing::Dump(again), testing::Dump(store));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.reg", "registry.reg"}));

  // A save that cannot happen leaves nothing behind.
  const HiveStatus failed = SaveHive((dir_ / "no-such-dir" / "x.reg").string(), store);
  EXPECT_EQ(failed.error, HiveError::kIo);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.reg", "registry.reg"}));
}

TEST_F(HiveFileTest, SessionOnAMissingFileCreatesItOnlyOnCommit) {
  HiveSession session;
  ASSERT_TRUE(session.Open(hive_).ok());
  EXPECT_TRUE(session.IsOpen());
  EXPECT_TRUE(session.store().Snapshot().empty());
  EXPECT_FALSE(session.Changed());
  EXPECT_FALSE(fs::exists(hive_));

  testing::WriteString(session.store(), kHkeyCurrentUser, u"Software\\Empty", nullptr, nullptr);
  EXPECT_TRUE(session.Changed());
  ASSERT_TRUE(session.Commit().ok());
  EXPECT_FALSE(session.Changed());
  session.Close();
  EXPECT_FALSE(session.Commit().ok());

  MemoryRegistryStore loaded;
  ASSERT_TRUE(LoadHive(hive_, loaded).ok());
  EXPECT_TRUE(testing::KeyExists(loaded, kHkeyCurrentUser, u"Software\\Empty"));
}

// Whether another process can take the session's lock right now.
bool LockIsFreeForAnotherProcess(const std::string &lockPath) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(lockPath.c_str(), O_RDWR);
    if (fd < 0) ::_exit(3);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::_exit(0);
    ::_exit(errno == EWOULDBLOCK ? 1 : 2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 2);
  EXPECT_NE(WEXITSTATUS(status), 3);
  return WEXITSTATUS(status) == 0;
}

TEST_F(HiveFileTest, SessionHoldsTheLockFromOpenUntilClose) {
  {
    HiveSession session;
    ASSERT_TRUE(session.Open(hive_).ok());
    EXPECT_FALSE(LockIsFreeForAnotherProcess(hive_ + ".lock"));
    testing::WriteString(session.store(), kHkeyCurrentUser, u"A", nullptr, nullptr);
    ASSERT_TRUE(session.Commit().ok());
    // The rename did not break the lock.
    EXPECT_FALSE(LockIsFreeForAnotherProcess(hive_ + ".lock"));
  }
  EXPECT_TRUE(LockIsFreeForAnotherProcess(hive_ + ".lock"));
}

TEST_F(HiveFileTest, SessionRefusesABadFileAndLeavesItAsItWas) {
  const std::string bad = "\xFF\xFEW\0i\0n";  // odd UTF-16 byte count
  WriteBytes(hive_, bad);
  HiveSession session;
  const HiveStatus status = session.Open(hive_);
  EXPECT_EQ(status.error, HiveError::kMalformed);
  EXPECT_NE(status.message.find("line 1: "), std::string::npos) << status.message;
  EXPECT_FALSE(session.IsOpen());
  EXPECT_FALSE(session.Changed());
  EXPECT_EQ(ReadBytes(hive_), bad);
  EXPECT_TRUE(LockIsFreeForAnotherProcess(hive_ + ".lock"));
}

TEST_F(HiveFileTest, TwoProcessesAddingKeysLoseNeitherChange) {
  constexpr int kRounds = 40;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    if (children[c] != 0) continue;
    for (int i = 0; i < kRounds; ++i) {
      HiveSession session;
      if (!session.Open(hive_).ok()) ::_exit(1);
      const Text path = u"Software\\Process" + Text(1, static_cast<char16_t>(u'0' + c)) + u"\\Key" +
                        Utf8ToUtf16(std::to_string(i));
      RegKey key = kNoKey;
      if (session.store().CreateKey(kHkeyCurrentUser, path.c_str(), kKeyAllAccess, &key, nullptr) !=
          0) {
        ::_exit(2);
      }
      session.store().CloseKey(key);
      if (!session.Commit().ok()) ::_exit(3);
    }
    ::_exit(0);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  MemoryRegistryStore store;
  ASSERT_TRUE(LoadHive(hive_, store).ok());
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kRounds; ++i) {
      const Text path = u"Software\\Process" + Text(1, static_cast<char16_t>(u'0' + c)) + u"\\Key" +
                        Utf8ToUtf16(std::to_string(i));
      EXPECT_TRUE(testing::KeyExists(store, kHkeyCurrentUser, path.c_str())) << Utf16ToUtf8(path);
    }
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

}  // namespace
}  // namespace tolvane
