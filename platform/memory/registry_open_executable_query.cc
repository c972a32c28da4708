#include "platform/memory/registry_open_executable_query.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace tolvane {
namespace {

constexpr TextView kOpenCommandPath = u"\\shell\\open\\command";

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// Reads the string (REG_SZ or REG_EXPAND_SZ) value name of key up to its
// first NUL. False when the value is missing or of another type.
bool ReadStringValue(RegistryStore& registry, RegKey key, const char16_t* name, Text* text,
                     std::uint32_t* type) {
  std::uint32_t byteCount = 0;
  if (registry.QueryValue(key, name, type, nullptr, &byteCount) != kErrorSuccess) return false;
  if (*type != kRegSz && *type != kRegExpandSz) return false;
  // One unit more than the data holds, so an unterminated value still ends in NUL.
  Text buffer(byteCount / sizeof(char16_t) + 2, u'\0');
  std::uint32_t bufferBytes = static_cast<std::uint32_t>(buffer.size() * sizeof(char16_t));
  if (registry.QueryValue(key, name, type, buffer.data(), &bufferBytes) != kErrorSuccess) {
    return false;
  }
  if (*type != kRegSz && *type != kRegExpandSz) return false;
  text->assign(buffer.c_str());
  return true;
}

// The first token of a command: a leading quoted string (to the end when the
// closing quote is missing), else the text up to the first blank.
TextView FirstToken(TextView command) {
  std::size_t start = 0;
  while (start < command.size() && IsBlank(command[start])) ++start;
  command.remove_prefix(start);
  if (!command.empty() && command.front() == u'"') {
    command.remove_prefix(1);
    return command.substr(0, command.find(u'"'));
  }
  std::size_t end = 0;
  while (end < command.size() && !IsBlank(command[end])) ++end;
  return command.substr(0, end);
}

}  // namespace

bool ProcessEnvironment(TextView name, Text* value) {
  value->clear();
  if (name.empty() || name.find(u'\0') != TextView::npos || name.find(u'=') != TextView::npos) {
    return false;
  }
#ifdef _WIN32
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  const Text terminated(name);
  const wchar_t* found = _wgetenv(reinterpret_cast<const wchar_t*>(terminated.c_str()));
  if (found == nullptr) return false;
  value->assign(reinterpret_cast<const char16_t*>(found));
#else
  const std::string narrow = Utf16ToUtf8(name);
  const char* found = std::getenv(narrow.c_str());
  if (found == nullptr) return false;
  value->assign(Utf8ToUtf16(found));
#endif
  return true;
}

Text RegistryOpenExecutableQuery::ExpandEnvironment(TextView text) const {
  Text out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find(u'%', pos);
    if (open == TextView::npos) break;
    const std::size_t close = text.find(u'%', open + 1);
    if (close == TextView::npos) break;
    out.append(text.substr(pos, open - pos));
    Text value;
    if (close > open + 1 && environment_ &&
        environment_(text.substr(open + 1, close - open - 1), &value)) {
      out.append(value);
    } else {
      out.append(text.substr(open, close - open + 1));  // not set: kept as written
    }
    pos = close + 1;
  }
  out.append(text.substr(pos));
  return out;
}

bool RegistryOpenExecutableQuery::OpenCommand(TextView className, Text* command) {
  Text path(className);
  path.append(kOpenCommandPath);
  ScopedKey key(registry_);
  if (registry_.OpenKey(kHkeyClassesRoot, path.c_str(), kKeyRead, key.Receive()) != kErrorSuccess) {
    return false;
  }
  std::uint32_t type = kRegNone;
  Text raw;
  if (!ReadStringValue(registry_, key.get(), nullptr, &raw, &type)) return false;
  *command = type == kRegExpandSz ? ExpandEnvironment(raw) : std::move(raw);
  return true;
}

bool RegistryOpenExecutableQuery::Locate(TextView command, Text* executable) const {
  std::size_t start = 0;
  while (start < command.size() && IsBlank(command[start])) ++start;
  command.remove_prefix(start);
  if (command.empty()) return false;
  if (command.front() == u'"') return locator_(FirstToken(command), executable);
  for (std::size_t blank = command.find(u' '); blank != TextView::npos;
       blank = command.find(u' ', blank + 1)) {
    if (locator_(command.substr(0, blank), executable)) return true;
  }
  return locator_(command, executable);
}

bool RegistryOpenExecutableQuery::QueryOpenExecutable(const char16_t* association,
                                                      Text* executable) {
  executable->clear();
  if (IsNullOrEmpty(association)) return false;
  const TextView name = ViewOf(association);

  Text command;
  bool found = false;
  if (name.front() == u'.') {
    Text progId;
    {
      ScopedKey extensionKey(registry_);
      if (registry_.OpenKey(kHkeyClassesRoot, association, kKeyRead, extensionKey.Receive()) !=
          kErrorSuccess) {
        return false;
      }
      std::uint32_t type = kRegNone;
      if (!ReadStringValue(registry_, extensionKey.get(), nullptr, &progId, &type)) progId.clear();
    }
    if (!progId.empty()) found = OpenCommand(progId, &command);
    if (!found) found = OpenCommand(name, &command);
  } else {
    found = OpenCommand(name, &command);
  }
  if (!found) return false;

  if (locator_) {
    Text located;
    if (!Locate(command, &located) || located.empty() || located.size() > kMaxPathChars) {
      return false;
    }
    *executable = std::move(located);
    return true;
  }
  const TextView token = FirstToken(command);
  if (token.empty() || token.size() > kMaxPathChars) return false;
  executable->assign(token);
  return true;
}

}  // namespace tolvane
