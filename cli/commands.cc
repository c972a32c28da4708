#include "cli/commands.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "assoc/file_ext_association.h"
#include "cli/command_line.h"
#include "cli/dialog_command.h"
#include "cli/installer_commands.h"
#include "cli/output.h"
#include "cli/probe_command.h"
#include "cli/script_failure.h"
#include "cli/safe_text.h"
#include "cli/whole_number.h"
#include "cli/verify_command.h"
#include "platform/hive/hive_file.h"
#include "platform/hive/hive_format.h"
#include "platform/registry_snapshot.h"
#include "platform/root_keys.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"
#include "registration/unreg_product.h"
#include "script/replacement_map.h"
#include "script/script_engine.h"
#include "script/script_runner.h"

namespace tolvane::cli {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Reads a file named on the command line; false with the reason (missing,
// a directory, unreadable) in *error.
bool ReadInput(const std::string& path, std::string* bytes, std::string* error) {
  const Status status = ReadWholeFile(path, bytes, /*pipes=*/true);
  if (!status.ok()) *error = "cannot read " + status.message;
  return status.ok();
}

// Fills the report's common members from what the host saw.
void Finish(const Host& host, CallReport* report) {
  report->notifications = host.notifications();
  report->changes = host.changes();
  report->dryRun = host.dryRun();
  report->modulesNotRun = host.modulesNotRun();
}

// The values unregistering left in place: a "kept" member of the JSON
// report and one note line each.
void KeptReport(const UndoNotes& notes, CallReport* report) {
  nlohmann::json kept = nlohmann::json::array();
  for (const KeptValue& value : notes.kept) {
    const std::string key =
        Utf16ToUtf8(RootKeyName(value.root)) + "\\" + Utf16ToUtf8(value.keyPath);
    const std::string name = value.valueName == nullptr ? "" : Utf16ToUtf8(ViewOf(value.valueName));
    kept.push_back({{"key", key},
                    {"name", value.valueName == nullptr ? nlohmann::json() : nlohmann::json(name)},
                    {"reason", "differs from what registration writes"}});
    report->notes.push_back("kept: " + key + " " +
                            (value.valueName == nullptr ? "(default)" : Quoted(name)) +
                            ": differs from what registration writes");
  }
  report->extra["kept"] = std::move(kept);
}

// Commits a writing command; a failed save is a tool error.
bool CommitOrFail(Host& host, CommandOutcome* outcome) {
  std::string error;
  if (host.Commit(&error)) return true;
  outcome->exitCode = kExitUsage;
  outcome->error = error;
  return false;
}

// GROUP and DIR of register and unregister as the library takes them, and
// the call they make as the report shows it.
struct GroupArguments {
  explicit GroupArguments(const CommandArgs& args)
      : group(Utf8ToUtf16(args.group)),
        directory(args.directory ? Utf8ToUtf16(*args.directory) : Text()),
        given(args.directory.has_value()) {}
  const char16_t* dir() const { return given ? directory.c_str() : nullptr; }
  static std::string Call(const char* function, const CommandArgs& args) {
    return std::string(function) + "(" + Quoted(args.group) + ", " +
           (args.directory ? Quoted(*args.directory) : std::string("null")) + ")";
  }

  Text group;
  Text directory;
  bool given;
};

CommandOutcome Register(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  const GroupArguments call(args);
  const Status status =
      RegisterProduct(host->platform(), BuiltInCatalogue(), call.group.c_str(), call.dir());
  const std::int32_t result = status.ok() ? kErrorSuccess : kErrorRegistryIoFailed;

  CommandOutcome outcome;
  CallReport& report = outcome.report;
  report.call = GroupArguments::Call("RegProduct", args);
  report.result = result;
  report.meaning = result == 0 ? "the group ran completely"
                               : "the group is unknown, or a record failed (nothing rolled back)";
  report.reason = status.message;
  Finish(*host, &report);
  outcome.exitCode = result == 0 ? kExitOk : kExitFailure;
  CommitOrFail(*host, &outcome);
  return outcome;
}

CommandOutcome Unregister(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  const GroupArguments call(args);
  UndoNotes notes;
  const Status status = UnregisterProduct(host->platform(), BuiltInCatalogue(), call.group.c_str(),
                                          call.dir(), &notes);
  const std::int32_t result = status.ok() ? kErrorSuccess : kErrorRegistryIoFailed;

  CommandOutcome outcome;
  CallReport& report = outcome.report;
  report.call = GroupArguments::Call("UnregProduct", args);
  report.result = result;
  report.meaning = result == 0 ? "the group was taken back completely"
                               : "the group is unknown, or a record failed (the rest was still "
                                 "taken back)";
  report.reason = status.message;
  KeptReport(notes, &report);
  Finish(*host, &report);
  outcome.exitCode = result == 0 ? kExitOk : kExitFailure;
  CommitOrFail(*host, &outcome);
  return outcome;
}

CommandOutcome Groups(const CommandArgs& /*args*/, const GlobalArgs& global) {
  CommandOutcome outcome;
  nlohmann::json names = nlohmann::json::array();
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
    const std::string name = Utf16ToUtf8(ViewOf(entry.name));
    names.push_back(name);
    outcome.output += name + "\n";
  }
  outcome.report.extra["groups"] = names;
  outcome.raw = !global.json;
  return outcome;
}

CommandOutcome Assoc(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  const Text extension = Utf8ToUtf16(args.extension);
  const Text progId = Utf8ToUtf16(args.progId);
  const Status status = AssociateFileExt(host->platform(), extension.c_str(), progId.c_str());
  const std::int32_t result = status.ok() ? kAssocChanged : kAssocRefused;
  CommandOutcome outcome;
  outcome.report.call =
      "ChangeFileExtAssociation(" + Quoted(args.extension) + ", " + Quoted(args.progId) + ")";
  outcome.report.result = result;
  outcome.report.meaning = result == 0 ? "the extension opens with the class's program"
                                       : "the association was refused or failed";
  outcome.report.reason = status.message;
  Finish(*host, &outcome.report);
  outcome.exitCode = result == 0 ? kExitOk : kExitFailure;
  CommitOrFail(*host, &outcome);
  return outcome;
}

CommandOutcome Notify(const CommandArgs& /*args*/, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, false, &error);
  if (!host) return ToolErrorOutcome(error);
  CommandOutcome outcome;
  outcome.report.call = "SendAssocChangedNotify()";
  outcome.report.result = SendAssocChangedNotify(host->platform());
  outcome.report.meaning = "the shell was told that associations changed";
  Finish(*host, &outcome.report);
  return outcome;
}

// The --set NAME=VALUE pairs as a replacement map, in order.
bool FillReplacements(const std::vector<std::string>& sets, ReplacementMap* map,
                      std::string* error) {
  for (const std::string& set : sets) {
    const std::size_t eq = set.find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "--set wants NAME=VALUE, not '" + set + "'";
      return false;
    }
    if (Failed(map->Add(Utf8ToUtf16(set.substr(0, eq)).c_str(),
                        Utf8ToUtf16(set.substr(eq + 1)).c_str()))) {
      *error = "out of memory";
      return false;
    }
  }
  return true;
}

std::string StatusText(HResult status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(status));
  return text;
}

// Applies the script of a file (its bytes, read before the hive was locked)
// or an embedded id on host's platform.
CommandOutcome ApplyScriptCommand(Host& host, const CommandArgs& args, const std::string& bytes,
                                  bool commit) {
  CommandOutcome outcome;
  Platform& platform = host.platform();
  ReplacementMap map;
  std::string error;
  if (!FillReplacements(args.sets, &map, &error)) return ToolErrorOutcome(error);

  HResult status = kSOk;
  std::string place;  // where a script file stopped, for the message
  std::string reason;
  if (args.scriptId >= 0) {
    Text own;
    if (!platform.paths.OwnModulePath(&own))
      return ToolErrorOutcome("cannot tell the library's own path");
    const auto id = static_cast<std::uint16_t>(args.scriptId);
    const Status run = RunRegistryScript(platform, map, own, id, &place);
    if (!place.empty()) place = "script " + std::to_string(id) + ", " + place;
    status = run.code;
    reason = run.message;
    outcome.report.call = "RunScriptResource(" + std::to_string(args.scriptId) + ")";
  } else {
    if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
      const auto line =
          1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
      return ToolErrorOutcome(args.file + ": line " + std::to_string(line) +
                              ": a NUL byte; a script is text and would end there");
    }
    host.AllowInput(bytes.size());
    Text script;
    const ErrorCode widened = platform.text.WidenAnsi(bytes, &script);
    if (widened != kErrorSuccess) {
      status = HResultFromError(widened);
      place = bytes.empty() ? "the file is empty" : "the text is not valid in the code page";
      reason = "cannot widen " + args.file + ": " + place + ", " + ResultText(status);
    } else {
      const Status applied = ApplyScriptText(platform, map, script, &place);
      status = applied.code;
      reason = applied.message;
    }
    outcome.report.call = "ApplyScript(" + Quoted(args.file) + ")";
  }
  outcome.report.result = status;
  outcome.report.reason = reason;
  if (Succeeded(status)) {
    outcome.report.meaning = "the script was registered";
  } else {
    std::vector<std::string> lost;
    const std::size_t remaining = RemainingChanges(host.changes(), &lost);
    if (!place.empty()) outcome.report.extra["failure"] = place;
    outcome.report.extra["remaining"] = remaining;
    outcome.report.extra["lost"] = lost;
    std::string lostText;
    for (const std::string& name : lost) lostText += (lostText.empty() ? "" : ", ") + name;
    outcome.report.meaning =
        "the script failed with " + StatusText(status) + (place.empty() ? "" : " (" + place + ")") +
        (remaining == 0 ? "; nothing it added or changed remains"
                        : "; " + std::to_string(remaining) +
                              " change(s) remain (root blocks before the failure, and what "
                              "undoing the failed block keeps)") +
        (lost.empty() ? "" : "; lost what was there before: " + lostText);
  }
  Finish(host, &outcome.report);
  outcome.exitCode = Succeeded(status) ? kExitOk : kExitFailure;
  if (commit) CommitOrFail(host, &outcome);
  return outcome;
}

CommandOutcome ScriptRun(const CommandArgs& args, const GlobalArgs& global) {
  if (args.file.empty() == (args.scriptId < 0)) {
    return ToolErrorOutcome("script run wants a FILE or --id N");
  }
  std::string bytes;
  std::string error;
  if (args.scriptId < 0 && !ReadInput(args.file, &bytes, &error)) return ToolErrorOutcome(error);
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  return ApplyScriptCommand(*host, args, bytes, true);
}

CommandOutcome ScriptCheck(const CommandArgs& args, const GlobalArgs& global) {
  if (args.file.empty()) return ToolErrorOutcome("script check wants a FILE");
  std::string bytes;
  std::string error;
  if (!ReadInput(args.file, &bytes, &error)) return ToolErrorOutcome(error);
  auto host = OpenScratchHost(global.host);
  return ApplyScriptCommand(*host, args, bytes, false);
}

CommandOutcome ScriptShow(const CommandArgs& args, const GlobalArgs& global) {
  auto host = OpenScratchHost(global.host);
  Platform& platform = host->platform();
  Text own;
  if (!platform.paths.OwnModulePath(&own))
    return ToolErrorOutcome("cannot tell the library's own path");
  std::string bytes;
  const ErrorCode code =
      platform.resources.LoadRegistryScript(own, static_cast<std::uint16_t>(args.scriptId), &bytes);
  CommandOutcome outcome;
  outcome.report.call = "script " + std::to_string(args.scriptId);
  if (code != kErrorSuccess) {
    std::fprintf(stderr, "tolvane: there is no embedded script %d (error %d)\n", args.scriptId,
                 code);
    outcome.exitCode = kExitFailure;
    outcome.report.result = HResultFromError(code);
    outcome.raw = !global.json;
    return outcome;
  }
  Text script;
  if (platform.text.WidenAnsi(bytes, &script) != kErrorSuccess) {
    return ToolErrorOutcome("script " + std::to_string(args.scriptId) + " cannot be widened");
  }
  const std::string text = Utf16ToUtf8(script);
  if (global.json) {
    outcome.report.extra["id"] = args.scriptId;
    outcome.report.extra["text"] = text;
  } else {
    outcome.raw = true;
    outcome.output = text;
    if (!outcome.output.empty() && outcome.output.back() != '\n') outcome.output += "\n";
  }
  return outcome;
}

// Resolves KEY of the command line to a root and a path below it.
bool ParseKey(const std::string& key, RegKey* root, Text* path) {
  return SplitRootedPath(Utf8ToUtf16(key), root, path);
}

// Names the keys a read passed over (a line each on stderr, and the
// report's "unreadable" member); what could be read is shown as usual.
void ReportUnread(const std::vector<UnreadKey>& unread, CommandOutcome* outcome) {
  if (unread.empty()) return;
  nlohmann::json list = nlohmann::json::array();
  for (const UnreadKey& key : unread) {
    const std::string path = Utf16ToUtf8(key.path);
    std::fprintf(stderr, "tolvane: cannot read %s (error %u%s)\n", path.c_str(),
                 static_cast<unsigned>(key.code), key.code == 5 ? ": access denied" : "");
    list.push_back({{"key", path}, {"error", key.code}});
  }
  outcome->report.extra["unreadable"] = std::move(list);
}

CommandOutcome Query(const CommandArgs& args, const GlobalArgs& global) {
  RegKey root = kNoKey;
  Text path;
  if (!ParseKey(args.key, &root, &path))
    return ToolErrorOutcome("unknown registry root in '" + args.key + "'");
  std::string error;
  auto host = OpenHost(global.host, false, &error);
  if (!host) return ToolErrorOutcome(error);
  std::vector<StoredKey> keys;
  std::vector<UnreadKey> unread;
  CommandOutcome outcome;
  if (ReadRegistryTree(host->platform().registry, root, path, &keys, &unread) != kErrorSuccess) {
    outcome.exitCode = kExitFailure;
    std::fprintf(stderr, "tolvane: the key %s does not exist\n", TerminalSafe(args.key).c_str());
    outcome.report.result = kErrorFileNotFound;
    outcome.report.extra["keys"] = nlohmann::json::array();
    outcome.raw = !global.json;
    return outcome;
  }
  nlohmann::json jsonKeys = nlohmann::json::array();
  std::string text;
  const std::size_t depth = std::count(keys.front().path.begin(), keys.front().path.end(), u'\\');
  for (const StoredKey& key : keys) {
    const std::size_t level = std::count(key.path.begin(), key.path.end(), u'\\') - depth;
    if (!args.recursive && level > 0) {
      if (level == 1) text += TerminalSafe(Utf16ToUtf8(key.path)) + "\n";
      continue;
    }
    nlohmann::json jsonKey;
    jsonKey["key"] = Utf16ToUtf8(key.path);
    nlohmann::json values = nlohmann::json::array();
    text += "\n" + TerminalSafe(Utf16ToUtf8(key.path)) + "\n";
    for (const StoredValue& value : key.values) {
      const std::string name =
          value.name.empty() ? "(Default)" : TerminalSafe(Utf16ToUtf8(value.name));
      text += "    " + name + "    " + ValueTypeName(value.type) + "    " +
              ValueDataText(value.type, value.data) + "\n";
      values.push_back({{"name", value.name.empty() ? nlohmann::json()
                                                    : nlohmann::json(Utf16ToUtf8(value.name))},
                        {"type", ValueTypeName(value.type)},
                        {"data", ValueDataJson(value.type, value.data)}});
    }
    if (args.recursive || level == 0) {
      if (!args.recursive) text += "\n";
    }
    jsonKey["values"] = std::move(values);
    jsonKeys.push_back(std::move(jsonKey));
  }
  if (!args.recursive) {
    for (std::size_t i = 1; i < keys.size(); ++i) {
      const std::size_t level = std::count(keys[i].path.begin(), keys[i].path.end(), u'\\') - depth;
      if (level == 1) jsonKeys.push_back({{"key", Utf16ToUtf8(keys[i].path)}});
    }
  }
  outcome.report.extra["keys"] = std::move(jsonKeys);
  ReportUnread(unread, &outcome);
  outcome.raw = !global.json;
  outcome.output = text;
  return outcome;
}

CommandOutcome Export(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, false, &error);
  if (!host) return ToolErrorOutcome(error);
  RegistryStore& store = host->platform().registry;
  std::vector<StoredKey> keys;
  std::vector<UnreadKey> unread;
  if (args.key.empty()) {
    const ErrorCode code = ReadWholeRegistry(store, &keys, &unread);
    if (code != kErrorSuccess)
      return ToolErrorOutcome("the registry cannot be read (error " + std::to_string(code) + ")");
  } else {
    RegKey root = kNoKey;
    Text path;
    if (!ParseKey(args.key, &root, &path))
      return ToolErrorOutcome("unknown registry root in '" + args.key + "'");
    if (ReadRegistryTree(store, root, path, &keys, &unread) != kErrorSuccess) {
      // As query answers: the store was read, the key is not in it.
      CommandOutcome missing;
      missing.exitCode = kExitFailure;
      std::fprintf(stderr, "tolvane: the key %s does not exist\n", TerminalSafe(args.key).c_str());
      missing.report.result = kErrorFileNotFound;
      missing.report.extra["keys"] = 0;
      missing.raw = !global.json;
      return missing;
    }
  }
  std::string bytes;
  CommandOutcome outcome;
  if (!args.output.empty()) {
    // Replacing the hive (or its lock file) with an export would lose the
    // registry, or the lock that guards it.
    const std::string hive = host->hiveFile();
    if (!hive.empty() &&
        (SameFile(args.output, hive) || ResolvedPath(args.output) == ResolvedPath(hive) ||
         ResolvedPath(args.output) == CompanionPath(ResolvedPath(hive), ".lock"))) {
      return ToolErrorOutcome("--output " + args.output +
                              " is the hive file itself; choose another file");
    }
    if (IsCompanionName(args.output) || IsCompanionName(ResolvedPath(args.output))) {
      return ToolErrorOutcome("--output " + args.output +
                              ": a name ending in .lock or .tmpN-N is a lock or temporary "
                              "file's; choose another file");
    }
    const Status status = SerializeHiveUtf16(keys, &bytes);
    if (!status.ok()) return ToolErrorOutcome(status.message);
    const Status written = WriteFileAtomically(args.output, bytes);
    if (!written.ok()) return ToolErrorOutcome("cannot write " + written.message);
    outcome.output = "exported " + std::to_string(keys.size()) + " key(s) to " + args.output + "\n";
  } else {
    const Status status = SerializeHiveUtf8(keys, &bytes, false);
    if (!status.ok()) return ToolErrorOutcome(status.message);
    outcome.output = bytes;
  }
  outcome.raw = !global.json;
  outcome.report.extra["keys"] = keys.size();
  if (args.output.empty()) outcome.report.extra["text"] = bytes;
  ReportUnread(unread, &outcome);
  return outcome;
}

CommandOutcome Import(const CommandArgs& args, const GlobalArgs& global) {
  // The file is read and checked whole before the hive is locked (a slow
  // pipe keeps nobody else waiting) and before its first change; a file
  // that fails part-way is not committed, so the hive stays as it was.
  // A REGEDIT4 file's 8-bit text is widened with --codepage.
  // Only the file's bytes are kept meanwhile: its operations are made
  // again as they are applied, never all held.
  const std::unique_ptr<Host> scratch = OpenScratchHost(global.host);
  std::string bytes;
  std::size_t operations = 0;
  Status imported = ReadHiveFile(args.file, &bytes, &operations, &scratch->platform().text);
  std::string error;
  std::unique_ptr<Host> host;
  if (imported.ok()) {
    host = OpenHost(global.host, true, &error);
    if (!host) return ToolErrorOutcome(error);
    host->AllowInput(bytes.size());
    imported = ParseAndApplyHive(bytes, host->platform().registry, &scratch->platform().text);
    if (!imported.ok()) imported.message = args.file + ": " + imported.message;
    std::string().swap(bytes);
  }
  if (!imported.ok()) {
    return ToolErrorOutcome(imported.error == StatusKind::kNotFound ||
                                    imported.error == StatusKind::kIo
                                ? "cannot read " + imported.message
                                : imported.message);
  }
  CommandOutcome outcome;
  outcome.report.call = "import " + Quoted(args.file);
  Finish(*host, &outcome.report);
  // Operations that leave a key or value as it was are not changes.
  outcome.report.meaning = std::to_string(operations) + " operation(s) read, " +
                           std::to_string(outcome.report.changes.size()) + " changed the store";
  CommitOrFail(*host, &outcome);
  return outcome;
}

CommandOutcome NotAvailable(const std::string& command) {
  return ToolErrorOutcome(command + " is not available in this build yet");
}

}  // namespace

CommandOutcome ToolErrorOutcome(std::string message) {
  CommandOutcome outcome;
  outcome.exitCode = kExitUsage;
  outcome.error = std::move(message);
  return outcome;
}

namespace {

// One command of the tool: its words after "tolvane" (a command beneath a
// group is "group word", after the group's own entry), its one-line help,
// the arguments it takes and what runs it. A group's entry has no handler:
// one of its commands must follow it. The help, the manual page and the
// bash completion are all drawn from this table, in its order.
struct CommandEntry {
  const char* name;
  const char* help;
  void (*arguments)(CLI::App& command, CommandArgs* args);
  CommandOutcome (*run)(const CommandArgs& args, const GlobalArgs& global);
};

constexpr CommandEntry kCommands[] = {
    {"register", "RegProduct(GROUP, DIR): register a group",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("GROUP", args->group, "group name (see the groups command)")->required();
       command
           .add_option("DIR", args->directory,
                       "installation directory, a Windows path; omitted: null; \"\": empty")
           ->check(PathArgument(false));
     },
     Register},
    {"verify", "whether GROUP is registered: what RegProduct(GROUP, DIR) would change",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("GROUP", args->group, "group name (see the groups command)")->required();
       command.add_option("DIR", args->directory,
                          "installation directory, a Windows path; omitted: null; \"\": empty");
     },
     VerifyCommand},
    {"unregister", "UnregProduct(GROUP, DIR): take a group back",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("GROUP", args->group, "group name (see the groups command)")->required();
       command.add_option("DIR", args->directory,
                          "the directory it was registered for; omitted: null; \"\": empty");
     },
     Unregister},
    {"register-is", "RegProductIS(DIR)",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("DIR", args->file)->required()->check(PathArgument(false));
     },
     RegisterIs},
    {"custom-action", "run an installer custom action",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("NAME", args->actionName, "_RegProduct or _RegKorvo")->required();
       command.add_option("--feature", args->features, "F=STATE");
       command.add_option("--property", args->properties, "P=VALUE");
     },
     CustomAction},
    {"assoc", "ChangeFileExtAssociation(EXT, PROGID)",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("EXT", args->extension, "extension with its dot, e.g. .zdw")->required();
       command.add_option("PROGID", args->progId, "document class, e.g. Zdw.Document.8")
           ->required();
     },
     Assoc},
    {"notify", "SendAssocChangedNotify()", nullptr, Notify},
    {"dialog", "PopupFileAssocListDialog(PROGRAMLIST)",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("PROGRAMLIST", args->programList);
       command.footer(DialogHelpFooter());
     },
     DialogCommand},
    {"script", "registrar scripts", nullptr, nullptr},
    {"script run", "apply a script file or embedded script to the store",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("FILE", args->file, "8-bit script text, widened with the code page")
           ->check(PathArgument(true));
       command.add_option("--id", args->scriptId, "embedded script id")
           ->type_name("N")
           ->transform(WholeNumber(65535));
       command.add_option("--set", args->sets, "replacement of %NAME% (repeatable, in order)")
           ->type_name("NAME=VALUE");
     },
     ScriptRun},
    {"script show", "print embedded script N as UTF-8",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("N", args->scriptId)->required()->transform(WholeNumber(65535));
     },
     ScriptShow},
    {"script check", "apply FILE to an empty scratch store",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("FILE", args->file)->required()->check(PathArgument(true));
       command.add_option("--set", args->sets, "replacement of %NAME% (repeatable, in order)")
           ->type_name("NAME=VALUE");
     },
     ScriptCheck},
    {"groups", "list the catalogue's group names in order", nullptr, Groups},
    {"query", "show a key's values (and subkeys)",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("KEY", args->key, "HKEY_CLASSES_ROOT\\... or HKCR\\...")->required();
       command.add_flag("--recursive", args->recursive, "every key beneath too");
     },
     Query},
    {"export", "write the store as a regedit file",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("KEY", args->key, "only this key and its tree");
       command.add_option("--output", args->output, "UTF-16LE file; default: UTF-8 to stdout")
           ->type_name("FILE")
           ->check(PathArgument(true));
     },
     Export},
    {"import", "merge a regedit file into the store",
     [](CLI::App& command, CommandArgs* args) {
       command.add_option("FILE", args->file)->required()->check(PathArgument(true));
     },
     Import},
    {"probe", "TolvaneAmIAdministrator()", nullptr,
     [](const CommandArgs&, const GlobalArgs&) { return RunProbe(); }},
};

}  // namespace

void AddCommands(CLI::App& app, CommandArgs* args) {
  for (const CommandEntry& entry : kCommands) {
    const std::string_view name = entry.name;
    const std::size_t space = name.find(' ');
    CLI::App* parent = space == std::string_view::npos
                           ? &app
                           : app.get_subcommand(std::string(name.substr(0, space)));
    CLI::App* command = parent->add_subcommand(
        std::string(space == std::string_view::npos ? name : name.substr(space + 1)), entry.help);
    if (entry.run == nullptr) command->require_subcommand(1);
    if (entry.arguments != nullptr) entry.arguments(*command, args);
  }
}

CommandOutcome RunCommand(CLI::App& app, const CommandArgs& args, const GlobalArgs& global) {
  // The words of the command chosen, a group's command after the group's.
  std::string name;
  for (CLI::App* command = &app; !command->get_subcommands().empty();) {
    command = command->get_subcommands().front();
    name += (name.empty() ? "" : " ") + command->get_name();
  }
  for (const CommandEntry& entry : kCommands) {
    if (entry.name == name && entry.run != nullptr) return entry.run(args, global);
  }
  return NotAvailable(name);
}

}  // namespace tolvane::cli
