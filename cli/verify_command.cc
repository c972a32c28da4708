#include "cli/verify_command.h"

#include <string>

#include "cli/host.h"
#include "cli/output.h"
#include "cli/report.h"
#include "platform/root_keys.h"
#include "registration/reg_product.h"

namespace tolvane::cli {
namespace {

// A value as the store holds it; absent when the key or value is missing.
struct Found {
  bool present = false;
  std::uint32_t type = 0;
  std::string data;
};

Found ReadValue(RegistryStore& store, const Change& change) {
  Found found;
  const std::size_t slash = change.key.find(u'\\');
  const RegKey root = RootKeyFromName(TextView(change.key).substr(0, slash));
  if (root == kNoKey) return found;
  const Text path = slash == Text::npos ? Text() : change.key.substr(slash + 1);
  ScopedKey key(store);
  if (store.OpenKey(root, path.c_str(), kKeyQueryValue, key.Receive()) != kErrorSuccess) {
    return found;
  }
  const Text name = change.hasName ? change.name : Text();
  std::uint32_t size = 0;
  if (store.QueryValue(key.get(), name.c_str(), &found.type, nullptr, &size) != kErrorSuccess) {
    return found;
  }
  found.data.resize(size);
  found.present = store.QueryValue(key.get(), name.c_str(), &found.type, found.data.data(),
                                   &size) == kErrorSuccess;
  found.data.resize(size);
  return found;
}

std::string ValueName(const Change& change) {
  return change.hasName ? "\"" + Utf16ToUtf8(change.name) + "\"" : std::string("(default)");
}

nlohmann::json DataJson(std::uint32_t type, const std::string& data) {
  return {{"type", ValueTypeName(type)}, {"data", ValueDataJson(type, data)}};
}

}  // namespace

CommandOutcome VerifyCommand(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  // The registry as it is, to read what is found, and a dry run over it.
  auto current = OpenHost(global.host, false, &error);
  if (!current) return ToolErrorOutcome(error);
  HostOptions dry = global.host;
  dry.dryRun = true;
  auto host = OpenHost(dry, false, &error);
  if (!host) return ToolErrorOutcome(error);

  const Text group = Utf8ToUtf16(args.group);
  const Text directory = args.directory ? Utf8ToUtf16(*args.directory) : Text();
  const std::int32_t result =
      RegProduct(host->platform(), group.c_str(), args.directory ? directory.c_str() : nullptr);

  CommandOutcome outcome;
  nlohmann::json missing = nlohmann::json::array();
  nlohmann::json differing = nlohmann::json::array();
  nlohmann::json removed = nlohmann::json::array();
  std::string lines;
  RegistryStore& store = current->platform().registry;
  for (const Change& change : host->changes()) {
    const std::string key = Utf16ToUtf8(change.key);
    switch (change.kind) {
      case ChangeKind::kCreateKey:
        missing.push_back(key);
        lines += "missing key: " + key + "\n";
        break;
      case ChangeKind::kSetValue: {
        const Found found = ReadValue(store, change);
        if (found.present && found.type == change.type && found.data == change.data) break;
        nlohmann::json entry = {
            {"key", key},
            {"name", change.hasName ? nlohmann::json(Utf16ToUtf8(change.name)) : nlohmann::json()},
            {"expected", DataJson(change.type, change.data)},
            {"found", found.present ? DataJson(found.type, found.data) : nlohmann::json()}};
        differing.push_back(std::move(entry));
        lines += "value " + key + " " + ValueName(change) + ": expected " +
                 ValueDataText(change.type, change.data) + " (" + ValueTypeName(change.type) +
                 "), found " +
                 (found.present ? ValueDataText(found.type, found.data) + " (" +
                                      ValueTypeName(found.type) + ")"
                                : std::string("nothing")) +
                 "\n";
        break;
      }
      case ChangeKind::kDeleteValue:
        removed.push_back({{"key", key},
                           {"name", change.hasName ? nlohmann::json(Utf16ToUtf8(change.name))
                                                   : nlohmann::json()}});
        lines += "value to delete: " + key + " " + ValueName(change) + "\n";
        break;
      case ChangeKind::kDeleteKey:
        removed.push_back({{"key", key}});
        lines += "key to delete: " + key + "\n";
        break;
    }
  }
  const bool registered = result == 0 && missing.empty() && differing.empty() && removed.empty();
  outcome.report.call = "verify " + args.group;
  outcome.report.result = result;
  outcome.report.extra["registered"] = registered;
  outcome.report.extra["missing_keys"] = missing;
  outcome.report.extra["differing_values"] = differing;
  outcome.report.extra["to_delete"] = removed;
  outcome.raw = !global.json;
  if (result != 0) {
    outcome.output = "RegProduct(\"" + args.group + "\") returned " + std::to_string(result) +
                     ": the group is unknown, or a record failed\n";
  }
  outcome.output += registered ? std::string("registered\n") : lines;
  outcome.exitCode = registered ? kExitOk : kExitFailure;
  return outcome;
}

}  // namespace tolvane::cli
