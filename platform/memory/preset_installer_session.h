// An installer session whose feature action states and properties the host
// sets beforehand, for running the custom actions outside an installer (the
// command's custom-action). It answers as the installer does: every handle
// reaches the same one installation, a feature not set is unknown, a
// property not set is the empty text, and a value that does not fit the
// caller's buffer is reported with the length it needs.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/installer_session.h"
#include "platform/text.h"

namespace tolvane {

class PresetInstallerSession final : public InstallerSession {
 public:
  // Names are matched exactly, as the installer matches its identifiers.
  void SetFeatureAction(Text feature, std::int32_t action) {
    features_[std::move(feature)] = action;
  }
  void SetProperty(Text name, Text value) { properties_[std::move(name)] = std::move(value); }

  ErrorCode GetFeatureState(InstallerHandle handle, const char16_t* feature,
                            std::int32_t* installed, std::int32_t* action) override;
  ErrorCode GetProperty(InstallerHandle handle, const char16_t* name, char16_t* buffer,
                        std::uint32_t* units) override;
  // Keeps the line; logged() gives every line in order.
  void LogInfo(InstallerHandle handle, TextView line) override;

  const std::vector<std::string>& logged() const { return logged_; }

 private:
  std::map<Text, std::int32_t> features_;
  std::map<Text, Text> properties_;
  std::vector<std::string> logged_;  // UTF-8
};

}  // namespace tolvane
