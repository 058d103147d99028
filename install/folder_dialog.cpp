// The install-folder dialog: propose the folder, keep the installation folder in
// step with the edit box, refuse a choice that cannot be installed into.
#include "install/folder_dialog.h"

#include <iterator>

#include "common/owner.h"
#include "install/ansi_path.h"
#include "install/folder_choice.h"
#include "install/install_state.h"
#include "messages/messages.h"
#include "resources/resource.h"
#include "shell/shell.h"

using namespace std::string_view_literals;

namespace {

// True while WM_INITDIALOG puts the proposed folder into the edit box: the edit
// box reports that as a change, but it is not the user's.
bool g_settingInitialText = false;

// The edit box's whole text, read as Unicode: through the ANSI calls a
// character that the code page lacks would already be replaced, and the check
// would pass what the user never typed.
class BoxText {
 public:
  explicit BoxText(HWND edit) {
    const int length = GetWindowTextLengthW(edit);
    *chars_.Out() = static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), 0, (static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
    if (chars_.Get() != nullptr) length_ = static_cast<std::size_t>(GetWindowTextW(edit, chars_.Get(), length + 1));
  }
  std::wstring_view View() const { return {chars_.Get(), length_}; }

 private:
  struct HeapTraits : PointerTraits<wchar_t*> {
    static void Free(wchar_t* chars) { HeapFree(GetProcessHeap(), 0, chars); }
  };
  Owner<wchar_t*, HeapTraits> chars_;
  std::size_t length_ = 0;
};

// Copies the edit box's text into the installation folder, leading blanks
// removed first, so that a long run of them cannot push the folder's end past
// the 256 characters that the folder text holds.
void ReadFolderText(HWND dialog) {
  const BoxText box(GetDlgItem(dialog, IDC_FOLDER_EDIT));
  std::wstring_view text = box.View();
  while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
  const int count = static_cast<int>(text.size() < g_installationFolder.size() ? text.size()
                                                                              : g_installationFolder.size());
  char ansi[4 * FixedText<256>::kWidth];  // room for any code page's longest characters
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), count, ansi, sizeof ansi, nullptr, nullptr);
  g_installationFolder.Assign(std::string_view(ansi, bytes > 0 ? static_cast<std::size_t>(bytes) : 0));
}

// Unicode, for the characters and folders that the code page lacks.
using MessageText = WideText<1024>;

void AppendUnit(MessageText& text, wchar_t c) { text.Append(std::wstring_view(&c, 1)); }

void AppendNumber(MessageText& text, std::size_t number) {
  wchar_t digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
    number /= 10;
  } while (number > 0);
  while (count > 0) AppendUnit(text, digits[--count]);
}

// "U+0141 (Ł)": the character's number, so that the user can tell which it
// is, and the character itself.
void AppendCharacter(MessageText& text, char32_t c) {
  text.Append(L"U+"sv);
  for (int shift = c > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4) AppendUnit(text, L"0123456789ABCDEF"[(c >> shift) & 0xF]);
  text.Append(L" ("sv);
  if (c > 0xFFFF) {
    AppendUnit(text, static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
    AppendUnit(text, static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  } else {
    AppendUnit(text, static_cast<wchar_t>(c));
  }
  text.Append(L")"sv);
}

// What is wrong, in plain words, one text for each problem in FolderProblem's
// order, and what a good choice looks like. In them \1 stands for the level,
// folder or drive named, \2 for the longest choice, \3 for the character that
// the code page lacks, \4 and \5 for the room needed and free in KB. ASCII,
// widened as the message is put together.
constexpr const char* kRefusals[] = {
    "",
    "Please type the folder to install Pewsterline into.",
    // The paths are counted in the code page's bytes, as the system counts them.
    "The installation folder name is too long.\rPlease choose a folder whose name has at most \2 characters; a "
    "letter of Japanese, Chinese or Korean counts as two.",
    "The installation folder contains characters that Pewsterline cannot use on this computer, the first of them "
    "\3.\rPlease name the folder with the letters of this computer's language.",
    "Please type the full path of the installation folder: a drive letter, a colon and a backslash followed by "
    "the folder, or a network share.",
    "The installation folder contains a character that a folder name cannot hold.\rFolder names cannot contain "
    "< > \" | ? * / or control characters, and a colon only after the drive letter.",
    "This folder name cannot be used: \"\1\"\rA folder name cannot be empty, . or .., end in a dot or a blank, "
    "or be a name that Windows keeps for devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, "
    "CONOUT$).",
    "A folder of this name already exists, its letters written in another way than this computer can use:\r\1\r"
    "Pewsterline would make a second folder that looks the same beside it. Please choose another name, or rename "
    "that folder.",
    "There is not enough free space for Pewsterline on \1: it needs \4 KB, and \5 KB are free.\rPlease free some "
    "space there, or choose a folder on another drive.",
};
static_assert(std::size(kRefusals) == static_cast<std::size_t>(FolderProblem::kNoRoom) + 1);
constexpr char kExample[] = "\rFor example: c:\\pewline, or \\\\server\\share\\pewline on a network.";

MessageText RefusalMessage(const FolderCheck& check, const FreeSpace& space) {
  MessageText text;
  const auto compose = [&](const char* c) {
    for (; *c != '\0'; ++c) {
      if (*c == '\1') {
        text.Append(check.part);
      } else if (*c == '\2') {
        AppendNumber(text, MaxFolderChoice());
      } else if (*c == '\3') {
        AppendCharacter(text, check.lacking);
      } else if (*c == '\4' || *c == '\5') {
        // The run needs a few megabytes, and the room is named only where less
        // is free: both fit in 32 bits, which need no division routine of the compiler's.
        AppendNumber(text, static_cast<std::size_t>(*c == '\4' ? (space.needed + 1023) >> 10 : space.available >> 10));
      } else {
        AppendUnit(text, static_cast<wchar_t>(*c));
      }
    }
  };
  compose(kRefusals[static_cast<int>(check.problem)]);
  // Another drive is the way out of too little room, not another folder.
  if (check.problem != FolderProblem::kNoRoom) compose(kExample);
  return text;
}

// Whether the box's choice can be installed into; if not, a box owned by the
// dialog says why. Where the code page holds its letters only in another
// Unicode form, the edit box takes that form, which every later reading of it
// converts exactly. A folder of the typed form that exists already refuses it:
// the installation would make a look-alike of it.
bool AcceptFolderChoice(HWND dialog, HWND edit) {
  const BoxText box(edit);
  HeldChoice held;
  FolderCheck check = CheckFolderChoice(box.View(), &held);
  HeldChoice twin;
  if (check.problem == FolderProblem::kNone && FindLookAlikeFolder(held.View(), twin)) {
    check.problem = FolderProblem::kLookAlike;
    check.part = twin.View();
  }
  // A drive without room for the files would fill up part of the way
  // through, after the installation has begun to change things.
  FreeSpace space;
  if (check.problem == FolderProblem::kNone) {
    space = MeasureFreeSpace(held.View());
    check.part = space.volume.View();
    if (space.known && space.available < space.needed) check.problem = FolderProblem::kNoRoom;
  }
  if (check.problem != FolderProblem::kNone) {
    ShowUserMessage(dialog, " "sv, RefusalMessage(check, space).c_str(), "!"sv, "O"sv, 1);
    return false;
  }
  // The one trailing backslash that the check takes away stays, so that one
  // more typed is still there (d:\apps\\).
  std::wstring_view typed = box.View();
  while (!typed.empty() && typed.back() == L' ') typed.remove_suffix(1);
  if (!typed.empty() && typed.back() == L'\\') held.Append(L"\\"sv);
  if (held.View() != typed) SetWindowTextW(edit, held.c_str());
  return true;
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
        if (id == IDOK) {
          // Here the user can still correct a choice that cannot be installed
          // into as typed; later it would only fail, or land elsewhere.
          HWND edit = GetDlgItem(dialog, IDC_FOLDER_EDIT);
          if (!AcceptFolderChoice(dialog, edit)) {
            // The focus to the box with its whole text selected, to type over.
            SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
            return TRUE;
          }
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

POINT ComputeCentredPosition(const RECT& window, const RECT& reference, int screenWidth,
                             int screenHeight) {
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int referenceWidth = reference.right - reference.left;
  const int referenceHeight = reference.bottom - reference.top;

  // Kept on the screen where it fits; a window larger than the screen (the
  // dialog at 200 % on 1366 x 768) ends with its far edge on the screen's far
  // edge and its near edge off screen, so that its buttons at the bottom
  // right stay where the user can press them.
  const auto place = [](int centred, int size, int screen) {
    if (centred + size > screen) centred = screen - size;
    return centred < 0 && size <= screen ? 0 : centred;
  };
  return {place(reference.left + (referenceWidth - width) / 2, width, screenWidth),
          place(reference.top + (referenceHeight - height) / 2, height, screenHeight)};
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
  // A Unicode dialog, so that its edit box keeps every character as typed.
  return DialogBoxParamW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(IDD_INSTALL_FOLDER), g_backdrop,
                         InstallFolderDialogProc, reinterpret_cast<LPARAM>(initialText.c_str()));
}

void ChooseInstallFolder() {
  // Cancel, Esc, the close box, or no dialog at all: the run ends here,
  // before anything is written. Only the first is the user's decision; a
  // dialog that could not be made (-1, or 0 for a missing owner) is a failure.
  const INT_PTR result = RunInstallFolderDialog();
  if (result != IDOK) {
    if (result != IDCANCEL) SetRunPhase(RunPhase::kFailed);
    EndRun();
  }
  // One trailing backslash, not the second byte of a last letter such as 表.
  if (EndsInBackslash(g_installationFolder.Trimmed())) {
    g_installationFolder.At(g_installationFolder.TrimmedLength()) = ' ';
  }
}
