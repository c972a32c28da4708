#include "script/replacement_map.h"

#include <gtest/gtest.h>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

TEST(ReplacementMapTest, FindsTheFirstEntryWithoutRegardToCase) {
  testing::TestPlatform t;
  ReplacementMap map;
  EXPECT_EQ(map.Find(u"PATH"), nullptr);
  ASSERT_EQ(map.Add(u"PATH", u"C:\\First\\"), kSOk);
  ASSERT_EQ(map.Add(u"path", u"C:\\Second\\"), kSOk);
  ASSERT_EQ(map.Add(u"Module", u""), kSOk);
  EXPECT_EQ(map.count(), 3u);
  EXPECT_EQ(ViewOf(map.Find(u"Path")), u"C:\\First\\");
  EXPECT_EQ(ViewOf(map.Find(u"pAtH")), u"C:\\First\\");
  EXPECT_EQ(ViewOf(map.Find(u"MODULE")), u"");
  EXPECT_NE(map.Find(u"MODULE"), nullptr);
  EXPECT_EQ(map.Find(u"PATHS"), nullptr);
  EXPECT_EQ(map.Find(nullptr), nullptr);
}

TEST(ReplacementMapTest, KeepsPrivateCopiesAndClears) {
  testing::TestPlatform t;
  ReplacementMap map;
  char16_t name[] = u"DIR";
  char16_t value[] = u"one";
  ASSERT_EQ(map.Add(name, value), kSOk);
  name[0] = u'X';
  value[0] = u'X';
  EXPECT_EQ(ViewOf(map.Find(u"DIR")), u"one");

  EXPECT_EQ(map.Add(nullptr, u"v"), kEInvalidArg);
  EXPECT_EQ(map.Add(u"n", nullptr), kEInvalidArg);
  EXPECT_EQ(map.count(), 1u);

  EXPECT_EQ(map.Clear(), kSOk);
  EXPECT_EQ(map.count(), 0u);
  EXPECT_EQ(map.Find(u"DIR"), nullptr);

  void* object = &map;
  EXPECT_EQ(map.QueryInterface(nullptr, &object), kENotImpl);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(map.AddRef(), 1u);
  EXPECT_EQ(map.Release(), 0u);
}

}  // namespace
}  // namespace tolvane
