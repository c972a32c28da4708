#include "platform/memory/stream_user_notice.h"

namespace tolvane {

void StreamUserNotice::ShowFailureMessage() {
  shown_.push_back(Utf16ToUtf8(FailureMessageText(language_)));
  if (!held_) ShowNotices(out_, in_, {shown_.back()}, waitForEnter_);
}

void ShowNotices(std::FILE* out, std::FILE* in, const std::vector<std::string>& texts,
                 bool waitForEnter) {
  for (const std::string& text : texts) {
    if (out != nullptr) {
      std::fprintf(out, "%s%s\n", text.c_str(), waitForEnter ? " [Enter]" : "");
      std::fflush(out);
    }
    if (!waitForEnter || in == nullptr) continue;
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) {
    }
  }
}

}  // namespace tolvane
