// The installation sequence.
#include "install/folder_dialog.h"
#include "install/install.h"
#include "install/install_state.h"
#include "shell/shell.h"

void InstallSequence() {
  PumpMessages();
  g_installationFolder.Assign("c:\\pewline");
  ChooseInstallFolder();
  PumpMessages();
  // Nothing is installed yet: end the run the way every real one ends.
  SendMessageA(g_backdrop, WM_CLOSE, 0, 0);
}
