#include "registration/unreg_product.h"

#include <new>

#include "registration/group_catalogue.h"
#include "registration/reg_product.h"

namespace tolvane {

Status UnregisterProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                         const char16_t* installDir, UndoNotes* notes) {
  const RegistrationGroup group = FindGroup(catalogue, groupName);
  if (group == nullptr) {
    return Status::Fail(StatusKind::kNotFound, UnknownGroupReason(catalogue, groupName));
  }
  const std::string name = "group " + Utf16ToUtf8(ViewOf(groupName));
  Text directory;
  const Status chosen = ChooseInstallDirectory(platform, installDir, &directory);
  if (!chosen.ok()) return chosen.Within(name);

  UndoResult result;
  try {
    result = UndoGroup(platform, group, directory, notes);
  } catch (const std::bad_alloc&) {
    // Only the notes allocate; the store calls already made stand.
    return Status::FromError(kErrorNotEnoughMemory, name + ": cannot note the values kept");
  }
  if (!result.ok) return result.failure.Within(name);
  if (result.associationsRemoved) platform.notifier.NotifyAssocChanged();
  return Status::Ok();
}

std::int32_t UnregProduct(Platform& platform, GroupCatalogue catalogue, const char16_t* groupName,
                          const char16_t* installDir, UndoNotes* notes) {
  return UnregisterProduct(platform, catalogue, groupName, installDir, notes).ok()
             ? kErrorSuccess
             : kErrorRegistryIoFailed;
}

std::int32_t UnregProduct(Platform& platform, const char16_t* groupName, const char16_t* installDir,
                          UndoNotes* notes) {
  return UnregProduct(platform, BuiltInCatalogue(), groupName, installDir, notes);
}

}  // namespace tolvane
