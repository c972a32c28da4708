// Whether the caller runs with the membership of the local Administrators
// group: the work behind the probe library's one export.
#pragma once

#include <cstdint>

#include "probe/token_layer.h"

namespace tolvane::probe {

// The largest group list read, in bytes. Real tokens with thousands of
// groups fit; a larger reported size is refused rather than taken from the
// stack.
constexpr std::uint32_t kGroupListLimit = 64 * 1024;

// 1 when the Administrators identifier is among the groups of the calling
// thread's token (of the process's token when the thread is not
// impersonating), 0 otherwise and on every failure. Only identifiers are
// compared: a disabled or deny-only Administrators group still counts. The
// group list lives on the stack; nothing is taken from the heap, and the
// token and identifier opened are released on every path.
std::int32_t AmIAdministrator(TokenLayer& layer);

}  // namespace tolvane::probe
