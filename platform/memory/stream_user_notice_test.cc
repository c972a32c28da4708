#include "platform/memory/stream_user_notice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tolvane {
namespace {

std::string Rest(std::FILE* file) {
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  return text;
}

// The notice waits for exactly one line when told to, and never reads
// otherwise.
TEST(StreamUserNoticeTest, WaitsForOneLineOnlyWhenTold) {
  struct Case {
    bool wait;
    const char* input;
    const char* left;
    const char* printed;
  };
  const Case cases[] = {
      {false, "typed\nmore", "typed\nmore", "Failed to register the program.\n"},
      {true, "typed\nmore", "more", "Failed to register the program. [Enter]\n"},
      {true, "", "", "Failed to register the program. [Enter]\n"},
  };
  for (const Case& c : cases) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr);
    std::fputs(c.input, in);
    std::rewind(in);
    StreamUserNotice notice(out, in);
    notice.SetWaitForEnter(c.wait);
    notice.ShowFailureMessage();
    EXPECT_EQ(Rest(in), c.left);
    std::rewind(out);
    EXPECT_EQ(Rest(out), c.printed);
    EXPECT_EQ(notice.shown().size(), 1u);
    std::fclose(in);
    std::fclose(out);
  }
}

}  // namespace
}  // namespace tolvane
