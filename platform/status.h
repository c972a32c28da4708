// The outcome of an operation, carried from where it failed to whoever tells
// a person: a kind a caller can branch on, the failing call's own number and
// a reason in words (what failed, on which key, value or file, and the
// system's words for its number). Every layer answers with it: the registry
// records and groups, the custom actions, the associations, the script
// engine and the hive files. The exports keep their own numbers (1016, 0 or
// 1, 5, result codes); a Status travels beside them for the command and the
// installer's log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/status_codes.h"

namespace tolvane {

enum class StatusKind {
  kNone,       // success
  kMalformed,  // a text that cannot be read (a hive file, a script), or a store no file can hold
  kNotFound,   // a file, key, group or resource that does not exist
  kIo,         // reading, writing, locking or renaming a file failed
  kStore,      // the registry store, or another platform service, refused an operation
  kRefused,    // an argument the operation does not take (too long, badly formed, unknown)
};

struct Status {
  StatusKind error = StatusKind::kNone;
  std::string message;   // the reason, as one line a person reads; empty on success
  std::size_t line = 0;  // the line of a text the failure is on (1-based), 0 for none
  // The failing call's own number: a platform error number (positive) or a
  // result code of the script engine (negative); 0 when it had none.
  std::int32_t code = 0;

  bool ok() const { return error == StatusKind::kNone; }
  static Status Ok() { return {}; }
  static Status Fail(StatusKind error, std::string message, std::size_t line = 0) {
    return {error, std::move(message), line, 0};
  }
  // what ("cannot set HKCR\.zdw (default)") followed by the number in
  // words: "...: access denied (5)". File-not-found numbers are kNotFound,
  // the rest kStore.
  static Status FromError(ErrorCode code, const std::string& what);
  // what followed by the result code: "...: 0x80020009 (a script fault)".
  static Status FromResult(HResult result, const std::string& what);

  // The same failure with context in front of its reason ("group X: ...").
  Status Within(const std::string& context) const;
};

// The platform error number in words: "access denied (5)", "error 1234".
std::string ErrorText(ErrorCode code);
// The result code in hex, with its words when known: "0x80070005 (access
// denied)", "0x80020009 (a script fault)".
std::string ResultText(HResult result);

}  // namespace tolvane
