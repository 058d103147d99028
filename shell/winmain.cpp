// Process entry: harden DLL loading, create the two windows, run the message loop.
#include "install/install.h"
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ClaimInstallationOrEnd();

  // Without a window there is nothing to start the installation and nothing for
  // the user to close: waiting in the loop would hang for ever.
  if (!CreateInstallerWindows(instance, InstallSequence)) {
    SetRunPhase(RunPhase::kFailed);
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

// The image's entry point (pew_use_own_entry_point in CMakeLists.txt), in
// place of the C runtime's start-up code. That code parses the command line,
// prepares the C library's heap, stdio, floating point, atexit and thread-local
// clean-up, installs its own crash handler and fixes up auto-imported data: the
// installer uses none of it (no command line, no C library state, no floating
// point, nothing imported but functions, which --disable-auto-import enforces),
// and it ends through ExitProcess, never by returning. That code and its tables
// would be a large share of what the image adds to its payload.
//
// The system calls the entry with a stack aligned to 4 bytes only, which is
// all that the product's code is compiled to expect (CMakeLists.txt).
extern "C" [[noreturn]] __attribute__((no_stack_protector)) void InstallerEntry() {
  // Nothing of the installer needs a constructor today; any that a change adds
  // still runs before the first line of WinMain.
  RunStaticConstructors();
  // Before any DLL is loaded on demand; then the guard, before WinMain and
  // everything it protects. This function has no guard of its own: it would
  // have been set before the seed.
  RestrictDllSearchToSystemFolder();
  SeedStackGuard();

  // The command line and the show code are not read; these are the values the
  // C runtime would pass when the installer is simply started.
  char noArguments[] = "";
  (void)WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT);
  EndInstaller();  // WinMain never returns; this only tells the compiler so
}
