// The "REGISTRY" resources the portable library carries inside itself,
// generated at build time from the same script files the Windows build
// compiles into its resource section.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tolvane {

struct EmbeddedResource {
  std::uint16_t id;
  std::string_view bytes;
};

// Every embedded script, ordered by id.
std::span<const EmbeddedResource> EmbeddedRegistryResources();

}  // namespace tolvane
