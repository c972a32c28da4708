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

Status ChooseInstallDirectory(Platform& platform, const char16_t* installDir, Text* directory) {
  if (IsNullOrEmpty(installDir)) {
    Text executable;
    if (!platform.paths.HostExecutablePath(&executable)) {
      return Status::Fail(StatusKind::kRefused,
                          "no directory given, and the host executable's path is unknown");
    }
    if (!ExecutableDirectory(executable, directory) || directory->empty()) {
      return Status::Fail(StatusKind::kRefused,
                          "no directory given, and the host executable's folder (" +
                              Utf16ToUtf8(executable) + ") does not fit " +
                              std::to_string(kMaxPathChars) + " characters");
    }
    return Status::Ok();
  }
  directory->assign(ViewOf(installDir));
  if (directory->size() > kMaxPathChars) {
    return Status::Fail(StatusKind::kRefused,
                        "the directory has " + std::to_string(directory->size()) +
                            " characters, more than " + std::to_string(kMaxPathChars));
  }
  return Status::Ok();
}

Status RegisterProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                       const char16_t* installDir) {
  const RegistrationGroup group = FindGroup(catalogue, groupName);
  if (group == nullptr)
    return Status::Fail(StatusKind::kNotFound, UnknownGroupReason(catalogue, groupName));
  const std::string name = Utf16ToUtf8(ViewOf(groupName));

  Text directory;
  const Status chosen = ChooseInstallDirectory(platform, installDir, &directory);
  if (!chosen.ok()) return chosen.Within("group " + name);

  const RunResult result = RunGroup(platform, group, directory);
  if (!result.ok) return result.failure.Within("group " + name);
  if (result.changed) platform.notifier.NotifyAssocChanged();
  return Status::Ok();
}

std::int32_t RegProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                        const char16_t* installDir) {
  return RegisterProduct(platform, catalogue, groupName, installDir).ok() ? kErrorSuccess
                                                                          : kErrorRegistryIoFailed;
}

std::int32_t RegProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir) {
  return RegProduct(platform, BuiltInCatalogue(), groupName, installDir);
}

}  // namespace tolvane
