// What a command reports: the export's result, the notifications and
// failure notices it caused, and the changes it made to the store, as one
// JSON object or as text a person reads at a glance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/change_journal.h"

namespace tolvane::cli {

struct CallReport {
  std::string call;  // the call as a person would write it
  std::int64_t result = 0;
  std::string meaning;  // what the result means, in words
  std::string reason;   // why the call failed, in words; empty when it did not
  std::size_t notifications = 0;
  std::vector<std::string> messages;
  std::vector<std::string> notes;  // text lines after the notices (the JSON says it in extra)
  std::vector<Change> changes;
  nlohmann::json extra = nlohmann::json::object();  // members of the command's own
  bool dryRun = false;                              // nothing was written and no notification sent
  std::size_t modulesNotRun = 0;                    // a dry run's self-registrations left out
};

// "REG_SZ", "REG_DWORD", ... or "REG_TYPE_<n>" for other numbers.
std::string ValueTypeName(std::uint32_t type);

// A value's data as JSON: a string (REG_SZ, REG_EXPAND_SZ), a number
// (4-byte REG_DWORD, 8-byte REG_QWORD), an array of strings (REG_MULTI_SZ)
// or lower-case hex pairs joined by commas (anything else).
nlohmann::json ValueDataJson(std::uint32_t type, const std::string& bytes);

// The same data as one line of text.
std::string ValueDataText(std::uint32_t type, const std::string& bytes);

nlohmann::json ChangeJson(const Change& change);

// The report as one JSON object with result, notifications, messages,
// changes, reason (only when there is one) and the extra members.
std::string ReportJson(const CallReport& report);

// The report as text: the call and its result with its meaning, the
// reason of a failure, the notifications, any notice, and the changes as an
// indented key tree.
std::string ReportText(const CallReport& report);

// The changes alone as an indented key tree (empty text for none).
std::string ChangeTree(const std::vector<Change>& changes);

}  // namespace tolvane::cli
