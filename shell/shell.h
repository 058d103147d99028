// The installer shell: the main frame, the blue backdrop, the message loop and pump,
// painting, the start trigger and the one way the process ends.
#pragma once

#include <windows.h>

// Process-wide state, set once at start-up and kept until the process ends.
extern HWND g_mainFrame;
extern HWND g_backdrop;

inline constexpr char kInstallerClassName[] = "WFL_Installer_MainWindow";
inline constexpr char kInstallerTitle[] = "Pewsterline Installer";

// WM_USER with wParam 1 and lParam 0, posted to the backdrop once after its first paint.
inline constexpr UINT kStartMessage = WM_USER;
inline constexpr WPARAM kStartMessageParam = 1;

// Exit codes of the process. Whoever started the installer (a person, a script,
// a deployment tool) learns from them how the run ended.
inline constexpr UINT kExitSuccess = 0;              // everything installed
inline constexpr UINT kExitUserCancelled = 1602;     // ERROR_INSTALL_USEREXIT
inline constexpr UINT kExitInstallFailure = 1603;    // ERROR_INSTALL_FAILURE
inline constexpr UINT kExitAnotherInstallation = 1618;  // ERROR_INSTALL_ALREADY_RUNNING

// Where the run stands. Both the exit code, with which the process ends
// however it is ended (Cancel, the frame closed, the Windows session's end,
// the outcome's message), and the answer to a log-off or shutdown follow from
// it alone.
enum class RunPhase {
  kChoosing,   // nothing is changed yet, the user may still decide: 1602
  kWriting,    // files are staged, moved into place or put back: 1603, and
               // Windows is asked to wait with the session's end
  kInstalled,  // everything is in place: 0
  kFailed,     // a failure is reported, or there was no window to start with: 1603
  kRefused,    // another installation is running: 1618
};
void SetRunPhase(RunPhase phase);
UINT ExitCodeOf(RunPhase phase);

// The one place that ends the process; the shell's own. The installation ends
// its run through EndRun.
[[noreturn]] void EndInstaller();

// How the run ends, on every path: the backdrop is closed, and its destruction
// ends the process with the exit code of the phase.
[[noreturn]] void EndRun();

// The Windows session's end (a log-off, a shutdown) ends the process at once
// with the exit code of the phase: the system would end it anyway, with a code
// that tells nothing. The frame's window procedure sees it; this is for a run
// that has no frame (a refused second installer), whose message boxes are the
// system's windows: from this call on, WM_ENDSESSION to any window of the
// thread ends it.
void EndWithTheSession();

// Answers what other threads and processes have sent to the installer's
// windows (the session's end among them), and dispatches nothing that was
// posted: for the moments between the payload groups, where the installation
// cannot take input, so that Windows learns promptly that it is to wait.
void AnswerSentMessages();
// Waits `milliseconds`, answering sent messages as they come.
void WaitAnsweringSentMessages(DWORD milliseconds);

// Restricts DLL loading to the system folder before anything loads a DLL on demand.
void RestrictDllSearchToSystemFolder();

// Runs the image's static constructors, as the C runtime's start-up code does;
// for the installer's own entry point, which replaces that code (winmain.cpp).
void RunStaticConstructors();

// Seeds the stack protector's guard. Called once, before anything that the
// guard protects runs to its end, from a function that it does not protect.
void SeedStackGuard();

// The main frame's restored placement: two thirds of the screen, centred.
struct FramePlacement {
  int x, y, width, height;
};
FramePlacement ComputeFramePlacement(int screenWidth, int screenHeight);

// What the start message sets going: the installation, which runs inside its
// dispatch and ends the process itself.
using StartRoutine = void (*)();

// Registers the class and creates and shows the main frame and the backdrop,
// setting the process-wide handles; the backdrop's start message then runs
// `start` (none: the start message does nothing). False when any of that failed.
bool CreateInstallerWindows(HINSTANCE instance, StartRoutine start = nullptr);

LRESULT CALLBACK InstallerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Dispatches up to four waiting messages of the thread without waiting.
void PumpMessages();

void PaintWindow(HWND window);

// The progress bar drawn over the backdrop's blue fill.
struct ProgressBar {
  int left, top, boundary, right, bottom;
};
ProgressBar ComputeProgressBar(int clientWidth, int clientHeight, int percent);

// Sets the percent (clamped to 0..100) and repaints the backdrop at once with the
// bar; the payload writers dispatch nothing, so the repaint cannot wait for a loop.
void ShowProgress(int percent);

inline constexpr COLORREF kBackdropColour = 0x00D09060;
inline constexpr COLORREF kProgressDoneColour = 0x00453020;
inline constexpr COLORREF kProgressToDoColour = 0x00FFFFFF;
