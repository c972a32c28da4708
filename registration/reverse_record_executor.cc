#include "registration/reverse_record_executor.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "assoc/file_ext_association.h"
#include "platform/root_keys.h"
#include "registration/path_buffer.h"
#include "registration/record_executor.h"
#include "script/replacement_map.h"
#include "script/script_runner.h"

namespace tolvane {
namespace {

// Every way taking a record back fails ends here, with its reason.
UndoResult Failure(Status why) { return UndoResult{false, false, std::move(why)}; }

// A store call on a key that failed: "cannot open HKCR\.zdw: access denied (5)".
UndoResult StoreFailure(ErrorCode code, const char* what, RegKey root, const char16_t* path) {
  return Failure(Status::FromError(code, std::string(what) + " " + KeyInWords(root, path)));
}

// A text that does not fit its 260-unit buffer.
UndoResult TooLong(const std::string& what) {
  return Failure(
      Status::Fail(StatusKind::kRefused,
                   what + " does not fit " + std::to_string(kMaxPathChars) + " characters"));
}

bool IsEnd(const RegistrationRecord& record) { return record.kind == RecordKind::EndOfList; }

// Keys that hold other programs' entries beside the suite's. A record owns
// the first key below the container its key lies in; which owned keys are
// association keys, whose change the shell is told about, depends on the
// container.
enum class AssociationKeys { kNone, kDotNames, kAll };

struct Container {
  RegKey root;
  TextView path;  // empty: the root itself
  AssociationKeys associations;
};

// The most specific container first.
constexpr Container kContainers[] = {
    {kHkeyClassesRoot, u"MIME\\Database\\Content Type", AssociationKeys::kNone},
    {kHkeyCurrentUser, kPerUserFileExtsPath, AssociationKeys::kAll},
    {kHkeyClassesRoot, u"", AssociationKeys::kDotNames},
};

// Whether path is container or lies below it.
bool StartsWithKey(TextView path, TextView container) {
  if (container.empty()) return true;
  return path.size() >= container.size() &&
         EqualsNoCase(path.substr(0, container.size()), container) &&
         (path.size() == container.size() || path[container.size()] == u'\\');
}

// The key a record's key path owns, as a length of that path; none when the
// path lies in no container, or is a container itself.
struct OwnedKey {
  std::size_t length = 0;
  bool isAssociation = false;
};

bool FindOwnedKey(RegKey root, TextView keyPath, OwnedKey* owned) {
  for (const Container& container : kContainers) {
    if (container.root != root || !StartsWithKey(keyPath, container.path)) continue;
    const std::size_t start = container.path.empty() ? 0 : container.path.size() + 1;
    if (start >= keyPath.size()) return false;
    const std::size_t slash = keyPath.find(u'\\', start);
    owned->length = slash == TextView::npos ? keyPath.size() : slash;
    owned->isAssociation =
        container.associations == AssociationKeys::kAll ||
        (container.associations == AssociationKeys::kDotNames && keyPath[start] == u'.');
    return true;
  }
  return false;
}

// Whether removing root\path would remove a container or a key above one.
bool HoldsContainer(RegKey root, TextView path) {
  for (const Container& container : kContainers) {
    if (container.root == root && StartsWithKey(container.path, path)) return true;
  }
  return false;
}

// Removes root\keyPath and then each key above it while it is empty, down
// to the owned key's length; a missing key is passed over.
UndoResult RemoveEmptyKeys(RegistryStore& registry, RegKey root, TextView keyPath,
                           std::size_t ownedLength) {
  PathBuffer path;
  if (!path.Assign(keyPath)) return TooLong("the key path " + Utf16ToUtf8(keyPath));
  while (path.size() >= ownedLength && !HoldsContainer(root, path.view())) {
    ScopedKey key(registry);
    const ErrorCode open = registry.OpenKey(root, path.c_str(), kKeyRead, key.Receive());
    if (open != kErrorFileNotFound) {
      if (open != kErrorSuccess) return StoreFailure(open, "cannot open", root, path.c_str());
      std::uint32_t subkeys = 0;
      std::uint32_t values = 0;
      const ErrorCode info = registry.QueryInfoKey(key.get(), &subkeys, &values);
      if (info != kErrorSuccess) return StoreFailure(info, "cannot query", root, path.c_str());
      const ErrorCode closed = key.Reset();
      if (closed != kErrorSuccess) return StoreFailure(closed, "cannot close", root, path.c_str());
      if (subkeys != 0 || values != 0) break;
      const ErrorCode code = registry.DeleteKey(root, path.c_str());
      if (code != kErrorSuccess && code != kErrorFileNotFound) {
        return StoreFailure(code, "cannot delete", root, path.c_str());
      }
    }
    const std::size_t slash = path.view().rfind(u'\\');
    if (slash == TextView::npos) break;
    path.Truncate(slash);
  }
  return UndoResult{};
}

enum class Stored { kMissing, kSame, kDiffers, kUnreadable };

// Compares the stored value with what registering writes: REG_SZ, the text
// and its terminator, nothing more. An unreadable value leaves the store's
// code in *code.
Stored CompareStoredValue(RegistryStore& registry, RegKey key, const char16_t* name,
                          const PathBuffer& wanted, ErrorCode* unreadable) {
  std::array<char16_t, kPathBufferUnits> current{};
  std::uint32_t type = kRegNone;
  std::uint32_t bytes = static_cast<std::uint32_t>(sizeof(current));
  const ErrorCode code = registry.QueryValue(key, name, &type, current.data(), &bytes);
  if (code == kErrorFileNotFound) return Stored::kMissing;
  if (code == kErrorMoreData) return Stored::kDiffers;
  *unreadable = code;
  if (code != kErrorSuccess) return Stored::kUnreadable;
  const std::size_t wantedBytes = (wanted.size() + 1) * sizeof(char16_t);
  return type == kRegSz && bytes == wantedBytes &&
                 std::memcmp(current.data(), wanted.c_str(), wantedBytes) == 0
             ? Stored::kSame
             : Stored::kDiffers;
}

UndoResult UndoStringRecord(Platform& platform, const RegistrationRecord& record,
                            TextView directory, UndoNotes* notes) {
  // Words are made only for a failure: a run of many records stays cheap.
  const auto value = [&] { return ValueInWords(record.root, record.keyPath, record.valueName); };
  PathBuffer wanted;
  if (!RegisteredText(record, directory, &wanted)) {
    return TooLong("the text " + value() + " holds after registering");
  }
  RegistryStore& registry = platform.registry;
  OwnedKey owned;
  const bool hasOwner = FindOwnedKey(record.root, ViewOf(record.keyPath), &owned);

  UndoResult result;
  ScopedKey key(registry);
  const ErrorCode open =
      registry.OpenKey(record.root, record.keyPath, kKeyAllAccess, key.Receive());
  if (open != kErrorSuccess && open != kErrorFileNotFound) {
    return StoreFailure(open, "cannot open", record.root, record.keyPath);
  }
  if (open == kErrorSuccess) {
    ErrorCode read = kErrorSuccess;
    switch (CompareStoredValue(registry, key.get(), record.valueName, wanted, &read)) {
      case Stored::kMissing:
        break;
      case Stored::kUnreadable:
        return Failure(Status::FromError(read, "cannot read " + value()));
      case Stored::kDiffers:
        if (notes != nullptr)
          notes->kept.push_back({record.root, Text(ViewOf(record.keyPath)), record.valueName});
        break;
      case Stored::kSame: {
        const ErrorCode code = registry.DeleteValue(key.get(), record.valueName);
        if (code != kErrorSuccess && code != kErrorFileNotFound) {
          return Failure(Status::FromError(code, "cannot delete " + value()));
        }
        result.associationsRemoved = code == kErrorSuccess && hasOwner && owned.isAssociation;
        break;
      }
    }
    const ErrorCode closed = key.Reset();
    if (closed != kErrorSuccess) {
      return StoreFailure(closed, "cannot close", record.root, record.keyPath);
    }
  }
  if (hasOwner) {
    result.Fold(RemoveEmptyKeys(registry, record.root, ViewOf(record.keyPath), owned.length));
  }
  return result;
}

UndoResult UndoScriptRecord(Platform& platform, const RegistrationRecord& record,
                            TextView directory) {
  const auto script = [&] { return "script " + std::to_string(ScriptIdOf(record)); };
  Text ownModule;
  if (!platform.paths.OwnModulePath(&ownModule)) {
    return Failure(Status::Fail(StatusKind::kRefused, "cannot unregister " + script() +
                                                          ": the library's own path is unknown"));
  }
  if (ownModule.size() > kMaxPathChars) {
    return TooLong("cannot unregister " + script() + ": the library's own path");
  }
  PathBuffer scriptDirectory;
  if (!ScriptDirectory(directory, &scriptDirectory)) {
    return TooLong("cannot unregister " + script() + ": the directory");
  }
  ReplacementMap replacements;
  if (const HResult added = AddScriptReplacements(scriptDirectory, &replacements); Failed(added)) {
    return Failure(Status::FromResult(added, "cannot unregister " + script()));
  }
  Status status = UnregisterRegistryScript(platform, replacements, ownModule, ScriptIdOf(record));
  return status.ok() ? UndoResult{} : Failure(std::move(status));
}

UndoResult UndoWithSubDirectory(Platform& platform, const RegistrationRecord& prefix,
                                const RegistrationRecord& record, TextView directory,
                                UndoNotes* notes) {
  PathBuffer subDirectory;
  if (!subDirectory.Assign(directory) || !EnsureTrailingBackslash(subDirectory) ||
      !subDirectory.Append(ViewOf(prefix.keyPath))) {
    return TooLong("the directory with " + Utf16ToUtf8(ViewOf(prefix.keyPath)));
  }
  return UndoRecord(platform, record, subDirectory.view(), notes);
}

// Takes back the records from cursor to the end of its list, the later
// ones first. The walk forward finds each record's place (a prefix belongs
// to the record after it); the depth is the list's length.
UndoResult UndoFrom(Platform& platform, const RegistrationRecord* cursor, TextView directory,
                    UndoNotes* notes) {
  if (IsEnd(*cursor)) return UndoResult{};
  const RegistrationRecord& record = *cursor;
  const RegistrationRecord& next = cursor[1];
  switch (record.kind) {
    case RecordKind::IfExists:
      return IsEnd(next) ? UndoResult{} : UndoFrom(platform, cursor + 1, directory, notes);
    case RecordKind::DeleteEntry:
      return UndoFrom(platform, cursor + 1, directory, notes);
    case RecordKind::SubDirectory:
      if (!IsNullOrEmpty(record.keyPath)) {
        if (IsEnd(next)) return UndoResult{};
        UndoResult result = UndoFrom(platform, cursor + 2, directory, notes);
        result.Fold(UndoWithSubDirectory(platform, record, next, directory, notes));
        return result;
      }
      [[fallthrough]];
    default: {
      UndoResult result = UndoFrom(platform, cursor + 1, directory, notes);
      result.Fold(UndoRecord(platform, record, directory, notes));
      return result;
    }
  }
}

}  // namespace

UndoResult UndoRecord(Platform& platform, const RegistrationRecord& record, TextView directory,
                      UndoNotes* notes) {
  switch (record.kind) {
    case RecordKind::SetString:
    case RecordKind::SetExpandedString:
      return UndoStringRecord(platform, record, directory, notes);
    case RecordKind::RunScript:
      return UndoScriptRecord(platform, record, directory);
    default:
      return Failure(Status::Fail(StatusKind::kRefused,
                                  "a record of kind " +
                                      std::to_string(static_cast<std::uint32_t>(record.kind)) +
                                      " cannot be taken back"));
  }
}

UndoResult UndoRecordList(Platform& platform, const RegistrationRecord* list, TextView directory,
                          UndoNotes* notes) {
  return UndoFrom(platform, list, directory, notes);
}

UndoResult UndoGroup(Platform& platform, RegistrationGroup group, TextView directory,
                     UndoNotes* notes) {
  std::size_t count = 0;
  while (group[count] != nullptr) ++count;
  UndoResult result;
  while (count > 0) result.Fold(UndoRecordList(platform, group[--count], directory, notes));
  return result;
}

}  // namespace tolvane
