// The registry-backed resolution of the portable build against the shell's
// own (AssocQueryStringW), both reading the same scratch classes of the
// system registry; and the exported association operations of the built
// library. Windows build only (the test program runs on Windows or Wine).
//
// The portable rule is compared only where it and the shell agree. Where the
// shell resolves differently it is not asserted, because Windows and Wine
// differ among themselves; what Wine 8 does there:
//  - the executable must exist: a missing file fails, a bare name is found
//    on the search path;
//  - an unquoted command with blanks is tried at growing prefixes, so
//    C:\Program Files\App.exe /x may resolve to the whole path;
//  - a REG_EXPAND_SZ command is not expanded (so it fails);
//  - a ProgID that has no "open" command does not fall back to the
//    extension's own command;
//  - a ProgID queried directly follows its default value as if it named
//    another class;
//  - leading blanks in the command resolve to the current directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assoc/file_ext_association.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_open_executable_query.h"
#include "platform/win32/win32_registry_store.h"

namespace tolvane {
namespace {

constexpr char16_t kExtension[] = u".tolvanecmp";
constexpr char16_t kProgId[] = u"Tolvane.CmpDocument.1";
constexpr char16_t kOtherProgId[] = u"Tolvane.CmpOther.1";
constexpr char16_t kMissingProgId[] = u"Tolvane.CmpMissing.1";
constexpr char16_t kPerUserExtension[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.tolvanecmp";

// Scratch classes in the system registry, removed before and after each test.
// They go to HKEY_CURRENT_USER\Software\Classes where the classes root shows
// that tree (Windows); Wine 8 does not merge it into the classes root, so
// there they go to the classes root itself.
class ScratchClasses {
 public:
  explicit ScratchClasses(RegistryStore& registry) : registry_(registry) {
    RemoveAll();
    Write(kOtherProgId, nullptr, kRegSz, u"probe");
    ScopedKey probe(registry_);
    if (registry_.OpenKey(kHkeyClassesRoot, kOtherProgId, kKeyRead, probe.Receive()) !=
        kErrorSuccess) {
      RemoveAll();
      root_ = kHkeyClassesRoot;
      prefix_.clear();
    }
    probe.Reset();
    RemoveAll();
  }
  ~ScratchClasses() { RemoveAll(); }

  // Creates the class path (relative to the classes root) and, with data,
  // sets its value name.
  void Write(const char16_t* path, const char16_t* name, std::uint32_t type, const char16_t* data) {
    const Text full = prefix_ + path;
    ScopedKey key(registry_);
    ASSERT_EQ(registry_.CreateKey(root_, full.c_str(), kKeyAllAccess, key.Receive(), nullptr),
              kErrorSuccess);
    if (data != nullptr) {
      const auto bytes = static_cast<std::uint32_t>((TextLength(data) + 1) * sizeof(char16_t));
      ASSERT_EQ(registry_.SetValue(key.get(), name, type, data, bytes), kErrorSuccess);
    }
  }

  void RemoveAll() {
    for (const char16_t* name : {kExtension, kProgId, kOtherProgId, kMissingProgId}) {
      registry_.DeleteTree(root_, (prefix_ + name).c_str());
    }
    registry_.DeleteTree(kHkeyCurrentUser, kPerUserExtension);
  }

 private:
  RegistryStore& registry_;
  RegKey root_ = kHkeyCurrentUser;
  Text prefix_ = u"Software\\Classes\\";
};

// Two empty files standing in for programs: one in a directory whose name
// holds a blank, one beside it in the temporary directory.
class ScratchPrograms {
 public:
  ScratchPrograms() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return;
    root_ = std::wstring(temp, length);  // ends with a backslash
    ::CreateDirectoryW((root_ + L"tolvane cmp").c_str(), nullptr);
    spaced_ = Create(root_ + L"tolvane cmp\\App.exe");
    plain_ = Create(root_ + L"tolvane_cmp_plain.exe");
  }
  ~ScratchPrograms() {
    ::DeleteFileW((root_ + L"tolvane cmp\\App.exe").c_str());
    ::DeleteFileW((root_ + L"tolvane_cmp_plain.exe").c_str());
    ::RemoveDirectoryW((root_ + L"tolvane cmp").c_str());
  }
  const Text& spaced() const { return spaced_; }
  const Text& plain() const { return plain_; }

 private:
  static Text Create(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Text();
    ::CloseHandle(file);
    return win32::TextOf(path.c_str(), path.size());
  }

  std::wstring root_;
  Text spaced_;
  Text plain_;
};

struct ClassValue {
  const char16_t* path;
  std::uint32_t type;
  Text data;  // empty: only the key is created
};

struct ComparisonCase {
  const char* name;
  std::vector<ClassValue> classes;
  const char16_t* association;
  Text expected;  // empty: no executable
};

TEST(OpenExecutableComparison, PortableResolutionAgreesWithTheShell) {
  const ScratchPrograms programs;
  ASSERT_FALSE(programs.spaced().empty());
  ASSERT_FALSE(programs.plain().empty());
  // The unquoted case needs a path without blanks (the shell would try the
  // growing prefixes of one that has them).
  const bool plainHasNoBlank = programs.plain().find(u' ') == Text::npos;

  const Text progIdCommand = Text(kProgId) + u"\\shell\\open\\command";
  const Text extensionCommand = Text(kExtension) + u"\\shell\\open\\command";
  const Text quotedSpaced = u"\"" + programs.spaced() + u"\" \"%1\"";
  const std::vector<ComparisonCase> cases = {
      {"QuotedPathWithBlanks",
       {{progIdCommand.c_str(), kRegSz, quotedSpaced}},
       kProgId,
       programs.spaced()},
      {"UnquotedPath",
       {{progIdCommand.c_str(), kRegSz, programs.plain() + u" /open \"%1\""}},
       kProgId,
       plainHasNoBlank ? programs.plain() : Text()},
      {"UnclosedQuote",
       {{progIdCommand.c_str(), kRegSz, u"\"" + programs.spaced()}},
       kProgId,
       programs.spaced()},
      {"ExtensionThroughItsProgId",
       {{kExtension, kRegSz, kProgId},
        {extensionCommand.c_str(), kRegSz, programs.plain()},
        {progIdCommand.c_str(), kRegSz, quotedSpaced}},
       kExtension,
       programs.spaced()},
      {"ExtensionWithoutProgId",
       {{extensionCommand.c_str(), kRegSz, quotedSpaced}},
       kExtension,
       programs.spaced()},
      {"ExtensionWithMissingProgIdKey",
       {{kExtension, kRegSz, kMissingProgId}, {extensionCommand.c_str(), kRegSz, quotedSpaced}},
       kExtension,
       programs.spaced()},
      {"ProgIdWithoutCommand", {{kProgId, kRegSz, u"Document"}}, kProgId, Text()},
      {"UnknownExtension", {}, kExtension, Text()},
      {"CommandKeyWithoutValue", {{progIdCommand.c_str(), kRegSz, Text()}}, kProgId, Text()},
      {"EmptyQuotedExecutable",
       {{progIdCommand.c_str(), kRegSz, u"\"\" " + programs.plain()}},
       kProgId,
       Text()},
  };

  Win32RegistryStore registry;
  Win32OpenExecutableQuery shell;
  RegistryOpenExecutableQuery portable(registry);
  for (const ComparisonCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "UnquotedPath" && !plainHasNoBlank) continue;
    ScratchClasses scratch(registry);
    for (const ClassValue& v : c.classes) {
      scratch.Write(v.path, nullptr, v.type, v.data.empty() ? nullptr : v.data.c_str());
    }
    Text fromShell = u"stale";
    Text fromRegistry = u"stale";
    const bool shellFound = shell.QueryOpenExecutable(c.association, &fromShell);
    const bool registryFound = portable.QueryOpenExecutable(c.association, &fromRegistry);
    EXPECT_EQ(shellFound, !c.expected.empty());
    EXPECT_EQ(registryFound, !c.expected.empty());
    EXPECT_TRUE(EqualsNoCase(fromShell, c.expected)) << Utf16ToUtf8(fromShell);
    EXPECT_TRUE(EqualsNoCase(fromRegistry, c.expected)) << Utf16ToUtf8(fromRegistry);
  }
}

// A hive's resolution with the shell's locator (the Windows dry run) reads
// every command form as the shell reads it: each row is run both ways.
TEST(OpenExecutableComparison, LocatedResolutionIsTheShells) {
  const ScratchPrograms programs;
  ASSERT_FALSE(programs.spaced().empty());
  Text slashed = programs.plain();
  for (char16_t& unit : slashed) unit = unit == u'\\' ? u'/' : unit;
  const Text missing = u"C:\\tolvane-no-such-folder\\App.exe";
  const struct {
    const char* name;
    Text command;
    bool found;
  } kCases[] = {
      {"Quoted", u"\"" + programs.spaced() + u"\" \"%1\"", true},
      {"UnquotedWithBlanks", programs.spaced() + u" /open \"%1\"", true},
      {"UnquotedPlain", programs.plain() + u" %1", true},
      {"BareNameOnTheSearchPath", u"notepad.exe %1", true},
      {"ForwardSlashes", slashed + u" %1", true},
      {"MissingQuoted", u"\"" + missing + u"\" %1", false},
      {"MissingUnquoted", missing + u" %1", false},
  };
  Win32RegistryStore registry;
  Win32OpenExecutableQuery shell;
  RegistryOpenExecutableQuery located(registry, ProcessEnvironment, LocateOnSearchPath);
  const Text progIdCommand = Text(kProgId) + u"\\shell\\open\\command";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchClasses scratch(registry);
    scratch.Write(progIdCommand.c_str(), nullptr, kRegSz, c.command.c_str());
    Text fromShell;
    Text fromHive;
    EXPECT_EQ(shell.QueryOpenExecutable(kProgId, &fromShell), c.found);
    EXPECT_EQ(located.QueryOpenExecutable(kProgId, &fromHive), c.found);
    EXPECT_TRUE(EqualsNoCase(fromHive, fromShell))
        << Utf16ToUtf8(fromHive) << " / " << Utf16ToUtf8(fromShell);
  }
}

// The built library, called by name as outside programs call it, on the
// system registry and shell.
class AssocExports : public ::testing::Test {
 protected:
  using ChangeFunction = std::int32_t(__cdecl*)(const wchar_t*, const wchar_t*);
  using NotifyFunction = std::int32_t(__cdecl*)();

  void SetUp() override {
    wchar_t host[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, host, MAX_PATH + 1);
    ASSERT_TRUE(length > 0 && length <= MAX_PATH);
    std::wstring path(host, length);
    path.resize(path.find_last_of(L'\\') + 1);
    library_.Reset(::LoadLibraryW((path + L"tolvane.dll").c_str()));
    ASSERT_TRUE(library_) << "error " << ::GetLastError();
    change_ = reinterpret_cast<ChangeFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library_.get(), "ChangeFileExtAssociation")));
    notify_ = reinterpret_cast<NotifyFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library_.get(), "SendAssocChangedNotify")));
    ASSERT_NE(change_, nullptr);
    ASSERT_NE(notify_, nullptr);
  }

  Text ReadDefault(const Text& path, const char16_t* name) {
    ScopedKey key(registry_);
    if (registry_.OpenKey(kHkeyClassesRoot, path.c_str(), kKeyRead, key.Receive()) !=
        kErrorSuccess) {
      return u"<missing>";
    }
    char16_t data[kPathBufferUnits] = {};
    std::uint32_t bytes = sizeof data - sizeof(char16_t);
    if (registry_.QueryValue(key.get(), name, nullptr, data, &bytes) != kErrorSuccess) {
      return u"<missing>";
    }
    return data;
  }

  Win32RegistryStore registry_;
  win32::UniqueModule library_;
  ChangeFunction change_ = nullptr;
  NotifyFunction notify_ = nullptr;
};

TEST_F(AssocExports, ChangeFileExtAssociationPointsTheExtensionAtTheProgId) {
  const ScratchPrograms programs;
  ScratchClasses scratch(registry_);
  const Text command = u"\"" + programs.spaced() + u"\" \"%1\"";
  scratch.Write((Text(kProgId) + u"\\shell\\open\\command").c_str(), nullptr, kRegSz,
                command.c_str());
  scratch.Write(kExtension, nullptr, kRegSz, kOtherProgId);

  EXPECT_EQ(change_(L"tolvanecmp", win32::AsWide(kProgId)), kAssocRefused);
  EXPECT_EQ(change_(win32::AsWide(kExtension), win32::AsWide(kMissingProgId)), kAssocRefused);
  EXPECT_EQ(ReadDefault(kExtension, nullptr), kOtherProgId);

  EXPECT_EQ(change_(win32::AsWide(kExtension), win32::AsWide(kProgId)), kAssocChanged);
  EXPECT_EQ(ReadDefault(kExtension, nullptr), kProgId);
  Text executable;
  Win32OpenExecutableQuery shell;
  ASSERT_TRUE(shell.QueryOpenExecutable(kExtension, &executable));
  EXPECT_TRUE(EqualsNoCase(executable, programs.spaced())) << Utf16ToUtf8(executable);
  // Already associated: answered without a write.
  EXPECT_EQ(change_(win32::AsWide(kExtension), win32::AsWide(kProgId)), kAssocChanged);
  EXPECT_EQ(notify_(), 0);
}

}  // namespace
}  // namespace tolvane
