// The hive file on disk: the portable build's registry lives in one regedit
// 5.00 file (see hive_format.h), loaded into a MemoryRegistryStore for a
// command and saved back when the command changed something.
//
// Saving is atomic: the new text goes to a temporary file beside the hive,
// is flushed to disk and renamed over it, so an interrupted save leaves the
// old file or the new one, never a damaged one. A writing HiveSession holds
// an exclusive lock from load to save, so two commands working on one hive
// at once never lose either's changes; a reading one holds a shared lock.
// The lock is taken on FILE.lock beside the file the path resolves to (so
// every name of one hive, symbolic links included, finds the same lock), and
// never on the hive itself, which the rename replaces; the lock file stays
// in place between commands.
//
// Paths are the host's file names (UTF-8). Nothing here throws; every
// failure comes back as a Status whose message names the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_registry_store.h"
#include "platform/hive/file_access.h"
#include "platform/hive/hive_format.h"

namespace tolvane {

// Replaces the store's contents with the hive file at path: reads and checks
// the whole file first, so a missing (kNotFound), unreadable (kIo) or
// malformed (kMalformed) file leaves the store exactly as it was. An empty
// file (0 bytes, as a fresh temporary file) is an empty registry. On success
// the store holds the file's keys and values. Should the store refuse an
// operation (kStore) it is left empty. Takes no lock.
Status LoadHive(const std::string &path, MemoryRegistryStore &store);

// Writes every key of the store (empty keys included) to path atomically,
// as BOM + UTF-16LE regedit text; an existing file keeps its permissions. On
// failure the file at path is unchanged and no temporary file is left.
// Takes no lock: run it inside a HiveSession when others may use the file.
Status SaveHive(const std::string &path, const MemoryRegistryStore &store);

// Merges the hive file at path (a pipe too) into any store (the `import` command):
// the file is read and checked whole before the first change, so a bad file
// changes nothing; then its operations are applied as ApplyHive does, each
// as it is read again, so that they are never all held.
// *operationCount, when given, receives how many operations the file holds.
Status ImportHiveFile(const std::string &path, RegistryStore &store,
                      std::size_t *operationCount = nullptr);

// ImportHiveFile's first half: reads and checks the whole file (a pipe
// too) without touching any store, so a command can read its input before
// it locks the hive. Keeps the file's bytes, for ParseAndApplyHive, and
// counts its operations; a file that fails leaves *bytes empty.
// `text` widens a REGEDIT4 file's 8-bit text (see ParseHive).
Status ReadHiveFile(const std::string &path, std::string *bytes, std::size_t *operationCount,
                    TextServices *text = nullptr);

// Creates the directory that will hold the hive file at path, with any
// missing parents (for a default location that may not exist yet).
Status CreateHiveDirectory(const std::string &path);

// One command's use of a hive file, from load to save:
//
//   HiveSession session;
//   Status s = session.Open(path);       // lock + load
//   ... use session.store() ...
//   if (session.Changed()) s = session.Commit();  // atomic save
//   // the destructor releases the lock
//
// Not copyable or movable: the store's open keys refer to it.
class HiveSession {
 public:
  HiveSession() = default;
  ~HiveSession();
  HiveSession(const HiveSession &) = delete;
  HiveSession &operator=(const HiveSession &) = delete;

  // Takes the lock (exclusive to write, shared to read; waiting at most
  // wait.limit while another session holds it), removes temporaries that
  // dead writers left (exclusive only), then loads the hive. A missing hive
  // file is an empty registry and is not created here; the directory must
  // exist for writing. On failure (lock not taken, unreadable or malformed
  // hive) the lock is released, the session stays closed with an empty
  // store, and the hive file is left exactly as it was. Opening an open
  // session closes it first.
  Status Open(const std::string &path, LockMode mode = LockMode::kExclusive,
              const LockWait &wait = LockWait());

  // The keys of a session may grow with its input: their full paths may add
  // up to kPathUnitsPerInputByte units for each byte of the hive file and of
  // every input allowed here, plus kPathUnitsBase. An ordinary hive names
  // each key by its full path, so it stays far below that; a short file of
  // deep paths (each level of which is a key with a path of its own) is
  // refused (kStore, error 8) at the line that passes it, instead of
  // costing time, memory and a file without bound.
  static constexpr std::size_t kPathUnitsPerInputByte = 16;
  static constexpr std::size_t kPathUnitsBase = std::size_t{1} << 20;
  // Lets the store grow by what `bytes` more of input may name (a file about
  // to be imported or run into it).
  void AllowInput(std::size_t bytes);

  bool IsOpen() const { return open_; }
  const std::string &path() const { return path_; }

  // The registry loaded from the file; empty while the session is closed.
  MemoryRegistryStore &store() { return store_; }
  const MemoryRegistryStore &store() const { return store_; }

  // Whether a write changed the store's keys or values since the load (or
  // the last commit), as the store counts them; a value set to what it
  // held is no change. Never true for a closed session. Costs nothing: the
  // store is not compared with the file.
  bool Changed() const;

  // Saves the store to the hive file atomically (creating the file when it
  // was missing), still under the lock, which stays held until Close. An
  // error (kIo, or kMalformed for a store a hive file cannot hold) leaves
  // the file as it was. Refused on a closed session and on one opened for
  // reading.
  Status Commit();

  // Releases the lock without saving and empties the store.
  void Close();

 private:
  std::string path_;
  bool open_ = false;
  LockMode mode_ = LockMode::kShared;
  FileLock lock_;
  MemoryRegistryStore store_;
  std::uint64_t savedRevision_ = 0;  // the store's revision at load or last commit
  std::size_t loadedBytes_ = 0;      // the file's size then
};

}  // namespace tolvane
