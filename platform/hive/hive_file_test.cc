// The hive file on disk: load and save keep every key and value, a bad file
// is refused and left as it was, saves replace the file whole, locks keep
// writers apart and let readers share, and sessions in two processes never
// lose each other's changes. Built and run on both platforms; the tests
// that need POSIX calls (fork, modes, owners, FIFOs) are marked.
#include "platform/hive/hive_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
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

void WriteBytes(const std::string &utf8, std::string_view bytes) {
  WriteBytes(fs::path(std::u8string(utf8.begin(), utf8.end())), bytes);
}

const std::string kSample = std::string(TOLVANE_REGEDIT_SAMPLES) + "/types-and-subkeys.reg";

std::string Utf8(const fs::path &path) {
  const std::u8string units = path.u8string();
  return std::string(units.begin(), units.end());
}

LockWait NoWait() {
  LockWait wait;
  wait.limit = std::chrono::milliseconds(0);
  return wait;
}

class HiveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    dir_ = fs::temp_directory_path() /
           ("tolvane-hive-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(serial++));
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directory(dir_));
    hive_ = Utf8(dir_ / "registry.reg");
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
  const Status saved = SaveHive(hive_, store);
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
  const Status status = LoadHive(hive_, store);
  EXPECT_EQ(status.error, StatusKind::kMalformed);
  EXPECT_EQ(status.message.rfind(hive_ + ": line 4: ", 0), 0u) << status.message;
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Before", u"v"), u"1");

  const Status missing = LoadHive(Utf8(dir_ / "nothing.reg"), store);
  EXPECT_EQ(missing.error, StatusKind::kNotFound);
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Before", u"v"), u"1");
  EXPECT_EQ(LoadHive(Utf8(dir_), store).error, StatusKind::kIo);
  EXPECT_EQ(ReadBytes(hive_), bad);
}

#ifndef _WIN32
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
  const Status failed = SaveHive((dir_ / "no-such-dir" / "x.reg").string(), store);
  EXPECT_EQ(failed.error, StatusKind::kIo);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.reg", "registry.reg"}));
}

#else
// A save keeps what Windows keeps on a file besides its bytes (its access
// list, hidden and system attributes), and a read-only file is refused.
TEST_F(HiveFileTest, SaveKeepsAttributesAndSecurityAndRefusesReadOnly) {
  const std::wstring file = fs::path(std::u8string(hive_.begin(), hive_.end())).wstring();
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"A", u"v", u"1");
  // Everyone may read, administrators anything; not inherited from the folder.
  const wchar_t *kDescriptor = L"D:P(A;;FR;;;WD)(A;;FA;;;BA)";
  const struct {
    DWORD attributes;
    bool saved;
  } kCases[] = {{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true},
                {FILE_ATTRIBUTE_READONLY, false}};
  // The file's access list in SDDL.
  const auto accessList = [&file]() {
    std::vector<BYTE> descriptor(4096);
    DWORD size = 0;
    wchar_t *text = nullptr;
    if (!::GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(),
                            static_cast<DWORD>(descriptor.size()), &size) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
      return std::wstring(L"unreadable");
    }
    const std::wstring sddl(text);
    ::LocalFree(text);
    return sddl;
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.attributes);
    WriteBytes(hive_, "old");
    PSECURITY_DESCRIPTOR wanted = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(kDescriptor, SDDL_REVISION_1,
                                                                       &wanted, nullptr));
    ASSERT_TRUE(::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, wanted));
    ::LocalFree(wanted);
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), c.attributes));
    const std::wstring before = accessList();
    const Status status = SaveHive(hive_, store);
    EXPECT_EQ(status.ok(), c.saved) << status.message;
    EXPECT_EQ(::GetFileAttributesW(file.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE, c.attributes);
    EXPECT_EQ(ReadBytes(hive_) == "old", !c.saved);
    EXPECT_TRUE(accessList() == before);
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Entries(), std::vector<std::string>{"registry.reg"});
  }
}
#endif  // _WIN32

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

// Writes that leave the registry as it was leave the file alone (same bytes,
// same modification time); the others are seen as changes.
TEST_F(HiveFileTest, SessionSavesOnlyWhatAWriteChanged) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"x\"\n"
      "\"d\"=dword:00000001\n\n[HKEY_CURRENT_USER\\A\\Empty]\n";
  const auto set = [](const char16_t *name, std::uint32_t type, std::string_view data) {
    return [=](RegistryStore &store, RegKey key) {
      return store.SetValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    };
  };
  struct Row {
    const char *what;
    std::function<ErrorCode(RegistryStore &, RegKey)> write;
    bool changes;
  };
  const Row rows[] = {
      {"string set to what it holds", set(u"s", kRegSz, {"x\0\0\0", 4}), false},
      {"number set to what it holds", set(u"d", kRegDword, {"\1\0\0\0", 4}), false},
      {"existing key created again",
       [](RegistryStore &store, RegKey key) {
         ScopedKey made(store);
         return store.CreateKey(key, u"Empty", kKeyWrite, made.Receive(), nullptr);
       },
       false},
      {"missing value deleted", [](RegistryStore &s, RegKey k) { return s.DeleteValue(k, u"no"); },
       false},
      {"missing key deleted", [](RegistryStore &s, RegKey k) { return s.DeleteTree(k, u"No"); },
       false},
      {"same bytes, other type", set(u"s", kRegExpandSz, {"x\0\0\0", 4}), true},
      {"other bytes", set(u"d", kRegDword, {"\2\0\0\0", 4}), true},
      {"value deleted", [](RegistryStore &s, RegKey k) { return s.DeleteValue(k, u"s"); }, true},
      {"empty key deleted", [](RegistryStore &s, RegKey k) { return s.DeleteKey(k, u"Empty"); },
       true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    WriteBytes(hive_, text);
    const auto written = fs::last_write_time(hive_) - std::chrono::hours(1);
    fs::last_write_time(hive_, written);
    HiveSession session;
    ASSERT_TRUE(session.Open(hive_).ok());
    {
      ScopedKey key(session.store());
      ASSERT_EQ(session.store().OpenKey(kHkeyCurrentUser, u"A", kKeyAllAccess, key.Receive()), 0);
      row.write(session.store(), key.get());
    }
    EXPECT_EQ(session.Changed(), row.changes);
    if (session.Changed()) {
      ASSERT_TRUE(session.Commit().ok());
    }
    EXPECT_EQ(ReadBytes(hive_) == text, !row.changes);
    EXPECT_EQ(fs::last_write_time(hive_) == written, !row.changes);
  }
}

#ifndef _WIN32
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

#endif  // _WIN32

TEST_F(HiveFileTest, SessionRefusesABadFileAndLeavesItAsItWas) {
  // Keys 500 levels deep, each level a key: 40 kB of text naming 10 million
  // units of paths, far more than a file of that size may make.
  std::string deep = "REGEDIT4\n";
  for (int i = 0; i < 40; ++i) {
    deep += "[HKCU\\w" + std::to_string(i);
    for (int level = 0; level < 500; ++level) deep += "\\k";
    deep += "]\n";
  }
  const struct {
    std::string bytes;
    StatusKind error;
    const char *words;
  } kCases[] = {
      {"\xFF\xFEW\0i\0n", StatusKind::kMalformed, "line 1: "},  // odd UTF-16 byte count
      {deep, StatusKind::kStore, "full paths would add up to more than"},
  };
  for (const auto &c : kCases) {
    WriteBytes(hive_, c.bytes);
    HiveSession session;
    const Status status = session.Open(hive_);
    EXPECT_EQ(status.error, c.error);
    EXPECT_NE(status.message.find(c.words), std::string::npos) << status.message;
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(session.Changed());
    EXPECT_EQ(ReadBytes(hive_), c.bytes);
    FileLock lock;
    EXPECT_TRUE(lock.Acquire(hive_ + ".lock", LockMode::kExclusive, NoWait()).ok());
  }
}

#ifndef _WIN32
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
#endif  // _WIN32

// Two locks on one lock file, as two commands would take them: readers
// share, a writer excludes everyone, and a refused one names the holder.
TEST_F(HiveFileTest, LocksShareAmongReadersAndExcludeWriters) {
  const struct {
    LockMode held;
    LockMode wanted;
    bool granted;
    const char *holder;  // in the refusal's message
  } kCases[] = {
      {LockMode::kShared, LockMode::kShared, true, ""},
      {LockMode::kShared, LockMode::kExclusive, false, "another process"},
      {LockMode::kExclusive, LockMode::kShared, false, "process "},
      {LockMode::kExclusive, LockMode::kExclusive, false, "process "},
  };
  const std::string lockPath = hive_ + ".lock";
  for (const auto &c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.held) * 2 + static_cast<int>(c.wanted));
    FileLock first;
    ASSERT_TRUE(first.Acquire(lockPath, c.held, NoWait()).ok());
    FileLock second;
    std::vector<std::string> notices;
    LockWait wait;
    wait.limit = std::chrono::milliseconds(50);
    wait.notice = [&](const std::string &line) { notices.push_back(line); };
    const Status status = second.Acquire(lockPath, c.wanted, wait);
    EXPECT_EQ(status.ok(), c.granted) << status.message;
    EXPECT_EQ(second.held(), c.granted);
    if (c.granted) continue;
    EXPECT_NE(status.message.find(std::string("locked by ") + c.holder), std::string::npos)
        << status.message;
    EXPECT_NE(status.message.find("--wait"), std::string::npos) << status.message;
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("waiting for " + lockPath + ", held by ", 0), 0u) << notices[0];
    first.Release();
    EXPECT_TRUE(second.Acquire(lockPath, c.wanted, NoWait()).ok());
  }
}

// Every name of one hive finds the same lock, and what is not a regular
// file is refused before anything waits on it.
TEST_F(HiveFileTest, SessionsLockTheFileNotTheNameAndRefuseWhatIsNoFile) {
  fs::create_directory(dir_ / "sub");
  HiveSession writer;
  ASSERT_TRUE(writer.Open(hive_).ok());
  std::vector<std::string> otherNames = {Utf8(dir_ / "." / "registry.reg"),
                                         Utf8(dir_ / "sub" / ".." / "registry.reg")};
#ifndef _WIN32
  fs::create_symlink("registry.reg", dir_ / "link.reg");
  otherNames.push_back(Utf8(dir_ / "link.reg"));
#else
  // The spellings the system takes for the same file: trailing dots and
  // spaces, other letter case, the folder's short name.
  wchar_t shortDir[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(dir_.c_str(), shortDir, MAX_PATH), 0u);
  for (const std::string &name : {hive_ + ".", hive_ + " . ", Utf8(dir_ / "REGISTRY.Reg"),
                                  Utf8(fs::path(shortDir) / "registry.reg")}) {
    otherNames.push_back(name);
  }
#endif
  for (const std::string &name : otherNames) {
    SCOPED_TRACE(name);
    HiveSession other;
    EXPECT_EQ(other.Open(name, LockMode::kExclusive, NoWait()).error, StatusKind::kIo);
    EXPECT_EQ(other.Open(name, LockMode::kShared, NoWait()).error, StatusKind::kIo);
  }
  writer.Close();

  std::vector<std::string> notFiles = {Utf8(dir_ / "sub")};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir_ / "fifo.reg").c_str(), 0600), 0);
  notFiles.push_back(Utf8(dir_ / "fifo.reg"));
  notFiles.push_back("/dev/zero");
#endif
  for (const std::string &name : notFiles) {
    SCOPED_TRACE(name);
    HiveSession session;
    const Status status = session.Open(name, LockMode::kShared, NoWait());
    EXPECT_EQ(status.error, StatusKind::kIo);
    EXPECT_FALSE(session.IsOpen());
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(name, &bytes).error, StatusKind::kIo);
    EXPECT_FALSE(WriteFileAtomically(name, "x").ok());
  }
}

// The hives a first run, a fresh temporary file or a long name give: each
// opens as the registry it holds, and a reader needs no folder to lock in.
TEST_F(HiveFileTest, EmptyMissingAndLongNamedHivesOpen) {
  WriteBytes(dir_ / "empty.reg", "");
  const std::string longName = std::string(240, 'h') + "\xED\x95\x9C.reg";  // 247 bytes
  const struct {
    std::string path;
    LockMode mode;
    bool opens;
  } kCases[] = {
      {Utf8(dir_ / "empty.reg"), LockMode::kExclusive, true},
      {Utf8(dir_ / "missing" / "registry.reg"), LockMode::kShared, true},
      {Utf8(dir_ / "missing" / "registry.reg"), LockMode::kExclusive, false},
      {Utf8(dir_ / longName), LockMode::kExclusive, true},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.path);
    HiveSession session;
    const Status status = session.Open(c.path, c.mode, NoWait());
    ASSERT_EQ(status.ok(), c.opens) << status.message;
    if (!c.opens) continue;
    EXPECT_TRUE(session.store().Snapshot().empty());
    if (c.mode != LockMode::kExclusive) {
      EXPECT_FALSE(session.Commit().ok());
      continue;
    }
    testing::WriteString(session.store(), kHkeyCurrentUser, u"A", u"v", u"1");
    const Status committed = session.Commit();
    EXPECT_TRUE(committed.ok()) << committed.message;
  }
  MemoryRegistryStore loaded;
  ASSERT_TRUE(LoadHive(Utf8(dir_ / longName), loaded).ok());
  EXPECT_EQ(testing::ReadString(loaded, kHkeyCurrentUser, u"A", u"v"), u"1");
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

// A save killed half-way leaves its temporary file; the next writer removes
// it, but never one of a writer that still runs.
TEST_F(HiveFileTest, WritersRemoveTheTemporariesOfDeadWriters) {
  constexpr std::uint64_t kDeadProcess = 0x7FFFFFF0;
  ASSERT_FALSE(ProcessIsRunning(kDeadProcess));
  ASSERT_TRUE(ProcessIsRunning(CurrentProcessId()));
  const std::string dead = TemporaryPath(hive_, kDeadProcess, 3);
  const std::string running = TemporaryPath(hive_, CurrentProcessId(), 7);
  const std::string other = Utf8(dir_ / "other.reg.tmp2147483632-0");
  for (const std::string &path : {dead, running, other}) WriteBytes(path, "half a hive");
  {
    HiveSession reader;
    ASSERT_TRUE(reader.Open(hive_, LockMode::kShared, NoWait()).ok());
  }
  EXPECT_TRUE(fs::exists(dead));
  HiveSession writer;
  ASSERT_TRUE(writer.Open(hive_, LockMode::kExclusive, NoWait()).ok());
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_TRUE(fs::exists(other));
}

// A lock or temporary file never stands for a hive, and a lock file is never
// written through: a link, another name of someone's file, or a file
// holding data is refused and left as it was, and a name that would make
// one hive's companion another hive is refused before anything is touched.
TEST_F(HiveFileTest, CompanionFilesAreNeverWrittenThroughNorTakenForHives) {
  const std::string victim = Utf8(dir_ / "victim.txt");
  const std::string a250 = Utf8(dir_ / std::string(250, 'a'));
  const struct {
    const char *name;
    std::string hive;
    std::function<void()> plant;  // beside the hive, before the command
  } kCases[] = {
      {"hive named as a lock", hive_ + ".lock", [] {}},
      {"hive named as a temporary", hive_ + ".tmp2147483632-0", [] {}},
      {"hive at 255 bytes named as a lock", a250 + ".lock", [] {}},
      {"lock holding another file's data", a250 + "b",
       [&] { WriteBytes(a250 + ".lock", "Windows Registry Editor Version 5.00\r\n"); }},
      {"lock planted as a hard link", hive_,
       [&] { fs::create_hard_link(victim, hive_ + ".lock"); }},
      {"lock that is a directory", hive_, [&] { fs::create_directory(hive_ + ".lock"); }},
#ifndef _WIN32
      {"lock planted as a link", hive_, [&] { fs::create_symlink(victim, hive_ + ".lock"); }},
#else
      {"hive named as a lock in capitals", hive_ + ".LOCK", [] {}},
#endif
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    WriteBytes(victim, "keep me");
    c.plant();
    const std::vector<std::string> before = Entries();
    HiveSession session;
    const Status status = session.Open(c.hive, LockMode::kExclusive, NoWait());
    EXPECT_EQ(status.error, StatusKind::kIo) << status.message;
    EXPECT_EQ(ReadBytes(victim), "keep me");
    EXPECT_EQ(Entries(), before);
  }
}

// A lock file removed or renamed away while a writer holds it: a writer
// waiting on it then locks the file the name has now, and the first writer
// refuses to save rather than lose the second's change.
TEST_F(HiveFileTest, AWriterWhoseLockFileWasReplacedDoesNotSave) {
  const std::string lock = hive_ + ".lock";
  const struct {
    const char *name;
    std::function<void()> replace;
  } kCases[] = {
#ifndef _WIN32  // Windows keeps a removed file until its last handle closes
      {"removed", [&] { fs::remove(lock); }},
#endif
      {"renamed away", [&] { fs::rename(lock, lock + ".old"); }},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    HiveSession first;
    ASSERT_TRUE(first.Open(hive_, LockMode::kExclusive, NoWait()).ok());
    testing::WriteString(first.store(), kHkeyCurrentUser, u"First", u"v", u"1");
    std::promise<void> waiting;
    const LockWait wait{std::chrono::seconds(30),
                        [&](const std::string &) { waiting.set_value(); }};
    HiveSession second;
    auto opened = std::async(std::launch::async,
                             [&] { return second.Open(hive_, LockMode::kExclusive, wait); });
    waiting.get_future().wait();
    c.replace();
    const Status refused = first.Commit();
    EXPECT_NE(refused.message.find("lock file was removed or replaced"), std::string::npos)
        << refused.message;
    first.Close();
    ASSERT_TRUE(opened.get().ok());
    testing::WriteString(second.store(), kHkeyCurrentUser, u"Second", u"v", u"1");
    ASSERT_TRUE(second.Commit().ok());
    MemoryRegistryStore loaded;
    ASSERT_TRUE(LoadHive(hive_, loaded).ok());
    EXPECT_EQ(testing::ReadString(loaded, kHkeyCurrentUser, u"Second", u"v"), u"1");
  }
}

#ifndef _WIN32
// A hive of another user keeps its owner when saved by one who may give it
// back (root), and is refused by one who may not.
TEST_F(HiveFileTest, SaveKeepsTheOwnerOrRefuses) {
  WriteBytes(hive_, "");
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"A", u"v", u"1");
  if (::geteuid() != 0) GTEST_SKIP() << "making a file of another user needs root";
  constexpr uid_t kOther = 4242;
  ASSERT_EQ(::chown(hive_.c_str(), kOther, kOther), 0);
  ASSERT_TRUE(SaveHive(hive_, store).ok());
  struct stat info {};
  ASSERT_EQ(::stat(hive_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kOther);
  EXPECT_EQ(info.st_gid, kOther);
  // A user who is not root may not give the file back: the save refuses.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chmod(dir_.c_str(), 0777) != 0 || ::setgid(4343) != 0 || ::setuid(4343) != 0) _exit(3);
    const Status status = SaveHive(hive_, store);
    _exit(!status.ok() && status.message.find("belongs to user 4242") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_EQ(::stat(hive_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kOther);
}
#endif  // _WIN32

}  // namespace
}  // namespace tolvane
