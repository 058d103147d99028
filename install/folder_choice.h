// The folder choices that the install-folder dialog accepts: full, sound paths
// that the system's ANSI code page holds exactly, short enough that every path
// the installation makes from them fits.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

// What is wrong with a typed folder; the dialog checks in this order.
enum class FolderProblem {
  kNone,
  kEmpty,
  kTooLong,
  kNotInCodePage,  // a character that the ANSI code page lacks
  kNotFullPath,    // relative, drive- or root-relative, or a \\?\ or \\.\ path
  kBadCharacter,   // < > " | ? * / a control character, or a colon past the drive
  kBadLevel,       // empty, . or .., ending in a dot or a blank, or a device name
  kLookAlike,      // a folder of the typed name exists in a form that the code page does not hold
  kNoRoom,         // its drive or share has too little room for the files (MeasureFreeSpace)
};

#include "fixedtext/fixed_text.h"

// The choice in the Unicode form whose letters the code page holds: a letter
// typed composed (ế) or as a base and its marks (e, U+0302, U+0301) is taken
// composed where the code page has it so, else decomposed, else in a mix that
// it has (ê and U+0301 in code page 1258). The installed program sees its
// folder in the code page's bytes of this form. Room for a choice at the limit
// whose letters all decompose.
using HeldChoice = WideText<3 * 260>;

struct FolderCheck {
  FolderProblem problem;
  std::wstring_view part;  // the offending level, for kBadLevel and kLookAlike; the volume for kNoRoom
  char32_t lacking = 0;    // for kNotInCodePage: the first character that no form holds
};

// Checks the edit box's whole text as the installation will take it: leading
// and trailing blanks and then one trailing backslash removed. With kNone,
// `held` (when given) receives the choice in the form that the code page holds.
FolderCheck CheckFolderChoice(std::wstring_view typed, HeldChoice* held = nullptr);

// Where the choice is held in another form than `typed`: the first level of
// the typed form that exists as a folder while that of the held form does not.
// Installing there would make a second folder that looks the same, for Windows
// keeps both forms as different names. Empty when there is none.
std::wstring_view FindLookAlikeFolder(std::wstring_view typed, std::wstring_view held);

// The space that installing into `held` (an accepted choice in its held
// form) takes on its drive or share, and what this user may still fill there
// (the caller's figure, which honours disk quotas), read on the deepest level
// of the choice that exists. Each file the run will write takes whole
// clusters, and all of them at once: the new files stand beside the old ones
// until they replace them. `known` is false where the drive cannot tell; the
// installation then meets what it meets.
struct FreeSpace {
  bool known = false;
  unsigned long long needed = 0;
  unsigned long long available = 0;
  WideText<MAX_PATH> volume;  // "d:\", "\\server\share\" or a mounted folder
};
FreeSpace MeasureFreeSpace(std::wstring_view held);

// The longest choice that is accepted, in characters of the ANSI code page:
// every folder, file and shortcut path that the installation makes from it
// stays within the system's limits.
std::size_t MaxFolderChoice();
