#include "cli/report.h"

#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(ReportTest, ValueDataTakesTheShapeOfItsType) {
  EXPECT_EQ(ValueDataJson(1, Bytes({'a', 0, 'b', 0, 0, 0})), "ab");
  EXPECT_EQ(ValueDataJson(4, Bytes({0x2a, 0, 0, 0})), 42);
  EXPECT_EQ(ValueDataJson(4, Bytes({0x2a, 0})), "2a,00");  // not 4 bytes: kept as bytes
  EXPECT_EQ(ValueDataJson(11, Bytes({1, 0, 0, 0, 0, 0, 0, 1})), 0x0100000000000001ull);
  EXPECT_EQ(ValueDataJson(7, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})),
            nlohmann::json::array({"a", "b"}));
  EXPECT_EQ(ValueDataJson(7, Bytes({0, 0})), nlohmann::json::array());
  EXPECT_EQ(ValueDataJson(3, Bytes({0x00, 0x7f, 0xff})), "00,7f,ff");
  EXPECT_EQ(ValueDataJson(3, ""), "");
  EXPECT_EQ(ValueTypeName(0x100), "REG_TYPE_256");
}

TEST(ReportTest, JsonCarriesTheContractMembers) {
  CallReport report;
  report.result = 1016;
  report.notifications = 2;
  report.messages = {"Failed to register the program."};
  Change set;
  set.kind = ChangeKind::kSetValue;
  set.key = u"HKEY_CLASSES_ROOT\\.zdw";
  set.type = 1;
  set.data = Bytes({'Z', 0, 0, 0});
  Change create;
  create.kind = ChangeKind::kCreateKey;
  create.key = u"HKEY_CLASSES_ROOT\\.zdw";
  report.changes = {create, set};
  report.extra["groups"] = {"x"};

  const nlohmann::json json = nlohmann::json::parse(ReportJson(report));
  EXPECT_EQ(json["result"], 1016);
  EXPECT_EQ(json["notifications"], 2);
  EXPECT_EQ(json["messages"][0], "Failed to register the program.");
  EXPECT_EQ(json["groups"][0], "x");
  ASSERT_EQ(json["changes"].size(), 2u);
  EXPECT_EQ(json["changes"][0],
            nlohmann::json({{"op", "create-key"}, {"key", "HKEY_CLASSES_ROOT\\.zdw"}}));
  EXPECT_EQ(json["changes"][1]["op"], "set-value");
  EXPECT_TRUE(json["changes"][1]["name"].is_null());
  EXPECT_EQ(json["changes"][1]["type"], "REG_SZ");
  EXPECT_EQ(json["changes"][1]["data"], "Z");
}

TEST(ReportTest, TextShowsChangesAsAKeyTree) {
  Change a;
  a.kind = ChangeKind::kCreateKey;
  a.key = u"HKEY_CLASSES_ROOT\\Doc\\shell";
  Change b;
  b.kind = ChangeKind::kSetValue;
  b.key = u"HKEY_CLASSES_ROOT\\Doc\\shell";
  b.hasName = true;
  b.name = u"Verb";
  b.type = 1;
  b.data = Bytes({'o', 0, 0, 0});
  Change c;
  c.kind = ChangeKind::kDeleteKey;
  c.key = u"HKEY_CURRENT_USER\\X";
  EXPECT_EQ(ChangeTree({a, b, c}),
            "HKEY_CLASSES_ROOT\n"
            "  Doc\n"
            "    shell  [created]\n"
            "        \"Verb\" = \"o\"  (REG_SZ)\n"
            "HKEY_CURRENT_USER\n"
            "  X  [deleted with everything beneath it]\n");
}

}  // namespace
}  // namespace tolvane::cli
