#include "script/script_engine.h"
#include "script/key_block_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::Dump;
using testing::KeyExists;
using testing::ReadString;
using testing::TestPlatform;
using testing::WriteString;
using Lines = std::vector<std::string>;

class ScriptEngineTest : public ::testing::Test {
 protected:
  ScriptEngineTest() { EXPECT_EQ(map_.Add(u"PATH", u"C:\\Suite\\Bin\\"), kSOk); }

  // Applies script and checks that no key stayed open.
  HResult Apply(const Text& script) {
    ScriptParser parser{map_};
    const HResult hr = ApplyScript(t_.platform, parser, script.c_str());
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u) << Utf16ToUtf8(script);
    EXPECT_EQ(parser.cursor, nullptr);
    return hr;
  }

  void Write(RegKey root, const char16_t* path, const char16_t* name, const char16_t* value) {
    WriteString(t_.registry, root, path, name, value);
  }

  TestPlatform t_;
  ReplacementMap map_;
};

TEST_F(ScriptEngineTest, RegistersKeysAndValues) {
  const Text script =
      u"HKCR\r\n{\r\n"
      u"\tZdw.Document.8 = s 'Zdw Document'\r\n\t{\r\n"
      u"\t\tDefaultIcon = s '%PATH%Zdw.exe,1'\r\n"
      u"\t\tshell = s 'Open' { open { command = s '%PATH%Zdw.exe \"%%1\"' } }\r\n"
      u"\t\tVAL Flags = d '17'\r\n"
      u"\t\tval Blob = b 0aFF\r\n"
      u"\t\tval 'Two Parts' = m 'one\\0two'\r\n"
      u"\t}\r\n"
      u"\tNoRemove CLSID { ForceRemove {5B0C2E11-7D3A} = s 'Zdw' { Insertable } }\r\n"
      u"}\r\n"
      u"hkey_current_user { val Direct = s 'root' Software { NoRemove val Seen = s '' } }";
  ASSERT_EQ(Apply(script), kSOk);
  EXPECT_EQ(Dump(t_.memory),
            (Lines{
                "HKEY_CLASSES_ROOT\\CLSID",
                "HKEY_CLASSES_ROOT\\CLSID\\{5B0C2E11-7D3A}",
                "HKEY_CLASSES_ROOT\\CLSID\\{5B0C2E11-7D3A}|=Zdw",
                "HKEY_CLASSES_ROOT\\CLSID\\{5B0C2E11-7D3A}\\Insertable",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8|=Zdw Document",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8|Flags=11000000",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8|Blob=0aff",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8|Two Parts=6f006e006500000074007700"
                "6f0000000000",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\DefaultIcon",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\DefaultIcon|=C:\\Suite\\Bin\\Zdw.exe,1",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\shell",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\shell|=Open",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\shell\\open",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\shell\\open\\command",
                "HKEY_CLASSES_ROOT\\Zdw.Document.8\\shell\\open\\command|=C:\\Suite\\Bin\\Zdw.exe "
                "\"%1\"",
                "HKEY_CURRENT_USER",
                "HKEY_CURRENT_USER|Direct=root",
                "HKEY_CURRENT_USER\\Software",
                "HKEY_CURRENT_USER\\Software|Seen=",
            }));
  // A second run rewrites the same state.
  ASSERT_EQ(Apply(script), kSOk);
  EXPECT_EQ(Dump(t_.memory).size(), 20u);
}

TEST_F(ScriptEngineTest, ReadsTextExactlyAsTokens) {
  // "Name=" is one token; the type letter and value text become key names.
  // A token beginning with "{" after a root name opens its block; a key
  // named like "{x}" is ordinary; any token beginning with "}" closes.
  ASSERT_EQ(Apply(u"HKCU {rest-ignored  Name= s 'v w' {x} }tail"), kSOk);
  EXPECT_EQ(Dump(t_.memory), (Lines{"HKEY_CURRENT_USER\\Name=", "HKEY_CURRENT_USER\\s",
                                    "HKEY_CURRENT_USER\\v w", "HKEY_CURRENT_USER\\{x}"}));
}

TEST_F(ScriptEngineTest, EmptyAndMalformedScripts) {
  struct Case {
    const char16_t* script;
    HResult status;
    Lines left = {};
  };
  const Case cases[] = {
      {u"", kSOk},
      {u"HKCR { }", kSOk},
      {u"HKCR { } \r\n\t ", kSOk},
      {u" \r\n\r\n", kDispEException},
      {u"HKXX { A }", kDispEException},
      {u"HKCR A { }", kDispEException},
      {u"HKCR", kDispEException},
      {u"HKCR {", kDispEException},
      // The undo meets the same fault and stops before deleting A.
      {u"HKCR { A { }", kDispEException, {"HKEY_CLASSES_ROOT\\A"}},
      {u"HKCR { A\\B }", kDispEException},
      {u"HKCR { '' }", kDispEException},
      {u"HKCR { ForceRemove 'A\\B' }", kDispEException},
      {u"HKCR { val x s 'y' }", kDispEException},
      {u"HKCR { A = q 'y' }", kDispEException},
      {u"HKCR { A = b 'abc' }", kEFail},
      {u"HKCR { A = s 'open }", kDispEException, {"HKEY_CLASSES_ROOT\\A"}},
      {u"HKCR { %PATH }", kDispEException},
      {u"HKCR { %UNKNOWN% }", kDispEException},
      {u"HKCR { %ThisNameIsLongerThanThirtyOneUnits% }", kEFail},
      // A block has a key only after a key entry.
      {u"HKCR { val x = s 'y' { B } }", kDispEException},
      {u"HKCR { Delete A { B } }", kDispEException},
      {u"HKCR { Delete A = s 'v' { B } }", kDispEException},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.script));
    t_.memory.Clear();
    EXPECT_EQ(Apply(c.script), c.status);
    EXPECT_EQ(Dump(t_.memory), c.left);
  }
}

TEST_F(ScriptEngineTest, ForceRemoveReplacesAWholeTree) {
  Write(kHkeyClassesRoot, u"Foo", u"Old", u"1");
  Write(kHkeyClassesRoot, u"Foo\\Sub\\Deep", u"", u"2");
  Write(kHkeyClassesRoot, u"Foo\\Other", nullptr, nullptr);
  ASSERT_EQ(Apply(u"HKCR { ForceRemove Foo = s 'new' { Kept } ForceRemove Missing { A } }"), kSOk);
  EXPECT_EQ(Dump(t_.memory), (Lines{"HKEY_CLASSES_ROOT\\Foo", "HKEY_CLASSES_ROOT\\Foo|=new",
                                    "HKEY_CLASSES_ROOT\\Foo\\Kept", "HKEY_CLASSES_ROOT\\Missing",
                                    "HKEY_CLASSES_ROOT\\Missing\\A"}));
}

TEST_F(ScriptEngineTest, DeleteRemovesTheTreeAndCreatesNothing) {
  Write(kHkeyCurrentUser, u"Software\\Gone\\Child", u"v", u"1");
  ASSERT_EQ(Apply(u"HKCU { Software { Delete gone = s 'ignored' After } }"), kSOk);
  EXPECT_EQ(Dump(t_.memory),
            (Lines{"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\Software\\After"}));
  // A key that is not there is nothing to delete.
  ASSERT_EQ(Apply(u"HKCU { Delete Gone }"), kSOk);
}

TEST_F(ScriptEngineTest, ProtectedNamesAreNeverRemoved) {
  for (const char16_t* name : ProtectedKeyNames) {
    Write(kHkeyClassesRoot, (Text(name) + u"\\Child").c_str(), u"v", u"1");
  }
  const Lines before = Dump(t_.memory);
  for (const char16_t* name : ProtectedKeyNames) {
    Text lower(name);
    for (char16_t& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    SCOPED_TRACE(Utf16ToUtf8(lower));
    ASSERT_EQ(Apply(u"HKCR { Delete '" + lower + u"' }"), kSOk);
    EXPECT_EQ(Dump(t_.memory), before);
  }
  // After "ForceRemove" the protected key is still opened and filled.
  ASSERT_EQ(Apply(u"HKCR { ForceRemove CLSID { val Added = s 'x' } }"), kSOk);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u"CLSID\\Child", u"v"), u"1");
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u"CLSID", u"Added"), u"x");
}

TEST_F(ScriptEngineTest, ReadOnlyKeyFailsWithAccessDeniedAndIsUndone) {
  Write(kHkeyClassesRoot, u"Locked", u"", u"keep");
  ASSERT_EQ(t_.registry.Restrict(kHkeyClassesRoot, u"Locked",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  const Lines before = Dump(t_.memory);
  // Writing a value to the key, or creating a key beneath it.
  for (const char16_t* script : {u"HKCR { Mine { Sub } Locked { val x = s 'y' } }",
                                 u"HKCR { Mine { Sub } Locked { New } }"}) {
    SCOPED_TRACE(Utf16ToUtf8(script));
    EXPECT_EQ(Apply(script), static_cast<HResult>(0x80070005u));
    EXPECT_EQ(Dump(t_.memory), before);
  }
  // Reading through the key still works.
  Write(kHkeyClassesRoot, u"Open\\Existing", nullptr, nullptr);
  ASSERT_EQ(t_.registry.Restrict(kHkeyClassesRoot, u"Open",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  EXPECT_EQ(Apply(u"HKCR { Open { Existing { val z = s '1' } } }"), kSOk);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u"Open\\Existing", u"z"), u"1");
}

TEST_F(ScriptEngineTest, FailureInALaterRootBlockKeepsEarlierBlocks) {
  const HResult hr = Apply(
      u"HKCR { First = s '1' }\r\n"
      u"HKCU { Second { val a = s 'x' } Bad = z 'q' }\r\n"
      u"HKLM { Never }\r\n");
  EXPECT_EQ(hr, kDispEException);
  EXPECT_EQ(Dump(t_.memory), (Lines{"HKEY_CLASSES_ROOT\\First", "HKEY_CLASSES_ROOT\\First|=1"}));
}

TEST_F(ScriptEngineTest, UndoLeavesExactlyWhatUnregisteringKeeps) {
  // State before the run: some of it named by the script.
  Write(kHkeyClassesRoot, u"CLSID\\{Other}", nullptr, nullptr);
  Write(kHkeyClassesRoot, u"App", u"Pre", u"existing");
  Write(kHkeyClassesRoot, u"App", u"Unnamed", u"stays");
  Write(kHkeyClassesRoot, u"App\\Foreign", nullptr, nullptr);
  Write(kHkeyClassesRoot, u"Plain", u"Old", u"goes with its key");
  Write(kHkeyClassesRoot, u"Sibling", nullptr, nullptr);
  const Text script =
      u"HKCR {\r\n"
      u"  NoRemove CLSID { ForceRemove {Mine} = s 'class' { InprocServer32 = s 'x.dll' } }\r\n"
      u"  App { val Pre = s 'rewritten' val Added = s 'a' NoRemove val Guarded = s 'g' }\r\n"
      u"  Plain = s 'p'\r\n"
      u"  NoRemove Held { Inner }\r\n"
      u"  Broken = b 123\r\n"
      u"  Sibling\r\n"
      u"  Absent { Deeper { val v = s 'v' } }\r\n"
      u"}\r\n";
  EXPECT_EQ(Apply(script), kEFail);
  // Deleted: the class key tree, App's named values but the guarded one,
  // Plain with all its values, Held's subkey, Broken, and Sibling (named by
  // the script after the fault). Kept: CLSID (NoRemove), App (has a subkey
  // the script does not name), Held (NoRemove).
  EXPECT_EQ(Dump(t_.memory),
            (Lines{"HKEY_CLASSES_ROOT\\App", "HKEY_CLASSES_ROOT\\App|Unnamed=stays",
                   "HKEY_CLASSES_ROOT\\App|Guarded=g", "HKEY_CLASSES_ROOT\\App\\Foreign",
                   "HKEY_CLASSES_ROOT\\CLSID", "HKEY_CLASSES_ROOT\\CLSID\\{Other}",
                   "HKEY_CLASSES_ROOT\\Held"}));
}

TEST_F(ScriptEngineTest, UndoOfAClassUnderNoRemoveClsid) {
  Write(kHkeyClassesRoot, u"CLSID\\{Existing}\\InprocServer32", u"", u"other.dll");
  const Text script =
      u"HKCR { NoRemove CLSID {\r\n"
      u"  {New} = s 'New class' { InprocServer32 = s '%PATH%new.dll' { val ThreadingModel = s "
      u"'Apartment' } ProgID = s 'New.1' }\r\n"
      u"  {Existing} { val Extra = s 'e' }\r\n"
      u"  {Late} = x 'bad'\r\n"
      u"} }";
  EXPECT_EQ(Apply(script), kDispEException);
  EXPECT_EQ(Dump(t_.memory),
            (Lines{"HKEY_CLASSES_ROOT\\CLSID", "HKEY_CLASSES_ROOT\\CLSID\\{Existing}",
                   "HKEY_CLASSES_ROOT\\CLSID\\{Existing}\\InprocServer32",
                   "HKEY_CLASSES_ROOT\\CLSID\\{Existing}\\InprocServer32|=other."
                   "dll"}));
}

TEST_F(ScriptEngineTest, UndoDoesNotLoseItsPlaceInsideAMissingKey) {
  // Registration stops at the refused create of Denied; the undo walks
  // Denied's block as missing and meets a fault there. It must not read on
  // and take "Victim" (named one level deeper) for a key of the root.
  Write(kHkeyClassesRoot, u"Victim", u"v", u"precious");
  const Lines before = Dump(t_.memory);
  t_.registry.FailNth(StoreOperation::kCreateKey, 1, kErrorAccessDenied);
  EXPECT_EQ(Apply(u"HKCR { Denied { Bad\\Name Victim } }"), HResultFromError(kErrorAccessDenied));
  t_.registry.ClearFault();
  EXPECT_EQ(Dump(t_.memory), before);
}

TEST_F(ScriptEngineTest, NestingDepthIsBounded) {
  auto nested = [](std::size_t levels) {
    Text script = u"HKCU {";
    for (std::size_t i = 1; i < levels; ++i) script += u" K {";
    for (std::size_t i = 0; i < levels; ++i) script += u" }";
    return script;
  };
  ASSERT_EQ(Apply(nested(kMaxBlockDepth)), kSOk);
  EXPECT_EQ(Dump(t_.memory).size(), kMaxBlockDepth - 1);
  // The 64 keys are written before the block too deep for them is met; the
  // undo stops at the same fault, before it deletes any of them.
  t_.memory.Clear();
  EXPECT_EQ(Apply(nested(kMaxBlockDepth + 1)), kDispEException);
  EXPECT_EQ(Dump(t_.memory).size(), kMaxBlockDepth);
  // Far deeper than any stack would take if every level recursed.
  t_.memory.Clear();
  EXPECT_EQ(Apply(nested(100000)), kDispEException);
  EXPECT_EQ(Dump(t_.memory).size(), kMaxBlockDepth);
}

TEST_F(ScriptEngineTest, OpensReadOnlyOnlyAKeyThatRefusesWriting) {
  // Every key entry starts with the read-write create; a key that refuses
  // it is used read-only.
  Write(kHkeyClassesRoot, u"Locked", nullptr, nullptr);
  ASSERT_EQ(t_.registry.Restrict(kHkeyClassesRoot, u"Locked",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  t_.registry.ClearLog();
  ASSERT_EQ(Apply(u"HKCR { New Locked }"), kSOk);
  std::vector<std::uint32_t> opens;
  for (const StoreCall& call : t_.registry.Log()) {
    if (call.operation == StoreOperation::kOpenKey ||
        call.operation == StoreOperation::kCreateKey) {
      opens.push_back(call.access | (call.operation == StoreOperation::kCreateKey ? 1u << 31 : 0));
    }
  }
  EXPECT_EQ(opens, (std::vector<std::uint32_t>{kKeyReadWrite | 1u << 31, kKeyReadWrite | 1u << 31,
                                               kKeyRead}));
}

TEST_F(ScriptEngineTest, AsksForTheRightAccessAtEachStep) {
  Write(kHkeyClassesRoot, u"Tree\\Leaf", nullptr, nullptr);
  t_.registry.ClearLog();
  EXPECT_EQ(Apply(u"HKCR { ForceRemove Tree { val v = s 'x' } Bad = z 'y' }"), kDispEException);
  std::vector<std::string> calls;
  for (const StoreCall& call : t_.registry.Log()) {
    if (call.operation == StoreOperation::kCloseKey) continue;
    char line[160];
    std::snprintf(line, sizeof line, "%d %s|%s %05x %d", static_cast<int>(call.operation),
                  Utf16ToUtf8(call.path).c_str(), Utf16ToUtf8(call.name).c_str(), call.access,
                  call.result);
    calls.push_back(line);
  }
  const auto op = [](StoreOperation o) { return std::to_string(static_cast<int>(o)) + " "; };
  const std::string tree = "HKEY_CLASSES_ROOT\\Tree";
  const std::string bad = "HKEY_CLASSES_ROOT\\Bad";
  EXPECT_EQ(calls, (Lines{
                       // ForceRemove: the tree, children first.
                       op(StoreOperation::kOpenKey) + tree + "| 2001f 0",
                       op(StoreOperation::kEnumKey) + tree + "| 00000 0",
                       op(StoreOperation::kOpenKey) + tree + "\\Leaf| 2001f 0",
                       op(StoreOperation::kEnumKey) + tree + "\\Leaf| 00000 259",
                       op(StoreOperation::kDeleteKey) + tree + "\\Leaf| 00000 0",
                       op(StoreOperation::kEnumKey) + tree + "| 00000 259",
                       op(StoreOperation::kDeleteKey) + tree + "| 00000 0",
                       // The key entry: read-write, then read, then create.
                       op(StoreOperation::kCreateKey) + tree + "| 2001f 0",
                       op(StoreOperation::kSetValue) + tree + "|v 00000 0",
                       op(StoreOperation::kCreateKey) + bad + "| 2001f 0",
                       // The undo: keys for reading, values through a
                       // second handle on the parent for writing.
                       op(StoreOperation::kOpenKey) + tree + "| 20019 0",
                       op(StoreOperation::kOpenKey) + tree + "| 20006 0",
                       op(StoreOperation::kDeleteValue) + tree + "|v 00000 0",
                       op(StoreOperation::kQueryInfoKey) + tree + "| 00000 0",
                       op(StoreOperation::kDeleteKey) + tree + "| 00000 0",
                       op(StoreOperation::kOpenKey) + bad + "| 20019 0",
                       op(StoreOperation::kQueryInfoKey) + bad + "| 00000 0",
                       op(StoreOperation::kDeleteKey) + bad + "| 00000 0",
                   }));
}

TEST_F(ScriptEngineTest, StoreFailureAtEveryStepLeavesNoKeyOpen) {
  const Text script =
      u"HKCR { NoRemove Keep { ForceRemove Tree = s 'd' { A { val x = s '1' } B = d 7 }\r\n"
      u"  Delete Old val Top = m 'a\\0b' } }\r\n"
      u"HKCU { Second { val y = b 00 } }";
  auto seed = [this] {
    t_.memory.Clear();
    Write(kHkeyClassesRoot, u"Keep\\Tree\\Stale\\Deeper", u"s", u"1");
    Write(kHkeyClassesRoot, u"Keep\\Old\\Child", nullptr, nullptr);
  };
  seed();
  ASSERT_EQ(Apply(script), kSOk);
  const Lines complete = Dump(t_.memory);

  // Count the store calls of a clean run, then fail each one in turn.
  seed();
  t_.registry.ClearLog();
  ASSERT_EQ(Apply(script), kSOk);
  std::size_t calls = 0;
  for (const StoreCall& call : t_.registry.Log()) {
    if (call.operation != StoreOperation::kCloseKey) ++calls;
  }
  ASSERT_GT(calls, 20u);
  for (std::size_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE(n);
    seed();
    t_.registry.FailNth(StoreOperation::kAny, n, kErrorRegistryIoFailed);
    const HResult hr = Apply(script);
    t_.registry.ClearFault();
    // A failed read-write open falls back to a read-only one, which then
    // refuses the write with access denied.
    EXPECT_TRUE(hr == kSOk || hr == HResultFromError(kErrorRegistryIoFailed) ||
                hr == HResultFromError(kErrorAccessDenied))
        << hr;
    if (hr == kSOk) {
      // Only a failure inside a removal, which registering ignores, lets
      // the run succeed: everything is written, stale keys may remain.
      const Lines state = Dump(t_.memory);
      for (const std::string& line : complete) {
        EXPECT_NE(std::find(state.begin(), state.end(), line), state.end()) << line;
      }
    }
  }
  // Closing keys that fail to close still releases them.
  seed();
  t_.registry.FailNth(StoreOperation::kCloseKey, 1, kErrorRegistryIoFailed);
  EXPECT_EQ(Apply(script), kSOk);
}

TEST_F(ScriptEngineTest, StoreFailuresBecomeResultCodes) {
  struct Case {
    StoreOperation operation;
    std::uint64_t nth;
    ErrorCode code;
    HResult status;
    Lines state;
  };
  const Case cases[] = {
      {StoreOperation::kCreateKey, 1, kErrorAccessDenied, static_cast<HResult>(0x80070005u), {}},
      {StoreOperation::kCreateKey,
       2,
       kErrorRegistryIoFailed,
       static_cast<HResult>(0x800703F8u),
       {}},
      {StoreOperation::kSetValue, 1, kErrorNotEnoughMemory, static_cast<HResult>(0x80070008u), {}},
      // A large number keeps only its low 16 bits.
      {StoreOperation::kSetValue, 2, 0x12345, static_cast<HResult>(0x80072345u), {}},
      // Registering ignores a failed removal: the entry is written anyway.
      {StoreOperation::kDeleteKey,
       1,
       kErrorAccessDenied,
       kSOk,
       {"HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A|=a", "HKEY_CURRENT_USER\\A\\B",
        "HKEY_CURRENT_USER\\A\\B|v=1", "HKEY_CURRENT_USER\\A\\Gone"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.operation));
    t_.memory.Clear();
    Write(kHkeyCurrentUser, u"A\\Gone", nullptr, nullptr);
    t_.registry.FailNth(c.operation, c.nth, c.code);
    EXPECT_EQ(Apply(u"HKCU { ForceRemove A = s 'a' { B { val v = s '1' } } }"), c.status);
    t_.registry.ClearFault();
    EXPECT_EQ(Dump(t_.memory), c.state);
  }
}

TEST_F(ScriptEngineTest, DeleteKeyTreeAndHasSubkeys) {
  Write(kHkeyCurrentUser, u"T\\a\\1", u"v", u"x");
  Write(kHkeyCurrentUser, u"T\\a\\2", nullptr, nullptr);
  Write(kHkeyCurrentUser, u"T\\b", nullptr, nullptr);
  Write(kHkeyCurrentUser, u"T\\c\\locked\\under", nullptr, nullptr);
  Write(kHkeyCurrentUser, u"Other", nullptr, nullptr);
  {
    ScopedKey key(t_.registry);
    ASSERT_EQ(t_.registry.OpenKey(kHkeyCurrentUser, u"T", kKeyRead, key.Receive()), 0);
    EXPECT_TRUE(HasSubkeys(t_.registry, key.get()));
    ASSERT_EQ(t_.registry.OpenKey(kHkeyCurrentUser, u"T\\b", kKeyRead, key.Receive()), 0);
    EXPECT_FALSE(HasSubkeys(t_.registry, key.get()));
    EXPECT_FALSE(HasSubkeys(t_.registry, kNoKey));
  }
  ASSERT_EQ(t_.registry.Restrict(kHkeyCurrentUser, u"T\\c\\locked",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  // The restricted key stops the walk: what came before it is gone.
  EXPECT_EQ(DeleteKeyTree(t_.registry, kHkeyCurrentUser, u"T"), kErrorAccessDenied);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
  EXPECT_EQ(Dump(t_.memory),
            (Lines{"HKEY_CURRENT_USER\\Other", "HKEY_CURRENT_USER\\T", "HKEY_CURRENT_USER\\T\\c",
                   "HKEY_CURRENT_USER\\T\\c\\locked", "HKEY_CURRENT_USER\\T\\c\\locked\\under"}));
  ASSERT_EQ(t_.registry.Restrict(kHkeyCurrentUser, u"T\\c\\locked",
                                 FaultInjectingRegistryStore::Restriction::kNone),
            kErrorSuccess);
  EXPECT_EQ(DeleteKeyTree(t_.registry, kHkeyCurrentUser, u"t"), kErrorSuccess);
  EXPECT_EQ(DeleteKeyTree(t_.registry, kHkeyCurrentUser, u"T"), kErrorFileNotFound);
  // An empty name would address the parent itself.
  EXPECT_EQ(DeleteKeyTree(t_.registry, kHkeyCurrentUser, u""), kErrorInvalidParameter);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
  EXPECT_EQ(Dump(t_.memory), (Lines{"HKEY_CURRENT_USER\\Other"}));
}

TEST_F(ScriptEngineTest, UnregisterModeDirectly) {
  // The walk of an undo, run by itself over a prepared state.
  Write(kHkeyCurrentUser, u"A", u"x", u"1");
  Write(kHkeyCurrentUser, u"A", u"y", u"2");
  Write(kHkeyCurrentUser, u"A\\B", u"z", u"3");
  Write(kHkeyCurrentUser, u"C\\D", nullptr, nullptr);
  Write(kHkeyCurrentUser, u"E", nullptr, nullptr);
  const Text body =
      u" A = s 'ignored' { val x = s 'q' B { val nothing = s '' } }"
      u" ForceRemove C { val absent = d 1 }"
      u" Delete E"
      u" Missing { Inner { val v = s 'v' } }"
      u" }";
  ScriptParser parser{map_, body.c_str()};
  ScriptWalk walk(t_.registry, t_.text, parser);
  EXPECT_EQ(ApplyKeyBlock(walk, kHkeyCurrentUser, ScriptMode::kUnregister, false, 1), kSOk);
  EXPECT_EQ(Text(walk.token), u"}");
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
  // A goes with its unnamed value once B is gone; C keeps its subkey.
  EXPECT_EQ(Dump(t_.memory), (Lines{"HKEY_CURRENT_USER\\C", "HKEY_CURRENT_USER\\C\\D"}));

  // A key that cannot be opened for reading: its block is only read, then
  // its code ends the walk.
  Write(kHkeyCurrentUser, u"Shut\\In", nullptr, nullptr);
  Write(kHkeyCurrentUser, u"Spare", nullptr, nullptr);
  ASSERT_EQ(t_.registry.Restrict(kHkeyCurrentUser, u"Shut",
                                 FaultInjectingRegistryStore::Restriction::kUnopenable),
            kErrorSuccess);
  const Text shut = u" Shut { In } Spare }";
  parser.cursor = shut.c_str();
  EXPECT_EQ(ApplyKeyBlock(walk, kHkeyCurrentUser, ScriptMode::kUnregister, false, 1),
            HResultFromError(kErrorAccessDenied));
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
  EXPECT_TRUE(KeyExists(t_.registry, kHkeyCurrentUser, u"Spare"));
}

}  // namespace
}  // namespace tolvane
