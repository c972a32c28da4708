#include "cli/report.h"

#include <cstdio>
#include <memory>
#include <unordered_map>

#include "cli/safe_text.h"
#include "platform/registry_store.h"

namespace tolvane::cli {
namespace {

Text UnitsOf(const std::string& bytes) {
  Text units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return units;
}

std::string HexPairs(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += ',';
    out += pair;
  }
  return out;
}

std::uint64_t LittleEndian(const std::string& bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i > 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
  }
  return value;
}

std::vector<std::string> MultiStrings(const std::string& bytes) {
  std::vector<std::string> strings;
  const Text units = UnitsOf(bytes);
  std::size_t start = 0;
  while (start < units.size()) {
    const std::size_t end = units.find(u'\0', start);
    if (end == start) break;  // the list's final terminator
    const std::size_t stop = end == Text::npos ? units.size() : end;
    strings.push_back(Utf16ToUtf8(TextView(units).substr(start, stop - start)));
    if (end == Text::npos) break;
    start = end + 1;
  }
  return strings;
}

const char* KindName(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::kCreateKey:
      return "create-key";
    case ChangeKind::kSetValue:
      return "set-value";
    case ChangeKind::kDeleteValue:
      return "delete-value";
    case ChangeKind::kDeleteKey:
      return "delete-key";
  }
  return "?";
}

std::string ValueLabel(const Change& change) {
  return change.hasName ? "\"" + TerminalSafe(Utf16ToUtf8(change.name)) + "\""
                        : std::string("(default)");
}

}  // namespace

std::string ValueTypeName(std::uint32_t type) {
  switch (type) {
    case kRegNone:
      return "REG_NONE";
    case kRegSz:
      return "REG_SZ";
    case kRegExpandSz:
      return "REG_EXPAND_SZ";
    case kRegBinary:
      return "REG_BINARY";
    case kRegDword:
      return "REG_DWORD";
    case kRegMultiSz:
      return "REG_MULTI_SZ";
    case kRegQword:
      return "REG_QWORD";
    default:
      return "REG_TYPE_" + std::to_string(type);
  }
}

nlohmann::json ValueDataJson(std::uint32_t type, const std::string& bytes) {
  if ((type == kRegSz || type == kRegExpandSz) && bytes.size() % 2 == 0) {
    const Text units = UnitsOf(bytes);
    return Utf16ToUtf8(TextView(units).substr(0, units.find(u'\0')));
  }
  if (type == kRegDword && bytes.size() == 4) return LittleEndian(bytes);
  if (type == kRegQword && bytes.size() == 8) return LittleEndian(bytes);
  if (type == kRegMultiSz && bytes.size() % 2 == 0) return MultiStrings(bytes);
  return HexPairs(bytes);
}

std::string ValueDataText(std::uint32_t type, const std::string& bytes) {
  const nlohmann::json data = ValueDataJson(type, bytes);
  if (data.is_string() && (type == kRegSz || type == kRegExpandSz))
    return "\"" + TerminalSafe(data.get<std::string>()) + "\"";
  if (data.is_number()) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(data.get<std::uint64_t>()));
    return text;
  }
  if (data.is_array()) return data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return "hex:" + data.get<std::string>();
}

nlohmann::json ChangeJson(const Change& change) {
  nlohmann::json object;
  object["op"] = KindName(change.kind);
  object["key"] = Utf16ToUtf8(change.key);
  if (change.kind == ChangeKind::kSetValue || change.kind == ChangeKind::kDeleteValue) {
    object["name"] = change.hasName ? nlohmann::json(Utf16ToUtf8(change.name)) : nlohmann::json();
  }
  if (change.kind == ChangeKind::kSetValue) {
    object["type"] = ValueTypeName(change.type);
    object["data"] = ValueDataJson(change.type, change.data);
  }
  return object;
}

std::string ReportJson(const CallReport& report) {
  nlohmann::json object = report.extra;
  object["result"] = report.result;
  if (!report.reason.empty()) object["reason"] = report.reason;
  object["notifications"] = report.notifications;
  object["messages"] = report.messages;
  nlohmann::json changes = nlohmann::json::array();
  for (const Change& change : report.changes) changes.push_back(ChangeJson(change));
  object["changes"] = std::move(changes);
  if (report.dryRun) {
    object["dry_run"] = true;
    object["notifications_sent"] = false;
    object["modules_not_registered"] = report.modulesNotRun;
  }
  return object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

namespace {

// One key of the change tree: the lines said about it and its children,
// both in the order the changes came.
struct TreeNode {
  std::string name;
  std::vector<std::string> lines;
  std::vector<std::unique_ptr<TreeNode>> children;
  // The children by name, so a key with many subkeys is found at once.
  std::unordered_map<std::string, TreeNode*> index;

  TreeNode& Child(const std::string& childName) {
    const auto [at, added] = index.emplace(childName, nullptr);
    if (added) {
      children.push_back(std::make_unique<TreeNode>());
      children.back()->name = childName;
      at->second = children.back().get();
    }
    return *at->second;
  }
};

void Print(const TreeNode& node, int depth, std::string* out) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  *out += indent + TerminalSafe(node.name);
  for (const std::string& line : node.lines) {
    if (line.front() == '[') *out += "  " + line;
  }
  *out += "\n";
  for (const std::string& line : node.lines) {
    if (line.front() != '[') *out += indent + "    " + line + "\n";
  }
  for (const auto& child : node.children) Print(*child, depth + 1, out);
}

}  // namespace

std::string ChangeTree(const std::vector<Change>& changes) {
  TreeNode top;
  for (const Change& change : changes) {
    TreeNode* node = &top;
    const std::string path = Utf16ToUtf8(change.key);
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t slash = path.find('\\', start);
      node = &node->Child(
          path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    switch (change.kind) {
      case ChangeKind::kCreateKey:
        node->lines.push_back("[created]");
        break;
      case ChangeKind::kDeleteKey:
        node->lines.push_back("[deleted with everything beneath it]");
        break;
      case ChangeKind::kSetValue:
        node->lines.push_back(ValueLabel(change) + " = " + ValueDataText(change.type, change.data) +
                              "  (" + ValueTypeName(change.type) + ")");
        break;
      case ChangeKind::kDeleteValue:
        node->lines.push_back(ValueLabel(change) + " deleted");
        break;
    }
  }
  std::string out;
  for (const auto& root : top.children) Print(*root, 0, &out);
  return out;
}

std::string ReportText(const CallReport& report) {
  std::string out = TerminalSafe(report.call) + " returned " + std::to_string(report.result);
  if (!report.meaning.empty()) out += ": " + TerminalSafe(report.meaning);
  out += "\n";
  if (!report.reason.empty()) out += "reason: " + report.reason + "\n";
  out += report.dryRun ? "dry run, nothing written; association-changed notifications not sent: "
                       : "association-changed notifications sent: ";
  out += std::to_string(report.notifications) + "\n";
  if (report.dryRun && report.modulesNotRun > 0) {
    out += "module self-registration not run (dry run): " + std::to_string(report.modulesNotRun) +
           " module(s)\n";
  }
  for (const std::string& message : report.messages)
    out += "notice shown: " + TerminalSafe(message) + "\n";
  for (const std::string& note : report.notes) out += TerminalSafe(note) + "\n";
  if (report.changes.empty()) {
    out += "no changes\n";
  } else {
    out += std::to_string(report.changes.size()) + " change(s):\n" + ChangeTree(report.changes);
  }
  return out;
}

}  // namespace tolvane::cli
