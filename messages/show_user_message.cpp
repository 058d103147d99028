// The message-box routine: codes to style, caption, text, and the answer.
#include "messages/messages.h"

namespace {

constexpr std::string_view kProductName = "Pewsterline";

UINT ButtonsStyle(std::string_view buttonsCode) {
  // The first three characters, blank-filled, letters raised to capitals.
  char code[3] = {' ', ' ', ' '};
  for (std::size_t i = 0; i < 3 && i < buttonsCode.size(); ++i) {
    const char c = buttonsCode[i];
    code[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view key(code, 3);
  if (key == "O  ") return MB_OK;
  if (key == "OC ") return MB_OKCANCEL;
  if (key == "ARI") return MB_ABORTRETRYIGNORE;
  if (key == "YNC") return MB_YESNOCANCEL;
  if (key == "YN ") return MB_YESNO;
  if (key == "RC ") return MB_RETRYCANCEL;
  // No caller passes another code; an OK box is the one that always lets the
  // user go on, and no state from an earlier box is carried over.
  return MB_OK;
}

UINT IconStyle(std::string_view kindCode) {
  const std::string_view kind = TrimRight(kindCode);
  if (kind == "X" || kind == "x") return MB_ICONERROR;
  if (kind == "?") return MB_ICONQUESTION;
  if (kind == "!") return MB_ICONEXCLAMATION;
  if (kind == "I" || kind == "i") return MB_ICONINFORMATION;
  return 0;
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
    caption.Append(": ");
    // A detail too long for the caption is cut, as every fixed-width text is.
    caption.Append(Head(detail, kMaxCaption - caption.size()));
  }
  return caption;
}

int ShowUserMessage(HWND owner, std::string_view titleDetail, std::string_view message,
                    std::string_view kindCode, std::string_view buttonsCode, int defaultButton) {
  const MessageCaption caption = ComposeMessageCaption(titleDetail);

  // The installer's longest message is a few hundred characters; 4 KB leaves
  // room for any folder or file name it names.
  CText<4096> text;
  const std::string_view body = TrimRight(message);
  text.Append(Head(body, text.kCapacity));

  const UINT style = MessageBoxStyle(kindCode, buttonsCode, defaultButton);
  const int result = MessageBoxExA(owner, text.c_str(), caption.c_str(), style, 0);
  return MessageBoxAnswer(result);
}
