// The desktop shortcut and the "Pewsterline" program group in the Start menu.
#include "common/file_attributes.h"
#include "fixedtext/fixed_text.h"
#include "shortcuts/shell_owners.h"
#include "shortcuts/shortcuts.h"

using namespace std::string_view_literals;

namespace {

using ShortcutPath = CText<kMaxShortcutPath>;
// What SHGetPathFromIDListA may write: MAX_PATH characters with the terminator.
using SpecialFolderPath = CText<MAX_PATH - 1>;

// The path of special folder `csidl`, or false when the shell cannot locate it.
// A folder without a file-system path counts as not located: the shell leaves
// the text empty then, and the shortcuts would go into the current drive's root.
bool LocateSpecialFolder(int csidl, SpecialFolderPath& folder) {
  ItemIdList list;
  if (ShellCallsInUse().getSpecialFolderLocation(nullptr, csidl, list.Out()) != S_OK) return false;
  if (!ShellCallsInUse().getPathFromIDList(list.Get(), folder.Buffer())) return false;
  folder.Adopt();
  return true;
}

// The pieces one after the other; Fits() is false when they are too long.
ShortcutPath Joined(std::string_view head, std::string_view middle, std::string_view tail = {}) {
  ShortcutPath path(head);
  path.Append(middle).Append(tail);
  return path;
}

// A shortcut whose link file or target path is too long is left out; the
// others are still made. Only a link that this call saved, or found already
// pointing where it would, counts as made.
ShortcutOutcome CreateShortcutIfItFits(const ShortcutPath& target, const ShortcutPath& linkFile,
                                       const ShortcutPath& workingFolder) {
  if (!target.Fits() || !linkFile.Fits()) return ShortcutOutcome::kNotMade;
  if (SUCCEEDED(CreateShortcut(target.c_str(), linkFile.c_str(), workingFolder.c_str()))) {
    return ShortcutOutcome::kMade;
  }
  // A read-only link of an earlier installation elsewhere stays as it was,
  // pointing there; a folder of the link's name is no link.
  const bool earlierLink = FileExists(linkFile.c_str()) && !FolderExists(linkFile.c_str());
  return earlierLink ? ShortcutOutcome::kNotUpdated : ShortcutOutcome::kNotMade;
}

}  // namespace

ProgramShortcuts CreateProgramShortcuts(const char* targetPath, const char* linkFileName,
                                        const char* installationFolder) {
  ProgramShortcuts made;
  const std::string_view linkName = linkFileName;
  const ShortcutPath application(targetPath);
  const ShortcutPath folder(installationFolder);
  // Every shortcut starts in the installation folder.
  if (!folder.Fits()) return made;

  SpecialFolderPath desktop;
  if (LocateSpecialFolder(CSIDL_DESKTOPDIRECTORY, desktop)) {
    made.desktop = CreateShortcutIfItFits(application, Joined(desktop.View(), "\\"sv, linkName), folder);
  }

  // The shell hands out no Programs folder that is not there (a fresh
  // profile) unless asked to make it: then it makes it with its parents.
  SpecialFolderPath programs;
  if (!LocateSpecialFolder(CSIDL_PROGRAMS | CSIDL_FLAG_CREATE, programs)) return made;
  const ShortcutPath group = Joined(programs.View(), "\\Pewsterline"sv);
  // Every link in the group is longer than the group itself.
  if (!group.Fits()) return made;
  // Fails when the group is left from an earlier installation, which is then
  // reused; if it could not be made at all, the shortcuts below fail on their own.
  (void)CreateDirectoryA(group.c_str(), nullptr);

  made.startMenu = CreateShortcutIfItFits(application, Joined(group.View(), "\\"sv, linkName), folder);
  made.help = CreateShortcutIfItFits(Joined(folder.View(), kHelpShortcutTarget),
                                     Joined(group.View(), "\\"sv, "Help.lnk"sv), folder);
  made.uninstall = CreateShortcutIfItFits(Joined(folder.View(), kUninstallShortcutTarget),
                                          Joined(group.View(), "\\"sv, "Uninstall Information.lnk"sv), folder);
  return made;
}
