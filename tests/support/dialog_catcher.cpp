// Catching a dialog or message box that the calling thread opens itself.
#include "support/dialog_catcher.h"

#include "support/gui_driver.h"

#include <utility>

#include "support/win_test_support.h"

namespace pewtest {

namespace {

// The catcher of this thread; a hook procedure has no context of its own.
thread_local NextDialogCatcher* t_catcher = nullptr;
constexpr UINT_PTR kOpenTimer = 0x5EB;
constexpr UINT_PTR kWatchdogTimer = 0x5EC;

}  // namespace

NextDialogCatcher::NextDialogCatcher(std::function<void(HWND)> onOpen)
    : onOpen_(std::move(onOpen)) {
  if (t_catcher != nullptr) return;  // one at a time: Hooked() says it failed
  hook_ = SetWindowsHookExA(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
  if (hook_ != nullptr) t_catcher = this;
}

NextDialogCatcher::~NextDialogCatcher() {
  if (hook_ == nullptr) return;
  UnhookWindowsHookEx(hook_);
  t_catcher = nullptr;
}

LRESULT CALLBACK NextDialogCatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  NextDialogCatcher* catcher = t_catcher;
  if (code == HCBT_ACTIVATE && catcher != nullptr && catcher->caught_ == nullptr) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    if (ClassName(box) == "#32770") {
      catcher->caught_ = box;
      // Activation comes before the box has finished setting itself up (focus,
      // default button): the handler runs from the box's own modal loop once
      // it is idle. The timers belong to the box and go with it.
      SetTimer(box, kOpenTimer, 1, Opened);
      SetTimer(box, kWatchdogTimer, WaitLimit(), Watchdog);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK NextDialogCatcher::Opened(HWND box, UINT, UINT_PTR id, DWORD) {
  KillTimer(box, id);
  if (t_catcher != nullptr && t_catcher->caught_ == box) t_catcher->onOpen_(box);
}

void CALLBACK NextDialogCatcher::Watchdog(HWND box, UINT, UINT_PTR id, DWORD) {
  KillTimer(box, id);
  if (t_catcher != nullptr && t_catcher->caught_ == box) t_catcher->timedOut_ = true;
  EndDialog(box, 0);
}

bool PressDialogButton(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return false;
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

std::string MessageBoxStaticText(HWND box) {
  const HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? WindowText(text) : std::string();
}

std::wstring MessageBoxStaticTextW(HWND box) {
  const HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? ControlTextW(text) : std::wstring();
}

}  // namespace pewtest
