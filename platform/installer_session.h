// The installer session a custom action runs in: the state of the
// installation's features and the values of its properties, reached through
// the installer handle the custom action was called with.
#pragma once

#include <cstdint>

#include "platform/status_codes.h"
#include "platform/text.h"

namespace tolvane {

// The installer's handle of a running installation (32 bits on every build).
using InstallerHandle = std::uint32_t;

// Action state of a feature that the installation leaves alone; a feature
// the installer does not know, or a query that fails, counts as this too.
inline constexpr std::int32_t kFeatureNoAction = -1;

class InstallerSession {
 public:
  virtual ~InstallerSession() = default;

  // The installed and action state of feature (NUL-terminated) in the
  // installation of handle. Answers 0, or the installer's error number (an
  // unknown feature, a bad handle), leaving both states untouched.
  virtual ErrorCode GetFeatureState(InstallerHandle handle, const char16_t* feature,
                                    std::int32_t* installed, std::int32_t* action) = 0;

  // Copies property name's value (a missing property is the empty text)
  // into buffer, which holds *units units, and sets *units to the value's
  // length without terminator. When the value and its terminator do not
  // fit, answers kErrorMoreData with *units the length the value needs and
  // buffer unspecified; other failures answer the installer's error number.
  virtual ErrorCode GetProperty(InstallerHandle handle, const char16_t* name, char16_t* buffer,
                                std::uint32_t* units) = 0;

  // Writes line to the installation's log as an information message (a
  // verbose log shows it). A log that cannot be written fails nothing: the
  // call reports no error.
  virtual void LogInfo(InstallerHandle handle, TextView line) = 0;
};

}  // namespace tolvane
