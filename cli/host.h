// The environment a command runs in: the registry store it works on (a hive
// file, or on Windows the system registry), the platform services around
// it, and what the call changed and sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/change_journal.h"
#include "platform/hive/file_access.h"
#include "platform/memory/preset_installer_session.h"
#include "platform/memory/stream_user_notice.h"
#include "platform/platform.h"

namespace tolvane::cli {

// The global options of the command line.
struct HostOptions {
  std::optional<std::string> registryFile;             // --registry
  std::vector<std::pair<char, std::string>> drives;    // --drive L=DIR
  std::optional<std::string> hostExe;                  // --host-exe (a Windows path)
  std::uint32_t codePage = kScriptCodePage;            // --codepage
  std::chrono::milliseconds wait = kDefaultLockWait;   // --wait: longest wait for a held hive file
  std::function<void(const std::string&)> waitNotice;  // told once when a wait starts
  bool dryRun = false;          // --dry-run: writes go to a layer that is thrown away
  std::function<void()> saved;  // told when a hive file was saved
  // Tests only, never set from the command line: given the store the
  // command would work on, answers a store to use instead that passes
  // calls on to it (one that injects faults, say). The answer is borrowed
  // and must outlive the host.
  std::function<RegistryStore&(RegistryStore&)> storeBetween;
};

// The store the host's journal records: store itself, or what
// options.storeBetween puts in front of it.
inline RegistryStore& StoreFor(const HostOptions& options, RegistryStore& store) {
  return options.storeBetween ? options.storeBetween(store) : store;
}

// Whether the command's HKEY_LOCAL_MACHINE\Software is the 32-bit view of
// the registry (a 32-bit build on 64-bit Windows, on the system registry).
bool InRedirectedRegistryView(const HostOptions& options);

// Whether the build can widen scripts with this code page (--codepage).
bool CodePageIsKnown(std::uint32_t codePage);

class Host {
 public:
  virtual ~Host() = default;

  // The platform the command's call runs on; its registry records changes.
  virtual Platform& platform() = 0;
  virtual const std::vector<Change>& changes() const = 0;
  virtual std::size_t notifications() const = 0;

  // The installer session the custom actions see (the command fills it)
  // and the failure notice, which prints on stderr and keeps what it showed.
  virtual PresetInstallerSession& installer() = 0;
  virtual StreamUserNotice& notice() = 0;

  // The hive file the store was loaded from; empty for the system registry
  // and for a scratch store.
  virtual std::string hiveFile() const = 0;

  // Saves what the call changed (a hive file is written atomically; the
  // system registry needs nothing). False with a one-line reason on failure.
  virtual bool Commit(std::string* error) = 0;

  // A file of `bytes` is about to be written into the store (import, script
  // run): a hive file's store bounds its keys by the size of what was read
  // into it, and grows the bound by this. Nothing for the system registry.
  virtual void AllowInput(std::size_t /*bytes*/) {}

  // A dry run: the store's writes went to a discarded layer, and modules
  // were not asked to register themselves (how many were not).
  virtual bool dryRun() const { return false; }
  virtual std::size_t modulesNotRun() const { return 0; }
};

// Opens the store the options name and builds the platform around it.
// forWriting: the command may change the store, so a hive file is locked
// exclusively from now until the host is destroyed; otherwise it is locked
// shared, and a missing hive (or folder) is an empty registry. Null with a one-line reason when
// the store cannot be opened (a malformed hive file, for instance).
std::unique_ptr<Host> OpenHost(const HostOptions& options, bool forWriting, std::string* error);

// A host over an empty scratch store, for checking a script without
// touching any registry.
std::unique_ptr<Host> OpenScratchHost(const HostOptions& options);

}  // namespace tolvane::cli
