// Opens the association dialog through the export of the tolvane.dll that
// lies beside this program, as a caller does, and lets a test watch it from
// outside: while the dialog is open a second thread writes what the window
// API tells of it to DUMP (replaced atomically whenever it changes), as one
// JSON object: caption, font, dialog base units, screen position of the
// client area, focused control id, and every child control in window order
// with its id, class, text, style, client rectangle and check state, and
// the combo box items. When the export returns, DUMP.result holds
// "returned N".
//
//   assoc_dialog_driver DUMP PROGRAMLIST | assoc_dialog_driver DUMP --null
//
// Exits 0 once the export returned; 2 when the library or export is missing.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using PopupFn = int(__cdecl*)(const wchar_t*);

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (const wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  ::GetWindowTextW(window, buffer, 1024);
  return buffer;
}

std::string Rect(const RECT& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
}

std::string DescribeControl(HWND dialog, HWND control) {
  wchar_t className[64] = {};
  ::GetClassNameW(control, className, 64);
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  std::string out = "{\"id\":" + std::to_string(::GetDlgCtrlID(control)) +
                    ",\"class\":" + Json(className) + ",\"text\":" + Json(WindowText(control)) +
                    ",\"style\":" + std::to_string(::GetWindowLongW(control, GWL_STYLE)) +
                    ",\"visible\":" + (::IsWindowVisible(control) ? "true" : "false") +
                    ",\"rect\":" + Rect(rect);
  if (lstrcmpiW(className, L"Button") == 0) {
    out += ",\"check\":" + std::to_string(::SendMessageW(control, BM_GETCHECK, 0, 0));
  }
  if (lstrcmpiW(className, L"ComboBox") == 0) {
    out += ",\"selection\":" + std::to_string(::SendMessageW(control, CB_GETCURSEL, 0, 0));
    out += ",\"items\":[";
    const LRESULT count = ::SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[512] = {};
      if (::SendMessageW(control, CB_GETLBTEXTLEN, i, 0) < 512) {
        ::SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      }
      out += (i > 0 ? "," : "") + Json(item);
    }
    out += "]";
  }
  return out + "}";
}

std::string DescribeDialog(HWND dialog, DWORD thread) {
  LOGFONTW font = {};
  const HFONT handle = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
  ::GetObjectW(handle, sizeof font, &font);
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  RECT base = {0, 0, 4, 8};
  ::MapDialogRect(dialog, &base);
  POINT origin = {0, 0};
  ::ClientToScreen(dialog, &origin);
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(thread, &info);
  std::string out =
      "{\"caption\":" + Json(WindowText(dialog)) + ",\"font\":" + Json(font.lfFaceName) +
      ",\"fontPoints\":" +
      std::to_string(MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 72, dpi)) +
      ",\"base\":[" + std::to_string(base.right) + "," + std::to_string(base.bottom) +
      "],\"origin\":[" + std::to_string(origin.x) + "," + std::to_string(origin.y) +
      "],\"focus\":" + std::to_string(info.hwndFocus ? ::GetDlgCtrlID(info.hwndFocus) : 0) +
      ",\"controls\":[";
  bool first = true;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    out += (first ? "" : ",") + DescribeControl(dialog, child);
    first = false;
  }
  return out + "]}";
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void WriteAtomically(const std::wstring& path, const std::string& text) {
  const std::wstring temporary = path + L".tmp";
  FILE* file = _wfopen(temporary.c_str(), L"wb");
  if (file == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (words == nullptr || count != 3) {
    std::fputs("usage: assoc_dialog_driver DUMP (PROGRAMLIST | --null)\n", stderr);
    return 2;
  }
  const std::wstring dump = words[1];
  const std::wstring list = words[2];
  const bool null = list == L"--null";
  ::LocalFree(words);

  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring library(self, length);
  library = library.substr(0, library.find_last_of(L"\\/") + 1) + L"tolvane.dll";
  const HMODULE module = ::LoadLibraryW(library.c_str());
  if (module == nullptr) {
    std::fputs("assoc_dialog_driver: cannot load tolvane.dll\n", stderr);
    return 2;
  }
  const auto popup = reinterpret_cast<PopupFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, "PopupFileAssocListDialog")));
  if (popup == nullptr) {
    std::fputs("assoc_dialog_driver: no export PopupFileAssocListDialog\n", stderr);
    ::FreeLibrary(module);
    return 2;
  }

  const DWORD thread = ::GetCurrentThreadId();
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    std::string last;
    while (!done) {
      HWND dialog = nullptr;
      ::EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (dialog != nullptr && ::IsWindowVisible(dialog)) {
        const std::string now = DescribeDialog(dialog, thread);
        if (now != last) WriteAtomically(dump, now);
        last = now;
      }
      ::Sleep(100);
    }
  });
  const int result = popup(null ? nullptr : list.c_str());
  done = true;
  watcher.join();
  WriteAtomically(dump + L".result", "returned " + std::to_string(result));
  ::FreeLibrary(module);
  return 0;
}
