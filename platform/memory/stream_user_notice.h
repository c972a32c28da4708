// The failure notice where there is no message box: the text goes to a
// stream (the command's stderr) as one line, is kept for the call's report,
// and, when the host says a person is at a terminal, the notice waits for
// Enter on the input stream as a modal box waits for OK. Scripts are never
// kept waiting: the host turns the wait on only for a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/failure_message.h"
#include "platform/user_notice.h"

namespace tolvane {

class StreamUserNotice final : public UserNotice {
 public:
  // out and in are borrowed; in is read only while waiting.
  StreamUserNotice(std::FILE* out, std::FILE* in) : out_(out), in_(in) {}

  // One of the five language identifiers of failure_message.h.
  void SetLanguage(std::uint16_t languageId) { language_ = languageId; }
  void SetWaitForEnter(bool wait) { waitForEnter_ = wait; }
  // While held, a notice is only kept (see shown()); the host shows it with
  // ShowNotices once nothing waits on the person any more (the hive saved
  // and unlocked).
  void SetHeld(bool held) { held_ = held; }

  void ShowFailureMessage() override;

  // The texts shown so far, as UTF-8, in order.
  const std::vector<std::string>& shown() const { return shown_; }

 private:
  std::FILE* out_;
  std::FILE* in_;
  std::uint16_t language_ = kLanguageEnglishUs;
  bool waitForEnter_ = false;
  bool held_ = false;
  std::vector<std::string> shown_;
};

// Prints each text on its own line to out and, with waitForEnter, waits for
// one line on in after each (as a modal box waits for OK).
void ShowNotices(std::FILE* out, std::FILE* in, const std::vector<std::string>& texts,
                 bool waitForEnter);

}  // namespace tolvane
