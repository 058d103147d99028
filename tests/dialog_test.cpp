// The install-folder dialog, shown for real over a backdrop and driven from a
// second thread the way a person would: typing, Enter, Esc, buttons, close box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "install/folder_choice.h"
#include "install/folder_dialog.h"
#include "install/install_state.h"
#include "payload/payload.h"
#include "resources/resource.h"
#include "shell/shell.h"
#include "support/dialog_catcher.h"
#include "support/gui_driver.h"
#include "support/win_test_support.h"

namespace {

using pewtest::ClearEdit;
using pewtest::Click;
using pewtest::ControlText;
using pewtest::PressKey;
using pewtest::TypeInto;


// The eleven controls of the dialog, in template (and tab) order.
struct ExpectedControl {
  int id;
  const char* className;
  const char* text;
  RECT dialogUnits;  // x, y, width, height
  LONG style;
};
const ExpectedControl kControls[] = {
    {1, "Button", "Install", {58, 191, 50, 14}, 0x50010001},
    {2, "Button", "Cancel", {182, 191, 50, 14}, 0x50010000},
    {65535, "Static", "This will install Pewsterline Version 2.1 on your computer.", {7, 7, 277, 8}, 0x50020000},
    {65535, "Static",
     "1) Your database files will be preserved, and you can continue to use them with the new version.",
     {30, 61, 235, 18}, 0x50020000},
    {65535, "Button", "If you are upgrading from a previous version of Pewsterline:", {7, 45, 277, 98},
     0x50000007},
    {65535, "Static",
     "We recommend installing Pewsterline in the folder shown below, but you can type another location in "
     "the box below if you wish.",
     {7, 22, 277, 19}, 0x50020000},
    {65535, "Static",
     "2) We recommend backing up your database files before installing the new version.",
     {30, 87, 235, 18}, 0x50020000},
    {65535, "Static",
     "3) You should install this new version in the same folder as your old version. If not, you will have "
     "to manually move your database files to the new folder.",
     {30, 113, 235, 25}, 0x50020000},
    {1000, "Edit", "c:\\pewline", {92, 150, 164, 12}, 0x50810080},
    {65535, "Static", "Installation folder", {34, 152, 56, 8}, 0x50020000},
    {65535, "Static", "Click the Install button to begin installing Pewsterline Version 2.1", {36, 171, 220, 8},
     0x50020000},
};

std::string Folder() { return std::string(g_installationFolder.View()); }
std::string Padded(std::string value) {
  value.resize(256, ' ');
  return value;
}

// The backdrop of the installer, created in this process; the dialog needs it
// as its owner and centring reference.
class FolderDialog : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateInstallerWindows(GetModuleHandleA(nullptr)));
    // Let the backdrop paint; the start message it posts is left undispatched.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == kStartMessage) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    g_installationFolder.Assign("c:\\pewline");
  }

  // Runs `drive` on a second thread against the open dialog while this thread
  // runs `show` (which shows the dialog modally), and returns what `show` returned.
  template <typename Show>
  auto WithDriver(std::function<void(HWND dialog, HWND edit)> drive, Show show) {
    std::thread driver([&] {
      HWND dialog =
          pewtest::WaitForDialog("Pewsterline Installer", GetCurrentProcessId(), pewtest::WaitLimit());
      if (dialog == nullptr) {
        ADD_FAILURE() << "the dialog did not appear";
        return;
      }
      drive(dialog, GetDlgItem(dialog, IDC_FOLDER_EDIT));
    });
    auto result = show();
    driver.join();
    return result;
  }

  INT_PTR RunDialog(std::function<void(HWND dialog, HWND edit)> drive) {
    return WithDriver(std::move(drive), [] { return RunInstallFolderDialog(); });
  }

  // ChooseInstallFolder returns only on Install (anything else ends the process).
  bool Choose(std::function<void(HWND dialog, HWND edit)> drive) {
    return WithDriver(std::move(drive), [] {
      ChooseInstallFolder();
      return true;
    });
  }
};

TEST(FolderDialogTemplate, IsEnglishWithItsCaptionFontAndSize) {
  HRSRC resource = FindResourceExA(nullptr, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                   MAKEINTRESOURCEA(IDD_INSTALL_FOLDER),
                                   MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(resource, nullptr);
  const auto* words = static_cast<const WORD*>(LockResource(LoadResource(nullptr, resource)));
  ASSERT_NE(words, nullptr);
  const auto* header = reinterpret_cast<const DLGTEMPLATE*>(words);
  EXPECT_EQ(header->style, 0x80C808C0u);
  EXPECT_EQ(header->dwExtendedStyle, 0u);
  EXPECT_EQ(header->cdit, 11);
  EXPECT_EQ(header->x, 0);
  EXPECT_EQ(header->y, 0);
  EXPECT_EQ(header->cx, 291);
  EXPECT_EQ(header->cy, 212);
  // After the header: no menu, the default class, the caption, the font.
  const WORD* p = words + sizeof(DLGTEMPLATE) / sizeof(WORD);
  EXPECT_EQ(*p++, 0);
  EXPECT_EQ(*p++, 0);
  const auto readString = [&p] {
    std::string s;
    while (*p != 0) s += static_cast<char>(*p++);
    ++p;
    return s;
  };
  EXPECT_EQ(readString(), "Pewsterline Installer");
  EXPECT_EQ(*p++, 10);  // points
  EXPECT_EQ(readString(), "Arial");

  // The items, each aligned on a DWORD: style, extended style, position, id,
  // class (an atom: 0x80 button, 0x81 edit, 0x82 static), text, creation data.
  const auto alignToDword = [&p, words] {
    if (((p - words) * sizeof(WORD)) % 4 != 0) ++p;
  };
  const char* const atomNames[] = {"Button", "Edit", "Static"};
  for (int i = 0; i < header->cdit && i < static_cast<int>(std::size(kControls)); ++i) {
    SCOPED_TRACE(testing::Message() << "control " << i + 1);
    alignToDword();
    const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
    const ExpectedControl& e = kControls[i];
    EXPECT_EQ(static_cast<LONG>(item->style), e.style);
    EXPECT_EQ(item->dwExtendedStyle, 0u);
    EXPECT_EQ(item->x, e.dialogUnits.left);
    EXPECT_EQ(item->y, e.dialogUnits.top);
    EXPECT_EQ(item->cx, e.dialogUnits.right);
    EXPECT_EQ(item->cy, e.dialogUnits.bottom);
    EXPECT_EQ(item->id, e.id);
    p = reinterpret_cast<const WORD*>(item + 1);
    ASSERT_EQ(*p++, 0xFFFF) << "class given by atom";
    const WORD atom = *p++;
    ASSERT_TRUE(atom >= 0x80 && atom <= 0x82);
    EXPECT_STRCASEEQ(atomNames[atom - 0x80], e.className);
    // The edit box is empty in the template; the proposal is put in when it opens.
    EXPECT_EQ(readString(), e.id == IDC_FOLDER_EDIT ? "" : e.text);
    const WORD extra = *p++;
    p += (extra + 1) / 2;
  }
}

// The template test above checks every value of the template; here, what the
// running dialog adds: its caption, the proposal in the edit box, the focus.
TEST_F(FolderDialog, ShowsItsControlsWithTheProposalAndInstallInFocus) {
  std::vector<pewtest::ControlInfo> controls;
  std::string caption;
  HWND focus = nullptr, install = nullptr;
  const INT_PTR result = RunDialog([&](HWND dialog, HWND) {
    caption = pewtest::WindowText(dialog);
    controls = pewtest::Controls(dialog);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    focus = info.hwndFocus;
    install = GetDlgItem(dialog, IDOK);
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(caption, "Pewsterline Installer");
  EXPECT_EQ(focus, install) << "the focus starts on Install";
  ASSERT_EQ(controls.size(), std::size(kControls));
  for (size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "control " << i + 1);
    EXPECT_EQ(controls[i].id, kControls[i].id);
    EXPECT_EQ(controls[i].text, kControls[i].text);
  }
}

TEST_F(FolderDialog, InstallWithoutEditingKeepsTheProposedFolder) {
  std::string shown;
  ASSERT_TRUE(Choose([&](HWND dialog, HWND edit) {
    shown = ControlText(edit);
    Click(GetDlgItem(dialog, IDOK));
  }));
  EXPECT_EQ(shown, "c:\\pewline");
  EXPECT_EQ(Folder(), Padded("c:\\pewline"));
}

TEST_F(FolderDialog, ChoicesAreTakenAsTypedWithLeadingBlanksAndOneTrailingBackslashRemoved) {
  struct Case {
    std::string typed;
    std::string folder;
  };
  const Case cases[] = {
      {" d:\\apps\\", "d:\\apps"},
      {"d:\\apps\\\\", "d:\\apps\\"},
      {"d:\\", "d:"},
      {"d:", "d:"},
      {"   e:\\Church Office\\Pewsterline", "e:\\Church Office\\Pewsterline"},
      // Leading blanks go before the folder text's 256 characters are taken.
      {"                                                            d:\\" + std::string(200, 'x'),
       "d:\\" + std::string(200, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    g_installationFolder.Assign("c:\\pewline");
    ASSERT_TRUE(Choose([&](HWND dialog, HWND edit) {
      ClearEdit(edit);
      TypeInto(edit, c.typed);
      Click(GetDlgItem(dialog, IDOK));
    }));
    EXPECT_EQ(Folder(), Padded(c.folder));
  }
}

TEST_F(FolderDialog, TheFolderFollowsTheBoxWhileTheUserTypesButNotWhileItIsFilled) {
  // Leading blanks in the proposal show that the box's own filling is not read
  // back: reading it would have removed them.
  g_installationFolder.Assign("  c:\\x");
  std::string beforeTyping, whileTyping, boxText;
  const INT_PTR result = RunDialog([&](HWND dialog, HWND edit) {
    beforeTyping = Folder();
    SendMessageA(edit, EM_SETSEL, 100, 100);  // the caret to the end, as a click there would
    TypeInto(edit, "yz");
    whileTyping = Folder();
    boxText = ControlText(edit);
    PressKey(dialog, VK_ESCAPE);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(beforeTyping, Padded("  c:\\x"));
  EXPECT_EQ(boxText, "  c:\\xyz");
  EXPECT_EQ(whileTyping, Padded("c:\\xyz"));
}

TEST_F(FolderDialog, EnterInTheEditBoxActsAsInstall) {
  ASSERT_TRUE(Choose([&](HWND, HWND edit) {
    SetFocus(edit);  // no effect across threads; the key goes to the box anyway
    ClearEdit(edit);
    TypeInto(edit, "d:\\enter");
    PressKey(edit, VK_RETURN);
  }));
  EXPECT_EQ(Folder(), Padded("d:\\enter"));
}

TEST_F(FolderDialog, CancelEscAndTheCloseBoxAllCancelWithTheLastTextReadBack) {
  const std::function<void(HWND, HWND)> endings[] = {
      [](HWND dialog, HWND) { Click(GetDlgItem(dialog, IDCANCEL)); },
      [](HWND, HWND edit) { PressKey(edit, VK_ESCAPE); },
      [](HWND dialog, HWND) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
  };
  int ending = 0;
  for (const auto& end : endings) {
    SCOPED_TRACE(ending++);
    g_installationFolder.Assign("c:\\pewline");
    const INT_PTR result = RunDialog([&](HWND dialog, HWND edit) {
      ClearEdit(edit);
      TypeInto(edit, "d:\\gone\\");
      end(dialog, edit);
    });
    EXPECT_EQ(result, IDCANCEL);
    // No backslash is removed: that happens only on Install.
    EXPECT_EQ(Folder(), Padded("d:\\gone\\"));
  }
}

// ---------------------------------------------------------------- the checks on Install

TEST(FolderChoice, AcceptsFullSoundPathsAndRefusesEachOtherForm) {
  using P = FolderProblem;
  struct Case {
    const wchar_t* typed;
    FolderProblem problem;
    const wchar_t* part = nullptr;  // the level named in the message
  };
  const Case cases[] = {
      // Drive roots, deep folders, network shares, inner blanks, one more trailing
      // backslash, near-misses of device names.
      {L"c:\\pewline", P::kNone},
      {L"d:", P::kNone},
      {L"d:\\", P::kNone},
      {L"  e:\\Church Office\\Pewsterline\\  ", P::kNone},
      {L"\\\\server\\share", P::kNone},
      {L"\\\\server\\share\\apps\\pewline\\", P::kNone},
      {L"d:\\apps\\\\", P::kNone},
      {L"c:\\con1\\com0\\lpt\\nul2.txt\\.config", P::kNone},
      {L"c:\\conin\\conout$x\\com\u00B9x\\lpt\u00B2\u00B3", P::kNone},
      // Nothing to install into.
      {L"", P::kEmpty},
      {L"   ", P::kEmpty},
      {L" \\ ", P::kEmpty},
      // Relative to a folder the user does not see, or not parsed as a path.
      {L"pewline", P::kNotFullPath},
      {L"..\\x", P::kNotFullPath},
      {L"c:pewline", P::kNotFullPath},
      {L"\\pewline", P::kNotFullPath},
      {L"\\\\?\\c:\\pewline", P::kNotFullPath},
      {L"\\\\.\\c:\\pewline", P::kNotFullPath},
      {L"\\\\server", P::kNotFullPath},
      {L"\\\\server\\\\", P::kNotFullPath},
      {L"c:/pewline", P::kNotFullPath},
      {L"1:\\pewline", P::kNotFullPath},
      // What no folder name holds.
      {L"c:\\pew<line", P::kBadCharacter},
      {L"c:\\pew>line", P::kBadCharacter},
      {L"c:\\\"pewline\"", P::kBadCharacter},
      {L"c:\\pew|line", P::kBadCharacter},
      {L"c:\\pew?", P::kBadCharacter},
      {L"c:\\pew*", P::kBadCharacter},
      {L"c:\\pew/line", P::kBadCharacter},
      {L"c:\\pew\tline", P::kBadCharacter},
      {L"c:\\apps:pewline", P::kBadCharacter},
      {L"\\\\server\\c:", P::kBadCharacter},
      // Levels the system would take for something else.
      {L"c:\\.", P::kBadLevel, L"."},
      {L"c:\\apps\\..\\pewline", P::kBadLevel, L".."},
      {L"c:\\pewline.", P::kBadLevel, L"pewline."},
      {L"c:\\pewline \\x", P::kBadLevel, L"pewline "},
      {L"c:\\CON", P::kBadLevel, L"CON"},
      {L"c:\\apps\\nul.txt", P::kBadLevel, L"nul.txt"},
      {L"c:\\Com9\\x", P::kBadLevel, L"Com9"},
      {L"c:\\lpt1 .log", P::kBadLevel, L"lpt1 .log"},
      {L"\\\\server\\aux", P::kBadLevel, L"aux"},
      // Windows keeps these too: COM and LPT with a superscript digit, the console.
      {L"c:\\COM\u00B9", P::kBadLevel, L"COM\u00B9"},
      {L"c:\\apps\\lpt\u00B3.txt\\x", P::kBadLevel, L"lpt\u00B3.txt"},
      {L"c:\\CONIN$", P::kBadLevel, L"CONIN$"},
      {L"c:\\apps\\conout$ .log", P::kBadLevel, L"conout$ .log"},
      {L"c:\\apps\\\\pewline", P::kBadLevel, L""},
      {L"d:\\apps\\\\\\", P::kBadLevel, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(pewtest::Printable(c.typed));
    const FolderCheck check = CheckFolderChoice(c.typed);
    EXPECT_EQ(check.problem, c.problem);
    if (c.part != nullptr) {
      EXPECT_TRUE(check.part == c.part);
    }
  }
}

TEST(FolderChoice, TheLimitLeavesRoomForTheLongestHelpFilesPath) {
  // "<choice>\Help\<longest help file name>" is the longest path the
  // installation makes, and a file's path has at most MAX_PATH - 1 characters.
  std::size_t longestHelpName = 0;
  for (int i = 0; i < HelpGroup.entryCount; ++i) {
    longestHelpName = std::max(longestHelpName, HelpGroup.Name(i).size());
  }
  const std::size_t limit = MAX_PATH - 1 - std::string_view("\\Help\\").size() - longestHelpName;
  EXPECT_EQ(MaxFolderChoice(), limit);
  const std::wstring longest = L"d:\\" + std::wstring(limit - 3, L'y');
  EXPECT_EQ(CheckFolderChoice(longest).problem, FolderProblem::kNone);
  EXPECT_EQ(CheckFolderChoice(std::wstring(60, L' ') + longest + L"\\   ").problem, FolderProblem::kNone);
  EXPECT_EQ(CheckFolderChoice(longest + L"y").problem, FolderProblem::kTooLong);
  EXPECT_EQ(CheckFolderChoice(longest + L"\\\\").problem, FolderProblem::kTooLong);
  // Judged on the form installed: ten letters pasted decomposed take one byte each.
  std::wstring pasted = longest.substr(0, longest.size() - 10);
  for (int i = 0; i < 10; ++i) pasted += L"e\u0301";
  EXPECT_EQ(CheckFolderChoice(pasted).problem, FolderProblem::kNone);
}

// Wine takes the ANSI code page from the locale; ctest runs this case once more
// under 1250 (Polish), 1251 (Russian) and 1258 (Vietnamese) besides the
// default 1252. A choice is taken in the Unicode form whose letters the code
// page holds: composed where it has them so, else decomposed, else a mix
// (1258 holds ê and the combining acute, not ế).
TEST(FolderChoice, TakesOnlyWhatTheAnsiCodePageHoldsInSomeForm) {
  if (const char* expected = std::getenv("PEW_TEST_CODE_PAGE")) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
  }
  struct Case {
    const wchar_t* typed;
    std::vector<UINT> holdingCodePages;
    const wchar_t* held = nullptr;  // the form taken, where it is not the typed one
  };
  const Case cases[] = {
      {L"c:\\M\u00FCller \u20AC", {1252, 1250, 1258}},      // Müller €
      {L"c:\\Mu\u0308ller", {1252, 1250, 1258}, L"c:\\M\u00FCller"},  // u and a diaeresis, as from a Mac
      {L"c:\\\u0141\u00F3d\u017A", {1250}},          // Łódź: 1252 would make it Lódz
      {L"c:\\\u041F\u0440\u0438\u0445\u043E\u0434", {1251, 949}},  // Приход: else ??????
      // Fullwidth dots and backslash: letters of their own in 949, else .. and a level.
      {L"c:\\\uFF0E\uFF0E\\x", {949}},
      {L"c:\\apps\uFF3Cpewline", {949}},
      // Tiếng Việt\Nhà thờ as a Vietnamese keyboard types it (composed), and
      // decomposed, and in the mix that 1258 holds.
      {L"d:\\Ti\u1EBFng Vi\u1EC7t\\Nh\u00E0 th\u1EDD", {1258},
       L"d:\\Ti\u00EA\u0301ng Vi\u00EA\u0323t\\Nh\u00E0 th\u01A1\u0300"},
      {L"d:\\Tie\u0302\u0301ng Vie\u0323\u0302t", {1258}, L"d:\\Ti\u00EA\u0301ng Vi\u00EA\u0323t"},
      {L"d:\\Ti\u00EA\u0301ng", {1258}},
      {L"d:\\th\u1EDD\u00E0", {1258}, L"d:\\th\u01A1\u0300\u00E0"},  // ờ, then à: a letter, no mark
      {L"d:\\\u0110\u00E0 N\u1EB5ng", {1258}, L"d:\\\u0110\u00E0 N\u0103\u0303ng"},  // Đà Nẵng
      {L"d:\\\u0110", {1258, 1250}},                    // Đ, which Croatian writes too
      // 한국 as conjoining jamo, as macOS names files: a syllable is one letter.
      {L"d:\\\u1112\u1161\u11AB\u1100\u116E\u11A8", {949}, L"d:\\\uD55C\uAD6D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << pewtest::Printable(c.typed) << ", code page " << GetACP());
    const bool held = std::find(c.holdingCodePages.begin(), c.holdingCodePages.end(), GetACP()) !=
                      c.holdingCodePages.end();
    HeldChoice form;
    EXPECT_EQ(CheckFolderChoice(c.typed, &form).problem, held ? FolderProblem::kNone : FolderProblem::kNotInCodePage);
    if (held) {
      EXPECT_EQ(pewtest::Printable(form.View()), pewtest::Printable(c.held != nullptr ? c.held : c.typed));
    }
  }
}

// The refusal names the first character that no form of the code page holds.
TEST(FolderChoice, NamesTheFirstCharacterThatTheCodePageLacks) {
  if (GetACP() != 1252) GTEST_SKIP() << "the rows are for code page 1252";
  const std::pair<const wchar_t*, char32_t> cases[] = {
      {L"c:\\\u0141\u00F3d\u017A", 0x0141},          // Łódź
      {L"c:\\M\u00FCller\\Ti\u1EBFng", 0x1EBF},     // ế: 1252 has ê, not its acute
      {L"c:\\Tie\u0302\u0301ng", 0x0302},            // the first mark that no form takes
      {L"c:\\q\u0303", 0x0303},
      {L"c:\\pew\U0001F600", 0x1F600},                // beyond the 16 bits
  };
  for (const auto& [typed, lacking] : cases) {
    SCOPED_TRACE(pewtest::Printable(typed));
    const FolderCheck check = CheckFolderChoice(typed);
    EXPECT_EQ(check.problem, FolderProblem::kNotInCodePage);
    EXPECT_EQ(static_cast<unsigned>(check.lacking), static_cast<unsigned>(lacking));
  }
}

TEST_F(FolderDialog, IsCentredOverTheBackdrop) {
  RECT dialogRect = {}, backdropRect = {};
  RunDialog([&](HWND dialog, HWND) {
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(g_backdrop, &backdropRect);
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  // The dialog fits on the screen, so its centre is the backdrop's, give or
  // take the half pixel that an odd difference drops.
  EXPECT_NEAR((dialogRect.left + dialogRect.right) / 2, (backdropRect.left + backdropRect.right) / 2, 1);
  EXPECT_NEAR((dialogRect.top + dialogRect.bottom) / 2, (backdropRect.top + backdropRect.bottom) / 2, 1);
}

TEST(CentredPosition, KeepsTheWindowOnTheScreenWhereItFits) {
  struct Case {
    const char* name;
    RECT window, reference;
    POINT expected;
  };
  const int screenWidth = 1024, screenHeight = 768;
  const Case cases[] = {
      {"inside", {0, 0, 400, 300}, {100, 100, 900, 700}, {300, 250}},
      {"odd sizes truncate", {0, 0, 401, 301}, {0, 0, 800, 600}, {199, 149}},
      {"reference partly left and above the screen", {0, 0, 400, 300}, {-700, -500, 100, 100}, {0, 0}},
      {"reference partly right and below", {0, 0, 400, 300}, {800, 600, 1400, 1000}, {624, 468}},
      // The far edge on the screen, with the buttons; the near edge goes off screen.
      {"larger than the screen", {0, 0, 1200, 900}, {0, 0, 1400, 1000}, {-176, -132}},
      {"larger than the screen and the reference", {0, 0, 1200, 900}, {0, 0, 1024, 768}, {-176, -132}},
      // Truncation toward zero: (-1 - 0) / 2 is 0, not -1.
      {"negative odd difference", {0, 0, 101, 101}, {10, 10, 110, 110}, {10, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const POINT p = ComputeCentredPosition(c.window, c.reference, screenWidth, screenHeight);
    EXPECT_EQ(p.x, c.expected.x);
    EXPECT_EQ(p.y, c.expected.y);
  }
}

TEST(CentreWindowOver, MovesARealWindowWithoutResizingIt) {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    const char* name;
    RECT reference;  // left, top, right, bottom
    SIZE window;
    POINT expected;
  };
  const Case cases[] = {
      {"inside", {100, 100, 700, 500}, {200, 100}, {300, 250}},
      {"partly off the left and top", {-300, -200, 100, 100}, {200, 100}, {0, 0}},
      {"larger than the screen", {0, 0, screenWidth + 400, screenHeight + 200},
       {screenWidth + 200, screenHeight + 100}, {-200, -100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND reference = CreateWindowExA(0, "STATIC", "reference", WS_POPUP | WS_VISIBLE, c.reference.left,
                                     c.reference.top, c.reference.right - c.reference.left,
                                     c.reference.bottom - c.reference.top, nullptr, nullptr, nullptr, nullptr);
    HWND moved = CreateWindowExA(0, "STATIC", "moved", WS_POPUP | WS_VISIBLE, 5, 5, c.window.cx, c.window.cy,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(reference, nullptr);
    ASSERT_NE(moved, nullptr);
    CentreWindowOver(moved, reference);
    RECT r;
    GetWindowRect(moved, &r);
    EXPECT_EQ(r.left, c.expected.x);
    EXPECT_EQ(r.top, c.expected.y);
    EXPECT_EQ(r.right - r.left, c.window.cx);
    EXPECT_EQ(r.bottom - r.top, c.window.cy);
    DestroyWindow(moved);
    DestroyWindow(reference);
  }
}

// A dialog that cannot be made (here its owner, the backdrop, is gone: the
// system refuses it) ends the run as failed. Were it made after all, it is
// cancelled at once, and the run ends as cancelled instead.
TEST(FolderDialogInInstaller, ThatCannotBeMadeEndsTheRunAsFailed) {
  EXPECT_EXIT(
      {
        HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        DestroyWindow(gone);
        g_backdrop = gone;
        const pewtest::NextDialogCatcher cancel([](HWND box) { pewtest::PressDialogButton(box, IDCANCEL); });
        ChooseInstallFolder();
      },
      testing::ExitedWithCode(1603), "");
}

TEST(FolderDialogInInstaller, CancelEscAndTheCloseBoxEndTheInstallerAsCancelled) {
  const std::function<void(HWND)> endings[] = {
      [](HWND dialog) { Click(GetDlgItem(dialog, IDCANCEL)); },
      [](HWND dialog) { PressKey(GetDlgItem(dialog, IDC_FOLDER_EDIT), VK_ESCAPE); },
      [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
  };
  int ending = 0;
  for (const auto& end : endings) {
    SCOPED_TRACE(ending++);
    pewtest::ChildProcess installer;
    ASSERT_TRUE(installer.Start(pewtest::InstallerPath()));
    HWND dialog = pewtest::WaitForDialog("Pewsterline Installer", installer.Id(), pewtest::WaitLimit());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IDC_FOLDER_EDIT)), "c:\\pewline");
    end(dialog);
    const auto code = installer.WaitForExit(pewtest::WaitLimit());
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 1602u);
  }
}

}  // namespace
