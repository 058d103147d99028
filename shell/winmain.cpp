// Process entry: harden DLL loading, create the two windows, run the message loop.
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictDllSearchToSystemFolder();

  // Without a window there is nothing to start the installation and nothing for
  // the user to close: waiting in the loop would hang for ever.
  if (!CreateInstallerWindows(instance)) {
    SetExitCode(kExitInstallFailure);
    EndInstaller();
  }

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // Nothing posts WM_QUIT, and the windows' destruction ends the process, so
  // this is reached only if GetMessageA itself fails.
  EndInstaller();
}
