// Turns registration records into registry changes. Every operation takes
// the platform by reference, keeps no state and leaves no key open.
#pragma once

#include <utility>

#include "platform/platform.h"
#include "platform/status.h"
#include "registration/path_buffer.h"
#include "registration/registration_record.h"

namespace tolvane {

class ReplacementMap;

// The outcome of running records: ok starts true and only turns false (a
// record failed); changed starts false and only turns true (a record
// created a key, wrote a value or deleted an entry). failure is the first
// failed record's reason, and a success while ok holds.
struct RunResult {
  bool ok = true;
  bool changed = false;
  Status failure;

  static RunResult Failed(Status why) { return {false, false, std::move(why)}; }

  void Fold(const RunResult& other) {
    if (ok && !other.ok) failure = other.failure;
    ok = ok && other.ok;
    changed = changed || other.changed;
  }
};

// Runs every record list of group in order; a failed list does not stop
// the next. An empty group gives ok and no change. directory is never
// empty and fits kMaxPathChars.
RunResult RunGroup(Platform& platform, RegistrationGroup group, TextView directory);

// Runs one list up to its EndOfList record, applying the IfExists and
// SubDirectory prefixes to the record after them.
RunResult RunRecordList(Platform& platform, const RegistrationRecord* list, TextView directory);

// Runs one SetString, SetExpandedString or RunScript record. Any other kind
// fails with no change. A text that does not fit its 260-unit buffer fails
// the record before anything is written.
RunResult ExecuteRecord(Platform& platform, const RegistrationRecord& record, TextView directory);

// The text a SetString (data as stored) or SetExpandedString record (data
// with every "${App}" replaced by directory without its trailing backslash,
// parent segments collapsed) writes. False when it does not fit.
bool RegisteredText(const RegistrationRecord& record, TextView directory, PathBuffer* text);

// The directory a RunScript record's script sees: directory with a trailing
// backslash, parent segments collapsed. False when it does not fit.
bool ScriptDirectory(TextView directory, PathBuffer* scriptDirectory);

// Adds what a RunScript record's script is expanded with: "PATH", the
// script directory. Answers the map's status.
HResult AddScriptReplacements(const PathBuffer& scriptDirectory, ReplacementMap* replacements);

// Deletes record.valueName of root\keyPath, or the whole key tree when
// valueName is null. True when something was deleted. A tree deletion with
// an empty key path is refused (it would name the root itself).
bool DeleteRegistryEntry(RegistryStore& registry, const RegistrationRecord& record);

}  // namespace tolvane
