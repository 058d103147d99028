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
#include "install/ansi_path.h"

struct FolderCheck {
  FolderProblem problem;
  std::wstring_view part;  // the offending level, for kBadLevel and kLookAlike; the volume for kNoRoom
  char32_t lacking = 0;    // for kNotInCodePage: the first character that no form holds
};

// Checks the edit box's whole text as the installation will take it: leading
// and trailing blanks and then one trailing backslash removed. With kNone,
// `held` (when given) receives the choice in the form that the code page holds.
FolderCheck CheckFolderChoice(std::wstring_view typed, HeldChoice* held = nullptr);

// A folder that looks the same as a level of `held` (an accepted choice in its
// held form) where the installation would make that level: its name composed
// or decomposed (a folder copied from a Mac keeps its letters decomposed, Mu
// and U+0308 for ü; keyboards give them composed). Windows keeps the two as
// different names, so the installation would make a second folder that looks
// the same beside it. `existing` receives its path, the name as it is written.
bool FindLookAlikeFolder(std::wstring_view held, HeldChoice& existing);

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
