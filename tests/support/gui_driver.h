// Driving dialogs and message boxes the way a person does: typing into an edit
// box, pressing keys and buttons, reading what a box says. Works on windows of
// another thread or another process.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pewtest {

// A dialog or message box ("#32770") with this caption, waited for.
HWND WaitForDialog(const char* caption, DWORD processId, DWORD timeoutMs);

// Types `text` into an edit control character by character (WM_CHAR), so that
// the control changes its text and notifies its parent as for a keyboard.
void TypeInto(HWND edit, std::string_view text);
// The same with Unicode characters, as a keyboard of any language types them.
void TypeInto(HWND edit, std::wstring_view text);
// Selects everything in the edit control and deletes it with Backspace.
void ClearEdit(HWND edit);
// Posts a key press and release to `window` through its thread's message loop
// (where a dialog turns Enter and Esc into its buttons).
void PressKey(HWND window, UINT virtualKey);
// Clicks a button. Posted, not sent: the click may open a modal box, and the
// caller must stay free to deal with it.
void Click(HWND button);

std::string ControlText(HWND control);
std::wstring ControlTextW(HWND control);

struct ControlInfo {
  HWND window;
  int id;
  std::string className;
  std::string text;
  LONG style;
};
// The child windows of `parent`, in order (the dialog template's order).
std::vector<ControlInfo> Controls(HWND parent);

// The push button of a message box or dialog with this label ("OK", "&Yes", ...).
HWND FindButton(HWND dialog, std::string_view label);

// The end of the Windows session for one process, sent as the system sends it
// on a log-off (as Wine's wineboot does): WM_QUERYENDSESSION to every top-level
// window of the process, hidden ones too, without waiting for the answers,
// then WM_ENDSESSION.
class SessionEnd {
 public:
  explicit SessionEnd(DWORD processId);
  SessionEnd(const SessionEnd&) = delete;
  SessionEnd& operator=(const SessionEnd&) = delete;
  ~SessionEnd();

  bool HasWindows() const { return !windows_.empty(); }
  // Asks every window whether the session may end.
  void Ask();
  // Whether all agreed, once all have answered within `timeoutMs`; nothing otherwise.
  std::optional<bool> Answer(DWORD timeoutMs);
  // Tells every window that the session ends (`ending` TRUE) or goes on. The
  // system tells it TRUE also after a refusal when the user chose to log off
  // anyway.
  void End(bool ending);

 private:
  struct Answers;
  static void CALLBACK Answered(HWND window, UINT message, ULONG_PTR data, LRESULT result);
  std::vector<HWND> windows_;
  Answers* answers_;
};

// Waits until `predicate` holds or the time is up; true when it held.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!predicate()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

}  // namespace pewtest
