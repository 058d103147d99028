// The install-folder dialog and the routine that places it over the backdrop.
#pragma once

#include <windows.h>

#include <string_view>

// Shows dialog 101 over the backdrop with the installation folder proposed.
// Returns only when the user chose Install, with the choice in the installation
// folder (leading blanks and one trailing backslash removed). On Cancel, Esc
// or the close box the run ends as cancelled, when the dialog cannot be shown
// as failed (EndRun).
void ChooseInstallFolder();

// Moves `window`, without resizing it, so that it is centred over `reference`
// and, where it fits, kept on the screen.
void CentreWindowOver(HWND window, HWND reference);

// The dialog itself: runs it modally over the backdrop and returns its result
// (IDOK, IDCANCEL, or -1 when it cannot be created), keeping the installation
// folder in step with the edit box. ChooseInstallFolder is this plus what
// follows the result.
INT_PTR RunInstallFolderDialog();

// Where CentreWindowOver puts a window of `window`'s size over `reference`
// on a screen of the given size.
POINT ComputeCentredPosition(const RECT& window, const RECT& reference, int screenWidth,
                             int screenHeight);
