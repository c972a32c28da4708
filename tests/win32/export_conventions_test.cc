// The x86 tolvane.dll, loaded as an installer loads it: every export found
// by name returns with the stack as its declaration in tolvane.h promises.
// A cdecl export leaves its arguments for the caller to remove, a stdcall
// one (the installer custom actions) removes them itself. A caller compiled
// against the wrong convention loses or gains that many bytes of stack on
// every call, which an optimised caller may not notice until it crashes
// elsewhere; here the bytes are measured around the call itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "include/tolvane/tolvane.h"
#include "platform/win32/unique_handle.h"

#if !defined(_M_IX86) && !defined(__i386__)
#error "the calling conventions differ on x86 only"
#endif

// CallCountingPops(function, arguments, count, &removed): pushes the count
// 32-bit arguments (the first one last, as C does), calls function and
// stores how many bytes of them the callee removed from the stack; puts the
// stack back itself whatever the callee did and returns the callee's eax.
extern "C" std::uint32_t CallCountingPops(const void* function, const std::uint32_t* arguments,
                                          std::uint32_t count, std::uint32_t* removed);
asm(R"(
  .text
  .globl _CallCountingPops
_CallCountingPops:
  push %ebp
  mov %esp, %ebp
  push %esi
  push %edi
  push %ebx
  mov %esp, %edi
  mov 12(%ebp), %esi
  mov 16(%ebp), %ecx
1:
  test %ecx, %ecx
  jz 2f
  dec %ecx
  push (%esi,%ecx,4)
  jmp 1b
2:
  mov %esp, %ebx
  call *8(%ebp)
  mov %esp, %ecx
  sub %ebx, %ecx
  mov 20(%ebp), %edx
  mov %ecx, (%edx)
  mov %edi, %esp
  pop %ebx
  pop %edi
  pop %esi
  pop %ebp
  ret
)");

namespace {

// What a caller built against the declaration expects the callee to remove.
template <typename Function>
struct Declared;
template <typename R, typename... A>
struct Declared<R(__cdecl*)(A...)> {
  static constexpr std::uint32_t kArguments = sizeof...(A);
  static constexpr std::uint32_t kCalleeRemoves = 0;
};
template <typename R, typename... A>
struct Declared<R(__stdcall*)(A...)> {
  static constexpr std::uint32_t kArguments = sizeof...(A);
  static constexpr std::uint32_t kCalleeRemoves = 4 * sizeof...(A);
};

struct ExportCall {
  const char* name;
  std::uint32_t arguments;  // from the declaration
  std::uint32_t calleeRemoves;
  std::vector<std::uint32_t> values;
  std::uint32_t result;
};

template <typename Function>
ExportCall Call(const char* name, std::int64_t result, std::vector<std::uint32_t> values) {
  return {name, Declared<Function>::kArguments, Declared<Function>::kCalleeRemoves,
          std::move(values), static_cast<std::uint32_t>(result)};
}
// The export's name and its declaration in tolvane.h, from one identifier.
#define TOLVANE_EXPORT_CALL(name, result, ...) Call<decltype(&name)>(#name, result, {__VA_ARGS__})

std::uint32_t Text(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

TEST(ExportConventionsTest, EveryExportReturnsWithTheStackItsDeclarationPromises) {
  // tolvane.dll of this build lies beside the test program, the first
  // folder the loader searches.
  const tolvane::win32::UniqueModule library(::LoadLibraryW(L"tolvane.dll"));
  ASSERT_TRUE(library) << "LoadLibrary failed: " << ::GetLastError();

  // Arguments that write nothing: an installer handle of 0 gives no feature
  // state and no folder, and the notices have no display to open on.
  const ExportCall calls[] = {
      TOLVANE_EXPORT_CALL(RegProduct, 1016, 0, 0),
      TOLVANE_EXPORT_CALL(RegProductIS, 0, 0),
      TOLVANE_EXPORT_CALL(ChangeFileExtAssociation, 5, Text(L"zdw"), Text(L"Zdw.Document.8")),
      TOLVANE_EXPORT_CALL(SendAssocChangedNotify, 0),
      TOLVANE_EXPORT_CALL(PopupFileAssocListDialog, 0, Text(L"")),
      TOLVANE_EXPORT_CALL(_RegProduct, 0, 0),
      TOLVANE_EXPORT_CALL(_RegKorvo, 0, 0),
  };
  for (const ExportCall& call : calls) {
    SCOPED_TRACE(call.name);
    ASSERT_EQ(call.values.size(), call.arguments);
    const FARPROC function = ::GetProcAddress(library.get(), call.name);
    ASSERT_NE(function, nullptr);
    std::uint32_t removed = 0xFFFFFFFF;
    const std::uint32_t result =
        CallCountingPops(reinterpret_cast<const void*>(function), call.values.data(),
                         static_cast<std::uint32_t>(call.values.size()), &removed);
    EXPECT_EQ(removed, call.calleeRemoves);
    EXPECT_EQ(result, call.result);
  }
}

}  // namespace
