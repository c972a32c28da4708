#include "platform/status.h"

#include <cstdio>

namespace tolvane {
namespace {

struct Words {
  std::int32_t code;
  const char* text;
};

constexpr Words kErrorWords[] = {
    {kErrorFileNotFound, "not found"},
    {kErrorPathNotFound, "path not found"},
    {kErrorAccessDenied, "access denied"},
    {kErrorInvalidHandle, "invalid handle"},
    {kErrorNotEnoughMemory, "out of memory"},
    {kErrorInvalidParameter, "invalid parameter"},
    {kErrorInsufficientBuffer, "buffer too small"},
    {kErrorModNotFound, "module not found"},
    {kErrorBadExeFormat, "not a module of this machine"},
    {kErrorMoreData, "more data than the buffer holds"},
    {kErrorNoMoreItems, "no more items"},
    {kErrorRegistryIoFailed, "registry operation failed"},
    {kErrorKeyDeleted, "the key was deleted"},
    {kErrorNoUnicodeTranslation, "text not valid in the code page"},
    {kErrorResourceDataNotFound, "no resource section"},
    {kErrorResourceTypeNotFound, "no resource of that type"},
    {kErrorResourceNameNotFound, "no resource of that id"},
};

constexpr Words kResultWords[] = {
    {kENotImpl, "not implemented"},      {kEFail, "failed"},
    {kEOutOfMemory, "out of memory"},    {kEInvalidArg, "invalid argument"},
    {kDispEException, "a script fault"},
};

const char* Find(const Words* begin, const Words* end, std::int32_t code) {
  for (const Words* words = begin; words != end; ++words) {
    if (words->code == code) return words->text;
  }
  return nullptr;
}

}  // namespace

std::string ErrorText(ErrorCode code) {
  const char* words = Find(std::begin(kErrorWords), std::end(kErrorWords), code);
  if (words == nullptr) return "error " + std::to_string(code);
  return std::string(words) + " (" + std::to_string(code) + ")";
}

std::string ResultText(HResult result) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<std::uint32_t>(result));
  const char* words = Find(std::begin(kResultWords), std::end(kResultWords), result);
  const auto facility = static_cast<std::uint32_t>(result) & 0xFFFF0000u;
  if (words == nullptr && facility == 0x80070000u) {
    words = Find(std::begin(kErrorWords), std::end(kErrorWords),
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(result) & 0xFFFFu));
  }
  return words == nullptr ? std::string(hex) : std::string(hex) + " (" + words + ")";
}

Status Status::FromError(ErrorCode code, const std::string& what) {
  const StatusKind kind = code == kErrorFileNotFound || code == kErrorPathNotFound
                              ? StatusKind::kNotFound
                              : StatusKind::kStore;
  return {kind, what + ": " + ErrorText(code), 0, code};
}

Status Status::FromResult(HResult result, const std::string& what) {
  return {StatusKind::kStore, what + ": " + ResultText(result), 0, result};
}

Status Status::Within(const std::string& context) const {
  if (ok()) return *this;
  Status inner = *this;
  inner.message = context + ": " + message;
  return inner;
}

}  // namespace tolvane
