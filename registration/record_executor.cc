#include "registration/record_executor.h"

#include <array>
#include <cstring>

#include "platform/root_keys.h"
#include "registration/path_buffer.h"
#include "script/replacement_map.h"
#include "script/script_runner.h"

namespace tolvane {
namespace {

bool IsEnd(const RegistrationRecord& record) { return record.kind == RecordKind::EndOfList; }

// Tests an IfExists condition: root\keyPath opens with full access and, when
// a value name is given, that value exists.
bool ConditionHolds(RegistryStore& registry, const RegistrationRecord& record) {
  ScopedKey key(registry);
  if (registry.OpenKey(record.root, record.keyPath, kKeyAllAccess, key.Receive()) !=
      kErrorSuccess) {
    return false;
  }
  if (record.valueName == nullptr) return true;
  return registry.QueryValue(key.get(), record.valueName, nullptr, nullptr, nullptr) ==
         kErrorSuccess;
}

// Whether the stored value differs from wanted. The value is read into a
// zeroed 260-unit buffer, so a missing value reads as empty; a value that
// does not fit, or fills the buffer with no terminator, differs.
bool StoredValueDiffers(RegistryStore& registry, RegKey key, const char16_t* name,
                        TextView wanted) {
  std::array<char16_t, kPathBufferUnits> current{};
  std::uint32_t bytes = static_cast<std::uint32_t>(sizeof(current));
  const ErrorCode code = registry.QueryValue(key, name, nullptr, current.data(), &bytes);
  if (code == kErrorMoreData) return true;
  const TextView stored(current.data(), current.size());
  const std::size_t end = stored.find(u'\0');
  if (end == TextView::npos) return true;
  return stored.substr(0, end) != wanted;
}

RunResult ExecuteStringRecord(Platform& platform, const RegistrationRecord& record,
                              TextView directory) {
  // Words are made only for a failure: a run of many records stays cheap.
  const auto value = [&] { return ValueInWords(record.root, record.keyPath, record.valueName); };
  // The wanted text first: one that does not fit fails before any write.
  const auto tooLong = [&](const char* what) {
    return RunResult::Failed(Status::Fail(StatusKind::kRefused,
                                          "cannot set " + value() + ": " + what + " does not fit " +
                                              std::to_string(kMaxPathChars) + " characters"));
  };
  PathBuffer wanted;
  if (!RegisteredText(record, directory, &wanted)) {
    if (record.kind == RecordKind::SetString) return tooLong("the text");
    return tooLong(directory.size() > kMaxPathChars ? "the directory"
                                                    : "the text with the directory");
  }

  RegistryStore& registry = platform.registry;
  RunResult result;
  ScopedKey key(registry);
  bool created = false;
  if (registry.OpenKey(record.root, record.keyPath, kKeyAllAccess, key.Receive()) !=
      kErrorSuccess) {
    const ErrorCode code =
        registry.CreateKey(record.root, record.keyPath, kKeyAllAccess, key.Receive(), &created);
    if (code != kErrorSuccess) {
      return RunResult::Failed(
          Status::FromError(code, "cannot create " + KeyInWords(record.root, record.keyPath)));
    }
    result.changed = true;
  }
  // A key made just now holds no value to compare with: no read is needed.
  if (created || StoredValueDiffers(registry, key.get(), record.valueName, wanted.view())) {
    const auto bytes = static_cast<std::uint32_t>((wanted.size() + 1) * sizeof(char16_t));
    // A write that fails fails the record and is no change.
    const ErrorCode code =
        registry.SetValue(key.get(), record.valueName, kRegSz, wanted.c_str(), bytes);
    if (code != kErrorSuccess) {
      result.Fold(RunResult::Failed(Status::FromError(code, "cannot set " + value())));
    } else {
      result.changed = true;
    }
  }
  return result;
}

RunResult ExecuteScriptRecord(Platform& platform, const RegistrationRecord& record,
                              TextView directory) {
  // A script record never reports a change, whatever the script wrote.
  const auto refused = [&](const std::string& why) {
    return RunResult::Failed(
        Status::Fail(StatusKind::kRefused,
                     "cannot run script " + std::to_string(ScriptIdOf(record)) + ": " + why));
  };
  const auto fits = [] { return " does not fit " + std::to_string(kMaxPathChars) + " characters"; };
  Text ownModule;
  if (!platform.paths.OwnModulePath(&ownModule))
    return refused("the library's own path is unknown");
  if (ownModule.size() > kMaxPathChars) return refused("the library's own path" + fits());
  PathBuffer scriptDirectory;
  if (!ScriptDirectory(directory, &scriptDirectory)) return refused("the directory" + fits());

  if (!IsNullOrEmpty(record.valueName)) {
    PathBuffer modulePath;
    if (!modulePath.Assign(scriptDirectory.view()) ||
        !modulePath.Append(ViewOf(record.valueName))) {
      return refused("the path of " + Utf16ToUtf8(ViewOf(record.valueName)) + fits());
    }
    if (!platform.files.Exists(modulePath.view())) return RunResult{};  // not installed: skipped
  }

  ReplacementMap replacements;
  if (Failed(AddScriptReplacements(scriptDirectory, &replacements)))
    return refused("out of memory");
  Status status = RunRegistryScript(platform, replacements, ownModule, ScriptIdOf(record));
  if (status.ok()) return RunResult{};
  return RunResult::Failed(std::move(status));
}

}  // namespace

bool RegisteredText(const RegistrationRecord& record, TextView directory, PathBuffer* text) {
  if (record.kind == RecordKind::SetString) return text->Assign(ViewOf(record.data));
  PathBuffer app;
  if (!app.Assign(directory)) return false;
  StripTrailingBackslash(app);
  CollapseParentSegments(app);
  return ExpandAppToken(ViewOf(record.data), app.view(), text);
}

bool ScriptDirectory(TextView directory, PathBuffer* scriptDirectory) {
  if (!scriptDirectory->Assign(directory) || !EnsureTrailingBackslash(*scriptDirectory)) {
    return false;
  }
  CollapseParentSegments(*scriptDirectory);
  return true;
}

HResult AddScriptReplacements(const PathBuffer& scriptDirectory, ReplacementMap* replacements) {
  return replacements->Add(u"PATH", scriptDirectory.c_str());
}

RunResult ExecuteRecord(Platform& platform, const RegistrationRecord& record, TextView directory) {
  switch (record.kind) {
    case RecordKind::SetString:
    case RecordKind::SetExpandedString:
      return ExecuteStringRecord(platform, record, directory);
    case RecordKind::RunScript:
      return ExecuteScriptRecord(platform, record, directory);
    default:
      return RunResult::Failed(Status::Fail(
          StatusKind::kRefused, "a record of kind " +
                                    std::to_string(static_cast<std::uint32_t>(record.kind)) +
                                    " cannot run here"));
  }
}

bool DeleteRegistryEntry(RegistryStore& registry, const RegistrationRecord& record) {
  if (record.valueName != nullptr) {
    ScopedKey key(registry);
    if (registry.OpenKey(record.root, record.keyPath, kKeyAllAccess, key.Receive()) !=
        kErrorSuccess) {
      return false;
    }
    return registry.DeleteValue(key.get(), record.valueName) == kErrorSuccess;
  }
  if (IsNullOrEmpty(record.keyPath)) return false;
  return registry.DeleteTree(record.root, record.keyPath) == kErrorSuccess;
}

RunResult RunRecordList(Platform& platform, const RegistrationRecord* list, TextView directory) {
  RunResult result;
  const RegistrationRecord* cursor = list;
  while (!IsEnd(*cursor)) {
    const RegistrationRecord& record = *cursor;
    const RegistrationRecord& next = cursor[1];
    if (record.kind == RecordKind::IfExists) {
      if (IsEnd(next)) break;
      cursor += ConditionHolds(platform.registry, record) ? 1 : 2;
    } else if (record.kind == RecordKind::SubDirectory && !IsNullOrEmpty(record.keyPath)) {
      if (IsEnd(next)) break;
      PathBuffer subDirectory;
      if (subDirectory.Assign(directory) && EnsureTrailingBackslash(subDirectory) &&
          subDirectory.Append(ViewOf(record.keyPath))) {
        result.Fold(ExecuteRecord(platform, next, subDirectory.view()));
      } else {
        result.Fold(RunResult::Failed(Status::Fail(
            StatusKind::kRefused, "the directory with " + Utf16ToUtf8(ViewOf(record.keyPath)) +
                                      " does not fit " + std::to_string(kMaxPathChars) +
                                      " characters")));
      }
      cursor += 2;
    } else if (record.kind == RecordKind::DeleteEntry) {
      if (DeleteRegistryEntry(platform.registry, record)) result.changed = true;
      cursor += 1;
    } else {
      result.Fold(ExecuteRecord(platform, record, directory));
      cursor += 1;
    }
  }
  return result;
}

RunResult RunGroup(Platform& platform, RegistrationGroup group, TextView directory) {
  RunResult result;
  for (const RecordList* list = group; *list != nullptr; ++list) {
    result.Fold(RunRecordList(platform, *list, directory));
  }
  return result;
}

}  // namespace tolvane
