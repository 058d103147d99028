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

struct SessionEnd::Answers {
  int awaited = 0;
  bool agreed = true;
};

namespace {

struct ProcessWindows {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
  auto* query = reinterpret_cast<ProcessWindows*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == query->processId) query->windows.push_back(window);
  return TRUE;
}

}  // namespace

SessionEnd::SessionEnd(DWORD processId) : answers_(new Answers) {
  ProcessWindows query{processId, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
  windows_ = std::move(query.windows);
}

SessionEnd::~SessionEnd() {
  // An answer still awaited may come at any later message call of this
  // thread, to the callback: its record then stays.
  if (answers_->awaited == 0) delete answers_;
}

void SessionEnd::Answered(HWND, UINT, ULONG_PTR data, LRESULT result) {
  auto* answers = reinterpret_cast<Answers*>(data);
  if (result == FALSE) answers->agreed = false;
  --answers->awaited;
}

void SessionEnd::Ask() {
  for (HWND window : windows_) {
    if (SendMessageCallbackA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, Answered,
                             reinterpret_cast<ULONG_PTR>(answers_))) {
      ++answers_->awaited;
    }
  }
}

std::optional<bool> SessionEnd::Answer(DWORD timeoutMs) {
  const bool answered = WaitUntil(
      [&] {
        MSG message;
        // The answers come to the callback while this thread looks at its messages.
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        return answers_->awaited == 0;
      },
      timeoutMs);
  if (!answered) return std::nullopt;
  return answers_->agreed;
}

void SessionEnd::End(bool ending) {
  for (HWND window : windows_) SendNotifyMessageA(window, WM_ENDSESSION, ending, ENDSESSION_LOGOFF);
}

}  // namespace pewtest
