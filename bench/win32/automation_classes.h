// Generated registrar scripts for the Windows benchmarks: root blocks shaped
// like the embedded automation classes (a versioned and a version-free
// ProgID, and the class under a kept CLSID key with its server, threading
// model and type library), each with a name and class id of its own.
#pragma once

#include <cstddef>
#include <string>

namespace tolvane::bench {

// The replacement the scripts use in front of the server's file name.
inline constexpr const wchar_t* kScriptPathName = L"PATH";
inline constexpr const wchar_t* kScriptPathValue = L"C:\\Suite\\Bin\\";

// A script of `blocks` root blocks under HKCR.
std::wstring AutomationClassScript(std::size_t blocks);

// The keys block i writes beneath HKCR, each the top of its own tree: the
// two ProgIDs and CLSID\{class id}. Deleting them undoes the block.
std::wstring VersionedProgId(std::size_t i);
std::wstring ProgId(std::size_t i);
std::wstring ClassKey(std::size_t i);

}  // namespace tolvane::bench
