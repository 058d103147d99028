// Process-wide state of the installation.
#include "install/install_state.h"

FixedText<256> g_installationFolder;
