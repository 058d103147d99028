// The installation sequence that drives the whole run, and its pure pieces.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "payload/payload.h"

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

// Of `group`, the entries that a run writes into a folder in which the
// entries `present` have their files and the entries `staged` their temporary
// files: of a group of the program all; of one of the user's data all when
// none of them is there, so that an existing FORMAT.DB is kept and a database
// set is never completed around the user's; of a set that an installation
// ended between its moves left unfinished (some of its files there and the
// temporary file of a member beside them; without that trace a partial set is
// the user's) the missing ones; otherwise none.
PayloadEntrySet EntriesToWrite(const PayloadGroup& group, PayloadEntrySet present, PayloadEntrySet staged);

// The same for the files that are in the group's destination for the
// installation folder `folder` (without a trailing backslash).
PayloadEntrySet EntriesToWriteInto(const PayloadGroup& group, std::string_view folder);

// The space on a drive with clusters of `clusterBytes` that the files of
// `entries` take: each file takes whole clusters.
unsigned long long SpaceTaken(const PayloadGroup& group, PayloadEntrySet entries, std::uint32_t clusterBytes);

// What the progress bar shows: the share, in percent, of the payload's bytes
// dealt with (written or kept); 100 when there are none.
int ProgressPercent(long long doneBytes, long long totalBytes);
