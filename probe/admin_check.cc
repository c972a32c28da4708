#include "probe/admin_check.h"

#include <cstring>

#include "platform/unique_handle.h"

namespace tolvane::probe {
namespace {

// A handle of the layer, given back with GiveBack (CloseToken or FreeSid).
template <void (TokenLayer::*GiveBack)(void*)>
struct LayerTraits {
  using Handle = void*;
  static void* Invalid() { return nullptr; }
  bool Close(void* handle) const {
    (layer->*GiveBack)(handle);
    return true;
  }
  TokenLayer* layer = nullptr;
};

using TokenTraits = LayerTraits<&TokenLayer::CloseToken>;
using SidTraits = LayerTraits<&TokenLayer::FreeSid>;

// Whether the group list in list (size bytes) names wanted. A count whose
// entries would not fit the bytes read is a broken record: no member.
bool ListHolds(TokenLayer& layer, const unsigned char* list, std::uint32_t size,
               SidPointer wanted) {
  std::uint32_t count = 0;
  if (size < sizeof count) return false;
  std::memcpy(&count, list, sizeof count);
  if (count == 0) return false;
  if (size < kFirstGroupOffset || (size - kFirstGroupOffset) / sizeof(GroupEntry) < count) {
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    GroupEntry entry;
    std::memcpy(&entry, list + kFirstGroupOffset + i * sizeof(GroupEntry), sizeof entry);
    if (layer.EqualSids(entry.sid, wanted)) return true;
  }
  return false;
}

}  // namespace

std::int32_t AmIAdministrator(TokenLayer& layer) {
  // A thread that impersonates is judged by its own token alone; only a
  // thread without one falls back to the process.
  UniqueHandle<TokenTraits> token(TokenTraits{&layer});
  std::uint32_t error = layer.OpenThreadToken(token.Receive());
  if (error == kErrorNoToken) error = layer.OpenProcessToken(token.Receive());
  if (error != kErrorSuccess) return 0;

  std::uint32_t needed = 0;
  if (layer.ReadGroups(token.get(), nullptr, 0, &needed) != kErrorInsufficientBuffer) return 0;
  if (needed > kGroupListLimit) return 0;
  const std::uint32_t size = (needed + 3u) & ~3u;
  // The stack, not the heap: the check may run where allocating is unwelcome
  // (an installer's custom-action thread), and the limit above bounds it.
  auto* list = static_cast<unsigned char*>(__builtin_alloca(size));
  if (layer.ReadGroups(token.get(), list, size, &needed) != kErrorSuccess) return 0;

  UniqueHandle<SidTraits> administrators(SidTraits{&layer});
  if (!layer.BuildAdministratorsSid(administrators.Receive())) return 0;
  return ListHolds(layer, list, size, administrators.get()) ? 1 : 0;
}

}  // namespace tolvane::probe
