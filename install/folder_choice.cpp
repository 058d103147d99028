// The checks of a typed installation folder. Every later step takes the folder
// through the ANSI calls and composes its paths from it as text, so a choice
// that is relative, holds what a folder name cannot, or names something else
// once converted would install somewhere the user never chose, or fail half-way.
#include "install/folder_choice.h"

#include <windows.h>

#include "common/file_attributes.h"
#include "common/owner.h"
#include "fixedtext/fixed_text.h"
#include "install/ansi_path.h"
#include "install/install.h"
#include "payload/payload.h"
#include "shortcuts/shortcuts.h"

using namespace std::string_view_literals;

namespace {

constexpr std::size_t npos = std::wstring_view::npos;

// Paths the ANSI calls take: files up to MAX_PATH less the terminator, and
// folders 12 characters less, which CreateDirectoryA keeps for an 8.3 name.
constexpr std::size_t kMaxFilePath = MAX_PATH - 1;
constexpr std::size_t kMaxFolderPath = MAX_PATH - 12 - 1;

std::size_t LongestName(const PayloadGroup& group) {
  std::size_t longest = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    const std::size_t length = group.Name(i).size();
    if (length > longest) longest = length;
  }
  return longest;
}

std::wstring_view Trimmed(std::wstring_view typed) {
  while (!typed.empty() && typed.front() == L' ') typed.remove_prefix(1);
  while (!typed.empty() && typed.back() == L' ') typed.remove_suffix(1);
  if (!typed.empty() && typed.back() == L'\\') typed.remove_suffix(1);
  return typed;
}

// A search of a folder's entries, closed on every way out.
struct SearchTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Holds(HANDLE search) { return search != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE search) { (void)FindClose(search); }
};

// The end of the first level of an accepted choice (its length as a path)
// that is no folder, or npos where every level is one. The drive or share
// ("d:", "\\\\server\\share") is no level of its own.
std::size_t FirstMissingLevel(std::wstring_view held) {
  std::size_t end = held[0] == L'\\' ? held.find(L'\\', held.find(L'\\', 2) + 1) : 2;
  while (end < held.size()) {
    end = held.find(L'\\', end + 1);
    const std::size_t length = end < held.size() ? end : held.size();
    if (!FolderExists(HeldChoice(std::wstring_view(held.data(), length)).c_str())) return length;
  }
  return npos;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Where the checked levels begin: past "d:" or "d:\", or at the server of
// "\\server\share", whose server and share are levels like any other. npos when
// the choice is no full path: relative ones follow the process's current
// folder, which the user never sees.
std::size_t LevelsStart(std::wstring_view choice) {
  if (choice.size() >= 2 && IsDriveLetter(choice[0]) && choice[1] == L':') {
    if (choice.size() == 2) return 2;
    return choice[2] == L'\\' ? 3 : npos;
  }
  if (choice.size() < 3 || choice[0] != L'\\' || choice[1] != L'\\') return npos;
  // "\\?\" hands the rest to the system unparsed, "\\.\" names a device.
  if ((choice[2] == L'?' || choice[2] == L'.') && (choice.size() == 3 || choice[3] == L'\\')) {
    return npos;
  }
  const std::size_t serverEnd = choice.find(L'\\', 2);
  if (serverEnd == npos || serverEnd + 1 == choice.size()) return npos;  // no share
  return 2;
}

bool IsBadCharacter(wchar_t c, std::size_t position, bool hasDrive) {
  if (c < 0x20) return true;
  if (c == L':') return !(hasDrive && position == 1);
  return L"<>\"|?*/"sv.find(c) != npos;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in every folder,
// also with an extension ("con.txt") and in any case; Windows' naming rules
// keep COM and LPT with a superscript 1, 2 or 3 (COM¹) too, which Wine does
// not, and the system opens the console for CONIN$ and CONOUT$ wherever they
// stand.
bool IsDeviceName(std::wstring_view level) {
  std::size_t end = level.find(L'.');
  if (end == npos) end = level.size();
  while (end > 0 && level[end - 1] == L' ') --end;
  wchar_t name[7];
  if (end < 3 || end > 7) return false;
  for (std::size_t i = 0; i < end; ++i) {  // to capitals
    const wchar_t c = level[i];
    name[i] = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  }
  const std::wstring_view stem(name, end);
  if (end == 3) return stem == L"CON"sv || stem == L"PRN"sv || stem == L"AUX"sv || stem == L"NUL"sv;
  if (end == 4) {
    const wchar_t digit = level[3];
    const bool numbered = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                          digit == L'\u00B3';
    return numbered && (stem.starts_with(L"COM"sv) || stem.starts_with(L"LPT"sv));
  }
  return stem == L"CONIN$"sv || stem == L"CONOUT$"sv;
}

// Empty (two backslashes in a row), "." or "..", a trailing dot or blank (which
// the system drops, so the folder made would not be the one named), a device.
bool IsBadLevel(std::wstring_view level) {
  if (level.empty() || level == L"."sv || level == L".."sv) return true;
  if (level.back() == L'.' || level.back() == L' ') return true;
  return IsDeviceName(level);
}

}  // namespace

std::size_t MaxFolderChoice() {
  // The help files go into "<choice>\Help", the other groups into the choice;
  // the writer's temporary files are never longer than the files themselves.
  const std::size_t helpFolder = 1 + kHelpFolderName.size();
  std::size_t limit = kMaxFolderPath - helpFolder;
  const auto fit = [&limit](std::size_t room, std::size_t behind) {
    if (room - behind < limit) limit = room - behind;
  };
  for (const PayloadGroup* group : kPayloadGroups) {
    const bool inHelp = group->destination == PayloadDestination::kHelpFolder;
    fit(kMaxFilePath, (inHelp ? helpFolder : 0) + 1 + LongestName(*group));
  }
  static constexpr std::string_view kTargets[] = {kApplicationTarget, kHelpShortcutTarget, kUninstallShortcutTarget};
  for (std::string_view target : kTargets) {
    fit(kMaxShortcutPath, target.size());
  }
  return limit;
}

FolderCheck CheckFolderChoice(std::wstring_view typed, HeldChoice* heldChoice) {
  const std::wstring_view choice = Trimmed(typed);
  if (choice.empty()) return {FolderProblem::kEmpty, {}};
  // The typed units only bound the room the forms are worked out in: the limit
  // is on the held form's bytes (below), of which the paths are made.
  const std::size_t limit = MaxFolderChoice();
  if (choice.size() > HeldChoice::kCapacity) return {FolderProblem::kTooLong, {}};
  HeldChoice held;
  char32_t lacking = 0;
  if (!FindHeldForm(choice, held, lacking)) {
    if (!held.Fits()) return {FolderProblem::kTooLong, {}};
    FolderCheck check{FolderProblem::kNotInCodePage, {}};
    check.lacking = lacking;
    return check;
  }
  const std::size_t ansiLength = ExactAnsiLength(held.View());

  const std::size_t start = LevelsStart(choice);
  if (start == npos) return {FolderProblem::kNotFullPath, {}};
  const bool hasDrive = choice[0] != L'\\';
  for (std::size_t i = 0; i < choice.size(); ++i) {
    if (IsBadCharacter(choice[i], i, hasDrive)) return {FolderProblem::kBadCharacter, {}};
  }

  std::wstring_view levels(choice.data() + start, choice.size() - start);
  // A second trailing backslash (d:\apps\\ typed) is no empty level: the
  // installation then adds no backslash of its own.
  if (levels.size() > 1 && levels.back() == L'\\') levels.remove_suffix(1);
  // Every level, the last one included; "d:" and "d:\" have none.
  for (bool more = !levels.empty(); more;) {
    const std::size_t end = levels.find(L'\\');
    const std::wstring_view level(levels.data(), end == npos ? levels.size() : end);
    if (IsBadLevel(level)) return {FolderProblem::kBadLevel, level};
    more = end != npos;
    if (more) levels.remove_prefix(end + 1);
  }

  // A character of a double-byte code page takes two of the path's places,
  // and a letter with a mark of its own two of a single-byte one.
  if (ansiLength > limit) return {FolderProblem::kTooLong, {}};
  if (heldChoice != nullptr) {
    heldChoice->Clear();
    heldChoice->Append(held.View());
  }
  return {FolderProblem::kNone, {}};
}

bool FindLookAlikeFolder(std::wstring_view held, HeldChoice& existing) {
  const std::size_t end = FirstMissingLevel(held);
  if (end == npos) return false;
  const std::wstring_view parent(held.data(), held.rfind(L'\\', end - 1) + 1);
  const std::wstring_view name(held.data() + parent.size(), end - parent.size());
  // Text from a Mac holds its letters decomposed, keyboards give them composed:
  // a folder of the other form is found by its name, and the search says how
  // it is written.
  for (const bool composed : {true, false}) {
    existing.Clear();
    existing.Append(parent);
    if (!AppendNormalized(name, composed, existing) || existing.View() == std::wstring_view(held.data(), end)) continue;
    WIN32_FIND_DATAW found;
    const Owner<HANDLE, SearchTraits> search(FindFirstFileW(existing.c_str(), &found));
    if (!SearchTraits::Holds(search.Get()) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    existing.Clear();
    existing.Append(parent).Append(std::wstring_view(found.cFileName));
    return true;
  }
  return false;
}

FreeSpace MeasureFreeSpace(std::wstring_view held) {
  FreeSpace space;
  // The deepest level that exists: the parent of the first that does not, or
  // the drive or share itself.
  std::size_t end = FirstMissingLevel(held);
  if (end != npos) end = held.rfind(L'\\', end - 1);
  HeldChoice level(std::wstring_view(held.data(), end < held.size() ? end : held.size()));
  level.Append(L"\\"sv);
  ULARGE_INTEGER available, total, free;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  // The cluster size is the volume's, which a folder may mount below the drive's root.
  if (!GetDiskFreeSpaceExW(level.c_str(), &available, &total, &free) ||
      !GetVolumePathNameW(level.c_str(), space.volume.Buffer(), MAX_PATH)) {
    return space;
  }
  space.volume.Adopt();
  if (!GetDiskFreeSpaceW(space.volume.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
    return space;
  }
  // The files of the user's data that are there already are not written; the
  // choice is accepted, so its held form converts exactly, in at most
  // MaxFolderChoice() bytes.
  char folder[FixedText<256>::kWidth];
  const int bytes = WideCharToMultiByte(CP_ACP, 0, held.data(), static_cast<int>(held.size()), folder, sizeof folder,
                                        nullptr, nullptr);
  for (const PayloadGroup* group : kPayloadGroups) {
    const std::string_view where(folder, bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    space.needed += SpaceTaken(*group, EntriesToWriteInto(*group, where), sectorsPerCluster * bytesPerSector);
  }
  space.available = available.QuadPart;
  // A drive as Windows shows it, whatever case it was typed in ("S:\\").
  wchar_t& drive = space.volume.Buffer()[0];
  if (space.volume.c_str()[1] == L':' && drive >= L'a' && drive <= L'z') drive = static_cast<wchar_t>(drive - L'a' + L'A');
  space.known = bytes > 0;
  return space;
}
