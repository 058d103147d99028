// Folder search and folder creation.
#include "install/folders.h"

#include "common/owner.h"
#include "fixedtext/fixed_text.h"

namespace {

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;
constexpr std::int64_t kLastSecondOf32Bits = 0x7FFFFFFF;

// Room for any path the system's ANSI calls can take, with a wide margin; a
// longer text is refused rather than cut, since a cut path names another folder.
using PathText = CText<1024>;

// The first `length` characters of `text` without trailing blanks, NUL-terminated.
// False when they do not fit.
bool ConvertPath(const char* text, int length, PathText& path) {
  const std::string_view value = TrimRight(
      length > 0 ? std::string_view(text, static_cast<std::size_t>(length)) : std::string_view());
  path.Append(value);
  return path.Fits();
}

void ResetEntry(DirectoryEntryInfo& entry) {
  entry.creationTime = entry.lastWriteTime = entry.lastAccessTime = -1;
  entry.length = -1;
  entry.attributes = 0xFFFF;
  AssignFixed(entry.name, sizeof entry.name, {});
}

bool IsOpenSearch(std::intptr_t state) {
  return state != kSearchNew && state != kSearchNoMoreEntries && state != kSearchFailed;
}

// The search that CountDirectoryEntries runs: when the count stops at its
// maximum the search is still open, and nothing else would ever close it.
struct SearchTraits {
  static std::intptr_t Empty() { return kSearchNew; }
  static bool Holds(std::intptr_t state) { return IsOpenSearch(state); }
  static void Free(std::intptr_t state) { FindClose(reinterpret_cast<HANDLE>(state)); }
};

}  // namespace

std::int32_t LocalCalendarSeconds(const FILETIME& time) {
  if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0) return -1;
  // Today's offset turns the time into its local calendar form; reading that
  // form back takes the offset of its own date, as mktime does (the CRT's
  // mktime itself is not used: it takes a TZ environment variable first, which
  // need not agree with the system's time zone behind FileTimeToLocalFileTime).
  FILETIME local;
  SYSTEMTIME calendar;
  SYSTEMTIME universal;
  FILETIME readBack;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &calendar) ||
      !TzSpecificLocalTimeToSystemTime(nullptr, &calendar, &universal) ||
      !SystemTimeToFileTime(&universal, &readBack)) {
    return -1;
  }
  const std::uint64_t ticks = (static_cast<std::uint64_t>(readBack.dwHighDateTime) << 32) | readBack.dwLowDateTime;
  constexpr std::uint64_t kEpochTicks = kUnixEpochInFileTimeSeconds * kFileTimeTicksPerSecond;
  if (ticks < kEpochTicks || ticks - kEpochTicks > (kLastSecondOf32Bits + 1) * kFileTimeTicksPerSecond - 1) return -1;
  // The quotient is below 2^31, so the processor's own division of 64 bits by
  // 32 does it in one instruction, where C++ would call the compiler's 64-bit
  // division routine: a third of a kilobyte of the image for this one line.
  const std::uint64_t since = ticks - kEpochTicks;
  std::uint32_t seconds = 0, remainder = 0;
  asm("divl %4"
      : "=a"(seconds), "=d"(remainder)
      : "a"(static_cast<std::uint32_t>(since)), "d"(static_cast<std::uint32_t>(since >> 32)),
        "rm"(static_cast<std::uint32_t>(kFileTimeTicksPerSecond)));
  return static_cast<std::int32_t>(seconds);
}

int FillDirectoryEntry(const WIN32_FIND_DATAA& found, DirectoryEntryInfo& entry) {
  entry.creationTime = LocalCalendarSeconds(found.ftCreationTime);
  entry.lastWriteTime = LocalCalendarSeconds(found.ftLastWriteTime);
  entry.lastAccessTime = LocalCalendarSeconds(found.ftLastAccessTime);
  entry.length = static_cast<std::int32_t>(found.nFileSizeLow);
  // FILE_ATTRIBUTE_NORMAL is the system's way of saying "no attributes".
  entry.attributes = found.dwFileAttributes == FILE_ATTRIBUTE_NORMAL
                         ? 0
                         : static_cast<std::uint16_t>(found.dwFileAttributes & 0xFFFF);
  std::size_t nameLength = 0;
  while (nameLength < sizeof found.cFileName && found.cFileName[nameLength] != '\0') ++nameLength;
  const std::string_view name(found.cFileName, nameLength);
  AssignFixed(entry.name, sizeof entry.name, name);
  return static_cast<int>(name.size() < sizeof entry.name ? name.size() : sizeof entry.name);
}

int NextDirectoryEntry(const char* pattern, int patternLength, DirectoryEntryInfo& entry,
                       std::intptr_t& state) {
  WIN32_FIND_DATAA found;
  if (state == kSearchNew) {
    PathText path;
    if (!ConvertPath(pattern, patternLength, path)) {
      // Longer than any path the system takes: the search fails as it would.
      ResetEntry(entry);
      state = kSearchFailed;
      return 0;
    }
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      ResetEntry(entry);
      state = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
               error == ERROR_NO_MORE_FILES)
                  ? kSearchNoMoreEntries
                  : kSearchFailed;
      return 0;
    }
    // A handle equal to one of the state values would look finished and leak.
    state = reinterpret_cast<std::intptr_t>(search);
    if (!IsOpenSearch(state)) {
      FindClose(search);
      ResetEntry(entry);
      state = kSearchFailed;
      return 0;
    }
    return FillDirectoryEntry(found, entry);
  }
  if (!IsOpenSearch(state)) {
    ResetEntry(entry);
    state = kSearchNoMoreEntries;
    return 0;
  }
  const HANDLE search = reinterpret_cast<HANDLE>(state);
  if (!FindNextFileA(search, &found)) {
    // Whatever the reason, the search is over; the caller cannot resume it.
    FindClose(search);
    ResetEntry(entry);
    state = kSearchNoMoreEntries;
    return 0;
  }
  return FillDirectoryEntry(found, entry);
}

bool DirectoryEntryCounts(std::uint16_t attributes, std::string_view name,
                          const DirectoryFilter& filter) {
  const auto set = [](std::uint8_t flag) { return flag == 1; };
  const auto has = [attributes](unsigned bits) { return (attributes & bits) != 0; };
  bool qualifies;
  if (set(filter.directoriesOnly)) {
    qualifies = has(FILE_ATTRIBUTE_DIRECTORY);
  } else {
    qualifies = !((attributes == 0 && !set(filter.plainFiles)) ||
                  (has(FILE_ATTRIBUTE_ARCHIVE) && !set(filter.archive)) ||
                  (has(FILE_ATTRIBUTE_READONLY) && !set(filter.readOnly)) ||
                  (has(FILE_ATTRIBUTE_HIDDEN) && !set(filter.hidden)) ||
                  (has(FILE_ATTRIBUTE_SYSTEM) && !set(filter.system)) ||
                  has(FILE_ATTRIBUTE_DIRECTORY) ||
                  (has(0x08) && !set(filter.volumeLabels)));  // the old volume-label bit
  }
  // "." and ".." of a wildcard search, and dot-named folders with them.
  if (qualifies && has(FILE_ATTRIBUTE_DIRECTORY) && !name.empty() && name[0] == '.') return false;
  return qualifies;
}

void CountDirectoryEntries(const char* pattern, int patternLength, DirectoryEntryInfo* entries,
                           int maxCount, int& foundCount, std::uint8_t plainFiles,
                           std::uint8_t archive, std::uint8_t readOnly, std::uint8_t hidden,
                           std::uint8_t system, std::uint8_t directoriesOnly,
                           std::uint8_t volumeLabels) {
  const DirectoryFilter filter{plainFiles, archive, readOnly, hidden, system, directoriesOnly,
                               volumeLabels};
  Owner<std::intptr_t, SearchTraits> search;
  std::intptr_t& state = *search.Out();
  foundCount = 0;
  int slot = 1;  // the record the next entry goes into, counted from 1
  NextDirectoryEntry(pattern, patternLength, entries[slot - 1], state);
  while (state != kSearchNoMoreEntries && state != kSearchFailed) {
    const DirectoryEntryInfo& entry = entries[slot - 1];
    if (DirectoryEntryCounts(entry.attributes, std::string_view(entry.name, sizeof entry.name),
                             filter)) {
      // Written before the comparison, so a maximum of 0 or less still counts one.
      foundCount = slot;
      if (slot >= maxCount) return;  // the owner closes the search left open
      ++slot;
    }
    // An entry that did not count is overwritten by the next one.
    NextDirectoryEntry(pattern, patternLength, entries[slot - 1], state);
  }
}

int MakeFolder(const char* path, int pathLength) {
  PathText folder;
  if (!ConvertPath(path, pathLength, folder)) return 0;
  // Fails for an existing folder (ERROR_ALREADY_EXISTS) as for any other
  // reason: the caller only learns that nothing was created.
  return CreateDirectoryA(folder.c_str(), nullptr) ? 1 : 0;
}
