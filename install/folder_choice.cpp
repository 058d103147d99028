// The checks of a typed installation folder. Every later step takes the folder
// through the ANSI calls and composes its paths from it as text, so a choice
// that is relative, holds what a folder name cannot, or names something else
// once converted would install somewhere the user never chose, or fail half-way.
#include "install/folder_choice.h"

#include <windows.h>

#include "install/install.h"
#include "payload/payload.h"
#include "shortcuts/shortcuts.h"

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

// The length of `text` in the ANSI code page, or npos when the code page cannot
// hold it exactly. The conversion would put a look-alike (L for Ł, \ for a
// fullwidth backslash) or "?" in place of what it lacks, and the files would go
// to another folder, so only a text that converts back unchanged is taken.
std::size_t ExactAnsiLength(std::wstring_view text) {
  // The caller has checked the text's length; four bytes a character hold it in
  // any code page.
  char ansi[4 * (MAX_PATH + 1)];
  wchar_t back[MAX_PATH + 1];
  const int length = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi, sizeof ansi, nullptr, nullptr);
  if (bytes <= 0) return npos;
  if (MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, MAX_PATH + 1) != length) return npos;
  return std::wstring_view(back, text.size()) == text ? static_cast<std::size_t>(bytes) : npos;
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
  return std::wstring_view(L"<>\"|?*/").find(c) != npos;
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
  if (end == 3) return stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL";
  if (end == 4) {
    const wchar_t digit = level[3];
    const bool numbered = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                          digit == L'\u00B3';
    return numbered && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"));
  }
  return stem == L"CONIN$" || stem == L"CONOUT$";
}

// Empty (two backslashes in a row), "." or "..", a trailing dot or blank (which
// the system drops, so the folder made would not be the one named), a device.
bool IsBadLevel(std::wstring_view level) {
  if (level.empty() || level == L"." || level == L"..") return true;
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
  fit(kMaxFilePath, helpFolder + 1 + LongestName(HelpGroup));
  for (const PayloadGroup* group : {&ApplicationGroup, &FormatsGroup, &DatabaseGroup}) {
    fit(kMaxFilePath, 1 + LongestName(*group));
  }
  for (std::string_view target : {kApplicationTarget, kHelpShortcutTarget, kUninstallShortcutTarget}) {
    fit(kMaxShortcutPath, target.size());
  }
  return limit;
}

FolderCheck CheckFolderChoice(std::wstring_view typed) {
  const std::wstring_view choice = Trimmed(typed);
  if (choice.empty()) return {FolderProblem::kEmpty, {}};
  const std::size_t limit = MaxFolderChoice();
  if (choice.size() > limit) return {FolderProblem::kTooLong, {}};
  const std::size_t ansiLength = ExactAnsiLength(choice);
  if (ansiLength == npos) return {FolderProblem::kNotInCodePage, {}};

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

  // A character of a double-byte code page takes two of the path's places.
  if (ansiLength > limit) return {FolderProblem::kTooLong, {}};
  return {FolderProblem::kNone, {}};
}
