#include "assoc/file_ext_association.h"

#include "registration/path_buffer.h"
#include "registration/record_executor.h"
#include "registration/registration_record.h"

namespace tolvane {
namespace {

constexpr char16_t kApplicationValue[] = u"Application";
constexpr char16_t kProgIdValue[] = u"ProgID";

char16_t AsciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Equality with only the letters A to Z folded, as the shell's paths compare.
bool EqualsAsciiNoCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// A key name directly below a root holds no backslash.
bool IsSingleKeyName(TextView name) { return name.find(u'\\') == TextView::npos; }

ErrorCode SetStringValue(RegistryStore& registry, RegKey key, const char16_t* name,
                         const char16_t* text) {
  const auto byteCount = static_cast<std::uint32_t>((TextLength(text) + 1) * sizeof(char16_t));
  return registry.SetValue(key, name, kRegSz, text, byteCount);
}

}  // namespace

bool QueryOpenExecutable(Platform& platform, const char16_t* association, Text* executable) {
  if (!platform.shell.QueryOpenExecutable(association, executable) ||
      executable->size() > kMaxPathChars) {
    executable->clear();
    return false;
  }
  return true;
}

bool IsExtAssociatedWith(Platform& platform, const char16_t* extension, const char16_t* progId) {
  Text extensionExecutable;
  Text progIdExecutable;
  const bool extensionFound = QueryOpenExecutable(platform, extension, &extensionExecutable);
  const bool progIdFound = QueryOpenExecutable(platform, progId, &progIdExecutable);
  return extensionFound && progIdFound && EqualsAsciiNoCase(extensionExecutable, progIdExecutable);
}

bool WriteFileExtAssociation(Platform& platform, const char16_t* progId,
                             const char16_t* extension) {
  if (extension == nullptr || extension[0] != u'.' || !IsSingleKeyName(ViewOf(extension))) {
    return false;
  }
  if (IsNullOrEmpty(progId) || !IsSingleKeyName(ViewOf(progId))) return false;

  // The per-user path is formed before anything is written, so an extension
  // that does not fit it is refused without a partial association.
  PathBuffer perUserPath;
  if (!perUserPath.Assign(kPerUserFileExtsPath) || !perUserPath.Append(u"\\") ||
      !perUserPath.Append(ViewOf(extension))) {
    return false;
  }

  RegistryStore& registry = platform.registry;
  {
    ScopedKey progIdKey(registry);
    if (registry.OpenKey(kHkeyClassesRoot, progId, kKeyAllAccess, progIdKey.Receive()) !=
        kErrorSuccess) {
      return false;
    }
  }
  {
    ScopedKey extensionKey(registry);
    if (registry.CreateKey(kHkeyClassesRoot, extension, kKeyAllAccess, extensionKey.Receive(),
                           nullptr) != kErrorSuccess) {
      return false;
    }
    if (SetStringValue(registry, extensionKey.get(), nullptr, progId) != kErrorSuccess) {
      return false;
    }
  }
  {
    const Text treePath(kPerUserFileExtsPath);
    ScopedKey treeKey(registry);
    if (registry.OpenKey(kHkeyCurrentUser, treePath.c_str(), kKeyAllAccess, treeKey.Receive()) !=
        kErrorSuccess) {
      return true;  // no per-user overrides to update
    }
  }

  const RegistrationRecord application{RecordKind::DeleteEntry, kHkeyCurrentUser,
                                       perUserPath.c_str(), kApplicationValue, nullptr};
  DeleteRegistryEntry(registry, application);

  ScopedKey perUserKey(registry);
  if (registry.CreateKey(kHkeyCurrentUser, perUserPath.c_str(), kKeyAllAccess, perUserKey.Receive(),
                         nullptr) != kErrorSuccess) {
    return false;
  }
  return SetStringValue(registry, perUserKey.get(), kProgIdValue, progId) == kErrorSuccess;
}

std::int32_t ChangeFileExtAssociation(Platform& platform, const char16_t* extension,
                                      const char16_t* progId) {
  if (IsExtAssociatedWith(platform, extension, progId)) return kAssocChanged;
  if (!WriteFileExtAssociation(platform, progId, extension)) return kAssocRefused;
  platform.notifier.NotifyAssocChanged();
  return kAssocChanged;
}

std::int32_t SendAssocChangedNotify(Platform& platform) {
  platform.notifier.NotifyAssocChanged();
  return 0;
}

}  // namespace tolvane
