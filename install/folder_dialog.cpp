// The install-folder dialog: propose the folder, keep the installation folder in
// step with the edit box, refuse a choice too long to install into.
#include "install/folder_dialog.h"

#include "install/install_state.h"
#include "messages/messages.h"
#include "resources/resource.h"
#include "shell/shell.h"

namespace {

// True while WM_INITDIALOG puts the proposed folder into the edit box: the edit
// box reports that as a change, but it is not the user's.
bool g_settingInitialText = false;

constexpr char kFolderTooLongMessage[] =
    "The installation folder name is too long.\r"
    "Please choose a folder whose name has at most 242 characters.";
static_assert(kMaxFolderChoice == 242, "the message names the limit");

// Copies the edit box's text into the installation folder: its first 256
// characters, then leading blanks removed.
void ReadFolderText(HWND dialog) {
  // Only the first 256 characters are ever used, so a buffer of that size plus
  // the terminator is all WM_GETTEXT needs, however long the text is.
  char text[FixedText<256>::kWidth + 1] = {};
  SendDlgItemMessageA(dialog, IDC_FOLDER_EDIT, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  const std::string_view value(text);
  std::size_t leading = 0;
  while (leading < value.size() && value[leading] == ' ') ++leading;
  g_installationFolder.Assign(Tail(value, leading));
}

INT_PTR CALLBACK InstallFolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      g_settingInitialText = true;
      SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, reinterpret_cast<const char*>(lParam));
      g_settingInitialText = false;
      CentreWindowOver(dialog, g_backdrop);
      return TRUE;  // the focus starts on the first tab stop, Install
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDC_FOLDER_EDIT && code == EN_CHANGE) {
        if (!g_settingInitialText) ReadFolderText(dialog);
        return TRUE;
      }
      if ((id == IDOK || id == IDCANCEL) && code == BN_CLICKED) {
        if (id == IDOK && ChoiceLength(g_installationFolder.View()) > kMaxFolderChoice) {
          // The sequence builds its paths in place in 256-character texts; a
          // longer choice would be cut without notice and the files written
          // somewhere the user did not choose. Say so and let them shorten it.
          ShowUserMessage(dialog, " ", kFolderTooLongMessage, "!", "O", 1);
          SetFocus(GetDlgItem(dialog, IDC_FOLDER_EDIT));
          return TRUE;
        }
        EndDialog(dialog, id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      // Whichever button ended the dialog, the folder is the box's last text.
      ReadFolderText(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::size_t ChoiceLength(std::string_view folderText) {
  std::size_t length = TrimRight(folderText).size();
  if (length > 0 && folderText[length - 1] == '\\') --length;
  return length;
}

POINT ComputeCentredPosition(const RECT& window, const RECT& reference, int screenWidth,
                             int screenHeight) {
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int referenceWidth = reference.right - reference.left;
  const int referenceHeight = reference.bottom - reference.top;

  // Kept on the screen where it fits; a window larger than the screen ends
  // with its far edge on the screen's far edge and its near edge off screen.
  int x = reference.left + (referenceWidth - width) / 2;
  if (x < 0) {
    x = 0;
  } else if (x + width > screenWidth) {
    x = screenWidth - width;
  }
  int y = reference.top + (referenceHeight - height) / 2;
  if (y < 0) {
    y = 0;
  } else if (y + height > screenHeight) {
    y = screenHeight - height;
  }
  return {x, y};
}

void CentreWindowOver(HWND window, HWND reference) {
  RECT windowRect, referenceRect;
  GetWindowRect(window, &windowRect);
  GetWindowRect(reference, &referenceRect);
  HDC dc = GetDC(window);
  const int screenWidth = GetDeviceCaps(dc, HORZRES);
  const int screenHeight = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(window, dc);
  const POINT position = ComputeCentredPosition(windowRect, referenceRect, screenWidth, screenHeight);
  SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR RunInstallFolderDialog() {
  CText<FixedText<256>::kWidth> initialText(g_installationFolder.Trimmed());
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INSTALL_FOLDER), g_backdrop,
                         InstallFolderDialogProc, reinterpret_cast<LPARAM>(initialText.c_str()));
}

void ChooseInstallFolder() {
  if (RunInstallFolderDialog() != IDOK) {
    // Cancel, Esc, the close box, or no dialog at all: the run ends here,
    // before anything is written.
    SendMessageA(g_backdrop, WM_CLOSE, 0, 0);
    return;
  }
  const std::size_t length = g_installationFolder.TrimmedLength();
  if (length >= 1 && g_installationFolder.At(length) == '\\') g_installationFolder.At(length) = ' ';
}
