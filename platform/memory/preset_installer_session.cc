#include "platform/memory/preset_installer_session.h"

#include <algorithm>

namespace tolvane {

ErrorCode PresetInstallerSession::GetFeatureState(InstallerHandle /*handle*/,
                                                  const char16_t* feature, std::int32_t* installed,
                                                  std::int32_t* action) {
  if (feature == nullptr || installed == nullptr || action == nullptr) {
    return kErrorInvalidParameter;
  }
  const auto found = features_.find(Text(ViewOf(feature)));
  if (found == features_.end()) return kErrorUnknownFeature;
  // Nothing is installed before the installation runs.
  *installed = kFeatureNoAction;
  *action = found->second;
  return kErrorSuccess;
}

ErrorCode PresetInstallerSession::GetProperty(InstallerHandle /*handle*/, const char16_t* name,
                                              char16_t* buffer, std::uint32_t* units) {
  if (name == nullptr || units == nullptr || (buffer == nullptr && *units > 0)) {
    return kErrorInvalidParameter;
  }
  const auto found = properties_.find(Text(ViewOf(name)));
  const TextView value = found == properties_.end() ? TextView() : TextView(found->second);
  const std::size_t room = *units;
  *units = static_cast<std::uint32_t>(value.size());
  if (value.size() + 1 > room) return kErrorMoreData;
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = u'\0';
  return kErrorSuccess;
}

void PresetInstallerSession::LogInfo(InstallerHandle /*handle*/, TextView line) {
  logged_.push_back(Utf16ToUtf8(line));
}

}  // namespace tolvane
