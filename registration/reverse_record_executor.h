// Takes registration records back out of the registry: the reverse of the
// record executor. Every operation takes the platform by reference, keeps
// no state and leaves no key open.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "platform/status.h"
#include "registration/registration_record.h"

namespace tolvane {

// The outcome of taking records back: ok starts true and only turns false
// (a store call failed, a text did not fit, a script failed, or a record
// has no meaning at its place, as when registering it); associationsRemoved
// turns true when a value of an extension key (HKEY_CLASSES_ROOT\.ext) or
// of a per-user FileExts key was deleted. failure is the first failed
// record's reason, and a success while ok holds.
struct UndoResult {
  bool ok = true;
  bool associationsRemoved = false;
  Status failure;

  void Fold(const UndoResult& other) {
    if (ok && !other.ok) failure = other.failure;
    ok = ok && other.ok;
    associationsRemoved = associationsRemoved || other.associationsRemoved;
  }
};

// A value that a string record writes but that holds something else now,
// so it was left in place.
struct KeptValue {
  RegKey root = kNoKey;
  Text keyPath;
  const char16_t* valueName = nullptr;  // the record's constant name; null: the default value
};

// What a caller is told beyond the outcome; may be absent.
struct UndoNotes {
  std::vector<KeptValue> kept;
};

// Takes back every record list of group, last list first; a failed list
// does not stop the others. directory is the one the group was registered
// for (never empty, fits kMaxPathChars).
UndoResult UndoGroup(Platform& platform, RegistrationGroup group, TextView directory,
                     UndoNotes* notes);

// Takes back one list, last record first; the SubDirectory prefix applies
// to the record after it as when registering. IfExists conditions are not
// tested (a record only ever removes what it would write), and what
// DeleteEntry removed is not restored.
UndoResult UndoRecordList(Platform& platform, const RegistrationRecord* list, TextView directory,
                          UndoNotes* notes);

// Takes back one record:
// - SetString, SetExpandedString: deletes the value only when its type is
//   REG_SZ and its bytes are exactly the text and terminator that
//   registering writes for directory; otherwise keeps it and notes it.
//   Then removes empty keys from the record's key upward, up to and
//   including the key the record owns: the first key below its container
//   (HKEY_CLASSES_ROOT itself, its MIME\Database\Content Type, the current
//   user's FileExts). A key holding a value or a subkey ends the removal,
//   and no container or key above one is ever removed.
// - RunScript: unregisters the record's script with the replacements that
//   registering uses, whether the module file still exists or not.
// - any other kind: fails, touching nothing.
UndoResult UndoRecord(Platform& platform, const RegistrationRecord& record, TextView directory,
                      UndoNotes* notes);

}  // namespace tolvane
