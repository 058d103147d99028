// Message boxes: the style composed from the letter codes, the caption, the
// answer, and real boxes shown, read and answered under the window manager.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "support/dialog_catcher.h"
#include "support/win_test_support.h"

namespace {

struct StyleCase {
  const char* kind;
  const char* buttons;
  int defaultButton;
  UINT style;
};

void ExpectStyles(const std::vector<StyleCase>& cases) {
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind \"" << c.kind << "\" buttons \"" << c.buttons
                                    << "\" default " << c.defaultButton);
    EXPECT_EQ(MessageBoxStyle(c.kind, c.buttons, c.defaultButton), c.style);
  }
}

TEST(MessageBoxStyle, TheInstallersOwnBoxes) {
  ExpectStyles({
      {"X", "O", 1, 0x00010010},  // a folder or file that cannot be written
      {"i", "O", 1, 0x00010040},  // the installation has finished
      {"?", "yn", 2, 0x00010124},
  });
}

TEST(MessageBoxStyle, ButtonsCodeIsItsFirstThreeCharactersInAnyCase) {
  ExpectStyles({
      {"", "O", 1, MB_SETFOREGROUND | MB_OK},
      {"", "o", 1, MB_SETFOREGROUND | MB_OK},
      {"", "oc", 1, MB_SETFOREGROUND | MB_OKCANCEL},
      {"", "OC      ", 1, MB_SETFOREGROUND | MB_OKCANCEL},  // a blank-padded field
      {"", "ari", 1, MB_SETFOREGROUND | MB_ABORTRETRYIGNORE},
      {"", "aRi", 1, MB_SETFOREGROUND | MB_ABORTRETRYIGNORE},
      {"", "YNC", 1, MB_SETFOREGROUND | MB_YESNOCANCEL},
      {"", "YNCX", 1, MB_SETFOREGROUND | MB_YESNOCANCEL},
      {"", "Yn", 1, MB_SETFOREGROUND | MB_YESNO},
      {"", "yn ", 1, MB_SETFOREGROUND | MB_YESNO},
      {"", "rc", 1, MB_SETFOREGROUND | MB_RETRYCANCEL},
  });
}

TEST(MessageBoxStyle, UnknownButtonsCodeFallsBackToOkWithoutMemoryOfEarlierBoxes) {
  // Each unknown code follows a known one with other buttons: nothing of the
  // earlier style may carry over.
  ExpectStyles({
      {"", "YNC", 1, MB_SETFOREGROUND | MB_YESNOCANCEL},
      {"", "Q", 1, MB_SETFOREGROUND | MB_OK},
      {"", "ARI", 1, MB_SETFOREGROUND | MB_ABORTRETRYIGNORE},
      {"", "", 1, MB_SETFOREGROUND | MB_OK},
      {"", "RC", 1, MB_SETFOREGROUND | MB_RETRYCANCEL},
      {"", " O", 1, MB_SETFOREGROUND | MB_OK},  // a leading blank is part of the code
      {"", "YN", 1, MB_SETFOREGROUND | MB_YESNO},
      {"", "OCX", 1, MB_SETFOREGROUND | MB_OK},  // three letters that are no code
      {"", "OC", 1, MB_SETFOREGROUND | MB_OKCANCEL},
      {"", "é", 1, MB_SETFOREGROUND | MB_OK},  // only a to z are raised
  });
}

TEST(MessageBoxStyle, KindCodeIsTheWholeTrimmedTextCaseAsListed) {
  ExpectStyles({
      {"X", "O", 1, MB_SETFOREGROUND | MB_ICONERROR},
      {"x", "O", 1, MB_SETFOREGROUND | MB_ICONERROR},
      {"X   ", "O", 1, MB_SETFOREGROUND | MB_ICONERROR},
      {"?", "O", 1, MB_SETFOREGROUND | MB_ICONQUESTION},
      {"!", "O", 1, MB_SETFOREGROUND | MB_ICONEXCLAMATION},
      {"I", "O", 1, MB_SETFOREGROUND | MB_ICONINFORMATION},
      {"i ", "O", 1, MB_SETFOREGROUND | MB_ICONINFORMATION},
      // No icon:
      {" X", "O", 1, MB_SETFOREGROUND},
      {"XX", "O", 1, MB_SETFOREGROUND},
      {"i!", "O", 1, MB_SETFOREGROUND},
      {"", "O", 1, MB_SETFOREGROUND},
      {"    ", "O", 1, MB_SETFOREGROUND},
      {"E", "O", 1, MB_SETFOREGROUND},
      {"X\t", "O", 1, MB_SETFOREGROUND},  // only blanks are padding
  });
}

TEST(MessageBoxStyle, DefaultButtonTwoAndThreeAreKeptWhateverTheButtons) {
  ExpectStyles({
      {"", "O", 2, MB_SETFOREGROUND | MB_DEFBUTTON2},
      {"", "O", 3, MB_SETFOREGROUND | MB_DEFBUTTON3},
      {"", "YN", 3, MB_SETFOREGROUND | MB_YESNO | MB_DEFBUTTON3},
      {"", "YNC", 3, MB_SETFOREGROUND | MB_YESNOCANCEL | MB_DEFBUTTON3},
      {"", "O", 0, MB_SETFOREGROUND},
      {"", "O", 4, MB_SETFOREGROUND},
      {"", "O", -2, MB_SETFOREGROUND},
      {"", "O", 0x102, MB_SETFOREGROUND},
  });
}

TEST(MessageBoxAnswer, ButtonsMapToThreeValuesAndAnythingElsePassesThrough) {
  const struct {
    int result, answer;
  } cases[] = {
      {IDOK, 1},     {IDRETRY, 1},  {IDYES, 1},     {IDCANCEL, 0},     {IDIGNORE, 0},
      {IDABORT, -1}, {IDNO, -1},    {0, 0},         {IDCLOSE, IDCLOSE}, {IDHELP, IDHELP},
      {IDTRYAGAIN, IDTRYAGAIN},     {IDCONTINUE, IDCONTINUE},          {32000, 32000},
      {-1, -1},      {-7, -7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    EXPECT_EQ(MessageBoxAnswer(c.result), c.answer);
  }
}

std::string Caption(std::string_view detail) { return std::string(ComposeMessageCaption(detail).View()); }

TEST(MessageCaption, ProductNameAndTheTrimmedDetail) {
  const struct {
    std::string_view detail;
    const char* caption;
  } cases[] = {
      {"", "Pewsterline"},
      {" ", "Pewsterline"},
      {"          ", "Pewsterline"},
      {"Warning", "Pewsterline: Warning"},
      {"Warning    ", "Pewsterline: Warning"},
      {"  Warning", "Pewsterline:   Warning"},  // leading blanks stay
      {"Two words ", "Pewsterline: Two words"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "detail \"" << c.detail << "\"");
    EXPECT_EQ(Caption(c.detail), c.caption);
  }
}

TEST(MessageCaption, LongDetailIsCutToTheCaptionsRoom) {
  const std::string detail(1000, 'd');
  const std::string caption = Caption(detail);
  EXPECT_EQ(caption.size(), kMaxCaption);
  EXPECT_EQ(caption, "Pewsterline: " + std::string(kMaxCaption - 13, 'd'));
}

// What a real box showed before the test pressed a button on it.
struct SeenBox {
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  std::vector<int> buttons;  // the ids among IDOK..IDNO that the box has
  int defaultButton = 0;     // the id of the default push button
  HICON icon = nullptr;
  bool pressed = false;
};

// Shows a real box through ShowUserMessage, reads it as it opens and presses
// `press`; returns the answer.
int ShowAndPress(HWND owner, std::string_view detail, std::string_view message,
                 std::string_view kind, std::string_view buttons, int defaultButton, int press,
                 SeenBox& seen) {
  pewtest::NextDialogCatcher catcher([&](HWND box) {
    seen.caption = pewtest::WindowText(box);
    seen.text = pewtest::MessageBoxStaticText(box);
    seen.owner = GetWindow(box, GW_OWNER);
    for (int id = IDOK; id <= IDNO; ++id) {
      if (GetDlgItem(box, id) != nullptr) seen.buttons.push_back(id);
    }
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      const LONG style = GetWindowLongA(child, GWL_STYLE);
      if (pewtest::ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
        seen.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
      }
      if (pewtest::ClassName(child) == "Button" && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        seen.defaultButton = GetDlgCtrlID(child);
      }
    }
    seen.pressed = pewtest::PressDialogButton(box, press);
  });
  EXPECT_TRUE(catcher.Hooked());
  const int answer = ShowUserMessage(owner, detail, message, kind, buttons, defaultButton);
  EXPECT_TRUE(catcher.Caught()) << "no box appeared";
  EXPECT_FALSE(catcher.TimedOut()) << "the box was closed by the watchdog";
  return answer;
}

// The system's shared icon that a box of this kind shows, null for none.
HICON KindIcon(char kind) {
  switch (kind) {
    case 'X': return LoadIconA(nullptr, IDI_HAND);
    case '?': return LoadIconA(nullptr, IDI_QUESTION);
    case '!': return LoadIconA(nullptr, IDI_EXCLAMATION);
    case 'I': return LoadIconA(nullptr, IDI_ASTERISK);
    default: return nullptr;
  }
}

TEST(ShowUserMessage, RealBoxesShowWhatTheCodesSayAndAnswerThePressedButton) {
  const struct {
    std::string_view detail, message, kind, buttons;
    int defaultButton;
    std::vector<int> shown;
    int shownDefault;
    char icon;
    int press;
    const char* caption;
    const char* text;
    int answer;
  } cases[] = {
      {"", "Error creating folder: d:\\pew\\Help   ", "X", "O", 1, {IDOK}, IDOK, 'X', IDOK,
       "Pewsterline", "Error creating folder: d:\\pew\\Help", 1},
      {"Warning ", " First line\rSecond line\r  ", "?", "ync", 2, {IDCANCEL, IDYES, IDNO}, IDNO,
       '?', IDNO, "Pewsterline: Warning", " First line\rSecond line\r", -1},
      {"", "Go on?", "", "YNCX", 3, {IDCANCEL, IDYES, IDNO}, IDCANCEL, 0, IDYES, "Pewsterline",
       "Go on?", 1},
      {"", "Go on?", " ?", "Ync", 1, {IDCANCEL, IDYES, IDNO}, IDYES, 0, IDCANCEL, "Pewsterline",
       "Go on?", 0},
      {"", "Disk", "!", "ari", 1, {IDABORT, IDRETRY, IDIGNORE}, IDABORT, '!', IDABORT,
       "Pewsterline", "Disk", -1},
      {"", "Disk", "!  ", "ARI", 2, {IDABORT, IDRETRY, IDIGNORE}, IDRETRY, '!', IDRETRY,
       "Pewsterline", "Disk", 1},
      {"", "Disk", "!", "Ari", 3, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE, '!', IDIGNORE,
       "Pewsterline", "Disk", 0},
      {"", "Sure?", "i", "oc", 2, {IDOK, IDCANCEL}, IDCANCEL, 'I', IDCANCEL, "Pewsterline", "Sure?",
       0},
      {"", "Again?", "x", "rc", 1, {IDCANCEL, IDRETRY}, IDRETRY, 'X', IDRETRY, "Pewsterline",
       "Again?", 1},
      {"", "Yes or no", "I", "yN", 1, {IDYES, IDNO}, IDYES, 'I', IDNO, "Pewsterline", "Yes or no",
       -1},
      {"", "     ", "XX", "O", 1, {IDOK}, IDOK, 0, IDOK, "Pewsterline", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind \"" << c.kind << "\" buttons \"" << c.buttons
                                    << "\" message \"" << c.message << "\" pressing " << c.press);
    SeenBox seen;
    const int answer = ShowAndPress(nullptr, c.detail, c.message, c.kind, c.buttons,
                                    c.defaultButton, c.press, seen);
    EXPECT_EQ(seen.caption, c.caption);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.buttons, c.shown);
    EXPECT_EQ(seen.defaultButton, c.shownDefault);
    EXPECT_EQ(seen.icon, KindIcon(c.icon));
    EXPECT_TRUE(seen.pressed);
    EXPECT_EQ(answer, c.answer);
  }
}

TEST(ShowUserMessage, BoxBelongsToTheOwnerGivenAndToNoneWithout) {
  const std::unique_ptr<HWND__, decltype(&DestroyWindow)> owner(
      CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr),
      &DestroyWindow);
  ASSERT_NE(owner, nullptr);
  SeenBox owned;
  EXPECT_EQ(ShowAndPress(owner.get(), "", "Done", "i", "O", 1, IDOK, owned), 1);
  EXPECT_EQ(owned.owner, owner.get());

  SeenBox free;
  EXPECT_EQ(ShowAndPress(nullptr, "", "Done", "i", "O", 1, IDOK, free), 1);
  EXPECT_EQ(free.owner, nullptr);
}

}  // namespace
