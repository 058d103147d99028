// The folder choices that the install-folder dialog accepts: full, sound paths
// that the system's ANSI code page holds exactly, short enough that every path
// the installation makes from them fits.
#pragma once

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
};

struct FolderCheck {
  FolderProblem problem;
  std::wstring_view part;  // the offending level, for kBadLevel
};

// Checks the edit box's whole text as the installation will take it: leading
// and trailing blanks and then one trailing backslash removed.
FolderCheck CheckFolderChoice(std::wstring_view typed);

// The longest choice that is accepted, in characters of the ANSI code page:
// every folder, file and shortcut path that the installation makes from it
// stays within the system's limits.
std::size_t MaxFolderChoice();
