// The installation sequence.
#include "install/install.h"
#include "shell/shell.h"

void InstallSequence() {
  // Not yet an installation: end the run the way every real one ends.
  SendMessageA(g_backdrop, WM_CLOSE, 0, 0);
}
