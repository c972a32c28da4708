#include "registration/reg_product.h"

#include "registration/group_catalogue.h"
#include "registration/record_executor.h"

namespace tolvane {

bool ExecutableDirectory(TextView executablePath, Text* directory) {
  static constexpr std::size_t kMaxDriveUnits = 2;
  static constexpr std::size_t kMaxFolderUnits = 255;
  if (executablePath.size() > kMaxPathChars) return false;
  TextView rest = executablePath;
  TextView drive;
  if (rest.size() >= kMaxDriveUnits && rest[1] == u':') {
    drive = rest.substr(0, kMaxDriveUnits);
    rest.remove_prefix(kMaxDriveUnits);
  }
  const std::size_t lastSlash = rest.find_last_of(u"\\/");
  const TextView folders = lastSlash == TextView::npos ? TextView() : rest.substr(0, lastSlash + 1);
  if (folders.size() > kMaxFolderUnits) return false;
  directory->assign(drive);
  directory->append(folders);
  return true;
}

bool ChooseInstallDirectory(Platform& platform, const char16_t* installDir, Text* directory) {
  if (IsNullOrEmpty(installDir)) {
    Text executable;
    return platform.paths.HostExecutablePath(&executable) &&
           ExecutableDirectory(executable, directory) && !directory->empty();
  }
  directory->assign(ViewOf(installDir));
  return directory->size() <= kMaxPathChars;
}

std::int32_t RegProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                        const char16_t* installDir) {
  const RegistrationGroup group = FindGroup(catalogue, groupName);
  if (group == nullptr) return kErrorRegistryIoFailed;

  Text directory;
  if (!ChooseInstallDirectory(platform, installDir, &directory)) return kErrorRegistryIoFailed;

  const RunResult result = RunGroup(platform, group, directory);
  if (!result.ok) return kErrorRegistryIoFailed;
  if (result.changed) platform.notifier.NotifyAssocChanged();
  return kErrorSuccess;
}

std::int32_t RegProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir) {
  return RegProduct(platform, BuiltInCatalogue(), groupName, installDir);
}

}  // namespace tolvane
