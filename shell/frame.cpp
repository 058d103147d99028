// The main frame and the backdrop: one class, one window procedure, the pump,
// and the process's exit code.
#include "resources/resource.h"
#include "shell/shell.h"

HWND g_mainFrame = nullptr;
HWND g_backdrop = nullptr;

namespace {

RunPhase g_phase = RunPhase::kChoosing;
StartRoutine g_start = nullptr;

// What the shutdown screen shows beside the installer while it asks to wait.
constexpr wchar_t kSessionEndReason[] = L"Pewsterline is being installed.";

// Sees every message sent to a window of the thread before its procedure
// does: the session's end reaches message boxes too, whose procedures are the
// system's.
LRESULT CALLBACK WatchForSessionEnd(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_ENDSESSION && sent->wParam != FALSE) EndInstaller();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

UINT ExitCodeOf(RunPhase phase) {
  switch (phase) {
    case RunPhase::kChoosing:
      return kExitUserCancelled;
    case RunPhase::kInstalled:
      return kExitSuccess;
    case RunPhase::kRefused:
      return kExitAnotherInstallation;
    default:
      return kExitInstallFailure;
  }
}

void SetRunPhase(RunPhase phase) {
  const bool wasWriting = g_phase == RunPhase::kWriting;
  g_phase = phase;
  // Wine 8 has no shutdown screen and fails both calls; the frame's answer to
  // WM_QUERYENDSESSION holds the session all the same.
  if (phase == RunPhase::kWriting && !wasWriting) (void)ShutdownBlockReasonCreate(g_mainFrame, kSessionEndReason);
  if (phase != RunPhase::kWriting && wasWriting) (void)ShutdownBlockReasonDestroy(g_mainFrame);
}

void EndInstaller() { ExitProcess(ExitCodeOf(g_phase)); }

void EndRun() {
  SendMessageA(g_backdrop, WM_CLOSE, 0, 0);
  // Destroying the backdrop ends the process inside the call above; should the
  // window be gone already, end it here all the same.
  EndInstaller();
}

void EndWithTheSession() {
  // Kept until the process ends, like the brushes.
  (void)SetWindowsHookExA(WH_CALLWNDPROC, WatchForSessionEnd, nullptr, GetCurrentThreadId());
}

void AnswerSentMessages() {
  MSG message;
  // With only QS_SENDMESSAGE asked for, nothing posted is taken: the call
  // answers the sent messages and returns.
  (void)PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void WaitAnsweringSentMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (DWORD waited = 0; waited < milliseconds; waited = GetTickCount() - start) {
    // Wakes for a message sent from elsewhere, and for nothing posted.
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
      AnswerSentMessages();
    }
  }
}

void RestrictDllSearchToSystemFolder() {
  // Installers are usually started from a Downloads folder, where anyone may have
  // left a DLL named like a system one. Windows older than 8 (without KB2533623)
  // lack the call; there the default search order stays.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDirectories != nullptr) (void)setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

FramePlacement ComputeFramePlacement(int screenWidth, int screenHeight) {
  FramePlacement p;
  p.width = (2 * screenWidth) / 3;
  p.height = (2 * screenHeight) / 3;
  p.x = (screenWidth - p.width) / 2;
  p.y = (screenHeight - p.height) / 2;
  return p;
}

bool CreateInstallerWindows(HINSTANCE instance, StartRoutine start) {
  g_start = start;
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = InstallerWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_INSTALLER));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  // Never applied: WM_ERASEBKGND does not reach DefWindowProcA.
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kInstallerClassName;
  if (RegisterClassA(&windowClass) == 0) return false;

  const FramePlacement placement =
      ComputeFramePlacement(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));

  g_mainFrame = CreateWindowExA(0, kInstallerClassName, kInstallerTitle, WS_OVERLAPPEDWINDOW,
                                placement.x, placement.y, placement.width, placement.height,
                                nullptr, nullptr, instance, nullptr);
  if (g_mainFrame == nullptr) return false;
  // The show code handed to WinMain is deliberately not used: the backdrop
  // always covers the screen.
  ShowWindow(g_mainFrame, SW_SHOWMAXIMIZED);

  RECT client;
  GetClientRect(g_mainFrame, &client);
  g_backdrop = CreateWindowExA(0, kInstallerClassName, kInstallerTitle, WS_CHILD | WS_BORDER, 0, 0,
                               client.right, client.bottom, g_mainFrame, nullptr, instance, nullptr);
  if (g_backdrop == nullptr) return false;
  ShowWindow(g_backdrop, SW_SHOWMAXIMIZED);
  return true;
}

LRESULT CALLBACK InstallerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // Either window going away ends the run, also in the middle of the
      // installation; what was written stays on disk.
      EndInstaller();
      return 0;  // not reached
    case WM_PAINT:
      PaintWindow(window);
      return 0;
    case WM_QUERYENDSESSION:
      // Only the frame is asked: the backdrop is a child window.
      return g_phase == RunPhase::kWriting ? FALSE : TRUE;
    case WM_ENDSESSION:
      // The session ends after all (a log-off forced past the request to
      // wait, or one while nothing was held): the system would end the
      // process next, with a code that tells nothing.
      if (wParam != FALSE) EndInstaller();
      return 0;
    case WM_ERASEBKGND:
      // The paint covers the whole client area; erasing first would only flicker.
      return 0;
    case kStartMessage:
      // The installation runs inside this call and ends the process itself.
      if (wParam == kStartMessageParam && g_start != nullptr) g_start();
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void PumpMessages() {
  MSG message;
  // A WM_COMMAND for the backdrop that arrives here is dropped: the backdrop has
  // no controls, so nothing it could mean is lost.
  if (PeekMessageA(&message, g_backdrop, 1, WM_USER, PM_REMOVE) && message.message != WM_COMMAND) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  for (int i = 0; i < 3; ++i) {
    if (PeekMessageA(&message, nullptr, 1, WM_USER, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}
