#include "cli/installer_commands.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdlib>

#include "cli/output.h"
#include "cli/process.h"
#include "platform/failure_message.h"
#include "registration/custom_actions.h"
#include "registration/group_catalogue.h"

namespace tolvane::cli {
namespace {

// The handle the installer would pass; the preset session answers any.
constexpr InstallerHandle kSessionHandle = 1;

std::uint16_t LanguageId(UiLanguage language) {
  switch (language) {
    case UiLanguage::kChineseTraditional:
      return kLanguageChineseTraditional;
    case UiLanguage::kJapanese:
      return kLanguageJapanese;
    case UiLanguage::kKorean:
      return kLanguageKorean;
    case UiLanguage::kChineseSimplified:
      return kLanguageChineseSimplified;
    case UiLanguage::kEnglish:
      break;
  }
  return kLanguageEnglishUs;
}

// A person at a terminal confirms the notice with Enter, as a message box
// waits for OK; pipes, files and --json never wait.
bool WaitsForEnter(const GlobalArgs& global) {
  return !global.json && IsTerminal(0) && IsTerminal(2);
}

// A notice that waits is held until the hive is saved and unlocked
// (ShowHeldNotices), so that nobody else waits for the person's Enter.
void PrepareNotice(Host& host, const GlobalArgs& global) {
  host.notice().SetLanguage(LanguageId(global.lang));
  host.notice().SetHeld(WaitsForEnter(global));
}

void ShowHeldNotices(const CommandOutcome& outcome, const GlobalArgs& global) {
  if (WaitsForEnter(global)) ShowNotices(stderr, stdin, outcome.report.messages, true);
}

// Fills the report from what the call did, and saves the store.
void Finish(Host& host, CommandOutcome* outcome) {
  outcome->report.notifications = host.notifications();
  outcome->report.changes = host.changes();
  outcome->report.messages = host.notice().shown();
  outcome->report.dryRun = host.dryRun();
  outcome->report.modulesNotRun = host.modulesNotRun();
  std::string error;
  if (!host.Commit(&error)) {
    outcome->exitCode = kExitUsage;
    outcome->error = error;
  }
}

// STATE of --feature F=STATE: a number, or a name of the installer's states.
bool ParseState(const std::string& text, std::int32_t* state) {
  struct Named {
    const char* name;
    std::int32_t state;
  };
  static constexpr Named kNames[] = {
      {"absent", 2}, {"local", 3}, {"source", 4}, {"unknown", -1}, {"none", -1}};
  for (const Named& named : kNames) {
    const std::string_view name(named.name);
    const bool same = text.size() == name.size() &&
                      std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                        return a == std::tolower(static_cast<unsigned char>(b));
                      });
    if (same) {
      *state = named.state;
      return true;
    }
  }
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  *state = static_cast<std::int32_t>(value);
  return true;
}

// NAME=VALUE with a non-empty NAME.
bool SplitPair(const std::string& text, std::string* name, std::string* value) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  *name = text.substr(0, eq);
  *value = text.substr(eq + 1);
  return true;
}

// The commands' work while the hive is locked (the host alive).
CommandOutcome RegisterIsLocked(const CommandArgs& args, const GlobalArgs& global) {
  std::string error;
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  PrepareNotice(*host, global);
  const Text directory = Utf8ToUtf16(args.file);
  Status failure;
  const std::int32_t result =
      RegProductIS(host->platform(), BuiltInCatalogue(), directory.c_str(), &failure);

  CommandOutcome outcome;
  outcome.report.call = "RegProductIS(\"" + args.file + "\")";
  outcome.report.result = result;
  outcome.report.meaning = result == 1 ? "the group KELT_2005_COM ran completely"
                                       : "the registration failed; the user was told";
  outcome.report.reason = failure.message;
  outcome.exitCode = result == 1 ? kExitOk : kExitFailure;
  Finish(*host, &outcome);
  return outcome;
}

CommandOutcome CustomActionLocked(const CommandArgs& args, const GlobalArgs& global) {
  const bool product = args.actionName == "_RegProduct";
  if (!product && args.actionName != "_RegKorvo") {
    return ToolErrorOutcome("unknown custom action '" + args.actionName +
                            "' (_RegProduct or _RegKorvo)");
  }
  std::vector<std::pair<Text, std::int32_t>> features;
  for (const std::string& text : args.features) {
    std::string name, state;
    std::int32_t action = 0;
    if (!SplitPair(text, &name, &state) || !ParseState(state, &action)) {
      return ToolErrorOutcome(
          "--feature wants F=STATE (a number, absent, local, source, unknown or "
          "none), not '" +
          text + "'");
    }
    features.emplace_back(Utf8ToUtf16(name), action);
  }
  std::vector<std::pair<Text, Text>> properties;
  for (const std::string& text : args.properties) {
    std::string name, value;
    if (!SplitPair(text, &name, &value)) {
      return ToolErrorOutcome("--property wants P=VALUE, not '" + text + "'");
    }
    properties.emplace_back(Utf8ToUtf16(name), Utf8ToUtf16(value));
  }

  std::string error;
  auto host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);
  PrepareNotice(*host, global);
  for (auto& [name, action] : features) host->installer().SetFeatureAction(name, action);
  for (auto& [name, value] : properties) host->installer().SetProperty(name, value);
  // The reasons also reach the session's log, as they reach an installer's.
  Status failure;
  const std::uint32_t result =
      product ? RegProductAction(host->platform(), BuiltInCatalogue(), kSessionHandle, &failure)
              : RegKorvoAction(host->platform(), BuiltInCatalogue(), kSessionHandle, &failure);

  CommandOutcome outcome;
  outcome.report.call = args.actionName + "(hInstall)";
  outcome.report.result = result;
  outcome.report.meaning = result == kActionSucceeded ? "the custom action succeeded"
                                                      : "a registration failed; the user was told";
  outcome.report.reason = failure.message;
  outcome.exitCode = result == kActionSucceeded ? kExitOk : kExitFailure;
  Finish(*host, &outcome);
  return outcome;
}

}  // namespace

CommandOutcome RegisterIs(const CommandArgs& args, const GlobalArgs& global) {
  CommandOutcome outcome = RegisterIsLocked(args, global);
  ShowHeldNotices(outcome, global);
  return outcome;
}

CommandOutcome CustomAction(const CommandArgs& args, const GlobalArgs& global) {
  CommandOutcome outcome = CustomActionLocked(args, global);
  ShowHeldNotices(outcome, global);
  return outcome;
}

}  // namespace tolvane::cli
