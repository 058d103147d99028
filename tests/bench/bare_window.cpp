// The bare baseline of tools/bench: the least a Win32 GUI program does. It
// registers a class, shows a window and a message box, and ends when the box is
// answered. Built with the installer's own compiler and linker settings and the
// same kind of entry point, so that the installer's figures minus these are what
// our own code and resources cost.
#include <windows.h>

#include "bench/bench_names.h"

namespace {

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void BareWindowEntry() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = BareWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kBareWindowClass;
  if (RegisterClassA(&windowClass) == 0) ExitProcess(1);

  HWND window = CreateWindowExA(0, kBareWindowClass, kBareWindowTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance,
                                nullptr);
  if (window == nullptr) ExitProcess(1);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  MessageBoxA(window, "The bare baseline is running.", kBareMessageCaption, MB_OK | MB_ICONINFORMATION);
  ExitProcess(0);
}
