// The command's environment on the portable build: a hive file loaded into
// the in-memory registry under the session lock, the drive table, the
// host-executable override and the code page of the command line.
#include <cstdlib>

#include "cli/host.h"
#include "platform/hive/hive_file.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/portable_services.h"

namespace tolvane::cli {
namespace {

// The hive file the options name: --registry, else $TOLVANE_REGISTRY, else
// $XDG_DATA_HOME/tolvane/registry.reg, else ~/.local/share/tolvane/registry.reg.
std::string HivePath(const HostOptions& options) {
  if (options.registryFile) return *options.registryFile;
  if (const char* env = std::getenv("TOLVANE_REGISTRY"); env != nullptr && *env != '\0') return env;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return std::string(data) + "/tolvane/registry.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/share/tolvane/registry.reg";
}

class PortableHost final : public Host {
 public:
  explicit PortableHost(const HostOptions& options)
      : options_(options), services_(journal_, options.codePage) {
    for (const auto& [letter, directory] : options.drives) {
      services_.files.SetDrive(static_cast<char16_t>(letter), directory);
    }
    if (options.hostExe) services_.paths.SetHostExecutablePath(Utf8ToUtf16(*options.hostExe));
  }

  // Locks and loads the hive file; scratch hosts skip this.
  bool Open(const std::string& path, bool forWriting, std::string* error) {
    if (forWriting) {
      const HiveStatus made = CreateHiveDirectory(path);
      if (!made.ok()) {
        *error = made.message;
        return false;
      }
    }
    LockWait wait;
    wait.limit = options_.wait;
    wait.notice = options_.waitNotice;
    const HiveStatus status =
        session_.Open(path, forWriting ? LockMode::kExclusive : LockMode::kShared, wait);
    if (!status.ok()) {
      *error = status.message;
      return false;
    }
    return true;
  }

  Platform& platform() override { return services_.platform; }
  const std::vector<Change>& changes() const override { return journal_.changes(); }
  std::size_t notifications() const override { return services_.notifier.count(); }
  PresetInstallerSession& installer() override { return services_.installer; }
  StreamUserNotice& notice() override { return services_.notice; }
  std::string hiveFile() const override { return session_.path(); }

  bool Commit(std::string* error) override {
    if (!session_.IsOpen() || !session_.Changed()) return true;
    const HiveStatus status = session_.Commit();
    if (!status.ok()) *error = status.message;
    return status.ok();
  }

 private:
  HostOptions options_;
  HiveSession session_;
  JournalingRegistryStore journal_{session_.store()};
  PortableServices services_;
};

}  // namespace

bool CodePageIsKnown(std::uint32_t codePage) {
  CodePageTextServices text(codePage);
  Text wide;
  return text.WidenAnsi("A", &wide) == kErrorSuccess;
}

std::unique_ptr<Host> OpenHost(const HostOptions& options, bool forWriting, std::string* error) {
  auto host = std::make_unique<PortableHost>(options);
  if (!host->Open(HivePath(options), forWriting, error)) return nullptr;
  return host;
}

std::unique_ptr<Host> OpenScratchHost(const HostOptions& options) {
  return std::make_unique<PortableHost>(options);
}

}  // namespace tolvane::cli
