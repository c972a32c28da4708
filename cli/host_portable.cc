// The command's environment on the portable build: a hive file loaded into
// the in-memory registry under the session lock, the drive table, the
// host-executable override and the code page of the command line.
#include <cstdlib>

#include "cli/host.h"
#include "cli/not_running_module_registrar.h"
#include "platform/hive/hive_file.h"
#include "platform/memory/copy_on_write_registry_store.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/portable_services.h"

namespace tolvane::cli {
namespace {

// The hive file the options name: --registry, else $TOLVANE_REGISTRY, else
// $XDG_DATA_HOME/tolvane/registry.reg, else ~/.local/share/tolvane/registry.reg.
// A relative XDG_DATA_HOME, and a missing or relative HOME, are refused
// rather than resolved against the current folder.
bool HivePath(const HostOptions& options, std::string* path, std::string* error) {
  if (options.registryFile) {
    *path = *options.registryFile;
    return true;
  }
  if (const char* env = std::getenv("TOLVANE_REGISTRY"); env != nullptr && *env != '\0') {
    *path = env;
    return true;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    if (*data != '/') {
      *error = std::string("XDG_DATA_HOME is a relative path (") + data +
               "); it must be absolute, or give --registry FILE";
      return false;
    }
    *path = std::string(data) + "/tolvane/registry.reg";
    return true;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home != '/') {
    *error = home == nullptr ? "HOME is not set, so there is no default hive file; give "
                               "--registry FILE or set TOLVANE_REGISTRY"
                             : "HOME is not an absolute path, so there is no default hive "
                               "file; give --registry FILE or set TOLVANE_REGISTRY";
    return false;
  }
  *path = std::string(home) + "/.local/share/tolvane/registry.reg";
  return true;
}

class PortableHost final : public Host {
 public:
  explicit PortableHost(const HostOptions& options)
      : options_(options),
        journal_(StoreFor(options,
                          options.dryRun ? static_cast<RegistryStore&>(layer_) : session_.store())),
        services_(journal_, options.codePage),
        platform_{
            services_.platform.registry,
            services_.platform.notifier,
            services_.platform.files,
            services_.platform.paths,
            services_.platform.resources,
            services_.platform.text,
            services_.platform.shell,
            services_.platform.installer,
            options.dryRun ? static_cast<ModuleRegistrar&>(notRun_) : services_.platform.modules,
            services_.platform.notice} {
    for (const auto& [letter, directory] : options.drives) {
      services_.files.SetDrive(static_cast<char16_t>(letter), directory);
    }
    if (options.hostExe) services_.paths.SetHostExecutablePath(Utf8ToUtf16(*options.hostExe));
  }

  // Locks and loads the hive file; scratch hosts skip this.
  bool Open(const std::string& path, bool forWriting, std::string* error) {
    forWriting = forWriting && !options_.dryRun;  // a dry run only reads the hive
    if (forWriting) {
      const Status made = CreateHiveDirectory(path);
      if (!made.ok()) {
        *error = made.message;
        return false;
      }
    }
    LockWait wait;
    wait.limit = options_.wait;
    wait.notice = options_.waitNotice;
    const Status status =
        session_.Open(path, forWriting ? LockMode::kExclusive : LockMode::kShared, wait);
    if (!status.ok()) {
      *error = status.message;
      return false;
    }
    return true;
  }

  Platform& platform() override { return platform_; }
  const std::vector<Change>& changes() const override { return journal_.changes(); }
  std::size_t notifications() const override { return services_.notifier.count(); }
  PresetInstallerSession& installer() override { return services_.installer; }
  StreamUserNotice& notice() override { return services_.notice; }
  std::string hiveFile() const override { return session_.path(); }

  bool Commit(std::string* error) override {
    if (options_.dryRun || !session_.IsOpen() || !session_.Changed()) return true;
    const Status status = session_.Commit();
    if (!status.ok()) *error = status.message;
    if (status.ok() && options_.saved) options_.saved();
    return status.ok();
  }

  void AllowInput(std::size_t bytes) override { session_.AllowInput(bytes); }

  bool dryRun() const override { return options_.dryRun; }
  std::size_t modulesNotRun() const override { return notRun_.count(); }

 private:
  HostOptions options_;
  HiveSession session_;
  CopyOnWriteRegistryStore layer_{session_.store()};  // a dry run's writes
  JournalingRegistryStore journal_;
  PortableServices services_;
  NotRunningModuleRegistrar notRun_{services_.modules};
  Platform platform_;
};

}  // namespace

bool CodePageIsKnown(std::uint32_t codePage) {
  CodePageTextServices text(codePage);
  Text wide;
  return text.WidenAnsi("A", &wide) == kErrorSuccess;
}

bool InRedirectedRegistryView(const HostOptions& /*options*/) { return false; }

std::unique_ptr<Host> OpenHost(const HostOptions& options, bool forWriting, std::string* error) {
  std::string path;
  if (!HivePath(options, &path, error)) return nullptr;
  auto host = std::make_unique<PortableHost>(options);
  if (!host->Open(path, forWriting, error)) return nullptr;
  return host;
}

std::unique_ptr<Host> OpenScratchHost(const HostOptions& options) {
  return std::make_unique<PortableHost>(options);
}

}  // namespace tolvane::cli
