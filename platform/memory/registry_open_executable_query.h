// The open-verb executable query of the portable build, answered from the
// registry store (the shell's own resolution exists only on Windows).
//
// The resolution, for the verb "open" only:
//  1. An extension (text starting with ".") names HKEY_CLASSES_ROOT\ext; its
//     default value, when it is a non-empty string, names its ProgID. The
//     command is the default value of HKEY_CLASSES_ROOT\ProgID\shell\open\command;
//     when the extension has no ProgID, or the ProgID has no such
//     command, the extension key's own shell\open\command is used instead.
//     Anything else is taken as a ProgID and resolves only its own
//     shell\open\command.
//  2. The command must be a REG_SZ or REG_EXPAND_SZ value (read up to its
//     first NUL). In a REG_EXPAND_SZ command every %NAME% is replaced by the
//     variable NAME of the process environment; a name that is not set, or
//     a "%" without a partner, stays as written.
//  3. The executable is the command's first token after leading blanks: the
//     text inside a leading pair of double quotes (up to the end when the
//     closing quote is missing), else the text up to the first blank.
//  4. With a locator (as the shell reads it): the executable must exist. A
//     quoted one is looked up as written; an unquoted command is tried at
//     each blank, shortest first ("C:\Program Files\App.exe /x" finds
//     C:\Program Files\App.exe), then whole. The locator answers the
//     full path, a bare name found on the search path, forward slashes read
//     as backslashes. Without one, the executable is the first token
//     unchecked.
//  5. No command, an empty or missing executable, or one longer than
//     kMaxPathChars is a failure. No per-user choice or default verb is
//     consulted.
// Every key opened is closed before the query returns.
#pragma once

#include <functional>

#include "platform/open_executable_query.h"
#include "platform/registry_store.h"

namespace tolvane {

// Answers the value of one environment variable; false when it is not set.
using EnvironmentLookup = std::function<bool(TextView name, Text* value)>;

// Finds a program as the shell does: a path (with its folder) as written,
// a bare name on the search path; answers its full path. False when there
// is no such file.
using ExecutableLocator = std::function<bool(TextView name, Text* fullPath)>;

// The process environment (names compare as the platform compares them:
// exactly on POSIX, without regard to case on Windows).
bool ProcessEnvironment(TextView name, Text* value);

class RegistryOpenExecutableQuery final : public OpenExecutableQuery {
 public:
  // Reads classes from registry; REG_EXPAND_SZ commands are expanded through
  // environment (the process environment unless another lookup is given).
  explicit RegistryOpenExecutableQuery(RegistryStore& registry,
                                       EnvironmentLookup environment = ProcessEnvironment,
                                       ExecutableLocator locator = nullptr)
      : registry_(registry), environment_(std::move(environment)), locator_(std::move(locator)) {}
  bool QueryOpenExecutable(const char16_t* association, Text* executable) override;

 private:
  // The open command of HKEY_CLASSES_ROOT\className, expanded; false when
  // there is none or it is not a string.
  bool OpenCommand(TextView className, Text* command);
  // Replaces every %NAME% of a set variable.
  Text ExpandEnvironment(TextView text) const;

  // The command's program through the locator.
  bool Locate(TextView command, Text* executable) const;

  RegistryStore& registry_;
  EnvironmentLookup environment_;
  ExecutableLocator locator_;
};

}  // namespace tolvane
