// Process-wide state of the installation, shared by the sequence, the dialog
// and the writers.
#pragma once

#include "fixedtext/fixed_text.h"

// The folder into which the product is installed, without a trailing backslash
// between operations. The sequence sets it to the default, the dialog replaces
// it with the user's choice, and the sequence changes it in place while it
// builds the folder tree.
extern FixedText<256> g_installationFolder;
