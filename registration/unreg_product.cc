#include "registration/unreg_product.h"

#include <new>

#include "registration/group_catalogue.h"
#include "registration/reg_product.h"

namespace tolvane {

std::int32_t UnregProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                          const char16_t* installDir, UndoNotes* notes) {
  const RegistrationGroup group = FindGroup(catalogue, groupName);
  if (group == nullptr) return kErrorRegistryIoFailed;
  Text directory;
  if (!ChooseInstallDirectory(platform, installDir, &directory).ok()) return kErrorRegistryIoFailed;

  UndoResult result;
  try {
    result = UndoGroup(platform, group, directory, notes);
  } catch (const std::bad_alloc&) {
    // Only the notes allocate; the store calls already made stand.
    return kErrorRegistryIoFailed;
  }
  if (!result.ok) return kErrorRegistryIoFailed;
  if (result.associationsRemoved) platform.notifier.NotifyAssocChanged();
  return kErrorSuccess;
}

std::int32_t UnregProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir,
                          UndoNotes* notes) {
  return UnregProduct(platform, BuiltInCatalogue(), groupName, installDir, notes);
}

}  // namespace tolvane
