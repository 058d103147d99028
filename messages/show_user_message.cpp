// The message-box routine: codes to style, caption, text, and the answer.
#include "messages/messages.h"

#include <cstdint>

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kProductName = "Pewsterline";

// Up to four characters as one number, first in the lowest byte, the rest
// blanks: a code compares as a whole in one step.
constexpr std::uint32_t Key(std::string_view code, bool capitals) {
  std::uint32_t key = 0;
  for (std::size_t i = 4; i-- > 0;) {
    char c = i < code.size() ? code[i] : ' ';
    if (capitals && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    key = key << 8 | static_cast<unsigned char>(c);
  }
  return key;
}

UINT ButtonsStyle(std::string_view buttonsCode) {
  // The first three characters, blank-filled, letters raised to capitals.
  static constexpr std::string_view kCodes[] = {"O", "OC", "ARI", "YNC", "YN", "RC"};  // MB_OK to MB_RETRYCANCEL
  const std::uint32_t key = Key(Head(buttonsCode, 3), true);
  for (UINT style = 0; style < 6; ++style) {
    if (key == Key(kCodes[style], false)) return style;
  }
  // No caller passes another code; an OK box is the one that always lets the
  // user go on, and no state from an earlier box is carried over.
  return MB_OK;
}

UINT IconStyle(std::string_view kindCode) {
  // The whole kind, blanks at its end ignored: longer ones match nothing.
  const std::string_view kind = TrimRight(kindCode);
  if (kind.size() != 1) return 0;
  switch (kind[0]) {
    case 'X':
    case 'x':
      return MB_ICONERROR;
    case '?':
      return MB_ICONQUESTION;
    case '!':
      return MB_ICONEXCLAMATION;
    case 'I':
    case 'i':
      return MB_ICONINFORMATION;
    default:
      return 0;
  }
}

UINT DefaultButtonStyle(int defaultButton) {
  if (defaultButton == 2) return MB_DEFBUTTON2;
  if (defaultButton == 3) return MB_DEFBUTTON3;
  return 0;
}

}  // namespace

UINT MessageBoxStyle(std::string_view kindCode, std::string_view buttonsCode, int defaultButton) {
  // No modality flag: the box is application-modal.
  return ButtonsStyle(buttonsCode) | IconStyle(kindCode) | DefaultButtonStyle(defaultButton) |
         MB_SETFOREGROUND;
}

int MessageBoxAnswer(int result) {
  switch (result) {
    case IDOK:
    case IDRETRY:
    case IDYES:
      return 1;
    case IDCANCEL:
    case IDIGNORE:
      return 0;
    case IDABORT:
    case IDNO:
      return -1;
    default:
      return result;
  }
}

MessageCaption ComposeMessageCaption(std::string_view titleDetail) {
  MessageCaption caption(kProductName);
  const std::string_view detail = TrimRight(titleDetail);
  if (!detail.empty()) {
    caption.Append(": "sv);
    // A detail too long for the caption is cut, as every fixed-width text is.
    caption.Append(Head(detail, kMaxCaption - caption.size()));
  }
  return caption;
}

int ShowUserMessage(HWND owner, std::string_view titleDetail, const wchar_t* message,
                    std::string_view kindCode, std::string_view buttonsCode, int defaultButton) {
  const MessageCaption caption = ComposeMessageCaption(titleDetail);
  // The product's name and a detail of the code page's letters.
  wchar_t wideCaption[kMaxCaption + 1];
  if (MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, wideCaption, kMaxCaption + 1) == 0) wideCaption[0] = 0;
  const UINT style = MessageBoxStyle(kindCode, buttonsCode, defaultButton);
  return MessageBoxAnswer(MessageBoxExW(owner, message, wideCaption, style, 0));
}

int ShowUserMessage(HWND owner, std::string_view titleDetail, std::string_view message,
                    std::string_view kindCode, std::string_view buttonsCode, int defaultButton) {
  // The installer's longest message is a few hundred characters; 4 K leaves
  // room for any folder or file name it names. No character of a code page
  // takes more UTF-16 units than it has bytes.
  const std::string_view body = Head(TrimRight(message), 4095);
  wchar_t wide[4096];
  const int length =
      body.empty() ? 0 : MultiByteToWideChar(CP_ACP, 0, body.data(), static_cast<int>(body.size()), wide, 4095);
  wide[length > 0 ? length : 0] = 0;
  return ShowUserMessage(owner, titleDetail, wide, kindCode, buttonsCode, defaultButton);
}
