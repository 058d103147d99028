/* Stays connected to the Wine desktop for a whole test run, as Windows' own
   shell does. Wine ends a desktop a moment after the last program using it has
   gone, and the next program with a window starts it again as its own child:
   that desktop process inherits the program's output, so ctest, reading it,
   waited about a second after every window test (far longer under emulation)
   for the desktop to close. tools/test starts this with its output in a file;
   the run's end (wineserver -k) ends it. It shows no window. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
