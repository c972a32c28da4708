// Registry name folding as measured on the system registry. The contract
// suite checks the whole table against the real registry; these cases pin
// the units where a simpler fold would go wrong.
#include "platform/registry_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>

namespace tolvane {
namespace {

// The units of a name in hexadecimal, for failure messages.
std::string Units(TextView text) {
  std::string out;
  char buffer[8];
  for (const char16_t u : text) {
    std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(u));
    out += buffer;
  }
  return out;
}

TEST(RegistryNames, FoldsEveryScriptWithCasePairs) {
  const struct {
    const char16_t* a;
    const char16_t* b;
  } kSame[] = {
      {u"Software", u"SOFTWARE"}, {u"\u00C4\u0178", u"\u00E4\u00FF"},  // Latin-1, y with diaeresis
      {u"\u01C4", u"\u01C6"},  // DZ with caron: upper and lower
      {u"\u03A3", u"\u03C3"},  // sigma
      {u"\u0531", u"\u0561"},  // Armenian
      {u"\u10A0", u"\u2D00"},  // Georgian
      {u"\u13A0", u"\uAB70"},  // Cherokee
      {u"\u24B6", u"\u24D0"},  // circled A
      {u"\uFF21", u"\uFF41"},  // full-width A
  };
  for (const auto& c : kSame) {
    EXPECT_TRUE(EqualsNoCase(c.a, c.b)) << Units(c.a);
    EXPECT_EQ(CompareRegistryNames(c.a, c.b), 0) << Units(c.a);
  }
}

TEST(RegistryNames, KeepsOneWayFoldsDistinct) {
  const struct {
    const char16_t* a;
    const char16_t* b;
  } kDistinct[] = {
      {u"\u03C2", u"\u03C3"},  // final sigma
      {u"\u212A", u"k"},       // Kelvin sign
      {u"\u0131", u"i"},       // dotless i
      {u"\u0130", u"i"},       // dotted capital I
      {u"\u1E9E", u"\u00DF"},  // capital sharp s
      {u"\u01C5", u"\u01C6"},  // title-case Dz
      {u"\u2126", u"\u03C9"},  // Ohm sign
      {u"\u017F", u"s"},       // long s
      {u"abc", u"abcd"},
  };
  for (const auto& c : kDistinct) {
    EXPECT_FALSE(EqualsNoCase(c.a, c.b)) << Units(c.a);
    EXPECT_NE(CompareRegistryNames(c.a, c.b), 0) << Units(c.a);
  }
}

TEST(RegistryNames, OrdersByLowerCaseUnitsThenLength) {
  const char16_t* const kOrdered[] = {u"10", u"9", u"[x]", u"_", u"a", u"AB", u"b", u"\u0430"};
  for (std::size_t i = 1; i < std::size(kOrdered); ++i) {
    EXPECT_LT(CompareRegistryNames(kOrdered[i - 1], kOrdered[i]), 0) << i;
    EXPECT_GT(CompareRegistryNames(kOrdered[i], kOrdered[i - 1]), 0) << i;
  }
}

}  // namespace
}  // namespace tolvane
