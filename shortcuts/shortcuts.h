// Shell integration: shortcut files, and the desktop and Start-menu entries.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <string_view>

// Writes one shell link: `linkFilePath` (with its ".lnk") pointing at
// `targetPath`, started in `workingFolder`. COM is initialised and released
// again within the call. Returns the HRESULT of the last step reached:
// creating the link object, asking it for IPersistFile, or saving; S_FALSE
// when the save failed but the link file there, read back, already points at
// that target in that folder (a read-only link of an earlier installation into
// the same folder), which is then as good as saved.
HRESULT CreateShortcut(const char* targetPath, const char* linkFilePath, const char* workingFolder);

// How one shortcut came out.
enum class ShortcutOutcome : unsigned char {
  kNotMade,     // there is none: its folder could not be found or made, or the save failed
  kMade,        // this run saved the link, or one that points where it would is there
  kNotUpdated,  // the save failed and a link file of that name stays, from an earlier
                // installation: it may start a program or open pages elsewhere
};

// The four shortcuts, in the order they are made.
struct ProgramShortcuts {
  ShortcutOutcome desktop{}, startMenu{}, help{}, uninstall{};  // none made
  bool AllMade() const;
};

// Each shortcut with the place where the user finds it, as the closing message
// names one that could not be made; in the order they are made.
struct ShortcutPlace {
  ShortcutOutcome ProgramShortcuts::*shortcut;
  std::string_view name;
};
inline constexpr ShortcutPlace kShortcutPlaces[] = {
    {&ProgramShortcuts::desktop, "Pewsterline Ver. 2.1 on the Desktop"},
    {&ProgramShortcuts::startMenu, "Pewsterline Ver. 2.1 in the Start Menu"},
    {&ProgramShortcuts::help, "Help in the Start Menu"},
    {&ProgramShortcuts::uninstall, "Uninstall Information in the Start Menu"},
};

inline bool ProgramShortcuts::AllMade() const {
  for (const ShortcutPlace& place : kShortcutPlaces) {
    if (this->*place.shortcut != ShortcutOutcome::kMade) return false;
  }
  return true;
}

// Puts a shortcut to `targetPath` named `linkFileName` on the user's desktop,
// and the program group "Pewsterline" with that shortcut, "Help.lnk" and
// "Uninstall Information.lnk" into the user's Start-menu Programs folder, which
// is made with its parents where it is missing (a fresh profile); every
// shortcut starts in `installationFolder` (given without trailing backslash).
// A shortcut that cannot be made does not stop the others; the result says
// which were made.
ProgramShortcuts CreateProgramShortcuts(const char* targetPath, const char* linkFileName,
                                        const char* installationFolder);

// The targets of the group's Help and Uninstall Information shortcuts, behind
// the installation folder.
inline constexpr std::string_view kHelpShortcutTarget = "\\Help\\index.htm";
inline constexpr std::string_view kUninstallShortcutTarget = "\\Uninstall.txt";

// The longest path that goes into a shortcut (link file, target or working
// folder); a shortcut whose composed paths are longer is not made.
inline constexpr std::size_t kMaxShortcutPath = 255;

// The calls into COM and the shell that the shortcut code makes, through
// ShellCallsInUse(). The installer always uses kSystemShellCalls; tests point
// g_shellCalls (null: the system's) at a table of their own to produce
// failures the system will not produce on demand (a special folder that
// cannot be located, a link object that cannot be created).
struct ShellCalls {
  HRESULT(WINAPI* coInitialize)(LPVOID reserved);
  void(WINAPI* coUninitialize)();
  HRESULT(WINAPI* coCreateInstance)(REFCLSID classId, LPUNKNOWN outer, DWORD context,
                                    REFIID interfaceId, LPVOID* object);
  void(WINAPI* coTaskMemFree)(LPVOID memory);
  HRESULT(WINAPI* getSpecialFolderLocation)(HWND owner, int csidl, PIDLIST_ABSOLUTE* list);
  BOOL(WINAPI* getPathFromIDList)(PCIDLIST_ABSOLUTE list, LPSTR path);
};

extern const ShellCalls kSystemShellCalls;
extern const ShellCalls* g_shellCalls;
inline const ShellCalls& ShellCallsInUse() { return g_shellCalls != nullptr ? *g_shellCalls : kSystemShellCalls; }
