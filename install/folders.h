// Folder search and folder creation: the installation's folder-exists test and
// the one-level mkdir it builds the folder tree with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

// One entry found by a directory search.
struct DirectoryEntryInfo {
  // Seconds since 1970 via the local calendar form (see LocalCalendarSeconds);
  // -1 when the file time is zero or cannot be converted.
  std::int32_t creationTime, lastWriteTime, lastAccessTime;
  std::int32_t length;       // low 32 bits of the size in bytes
  std::uint16_t attributes;  // FILE_ATTRIBUTE_* bits; exactly FILE_ATTRIBUTE_NORMAL becomes 0
  char name[255];            // blank-padded, no terminator, cut at 255
};

// Search states held by the caller between NextDirectoryEntry steps. Any other
// value is the open find handle.
inline constexpr std::intptr_t kSearchNew = -1;
inline constexpr std::intptr_t kSearchNoMoreEntries = -2;
inline constexpr std::intptr_t kSearchFailed = -3;

// One step of a directory search over the first `patternLength` characters of
// `pattern` (trailing blanks dropped; wildcards match as for FindFirstFileA).
// Returns the length of the found name, or 0 with a reset record and the state
// at -2 (nothing more) or -3 (the search failed). A search that runs out closes
// its handle itself; a caller that stops early must close it (FindClose).
int NextDirectoryEntry(const char* pattern, int patternLength, DirectoryEntryInfo& entry,
                       std::intptr_t& state);

// Counts the entries matching the pattern under the filter flags (only the
// value 1 sets a flag), filling `entries` (room for at least maxCount records,
// at least one) and stopping once `maxCount` entries are counted. With
// `directoriesOnly` set exactly the directories count; otherwise an entry
// counts unless it has a bit whose flag is not set (0 stands for plain files,
// and directories never count). A directory whose name starts with "." is never
// counted. The search is always closed on return.
void CountDirectoryEntries(const char* pattern, int patternLength, DirectoryEntryInfo* entries,
                           int maxCount, int& foundCount, std::uint8_t plainFiles,
                           std::uint8_t archive, std::uint8_t readOnly, std::uint8_t hidden,
                           std::uint8_t system, std::uint8_t directoriesOnly,
                           std::uint8_t volumeLabels);

// Creates the one folder named by the first `pathLength` characters of `path`
// (trailing blanks dropped). 1 when it was created; 0 otherwise, also when it
// already existed or its parent is missing.
int MakeFolder(const char* path, int pathLength);

// The pieces of the above, as plain functions.

// The filter flags of CountDirectoryEntries, in its argument order.
struct DirectoryFilter {
  std::uint8_t plainFiles, archive, readOnly, hidden, system, directoriesOnly, volumeLabels;
};
// Whether CountDirectoryEntries counts an entry with these attribute bits and
// this (blank-padded) name.
bool DirectoryEntryCounts(std::uint16_t attributes, std::string_view name,
                          const DirectoryFilter& filter);

// Fills `entry` from what the search found and returns the length of the name
// as the record holds it.
int FillDirectoryEntry(const WIN32_FIND_DATAA& found, DirectoryEntryInfo& entry);

// A file time as seconds since 1970, read through its local calendar form:
// the time is turned into local time at today's offset (FileTimeToLocalFileTime)
// and that calendar form is then read back as local time of its own date, as
// the C runtime's mktime reads it. The two offsets differ across a daylight-
// saving change, so a time from the other season moves by that hour.
// -1 for a zero time and for one that has no such form or lies outside 1970
// to 2038 (what a signed 32-bit count can hold).
std::int32_t LocalCalendarSeconds(const FILETIME& time);
