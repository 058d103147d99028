// The installer's own entry point runs the image's static constructors, which
// the C runtime's start-up code (not linked into the installer) would otherwise
// run. This program is linked as the installer is, with an entry point of its
// own; its exit code is the verdict: 0 when both constructors ran, in order.
#include <windows.h>

#include "shell/shell.h"

namespace {

int g_trace = 1;

int Step(int digit) {
  g_trace = g_trace * 10 + digit;
  return g_trace;
}

// Dynamic initialisers: they change g_trace, so the compiler cannot turn them
// into constant data.
const int g_first = Step(2);
const int g_second = Step(3);

}  // namespace

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void StartupTestEntry() {
  RunStaticConstructors();
  // 1: nothing ran (the table was empty or not the linker's); 2: wrong order or repeated.
  UINT verdict = 0;
  if (g_trace == 1) {
    verdict = 1;
  } else if (g_trace != 123 || g_first != 12 || g_second != 123) {
    verdict = 2;
  }
  ExitProcess(verdict);
}
