#include "platform/memory/stream_user_notice.h"

namespace tolvane {

void StreamUserNotice::ShowFailureMessage() {
  const std::string text = Utf16ToUtf8(FailureMessageText(language_));
  shown_.push_back(text);
  if (out_ != nullptr) {
    std::fprintf(out_, "%s%s\n", text.c_str(), waitForEnter_ ? " [Enter]" : "");
    std::fflush(out_);
  }
  if (!waitForEnter_ || in_ == nullptr) return;
  for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) {
  }
}

}  // namespace tolvane
