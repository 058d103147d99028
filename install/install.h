// The installation sequence that drives the whole run, and its pure pieces.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

struct PayloadGroup;

// The Help folder inside the installation folder, and the application that
// the shortcuts start, behind the installation folder.
inline constexpr std::string_view kHelpFolderName = "Help";
inline constexpr std::string_view kApplicationTarget = "\\Rotaplan.exe";

// One installation at a time: claims the installer's named mutex, which the
// process holds until it ends. When another installer holds it, says so in one
// message and ends the process with kExitAnotherInstallation, before any window
// is closed or anything is written.
void ClaimInstallationOrEnd();

// Runs the whole installation inside the dispatch of the start message and ends
// the process on every path: success, a reported failure, or the user cancelling.
void InstallSequence();

// The index in `folder` (the installation folder ending in "\Help\") from which
// its folder levels are made: past the drive part "c:\", or past the server and
// share of a network folder "\\server\share\", which are never made. The
// backslashes are those of the ANSI code page's letters (install/ansi_path.h).
std::size_t FirstFolderLevelStart(std::string_view folder, UINT codePage = CP_ACP);

// Whether the installation writes `group` into a folder where `exists` tells
// which of its files are there: a group of the program always; one of the
// user's data only when none of its files exists yet, so that an existing
// FORMAT.DB is kept and a database set is never completed around the user's.
bool GroupIsToBeWritten(const PayloadGroup& group, bool (*exists)(std::string_view name));

// Whether `group`, a set of which some but not all files exist, is one that
// an installation ended between its moves left unfinished: only then does the
// temporary file of a member lie beside it. Such a set is completed; a partial
// set without that trace is the user's and is kept as it is.
bool SetIsUnfinished(const PayloadGroup& group, bool (*exists)(std::string_view name));

// What the progress bar shows: the share, in percent, of the payload's bytes
// dealt with (written or kept); 100 when there are none.
int ProgressPercent(long long doneBytes, long long totalBytes);
