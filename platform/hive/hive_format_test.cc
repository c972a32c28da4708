// Reading and writing hive text: the regedit reference files must come out
// byte for byte, every value must survive a round trip, and every damaged
// file must be refused with the right line before anything is applied.
#include "platform/hive/hive_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/root_keys.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

std::string ReadSample(const std::string &name) {
  std::ifstream in(std::string(TOLVANE_REGEDIT_SAMPLES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A UTF-8 hive text with the 5.00 header and LF line ends.
std::string Hive(const std::string &body) {
  return "Windows Registry Editor Version 5.00\n\n" + body;
}

std::string Utf16File(TextView text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string HexOf(std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : data) {
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 0xF]);
  }
  return out;
}

// One line per operation: "[KEY]", "[-KEY]", "name=type:hex", "name=-".
std::string Describe(const std::vector<HiveOperation> &operations) {
  std::string out;
  for (const HiveOperation &op : operations) {
    std::string key = Utf16ToUtf8(RootKeyName(op.root));
    if (!op.path.empty()) key += "\\" + Utf16ToUtf8(op.path);
    const std::string name = op.name.empty() ? "@" : Utf16ToUtf8(op.name);
    switch (op.kind) {
      case HiveOperationKind::kCreateKey:
        out += "[" + key + "]";
        break;
      case HiveOperationKind::kDeleteTree:
        out += "[-" + key + "]";
        break;
      case HiveOperationKind::kSetValue:
        out += name + "=" + std::to_string(op.type) + ":" + HexOf(op.data);
        break;
      case HiveOperationKind::kDeleteValue:
        out += name + "=-";
        break;
    }
    out += "\n";
  }
  return out;
}

// Parses and applies; the parse must succeed.
void Load(std::string_view bytes, MemoryRegistryStore &store) {
  std::vector<HiveOperation> operations;
  const Status parsed = ParseHive(bytes, &operations);
  ASSERT_TRUE(parsed.ok()) << parsed.message;
  const Status applied = ApplyHive(operations, store);
  ASSERT_TRUE(applied.ok()) << applied.message;
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

std::string Serialize(const std::vector<StoredKey> &keys) {
  std::string bytes;
  const Status status = SerializeHiveUtf16(keys, &bytes);
  EXPECT_TRUE(status.ok()) << status.message;
  return bytes;
}

TEST(HiveFormatTest, RegeditSamplesRoundTripByteForByte) {
  const struct {
    const char *file;
    const char16_t *key;
  } kSamples[] = {
      {"types-and-subkeys.reg", u"Software\\Fixture\\Types"},
      {"strings-and-names.reg", u"Software\\Fixture\\Strings"},
      {"hex-line-wrap.reg", u"Software\\Fixture\\Wrap"},
  };
  for (const auto &sample : kSamples) {
    SCOPED_TRACE(sample.file);
    const std::string original = ReadSample(sample.file);
    ASSERT_FALSE(original.empty());
    MemoryRegistryStore store;
    Load(original, store);
    std::vector<StoredKey> keys;
    ASSERT_EQ(store.SnapshotTree(kHkeyCurrentUser, sample.key, &keys), kErrorSuccess);
    EXPECT_EQ(Serialize(keys), original);
  }
}

TEST(HiveFormatTest, Utf8FormIsTheSameTextForATerminal) {
  const std::string original = ReadSample("strings-and-names.reg");
  MemoryRegistryStore store;
  Load(original, store);
  std::vector<StoredKey> keys;
  ASSERT_EQ(store.SnapshotTree(kHkeyCurrentUser, u"Software\\Fixture\\Strings", &keys), 0);
  Text units;
  for (std::size_t i = 2; i + 1 < original.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(original[i]) |
                                          (static_cast<unsigned char>(original[i + 1]) << 8)));
  }
  std::string crlf;
  ASSERT_TRUE(SerializeHiveUtf8(keys, &crlf).ok());
  EXPECT_EQ(crlf, Utf16ToUtf8(units));
  std::string lf;
  ASSERT_TRUE(SerializeHiveUtf8(keys, &lf, false).ok());
  EXPECT_EQ(lf.find('\r'), std::string::npos);
  // Both read back to the same keys and values.
  MemoryRegistryStore again;
  Load(lf, again);
  std::vector<StoredKey> reread;
  ASSERT_EQ(again.SnapshotTree(kHkeyCurrentUser, u"Software\\Fixture\\Strings", &reread), 0);
  EXPECT_EQ(Serialize(reread), original);
}

StoredValue Value(const char16_t *name, std::uint32_t type, std::string data) {
  return StoredValue{name, type, std::move(data)};
}

std::string Sz(TextView text) {
  std::string data;
  for (const char16_t unit : text) {
    data.push_back(static_cast<char>(unit & 0xFF));
    data.push_back(static_cast<char>(unit >> 8));
  }
  return data + std::string(2, '\0');
}

// Which form each value takes, and that the form reads back to the same
// type and bytes: text and dword: only where they carry the data exactly.
TEST(HiveFormatTest, ValueFormsKeepEveryByte) {
  const struct {
    StoredValue value;
    const char16_t *line;
  } kCases[] = {
      {Value(u"v", kRegSz, Sz(u"ab")), u"\"v\"=\"ab\""},
      {Value(u"v", kRegSz, Sz(u"")), u"\"v\"=\"\""},
      {Value(u"v", kRegSz, ""), u"\"v\"=hex(1):"},
      {Value(u"v", kRegSz, std::string("a\0\0", 3)), u"\"v\"=hex(1):61,00,00"},
      {Value(u"v", kRegSz, std::string("a\0\0\0b\0\0\0", 8)),
       u"\"v\"=hex(1):61,00,00,00,62,00,00,00"},
      {Value(u"v", kRegSz, std::string("a\0b\0", 4)), u"\"v\"=hex(1):61,00,62,00"},
      {Value(u"v", kRegSz, Sz(u"q\"b\\s\r\n\t\x01")), u"\"v\"=\"q\\\"b\\\\s\\r\\n\t\x01\""},
      {Value(u"n\"a\\m\ne\r", kRegSz, Sz(u"x")), u"\"n\\\"a\\\\m\\ne\\r\"=\"x\""},
      {Value(u"@", kRegSz, Sz(u"x")), u"\"@\"=\"x\""},
      {Value(u"", kRegBinary, "\x7f"), u"@=hex:7f"},
      {Value(u"v", kRegDword, std::string("\xab\x12\0\0", 4)), u"\"v\"=dword:000012ab"},
      {Value(u"v", kRegDword, "\xab\x12"), u"\"v\"=hex(4):ab,12"},
      {Value(u"v", kRegDword, ""), u"\"v\"=hex(4):"},
      {Value(u"v", kRegDword, std::string("\1\0\0\0\0", 5)), u"\"v\"=hex(4):01,00,00,00,00"},
      {Value(u"v", kRegBinary, ""), u"\"v\"=hex:"},
      {Value(u"v", kRegExpandSz, Sz(u"%A%")), u"\"v\"=hex(2):25,00,41,00,25,00,00,00"},
      {Value(u"v", 0x100, "\xdd"), u"\"v\"=hex(100):dd"},
      {Value(u"v", 0xffffffffu, "\xff"), u"\"v\"=hex(ffffffff):ff"},
      {Value(u"\xD83D\xDE00", kRegSz, Sz(u"\xD800")), u"\"\xD83D\xDE00\"=\"\xD800\""},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(Utf16ToUtf8(c.line));
    const std::vector<StoredKey> keys = {{u"HKEY_CLASSES_ROOT\\K", {c.value}}};
    Text text;
    ASSERT_TRUE(FormatHiveText(keys, &text).ok());
    const Text expected = Text(u"Windows Registry Editor Version 5.00\r\n\r\n") +
                          u"[HKEY_CLASSES_ROOT\\K]\r\n" + c.line + u"\r\n\r\n";
    EXPECT_EQ(text, expected);

    std::vector<HiveOperation> operations;
    ASSERT_TRUE(ParseHive(Utf16File(text), &operations).ok());
    ASSERT_EQ(operations.size(), 2u);
    EXPECT_EQ(operations[1].name, c.value.name);
    EXPECT_EQ(operations[1].type, c.value.type);
    EXPECT_EQ(HexOf(operations[1].data), HexOf(c.value.data));
  }
}

TEST(HiveFormatTest, WholeStoreRoundTripsWithEmptyKeysAndRootValues) {
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyClassesRoot, u".zdw", u"", u"Zdw.Document");
  testing::WriteString(store, kHkeyLocalMachine, u"Software\\Empty\\Deeper\\Still", nullptr,
                       nullptr);
  testing::WriteString(store, kHkeyUsers, u"", u"at root", u"1");
  testing::WriteString(store, kHkeyCurrentUser, u"with space [br]\\a]b", u"k", u"v");
  std::string long_binary(300, '\x5a');
  RegKey key = kNoKey;
  ASSERT_EQ(store.CreateKey(kHkeyCurrentConfig, u"Data", kKeyAllAccess, &key, nullptr), 0);
  ASSERT_EQ(store.SetValue(key, u"blob", kRegBinary, long_binary.data(), 300), 0);
  ASSERT_EQ(store.SetValue(key, u"odd", kRegSz, "abc", 3), 0);
  ASSERT_EQ(store.CloseKey(key), 0);

  const std::string first = Serialize(store.Snapshot());
  std::string direct;  // written straight from the store: the same bytes
  ASSERT_TRUE(SerializeStoreUtf16(store, &direct, 7).ok());
  EXPECT_EQ(direct, first);
  MemoryRegistryStore copy;
  Load(first, copy);
  EXPECT_EQ(Serialize(copy.Snapshot()), first);
  EXPECT_TRUE(testing::KeyExists(copy, kHkeyLocalMachine, u"Software\\Empty\\Deeper\\Still"));
  std::uint32_t type = 0;
  char data[8] = {};
  std::uint32_t size = sizeof data;
  ASSERT_EQ(copy.OpenKey(kHkeyCurrentConfig, u"Data", kKeyRead, &key), 0);
  EXPECT_EQ(copy.QueryValue(key, u"odd", &type, data, &size), 0);
  EXPECT_EQ(copy.CloseKey(key), 0);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(data, size), "abc");
}

TEST(HiveFormatTest, WriterRefusesAKeyNameWithALineBreak) {
  const std::vector<StoredKey> keys = {{u"HKEY_CURRENT_USER\\a\nb", {}}};
  std::string bytes = "untouched";
  const Status status = SerializeHiveUtf16(keys, &bytes);
  EXPECT_EQ(status.error, StatusKind::kMalformed);
  EXPECT_TRUE(bytes.empty());
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"a\nb", u"v", u"x");
  bytes = "untouched";
  EXPECT_EQ(SerializeStoreUtf16(store, &bytes).message, status.message);
  EXPECT_TRUE(bytes.empty());
}

// A key path of `levels` components below HKCU, as written in a key line.
std::string DeepPath(std::size_t levels) {
  std::string path = "HKCU";
  for (std::size_t i = 0; i < levels; ++i) path += "\\k";
  return path;
}

TEST(HiveFormatTest, AcceptsEveryToleratedForm) {
  const struct {
    const char *name;
    std::string bytes;
    const char *expected;
  } kCases[] = {
      {"short roots and LF", Hive("[HKCU\\A]\n@=\"x\"\n[hklm\\B\\C]\n"),
       "[HKEY_CURRENT_USER\\A]\n@=1:78000000\n[HKEY_LOCAL_MACHINE\\B\\C]\n"},
      {"CR line ends, no final break",
       "Windows Registry Editor Version 5.00\r\r[HKCR\\A]\r\"n\"=dword:1",
       "[HKEY_CLASSES_ROOT\\A]\nn=4:01000000\n"},
      {"REGEDIT4 and UTF-8 BOM", "\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKU\\A]\r\n\"k\"=\"\xC3\xA9\"\r\n",
       "[HKEY_USERS\\A]\nk=1:e9000000\n"},
      {"blanks, comments and spacing",
       Hive("; leading comment\n  [HKCC\\A]  ; note\n\t\"n\" = dword: 0000002A "
            "; c\n\n"
            "@ = \"v\" ;c\n\"s\"=\"a;b\"\n"),
       "[HKEY_CURRENT_CONFIG\\A]\nn=4:2a000000\n@=1:76000000\ns=1:"
       "61003b0062000000\n"},
      {"hex forms",
       Hive("[HKCU\\A]\n\"a\"=hex(B):01,02,\n\"b\"=hex():1,F\n\"c\"=hex(07):\n"
            "\"d\"=hex: 01, 02 ; c\n"),
       "[HKEY_CURRENT_USER\\A]\na=11:0102\nb=0:010f\nc=7:\nd=3:0102\n"},
      {"continuations with gaps",
       Hive("[HKCU\\A]\n\"a\"=hex:01,02,\\\n\n; inside\n      "
            "03,\\\n04\n\"b\"=hex:\\\n  05\n"),
       "[HKEY_CURRENT_USER\\A]\na=3:01020304\nb=3:05\n"},
      {"names and escapes",
       Hive("[HKCU\\A]\n\"\"=\"d\"\n\"@\"=\"e\"\n\"x\\\"y\\\\z\\n\\r\"="
            "\"1\\\\2\"\n\"=]\"=\"\"\n"),
       "[HKEY_CURRENT_USER\\A]\n@=1:64000000\n@=1:65000000\nx\"y\\z\n\r=1:"
       "31005c0032000000\n"
       "=]=1:0000\n"},
      {"deletions", Hive("[-HKCU\\A\\B]\n[HKCU\\A]\n\"n\"=-\n@=- ; gone\n"),
       "[-HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\A]\nn=-\n@=-\n"},
      {"odd key paths", Hive("[HKCU\\A\\\\B\\]\n[HKEY_CURRENT_USER\\with [br]] ; c\n[HKCU]\n"),
       "[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\with "
       "[br]]\n[HKEY_CURRENT_USER]\n"},
      {"REGEDIT4 8-bit text",
       "REGEDIT4\n[HKCU\\A]\n\"e\"=hex(2):25,50,25,00\n\"m\"=hex(7):61,00,00\n",
       "[HKEY_CURRENT_USER\\A]\ne=2:2500500025000000\nm=7:610000000000\n"},
      {"header only", "Windows Registry Editor Version 5.00", ""},
      {"key 512 levels deep", Hive("[" + DeepPath(512) + "]\n"),
       nullptr},  // checked by its operation count below
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<HiveOperation> operations;
    const Status status = ParseHive(c.bytes, &operations);
    ASSERT_TRUE(status.ok()) << status.message;
    if (c.expected == nullptr) {
      EXPECT_EQ(operations.size(), 1u);
      continue;
    }
    EXPECT_EQ(Describe(operations), c.expected);
  }
}

TEST(HiveFormatTest, RefusesDamagedFilesNamingTheLine) {
  const std::string kLongName(256, 'k');
  const struct {
    const char *name;
    std::string bytes;
    std::size_t line;
    const char *problem;
  } kCases[] = {
      {"empty file", "", 1, "empty"},
      {"wrong version", "Windows Registry Editor Version 6.00\n", 1, "header"},
      {"space after header", "Windows Registry Editor Version 5.00 \n", 1, "header"},
      {"blank line first", "\nWindows Registry Editor Version 5.00\n", 1, "header"},
      {"lower-case header", "windows registry editor version 5.00\n", 1, "header"},
      {"UTF-16 without BOM", Utf16File(u"Windows").substr(2), 1, "byte-order mark"},
      {"UTF-16 big-endian", "\xFE\xFF\0W", 1, "big-endian"},
      {"odd UTF-16 byte count", Utf16File(u"REGEDIT4\r\n\r\n[HKCU\\A]") + "x", 3, "odd byte"},
      {"odd count after final break", Utf16File(u"REGEDIT4\r\n") + "x", 2, "odd byte"},
      {"NUL character", Utf16File(Text(u"REGEDIT4\r\n[HKCU\\A]\r\n\"a\"=\"b") + u'\0' + u"\""), 3,
       "NUL"},
      {"invalid UTF-8", Hive("[HKCU\\A]\n\"a\"=\"\xC3\x28\"\n"), 4, "UTF-8"},
      {"value before any key", Hive("\"a\"=\"b\"\n"), 3, "before the first"},
      {"unknown root", Hive("[HKEY_NOWHERE\\A]\n"), 3, "unknown root key \"HKEY_NOWHERE\""},
      {"space before root", Hive("[ HKCU\\A]\n"), 3, "unknown root"},
      {"no closing bracket", Hive("[HKCU\\A\n"), 3, "closing ']'"},
      {"text after bracket", Hive("[HKCU\\A] x\n"), 3, "after the closing ']'"},
      {"root deletion", Hive("[-HKCU]\n"), 3, "root key cannot be deleted"},
      {"empty key", Hive("[]\n"), 3, "empty key"},
      {"key name too long", Hive("[HKCU\\" + kLongName + "]\n"), 3, "longer than 255"},
      {"deleted key name too long", Hive("[HKCU\\A]\n[-HKCU\\A\\" + kLongName + "]\n"), 4,
       "longer than 255"},
      {"key 513 levels deep", Hive("[HKCU\\A]\n\n[" + DeepPath(513) + "]\n"), 5,
       "deeper than 512 levels"},
      {"value after deletion", Hive("[-HKCU\\A]\n\"a\"=\"b\"\n"), 4, "after a key deletion"},
      {"four-digit hex byte", Hive("[HKCU\\A]\n\"a\"=hex:0102\n"), 4, "more than two digits"},
      {"space before comma", Hive("[HKCU\\A]\n\"a\"=hex:01 ,02\n"), 4, "','"},
      {"doubled comma", Hive("[HKCU\\A]\n\"a\"=hex:01,,02\n"), 4, "bad hex byte"},
      {"not hex", Hive("[HKCU\\A]\n\"a\"=hex:zz\n"), 4, "bad hex byte"},
      {"0x type", Hive("[HKCU\\A]\n\"a\"=hex(0x7):01\n"), 4, "value type"},
      {"REGEDIT4 8-bit text without a code page", "REGEDIT4\n[HKCU\\A]\n\"e\"=hex(2):e9,00\n", 3,
       "needs a code page"},
      {"type too long", Hive("[HKCU\\A]\n\"a\"=hex(100000000):01\n"), 4, "more than 8"},
      {"upper-case HEX", Hive("[HKCU\\A]\n\"a\"=HEX(7):01\n"), 4, "unrecognised value data"},
      {"nine-digit dword", Hive("[HKCU\\A]\n\"a\"=dword:000000001\n"), 4, "more than 8"},
      {"0x dword", Hive("[HKCU\\A]\n\"a\"=dword:0x1\n"), 4, "bad dword"},
      {"empty dword", Hive("[HKCU\\A]\n\"a\"=dword:\n"), 4, "bad dword"},
      {"upper-case DWORD", Hive("[HKCU\\A]\n\"a\"=DWORD:1\n"), 4, "unrecognised value data"},
      {"unterminated string", Hive("[HKCU\\A]\n\"a\"=\"b\n"), 4, "unterminated"},
      {"string ending in backslash", Hive("[HKCU\\A]\n\"a\"=\"b\\\n\"\n"), 4, "unterminated"},
      {"unterminated name", Hive("[HKCU\\A]\n\"a=1\n"), 4, "unterminated"},
      {"tab escape", Hive("[HKCU\\A]\n\"a\"=\"x\\ty\"\n"), 4, "unknown escape \"\\t\""},
      {"NUL escape", Hive("[HKCU\\A]\n\"a\\0\"=\"x\"\n"), 4, "unknown escape"},
      {"junk after string", Hive("[HKCU\\A]\n\"a\"=\"b\"c\n"), 4, "after the closing quote"},
      {"unquoted name", Hive("[HKCU\\A]\na=\"b\"\n"), 4, "unrecognised line"},
      {"missing equals", Hive("[HKCU\\A]\n\"a\" \"b\"\n"), 4, "'='"},
      {"missing data", Hive("[HKCU\\A]\n\"a\"=\n"), 4, "unrecognised value data"},
      {"junk after deletion", Hive("[HKCU\\A]\n\"a\"=-1\n"), 4, "after '-'"},
      {"continuation into a value", Hive("[HKCU\\A]\n\"a\"=hex:01,\\\n\"b\"=dword:1\n"), 5,
       "continuing the value of line 4"},
      {"file ends in a continuation", Hive("[HKCU\\A]\n\"a\"=hex:01,\\\n\n; c\n"), 6,
       "ends inside the hex value of line 4"},
      {"text after continuation", Hive("[HKCU\\A]\n\"a\"=hex:01,\\ x\n  02\n"), 4,
       "after the continuation"},
      {"garbage", Hive("[HKCU\\A]\n\"a\"=\"b\"\n\n\n%%%\n"), 7, "unrecognised line \"%%%\""},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<HiveOperation> operations(1);
    const Status status = ParseHive(c.bytes, &operations);
    EXPECT_EQ(status.error, StatusKind::kMalformed);
    EXPECT_EQ(status.line, c.line);
    EXPECT_EQ(status.message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
        << status.message;
    EXPECT_NE(status.message.find(c.problem), std::string::npos) << status.message;
    EXPECT_TRUE(operations.empty());
  }
}

TEST(HiveFormatTest, ApplyCreatesDeletesAndClosesEveryKey) {
  MemoryRegistryStore store;
  testing::WriteString(store, kHkeyCurrentUser, u"Old\\Child", u"v", u"1");
  testing::WriteString(store, kHkeyCurrentUser, u"Keep", u"gone", u"1");
  testing::WriteString(store, kHkeyCurrentUser, u"Keep", u"stays", u"1");
  Load(Hive("[-HKCU\\Old]\n[-HKCU\\Missing\\Tree]\n[HKCU\\Keep]\n\"gone\"=-"
            "\n\"never\"=-\n"
            "[HKCU\\OnlyDeletes]\n@=-\n[HKCU\\New\\Deep]\n\"n\"=dword:7\n\"n\"="
            "dword:8\n"),
       store);
  EXPECT_FALSE(testing::KeyExists(store, kHkeyCurrentUser, u"Old"));
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Keep", u"gone"), u"<missing>");
  EXPECT_EQ(testing::ReadString(store, kHkeyCurrentUser, u"Keep", u"stays"), u"1");
  EXPECT_TRUE(testing::KeyExists(store, kHkeyCurrentUser, u"OnlyDeletes"));
  std::vector<StoredKey> keys;
  ASSERT_EQ(store.SnapshotTree(kHkeyCurrentUser, u"New\\Deep", &keys), 0);
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);  // the later duplicate wins
  EXPECT_EQ(keys[0].values[0].data, std::string("\x08\0\0\0", 4));
}

TEST(HiveFormatTest, ApplyReportsTheLineTheStoreRefused) {
  std::vector<HiveOperation> operations;
  ASSERT_TRUE(
      ParseHive(Hive("[HKCU\\A]\n\"a\"=\"1\"\n[HKCU\\B]\n\"b\"=\"2\"\n"), &operations).ok());
  const struct {
    StoreOperation operation;
    std::uint64_t nth;
    std::size_t line;
  } kCases[] = {
      {StoreOperation::kSetValue, 2, 6},
      {StoreOperation::kCreateKey, 1, 3},
      {StoreOperation::kCreateKey, 2, 5},
  };
  for (const auto &c : kCases) {
    MemoryRegistryStore memory;
    FaultInjectingRegistryStore store(memory);
    store.FailNth(c.operation, c.nth, kErrorAccessDenied);
    const Status status = ApplyHive(operations, store);
    EXPECT_EQ(status.error, StatusKind::kStore);
    EXPECT_EQ(status.line, c.line);
    EXPECT_NE(status.message.find("(error 5)"), std::string::npos) << status.message;
    EXPECT_EQ(store.OpenKeyCount(), 0u);
  }
}

// The reader passes over several units at a time while no line end or NUL
// is among them: each must still be found at every offset of a long line.
TEST(HiveFormatTest, FindsLineEndsAndNulsAtEveryOffsetOfALine) {
  const struct {
    const char *name;
    TextView mark;              // put between a comment and a key line
    std::size_t refusedOnLine;  // 0: read as two lines
  } kCases[] = {
      {"CR", u"\r", 0},
      {"LF", u"\n", 0},
      {"CR LF", u"\r\n", 0},
      {"NUL", TextView(u"\0", 1), 3},
  };
  for (const auto &c : kCases) {
    for (std::size_t offset = 0; offset < 17; ++offset) {
      const Text text = u"REGEDIT4\r\n\r\n;" + Text(offset, u'x') + Text(c.mark) +
                        u"[HKCU\\A] ; a comment long enough for a few words";
      for (const std::string &bytes : {Utf16File(text), Utf16ToUtf8(text)}) {
        SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(offset) +
                     (bytes[0] == '\xFF' ? " units, UTF-16" : " units, UTF-8"));
        std::vector<HiveOperation> operations;
        const Status status = ParseHive(bytes, &operations);
        if (c.refusedOnLine != 0) {
          EXPECT_EQ(status.line, c.refusedOnLine);
          EXPECT_NE(status.message.find("NUL"), std::string::npos) << status.message;
          continue;
        }
        ASSERT_TRUE(status.ok()) << status.message;
        EXPECT_EQ(Describe(operations), "[HKEY_CURRENT_USER\\A]\n");
        EXPECT_EQ(operations[0].line, 4u);
      }
    }
  }
}

// The operation list is sized from the text once; a file of blank lines
// (no operations) reserves room in proportion to its bytes, not 120 bytes
// for every line.
TEST(HiveFormatTest, BlankLinesReserveLittleRoom) {
  const std::string bytes = "REGEDIT4\n" + std::string(1 << 20, '\n') + "[HKCU\\A]\n";
  std::vector<HiveOperation> operations;
  ASSERT_TRUE(ParseHive(bytes, &operations).ok());
  EXPECT_EQ(Describe(operations), "[HKEY_CURRENT_USER\\A]\n");
  EXPECT_LE(operations.capacity() * sizeof(HiveOperation), 8 * bytes.size());
}

// A value operation acts on the key the key operation before it opened; a
// list with no such key (which the reader never makes) is refused whole.
TEST(HiveFormatTest, ApplyRefusesAValueWithNoCurrentKey) {
  const auto op = [](HiveOperationKind kind, std::size_t line) {
    HiveOperation made;
    made.kind = kind;
    made.line = line;
    if (kind == HiveOperationKind::kCreateKey || kind == HiveOperationKind::kDeleteTree) {
      made.root = kHkeyCurrentUser;
      made.path = u"A";
    }
    return made;
  };
  using Kind = HiveOperationKind;
  const struct {
    const char *name;
    std::vector<HiveOperation> operations;
  } kCases[] = {
      {"set first", {op(Kind::kSetValue, 3)}},
      {"delete first", {op(Kind::kDeleteValue, 3)}},
      {"after a key deletion",
       {op(Kind::kCreateKey, 3), op(Kind::kDeleteTree, 4), op(Kind::kSetValue, 5)}},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    MemoryRegistryStore store;
    const Status status = ApplyHive(c.operations, store);
    EXPECT_EQ(status.error, StatusKind::kMalformed);
    EXPECT_EQ(status.line, c.operations.back().line);
    EXPECT_EQ(store.OpenKeyCount(), 0u);
  }
}

}  // namespace
}  // namespace tolvane
