#include "assoc/file_ext_association.h"

#include "platform/root_keys.h"
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

Status WriteFileExtAssociation(Platform& platform, const char16_t* progId,
                               const char16_t* extension) {
  const auto refused = [](const std::string& why) {
    return Status::Fail(StatusKind::kRefused, why);
  };
  if (extension == nullptr) return refused("no extension given");
  const std::string extensionText = "'" + Utf16ToUtf8(ViewOf(extension)) + "'";
  if (extension[0] != u'.')
    return refused("the extension " + extensionText + " lacks its leading '.'");
  if (!IsSingleKeyName(ViewOf(extension)))
    return refused("the extension " + extensionText + " holds a backslash");
  if (IsNullOrEmpty(progId)) return refused("no document class given");
  if (!IsSingleKeyName(ViewOf(progId)))
    return refused("the document class '" + Utf16ToUtf8(ViewOf(progId)) + "' holds a backslash");

  // The per-user path is formed before anything is written, so an extension
  // that does not fit it is refused without a partial association.
  PathBuffer perUserPath;
  if (!perUserPath.Assign(kPerUserFileExtsPath) || !perUserPath.Append(u"\\") ||
      !perUserPath.Append(ViewOf(extension))) {
    return refused("the extension " + extensionText + " is too long for the per-user path");
  }

  RegistryStore& registry = platform.registry;
  {
    ScopedKey progIdKey(registry);
    const ErrorCode code =
        registry.OpenKey(kHkeyClassesRoot, progId, kKeyAllAccess, progIdKey.Receive());
    if (code != kErrorSuccess) {
      Status failure = Status::FromError(
          code, "cannot open the document class " + KeyInWords(kHkeyClassesRoot, progId));
      failure.error = StatusKind::kRefused;
      return failure;
    }
  }
  {
    ScopedKey extensionKey(registry);
    ErrorCode code = registry.CreateKey(kHkeyClassesRoot, extension, kKeyAllAccess,
                                        extensionKey.Receive(), nullptr);
    if (code != kErrorSuccess) {
      return Status::FromError(code, "cannot create " + KeyInWords(kHkeyClassesRoot, extension));
    }
    code = SetStringValue(registry, extensionKey.get(), nullptr, progId);
    if (code != kErrorSuccess) {
      return Status::FromError(code,
                               "cannot set " + ValueInWords(kHkeyClassesRoot, extension, nullptr));
    }
  }
  {
    const Text treePath(kPerUserFileExtsPath);
    ScopedKey treeKey(registry);
    if (registry.OpenKey(kHkeyCurrentUser, treePath.c_str(), kKeyAllAccess, treeKey.Receive()) !=
        kErrorSuccess) {
      return Status::Ok();  // no per-user overrides to update
    }
  }

  const RegistrationRecord application{RecordKind::DeleteEntry, kHkeyCurrentUser,
                                       perUserPath.c_str(), kApplicationValue, nullptr};
  DeleteRegistryEntry(registry, application);

  ScopedKey perUserKey(registry);
  ErrorCode code = registry.CreateKey(kHkeyCurrentUser, perUserPath.c_str(), kKeyAllAccess,
                                      perUserKey.Receive(), nullptr);
  if (code != kErrorSuccess) {
    return Status::FromError(code,
                             "cannot create " + KeyInWords(kHkeyCurrentUser, perUserPath.c_str()));
  }
  code = SetStringValue(registry, perUserKey.get(), kProgIdValue, progId);
  if (code != kErrorSuccess) {
    return Status::FromError(
        code, "cannot set " + ValueInWords(kHkeyCurrentUser, perUserPath.c_str(), kProgIdValue));
  }
  return Status::Ok();
}

Status AssociateFileExt(Platform& platform, const char16_t* extension, const char16_t* progId) {
  if (IsExtAssociatedWith(platform, extension, progId)) return Status::Ok();
  Status written = WriteFileExtAssociation(platform, progId, extension);
  if (!written.ok()) return written;
  platform.notifier.NotifyAssocChanged();
  return Status::Ok();
}

std::int32_t ChangeFileExtAssociation(Platform& platform, const char16_t* extension,
                                      const char16_t* progId) {
  return AssociateFileExt(platform, extension, progId).ok() ? kAssocChanged : kAssocRefused;
}

std::int32_t SendAssocChangedNotify(Platform& platform) {
  platform.notifier.NotifyAssocChanged();
  return 0;
}

}  // namespace tolvane
