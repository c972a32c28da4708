// The command's environment on Windows: the system registry and shell by
// default; with --registry FILE a hive file instead, which shows what would
// be written without touching the machine (no notification reaches the
// shell then, and no module registers itself). With --dry-run either store
// is only read: writes go to a copy-on-write layer that is thrown away, the
// shell is told nothing and no module registers itself. The custom actions
// run on an installer session the command fills; failure notices go to
// stderr, so that scripts are never stopped by a message box.
#include <windows.h>

#include <memory>

#include "cli/host.h"
#include "cli/not_running_module_registrar.h"
#include "platform/hive/hive_file.h"
#include "platform/memory/copy_on_write_registry_store.h"
#include "platform/memory/counting_notifier.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/win32/win32_assoc_notifier.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_module_registrar.h"
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_open_executable_query.h"
#include "platform/win32/win32_process_paths.h"
#include "platform/win32/win32_registry_store.h"
#include "platform/win32/win32_text_services.h"

namespace tolvane::cli {
namespace {

// Counts notifications and, on the system registry, passes them to the shell.
class ForwardingNotifier final : public AssocNotifier {
 public:
  explicit ForwardingNotifier(AssocNotifier* shell) : shell_(shell) {}
  void NotifyAssocChanged() override {
    ++count_;
    if (shell_ != nullptr) shell_->NotifyAssocChanged();
  }
  std::size_t count() const { return count_; }

 private:
  AssocNotifier* shell_;
  std::size_t count_ = 0;
};

class Win32Host final : public Host {
 public:
  // hive: the session of --registry FILE, or null for the system registry.
  Win32Host(std::unique_ptr<HiveSession> hive, const HostOptions& options)
      : hive_(std::move(hive)),
        dryRun_(options.dryRun),
        layer_(hive_ ? static_cast<RegistryStore&>(hive_->store()) : system_),
        journal_(StoreFor(options, dryRun_ ? static_cast<RegistryStore&>(layer_)
                                   : hive_ ? static_cast<RegistryStore&>(hive_->store())
                                           : system_)),
        notifier_(hive_ || dryRun_ ? nullptr : &shell_),
        hiveQuery_(journal_, ProcessEnvironment, LocateOnSearchPath),
        platform_{journal_,
                  notifier_,
                  files_,
                  paths_,
                  resources_,
                  text_,
                  hive_ ? static_cast<OpenExecutableQuery&>(hiveQuery_) : systemQuery_,
                  installer_,
                  dryRun_ ? static_cast<ModuleRegistrar&>(notRun_)
                  : hive_ ? InertModuleRegistrar()
                          : static_cast<ModuleRegistrar&>(modules_),
                  notice_} {}

  Platform& platform() override { return platform_; }
  const std::vector<Change>& changes() const override { return journal_.changes(); }
  std::size_t notifications() const override { return notifier_.count(); }
  PresetInstallerSession& installer() override { return installer_; }
  StreamUserNotice& notice() override { return notice_; }
  std::string hiveFile() const override { return hive_ ? hive_->path() : std::string(); }

  std::function<void()> saved;  // told when the hive file was saved

  void AllowInput(std::size_t bytes) override {
    if (hive_) hive_->AllowInput(bytes);
  }

  bool Commit(std::string* error) override {
    if (dryRun_ || !hive_ || !hive_->IsOpen() || !hive_->Changed()) return true;
    const Status status = hive_->Commit();
    if (!status.ok()) *error = status.message;
    if (status.ok() && saved) saved();
    return status.ok();
  }

  bool dryRun() const override { return dryRun_; }
  std::size_t modulesNotRun() const override { return notRun_.count(); }

 private:
  std::unique_ptr<HiveSession> hive_;
  bool dryRun_;
  Win32RegistryStore system_;
  CopyOnWriteRegistryStore layer_;  // a dry run's writes
  JournalingRegistryStore journal_;
  Win32AssocNotifier shell_;
  ForwardingNotifier notifier_;
  Win32FileProbe files_;
  Win32ProcessPaths paths_;
  Win32ModuleResources resources_;
  Win32TextServices text_;
  RegistryOpenExecutableQuery hiveQuery_;
  Win32OpenExecutableQuery systemQuery_;
  PresetInstallerSession installer_;
  Win32ModuleRegistrar modules_;
  NotRunningModuleRegistrar notRun_{hive_ ? InertModuleRegistrar()
                                          : static_cast<ModuleRegistrar&>(modules_)};
  StreamUserNotice notice_{stderr, stdin};
  Platform platform_;
};

}  // namespace

// Only the portable build widens with a chosen code page; OpenHost refuses
// --codepage here with its own message.
bool CodePageIsKnown(std::uint32_t /*codePage*/) { return true; }

bool InRedirectedRegistryView(const HostOptions& options) {
  BOOL wow64 = FALSE;
  return !options.registryFile && ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::unique_ptr<Host> OpenHost(const HostOptions& options, bool forWriting, std::string* error) {
  if (!options.drives.empty() || options.hostExe || options.codePage != kScriptCodePage) {
    *error = "--drive, --host-exe and --codepage belong to the portable build";
    return nullptr;
  }
  if (!options.registryFile) return std::make_unique<Win32Host>(nullptr, options);
  if (std::string refused = RefusedPathReason(*options.registryFile); !refused.empty()) {
    *error = std::move(refused);
    return nullptr;
  }
  auto session = std::make_unique<HiveSession>();
  forWriting = forWriting && !options.dryRun;  // a dry run only reads the hive
  if (forWriting) {
    const Status made = CreateHiveDirectory(*options.registryFile);
    if (!made.ok()) {
      *error = made.message;
      return nullptr;
    }
  }
  LockWait wait;
  wait.limit = options.wait;
  wait.notice = options.waitNotice;
  const Status status = session->Open(*options.registryFile,
                                      forWriting ? LockMode::kExclusive : LockMode::kShared, wait);
  if (!status.ok()) {
    *error = status.message;
    return nullptr;
  }
  auto host = std::make_unique<Win32Host>(std::move(session), options);
  host->saved = options.saved;
  return host;
}

std::unique_ptr<Host> OpenScratchHost(const HostOptions& options) {
  // An empty hive session that is never opened: its store is a scratch
  // store that nothing saves.
  HostOptions scratch;
  scratch.storeBetween = options.storeBetween;
  return std::make_unique<Win32Host>(std::make_unique<HiveSession>(), scratch);
}

}  // namespace tolvane::cli
