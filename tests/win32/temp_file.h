// A temporary file with the given content, removed when the test ends
// (Windows tests only). path() is empty when it could not be made.
#pragma once

#include <windows.h>

#include <string>

#include "platform/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane::testing {

class TempFile {
 public:
  explicit TempFile(const char* content) {
    wchar_t directory[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, directory) == 0 ||
        ::GetTempFileNameW(directory, L"tlv", 0, name) == 0) {
      return;
    }
    path_ = name;
    const win32::UniqueFile file(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), content, static_cast<DWORD>(std::char_traits<char>::length(content)),
                &written, nullptr);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }
  Text path() const { return win32::TextOf(path_.c_str(), path_.size()); }

 private:
  std::wstring path_;
};

}  // namespace tolvane::testing
