// Status numbers shared by every layer: the platform's error numbers (what a
// registry, file or module operation answers) and the 32-bit COM result codes
// of the script engine. Both builds use the same numbers, so logic and tests
// never depend on which platform runs them.
#pragma once

#include <cstdint>

namespace tolvane {

// A platform error number: 0 is success, anything else a failure.
using ErrorCode = std::int32_t;
// A COM result code: 0 and above succeed, negative fails.
using HResult = std::int32_t;

inline constexpr ErrorCode kErrorSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorPathNotFound = 3;
inline constexpr ErrorCode kErrorAccessDenied = 5;
inline constexpr ErrorCode kErrorInvalidHandle = 6;
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;
inline constexpr ErrorCode kErrorInvalidParameter = 87;
inline constexpr ErrorCode kErrorInsufficientBuffer = 122;
inline constexpr ErrorCode kErrorModNotFound = 126;
inline constexpr ErrorCode kErrorBadExeFormat = 193;
inline constexpr ErrorCode kErrorMoreData = 234;
inline constexpr ErrorCode kErrorBadPathname = 161;
inline constexpr ErrorCode kErrorNoMoreItems = 259;
inline constexpr ErrorCode kErrorNoAccess = 998;
inline constexpr ErrorCode kErrorRegistryIoFailed = 1016;
inline constexpr ErrorCode kErrorNoToken = 1008;
inline constexpr ErrorCode kErrorKeyDeleted = 1018;
inline constexpr ErrorCode kErrorNoUnicodeTranslation = 1113;
// The installer's number for a feature it does not know.
inline constexpr ErrorCode kErrorUnknownFeature = 1606;
inline constexpr ErrorCode kErrorResourceDataNotFound = 1812;
inline constexpr ErrorCode kErrorResourceTypeNotFound = 1813;
inline constexpr ErrorCode kErrorResourceNameNotFound = 1814;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kDispEException = static_cast<HResult>(0x80020009u);

// A platform error number as a result code: zero and below pass unchanged, a
// positive number c becomes 0x80070000 plus the low 16 bits of c.
constexpr HResult HResultFromError(ErrorCode code) {
  if (code <= 0) return code;
  return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

}  // namespace tolvane
