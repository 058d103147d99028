/* Stand-in for Rotaplan.exe, the Pewsterline 2.1 application.
 *
 * The installer carries the application's executable as payload, and the real
 * one comes with each release. Until it is dropped into payload/application,
 * this small program takes its place, so that the installer can be built,
 * tested and tried: started from the shortcuts that the installer makes, it
 * says what it is and ends. tools/make-payload builds it and pads it to the
 * real executable's size.
 */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  MessageBoxA(NULL,
              "This program stands in for the Pewsterline 2.1 application (Rotaplan.exe).\r\n\r\n"
              "The installer has put it where the application belongs, together with the "
              "help pages, the formats database and the starter databases. The real "
              "application comes with the release of Pewsterline 2.1.",
              "Pewsterline 2.1 (stand-in)", MB_OK | MB_ICONINFORMATION);
  return 0;
}
