// Catching a dialog or message box that the calling thread opens itself. The
// box's modal loop keeps the thread inside the call that opened it, so a WH_CBT
// hook notes the box when it is activated and a timer of the box hands it to the
// test once it is up: the test reads the box and presses a button, which the
// modal loop then handles.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace pewtest {

class NextDialogCatcher {
 public:
  // `onOpen` runs once, for the first dialog box (class "#32770") of this thread
  // that is activated while the catcher lives, from the box's modal loop once
  // the box is shown and has its focus. It should close the box, for
  // example with PressDialogButton; a box still open the wait limit later is
  // ended with EndDialog(box, 0) and reported by TimedOut(), so that a test that
  // failed to close it fails instead of hanging.
  explicit NextDialogCatcher(std::function<void(HWND box)> onOpen);
  NextDialogCatcher(const NextDialogCatcher&) = delete;
  NextDialogCatcher& operator=(const NextDialogCatcher&) = delete;
  ~NextDialogCatcher();

  bool Hooked() const { return hook_ != nullptr; }
  bool Caught() const { return caught_ != nullptr; }
  bool TimedOut() const { return timedOut_; }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK Opened(HWND box, UINT message, UINT_PTR id, DWORD time);
  static void CALLBACK Watchdog(HWND box, UINT message, UINT_PTR id, DWORD time);

  std::function<void(HWND)> onOpen_;
  HHOOK hook_ = nullptr;
  HWND caught_ = nullptr;
  bool timedOut_ = false;
};

// Presses button `id` of a dialog as a click does, by posting the button's
// BN_CLICKED notification; false when the dialog has no such button.
bool PressDialogButton(HWND dialog, int id);

// The text of a message box: its static control 0xFFFF, in the ANSI code page
// or as it is.
std::string MessageBoxStaticText(HWND box);
std::wstring MessageBoxStaticTextW(HWND box);

}  // namespace pewtest
