// Telling the user that a registration failed: the one text the library
// shows, string 123, in the language of the user interface.
#pragma once

namespace tolvane {

class UserNotice {
 public:
  virtual ~UserNotice() = default;

  // Shows the failure message and returns once the user has confirmed it
  // (on Windows a modal message box with OK and the exclamation icon,
  // captioned with the host executable's full path).
  virtual void ShowFailureMessage() = 0;
};

}  // namespace tolvane
