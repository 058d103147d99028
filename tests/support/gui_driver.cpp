// Driving dialogs and message boxes the way a person does.
#include "support/gui_driver.h"

#include "support/win_test_support.h"

namespace pewtest {

HWND WaitForDialog(const char* caption, DWORD processId, DWORD timeoutMs) {
  return WaitForWindow("#32770", caption, processId, timeoutMs);
}

void TypeInto(HWND edit, std::string_view text) {
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void TypeInto(HWND edit, std::wstring_view text) {
  for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

void ClearEdit(HWND edit) {
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CHAR, VK_BACK, 1);
}

void PressKey(HWND window, UINT virtualKey) {
  const UINT scan = MapVirtualKeyA(virtualKey, 0);
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

std::string ControlText(HWND control) {
  const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

std::wstring ControlTextW(HWND control) {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

std::vector<ControlInfo> Controls(HWND parent) {
  std::vector<ControlInfo> controls;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back({child, GetDlgCtrlID(child), ClassName(child), ControlText(child),
                        GetWindowLongA(child, GWL_STYLE)});
  }
  return controls;
}

HWND FindButton(HWND dialog, std::string_view label) {
  for (const ControlInfo& control : Controls(dialog)) {
    if (_stricmp(control.className.c_str(), "Button") == 0 && control.text == label) return control.window;
  }
  return nullptr;
}

}  // namespace pewtest
