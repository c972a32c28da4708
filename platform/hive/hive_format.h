// The hive file's text: regedit 5.00 files as the portable build stores its
// registry in them and as `export`/`import` exchange them.
//
// Reading turns the bytes of a file into an ordered list of operations
// (create key, delete tree, set value, delete value) that any RegistryStore
// can apply. The reader is strict: anything it does not understand refuses
// the whole file with the line number and the problem, so a damaged or
// hand-mangled hive is never half-read.
//
// Writing turns a store, or a snapshot of one (MemoryRegistryStore::Snapshot
// or SnapshotTree), into the bytes regedit's own export writes: BOM, UTF-16LE,
// CRLF, header, then each key with its values. Every value is written so
// that reading it back gives the same type and bytes.
//
// Pure functions: no files, no global state; nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/memory/memory_registry_store.h"
#include "platform/registry_store.h"
#include "platform/status.h"
#include "platform/stored_key.h"
#include "platform/text.h"
#include "platform/text_services.h"

namespace tolvane {

// Every hive function answers with a Status (platform/status.h); its line is
// the 1-based line of the file the problem was found on.

enum class HiveOperationKind {
  kCreateKey,    // open root\path, creating it and any missing parents
  kDeleteTree,   // delete root\path with everything beneath it; a missing key is
                 // no error
  kSetValue,     // set `name` of the current key to `type` and `data`
  kDeleteValue,  // delete `name` of the current key; a missing value is no error
};

// One step of a hive file, in file order. A value operation (set, delete)
// acts on the current key: the one of the nearest kCreateKey before it, with
// no kDeleteTree between them, as a value line acts on the [key] line above
// it. It names no key itself (root and path stay empty), so a large file
// holds each key's path once.
struct HiveOperation {
  HiveOperationKind kind = HiveOperationKind::kCreateKey;
  std::uint32_t type = 0;  // kSetValue only
  RegKey root = kNoKey;    // a predefined root (key operations only)
  Text path;               // below the root, components joined by '\'; empty: the
                           // root (key operations only)
  Text name;               // value name; empty: the default value (values only)
  std::string data;        // raw value bytes, kSetValue only
  std::size_t line = 0;    // the line it came from, for error messages
};

// Reads a whole hive file. Accepted: UTF-16LE with BOM, UTF-8 with or
// without BOM; header "Windows Registry Editor Version 5.00" or "REGEDIT4";
// CRLF, LF or CR line ends; full or short root names (HKCU ...); comments;
// hex values continued over lines. On success *operations holds every step
// in order. On failure it is left empty and the status (kMalformed) names the
// line and the problem: nothing of a bad file is ever applied.
// In a REGEDIT4 file, hex(2): and hex(7): data is 8-bit text (NULs between
// strings); it is widened with `text`'s code page, and without one only
// ASCII is accepted.
Status ParseHive(std::string_view bytes, std::vector<HiveOperation> *operations,
                 TextServices *text = nullptr);

// Applies parsed operations to a store, in order, through its public
// interface; every key opened is closed again on every path. Deleting a
// missing key or value is no error. Stops at the first operation the store
// refuses (kStore, with that operation's line), or at a value operation
// without a current key (kMalformed; ParseHive never makes one); the
// operations before it stay applied, so callers that need all or nothing
// apply to a store they can discard.
Status ApplyHive(const std::vector<HiveOperation> &operations, RegistryStore &store);

// ParseHive and ApplyHive in one pass: each operation is applied as soon as
// its line is read and the list is never held, so reading a file into a
// store needs little memory beyond the file's bytes and the store. A bad
// line (kMalformed) or a refusal of the store (kStore) stops there with the
// operations before it applied, and a file refused as a whole (its
// encoding) applies nothing: for a store the caller empties or discards
// when this fails, as a hive being loaded.
// `text` widens a REGEDIT4 file's 8-bit text, as for ParseHive.
Status ParseAndApplyHive(std::string_view bytes, RegistryStore &store,
                         TextServices *text = nullptr);

// ParseHive without the list: checks the whole text and counts the
// operations it holds, keeping none of them, so that a caller can check
// a file before it changes anything and then apply it with
// ParseAndApplyHive, never holding its operations.
Status CheckHive(std::string_view bytes, std::size_t *operationCount, TextServices *text = nullptr);

// Writes the keys as hive text: UTF-16 units, CRLF line ends, no BOM. Each
// key in the order given as "[path]", its values, a blank line; REG_SZ as
// "text" only when the data is one NUL-terminated string, REG_DWORD as
// dword: only when 4 bytes, everything else as hex:/hex(N): wrapped like
// regedit. Refuses (kMalformed) a key path holding a line break, which no
// hive file can carry; *text is then empty.
Status FormatHiveText(const std::vector<StoredKey> &keys, Text *text);

// FormatHiveText as file bytes: the BOM FF FE, then UTF-16LE.
Status SerializeHiveUtf16(const std::vector<StoredKey> &keys, std::string *bytes);

// SerializeHiveUtf16 of the store's Snapshot, the same bytes, written
// straight from the store: each key is read in place and written as it is
// reached, so no copy of the keys or of the text is made beside the bytes.
// sizeHint is room to reserve first (the size of the file being replaced,
// say), 0 for none.
Status SerializeStoreUtf16(const MemoryRegistryStore &store, std::string *bytes,
                           std::size_t sizeHint = 0);

// FormatHiveText as UTF-8 without BOM, for a terminal. With crlf false the
// lines end in LF. An unpaired surrogate in a name or string (which UTF-8
// cannot carry) is shown as U+FFFD; use the UTF-16 form to keep every unit.
Status SerializeHiveUtf8(const std::vector<StoredKey> &keys, std::string *bytes, bool crlf = true);

}  // namespace tolvane
