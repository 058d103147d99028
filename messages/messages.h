// The installer's one message-box routine, driven by short letter codes.
#pragma once

#include <windows.h>

#include <string_view>

#include "fixedtext/fixed_text.h"

// Shows a message box with MessageBoxExW (a message in the ANSI code page is
// converted for it) and returns the three-valued answer: 1 for OK, Retry and
// Yes; 0 for Cancel and Ignore; -1 for Abort and No; any other result of
// MessageBoxExW (0 when the box could not be shown) unchanged.
//  owner         may be null: then the box has no owner window
//  titleDetail   added to the caption "Pewsterline" as ": detail" unless blank
//  message       lines separated by CR; trailing blanks are dropped
//  kindCode      "X"/"x" error, "?" question, "!" exclamation, "I"/"i" information
//  buttonsCode   "O", "OC", "ARI", "YNC", "YN", "RC" in any case; first three characters count
//  defaultButton 1, 2 or 3
int ShowUserMessage(HWND owner, std::string_view titleDetail, std::string_view message,
                    std::string_view kindCode, std::string_view buttonsCode, int defaultButton);
// The same with a message in Unicode (NUL-terminated, no trailing blanks),
// for what the ANSI code page cannot show: a character that it lacks, a
// folder named with one.
int ShowUserMessage(HWND owner, std::string_view titleDetail, const wchar_t* message,
                    std::string_view kindCode, std::string_view buttonsCode, int defaultButton);

// The pieces of ShowUserMessage, as plain functions.
UINT MessageBoxStyle(std::string_view kindCode, std::string_view buttonsCode, int defaultButton);
int MessageBoxAnswer(int result);

// The caption: "Pewsterline", or "Pewsterline: " + the trimmed detail, cut at
// kMaxCaption characters.
inline constexpr std::size_t kMaxCaption = 300;
using MessageCaption = CText<kMaxCaption>;
MessageCaption ComposeMessageCaption(std::string_view titleDetail);
