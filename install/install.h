// The installation sequence that drives the whole run, and its pure pieces.
#pragma once

#include <cstddef>
#include <string_view>

#include "fixedtext/fixed_text.h"

// Runs the whole installation inside the dispatch of the start message and ends
// the process on every path: success, a reported failure, or the user cancelling.
void InstallSequence();

// The index in `folder` (the installation folder ending in "\Help\") from which
// its folder levels are made: past the drive part "c:\", or past the server and
// share of a network folder "\\server\share\", which are never made.
std::size_t FirstFolderLevelStart(std::string_view folder);

// The texts of the two failure messages, lines joined by a single CR.
void ComposeFolderErrorMessage(std::string_view level, CText<1024>& text);
void ComposeSaveErrorMessage(std::string_view fileName, CText<1024>& text);

// The success message: 242 characters, lines joined by a single CR.
inline constexpr std::string_view kSuccessMessage =
    "Pewsterline Version 2.1 has been installed successfully.\r"
    "\r"
    "You can open the program from the Start Menu or by double clicking the "
    "Pewsterline Ver. 2.1 icon on the Desktop.\r"
    "\r"
    "Once the program is open, click the Help button to view the Help File.";
static_assert(kSuccessMessage.size() == 242);
