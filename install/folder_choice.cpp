// The checks of a typed installation folder. Every later step takes the folder
// through the ANSI calls and composes its paths from it as text, so a choice
// that is relative, holds what a folder name cannot, or names something else
// once converted would install somewhere the user never chose, or fail half-way.
#include "install/folder_choice.h"

#include <windows.h>

#include "common/file_attributes.h"
#include "fixedtext/fixed_text.h"
#include "install/ansi_path.h"
#include "install/install.h"
#include "payload/payload.h"
#include "shortcuts/shortcuts.h"

using namespace std::string_view_literals;

namespace {

constexpr std::size_t npos = std::wstring_view::npos;
constexpr std::size_t kMaxHeldChoice = HeldChoice::kCapacity;

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

// The length of `text` in the ANSI code page, or npos when the code page cannot
// hold it exactly. The conversion would put a look-alike (L for Ł, \ for a
// fullwidth backslash) or "?" in place of what it lacks, and the files would go
// to another folder, so only a text that converts back unchanged is taken.
std::size_t ExactAnsiLength(std::wstring_view text) {
  // At most kMaxHeldChoice units; four bytes a character hold it in any code page.
  char ansi[4 * kMaxHeldChoice];
  wchar_t back[kMaxHeldChoice];
  const int length = static_cast<int>(text.size());
  if (text.empty() || text.size() > kMaxHeldChoice) return text.empty() ? 0 : npos;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi, sizeof ansi, nullptr, nullptr);
  if (bytes <= 0) return npos;
  if (MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, kMaxHeldChoice) != length) return npos;
  return std::wstring_view(back, text.size()) == text ? static_cast<std::size_t>(bytes) : npos;
}

// The system's Unicode normalisation (in kernel32 from Windows 7 on, in
// normaliz.dll on Vista), loaded when first needed: no import for what only a
// choice beyond the code page asks for; normaliz.dll stays loaded for the
// rest of the run, as kernel32 does. Null where there is none.
using NormalizeStringFn = int(WINAPI*)(NORM_FORM, LPCWSTR, int, LPWSTR, int);
NormalizeStringFn Normalizer() {
  static const NormalizeStringFn normalize = [] {
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "NormalizeString");
    if (found == nullptr) {
      HMODULE normaliz = LoadLibraryA("normaliz.dll");
      if (normaliz != nullptr) found = GetProcAddress(normaliz, "NormalizeString");
    }
    return reinterpret_cast<NormalizeStringFn>(reinterpret_cast<void*>(found));
  }();
  return normalize;
}

// A combining mark. The system counts a composed letter with a diacritic (à)
// as nonspacing too, but as a letter (C3_ALPHA) as well; a mark is not one.
bool IsMark(wchar_t c) {
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE3, &c, 1, &type) && (type & (C3_NONSPACING | C3_ALPHA)) == C3_NONSPACING;
}

// The code point at the start of `text` and how many units it takes.
std::size_t CodePointLength(std::wstring_view text) {
  return text.size() > 1 && IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1]) ? 2 : 1;
}

char32_t CodePointAt(std::wstring_view text) {
  if (CodePointLength(text) == 1) return text[0];
  return 0x10000 + ((static_cast<char32_t>(text[0]) - 0xD800) << 10) + (static_cast<char32_t>(text[1]) - 0xDC00);
}

// The first character of `text` that the code page does not hold by itself.
char32_t FirstLacking(std::wstring_view text) {
  for (std::wstring_view rest = text; !rest.empty(); rest.remove_prefix(CodePointLength(rest))) {
    const std::wstring_view one(rest.data(), CodePointLength(rest));
    if (ExactAnsiLength(one) == npos) return CodePointAt(one);
  }
  return text.empty() ? 0 : CodePointAt(text);
}

// One letter, decomposed (`letter`: a base of `baseLength` units and the marks
// after it), in the first form that the code page holds exactly: composed with
// all of its marks, then with none, then with as many as can be, the other
// marks following in their order. A form counts only when it decomposes to the
// same letter again (two marks of one class keep their order). False when the
// code page holds no form of it.
bool AppendHeldLetter(std::wstring_view letter, std::size_t baseLength, HeldChoice& out) {
  constexpr int kRoom = 16;
  const std::size_t marks = letter.size() - baseLength;
  if (letter.size() > 8) return false;
  for (std::size_t step = 0; step <= marks; ++step) {
    const std::size_t count = step == 0 ? marks : step == 1 ? 0 : marks + 1 - step;
    for (unsigned chosen = 0; chosen < (1u << marks); ++chosen) {
      if (static_cast<std::size_t>(__builtin_popcount(chosen)) != count) continue;
      // The base with the chosen marks, then the others.
      wchar_t source[kRoom], form[kRoom], again[kRoom];
      int length = 0;
      for (std::size_t i = 0; i < letter.size(); ++i) {
        if (i < baseLength || ((chosen >> (i - baseLength)) & 1) != 0) source[length++] = letter[i];
      }
      length = Normalizer()(NormalizationC, source, length, form, kRoom);
      if (length <= 0) continue;
      for (std::size_t i = baseLength; i < letter.size(); ++i) {
        if (((chosen >> (i - baseLength)) & 1) == 0) form[length++] = letter[i];
      }
      const std::wstring_view held(form, static_cast<std::size_t>(length));
      if (ExactAnsiLength(held) == npos) continue;
      const int decomposed = Normalizer()(NormalizationD, form, length, again, kRoom);
      if (decomposed <= 0 || std::wstring_view(again, static_cast<std::size_t>(decomposed)) != letter) continue;
      out.Append(held);
      return out.Fits();
    }
  }
  return false;
}

// `choice` in the form that the code page holds (FolderCheck::held); false,
// with the first character to blame in `lacking`, when it holds none.
bool FindHeldForm(std::wstring_view choice, HeldChoice& held, char32_t& lacking) {
  held.Clear();
  held.Append(choice);
  if (ExactAnsiLength(choice) != npos) return true;
  if (Normalizer() == nullptr) {
    lacking = FirstLacking(choice);
    return false;
  }
  // Letter by letter: a letter is a character with the marks that follow it.
  held.Clear();
  for (std::size_t start = 0; start < choice.size();) {
    std::size_t end = start + CodePointLength(std::wstring_view(choice.data() + start, choice.size() - start));
    while (end < choice.size() && IsMark(choice[end])) ++end;
    const std::wstring_view typed(choice.data() + start, end - start);
    start = end;
    if (ExactAnsiLength(typed) != npos) {
      held.Append(typed);
      continue;
    }
    wchar_t decomposed[16];
    const int length = Normalizer()(NormalizationD, typed.data(), static_cast<int>(typed.size()), decomposed, 16);
    const std::wstring_view letter(decomposed, length > 0 ? static_cast<std::size_t>(length) : 0);
    const std::size_t baseLength = letter.empty() ? 0 : CodePointLength(letter);
    bool marksOnly = !letter.empty();
    for (std::size_t i = baseLength; i < letter.size(); ++i) marksOnly = marksOnly && IsMark(letter[i]);
    if (marksOnly && AppendHeldLetter(letter, baseLength, held)) continue;
    lacking = FirstLacking(typed);
    return false;
  }
  return held.Fits() && ExactAnsiLength(held.View()) != npos;
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
  for (std::string_view target : {kApplicationTarget, kHelpShortcutTarget, kUninstallShortcutTarget}) {
    fit(kMaxShortcutPath, target.size());
  }
  return limit;
}

FolderCheck CheckFolderChoice(std::wstring_view typed, HeldChoice* heldChoice) {
  const std::wstring_view choice = Trimmed(typed);
  if (choice.empty()) return {FolderProblem::kEmpty, {}};
  const std::size_t limit = MaxFolderChoice();
  if (choice.size() > limit) return {FolderProblem::kTooLong, {}};
  HeldChoice held;
  char32_t lacking = 0;
  if (!FindHeldForm(choice, held, lacking)) {
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

std::wstring_view FindLookAlikeFolder(std::wstring_view typed, std::wstring_view held) {
  const std::wstring_view choice = Trimmed(typed);
  // Both forms have their backslashes in the same places, level for level.
  for (std::size_t typedEnd = 0, heldEnd = 0; typedEnd < choice.size() && heldEnd < held.size();) {
    typedEnd = choice.find(L'\\', typedEnd + 1);
    heldEnd = held.find(L'\\', heldEnd + 1);
    if (typedEnd == npos) typedEnd = choice.size();
    if (heldEnd == npos) heldEnd = held.size();
    const std::wstring_view typedLevel(choice.data(), typedEnd), heldLevel(held.data(), heldEnd);
    if (typedLevel == heldLevel) continue;
    const HeldChoice typedPath(typedLevel), heldPath(heldLevel);
    if (FolderExists(typedPath.c_str()) && GetFileAttributesW(heldPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return typedLevel;
    }
  }
  return {};
}

FreeSpace MeasureFreeSpace(std::wstring_view held) {
  FreeSpace space;
  // The choice is accepted: its held form converts exactly, in at most
  // MaxFolderChoice() bytes, and the files are looked for as the installation will.
  char ansi[FixedText<256>::kWidth];
  const int bytes = WideCharToMultiByte(CP_ACP, 0, held.data(), static_cast<int>(held.size()), ansi, sizeof ansi,
                                        nullptr, nullptr);
  if (bytes <= 0) return space;
  const std::string_view folder(ansi, static_cast<std::size_t>(bytes));
  // The deepest level that exists; at least the root: "d:" or "\\server\share".
  std::size_t rootEnd = 2;
  if (folder[0] == '\\') {
    rootEnd = FindBackslash(folder, FindBackslash(folder, 2) + 1);
    if (rootEnd == npos) rootEnd = folder.size();
  }
  std::size_t end = folder.size();
  while (end > rootEnd && !FolderExists(CText<sizeof ansi>(Head(folder, end)).c_str())) {
    end = FindLastBackslash(Head(folder, end));
  }
  CText<sizeof ansi + 1> level(Head(folder, end < rootEnd ? rootEnd : end));
  level.Append("\\");
  ULARGE_INTEGER available, total, free;
  char volume[MAX_PATH];
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  // The cluster size is the volume's, which a folder may mount below the drive's root.
  if (!GetDiskFreeSpaceExA(level.c_str(), &available, &total, &free) ||
      !GetVolumePathNameA(level.c_str(), volume, MAX_PATH) ||
      !GetDiskFreeSpaceA(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
    return space;
  }
  // The files of the user's data that are there already are not written.
  for (const PayloadGroup* group : kPayloadGroups) {
    space.needed += SpaceTaken(*group, EntriesToWriteInto(*group, folder), sectorsPerCluster * bytesPerSector);
  }
  space.available = available.QuadPart;
  // A drive as Windows shows it, whatever case it was typed in ("S:\\").
  if (volume[1] == ':' && volume[0] >= 'a' && volume[0] <= 'z') volume[0] = static_cast<char>(volume[0] - 'a' + 'A');
  if (MultiByteToWideChar(CP_ACP, 0, volume, -1, space.volume.Buffer(), MAX_PATH) == 0) return space;
  space.volume.Adopt();
  space.known = true;
  return space;
}
