// One shell link written through the shell's link object.
#include "shortcuts/shortcuts.h"
#include "shortcuts/shell_owners.h"

namespace {

// ole32 and shell32 are loaded when the first shortcut is made, not when the
// process starts: imported, they and the four DLLs they bring (rpcrt4, combase,
// shcore, shlwapi) were loaded and initialised before the first window, which
// the user waits for, and are needed only at the end of the installation. Each
// is loaded once and stays loaded until the process ends, as an import would;
// the search is the one the start-up restricted to the system folder. A call
// is looked up each time it is made: for the few calls of four shortcuts that
// takes less code than keeping what was found. A call that cannot be found
// fails as the shell call itself would, and the shortcut is simply missing.
template <typename Function>
Function SystemCall(const char* dll, const char* name) {
  HMODULE module = GetModuleHandleA(dll);
  if (module == nullptr) module = LoadLibraryA(dll);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Function>
Function Ole32(const char* name) {
  return SystemCall<Function>("ole32.dll", name);
}

template <typename Function>
Function Shell32(const char* name) {
  return SystemCall<Function>("shell32.dll", name);
}

HRESULT WINAPI LoadedCoInitialize(LPVOID reserved) {
  const auto call = Ole32<decltype(&CoInitialize)>("CoInitialize");
  return call != nullptr ? call(reserved) : E_FAIL;
}

void WINAPI LoadedCoUninitialize() {
  const auto call = Ole32<decltype(&CoUninitialize)>("CoUninitialize");
  if (call != nullptr) call();
}

HRESULT WINAPI LoadedCoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                      LPVOID* object) {
  const auto call = Ole32<decltype(&CoCreateInstance)>("CoCreateInstance");
  if (call != nullptr) return call(classId, outer, context, interfaceId, object);
  *object = nullptr;
  return REGDB_E_CLASSNOTREG;
}

void WINAPI LoadedCoTaskMemFree(LPVOID memory) {
  const auto call = Ole32<decltype(&CoTaskMemFree)>("CoTaskMemFree");
  if (call != nullptr) call(memory);
}

HRESULT WINAPI LoadedGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* list) {
  const auto call = Shell32<decltype(&SHGetSpecialFolderLocation)>("SHGetSpecialFolderLocation");
  if (call != nullptr) return call(owner, csidl, list);
  *list = nullptr;
  return E_FAIL;
}

BOOL WINAPI LoadedGetPathFromIDList(PCIDLIST_ABSOLUTE list, LPSTR path) {
  const auto call = Shell32<decltype(&SHGetPathFromIDListA)>("SHGetPathFromIDListA");
  return call != nullptr ? call(list, path) : FALSE;
}

// Whether two paths name the same file: the shell may give a path back as it
// finds it on disk (the drive letter in capitals, say), and the file system
// takes A to Z in either case. A byte behind one of 0x80 or above may be the
// second of a double-byte letter (every first byte is that high) and is
// compared as it is, as are the letters beyond A to Z: a link that may point
// elsewhere is reported rather than taken.
bool SamePath(const char* one, const char* other) {
  for (unsigned char previous = 0;; ++one, ++other) {
    const unsigned char a = *one, b = *other;
    const bool letter = previous < 0x80 && static_cast<unsigned>((a | 0x20) - 'a') < 26;
    if (a != b && !(letter && (a ^ b) == 0x20)) return false;
    if (a == '\0') return true;
    previous = a;
  }
}

// Whether the link object points at `targetPath` and starts in `workingFolder`;
// `text` has room for MAX_PATH characters.
bool LinkSays(IShellLinkA* link, const char* targetPath, const char* workingFolder, char* text) {
  return SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)) && SamePath(text, targetPath) &&
         SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)) && SamePath(text, workingFolder);
}

}  // namespace

// The system's own calls, in read-only data; nothing but a test changes the pointer.
const ShellCalls kSystemShellCalls = {
    LoadedCoInitialize,  LoadedCoUninitialize,           LoadedCoCreateInstance,
    LoadedCoTaskMemFree, LoadedGetSpecialFolderLocation, LoadedGetPathFromIDList,
};
// Null, as all the process's other variables that start as zero: none takes
// a byte of the file.
const ShellCalls* g_shellCalls = nullptr;

HRESULT CreateShortcut(const char* targetPath, const char* linkFilePath,
                       const char* workingFolder) {
  // Declared first so that it goes last: the interfaces are released while COM
  // is still initialised.
  const ComApartment apartment(SUCCEEDED(ShellCallsInUse().coInitialize(nullptr)));

  ComPointer<IShellLinkA> link;
  HRESULT result = ShellCallsInUse().coCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IShellLinkA, IID_PPV_ARGS_Helper(link.Out()));
  if (FAILED(result)) return result;

  // Only the target and the working folder: description, arguments, icon, hot
  // key and show command keep the shell's defaults. A path the link object
  // rejects shows up when the link is saved, so these results are not needed.
  (void)link->SetPath(targetPath);
  (void)link->SetWorkingDirectory(workingFolder);

  // Declared after `link`, so released before it.
  ComPointer<IPersistFile> file;
  result = link->QueryInterface(IID_IPersistFile, IID_PPV_ARGS_Helper(file.Out()));
  if (FAILED(result)) return result;

  // A path that does not fit is converted only in part, without terminator;
  // saving that would read past the buffer and write a file of another name.
  wchar_t widePath[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, linkFilePath, -1, widePath, MAX_PATH) == 0) {
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  }
  result = file->Save(widePath, TRUE);
  // A read-only link (of an earlier installation) refuses the save. Loaded
  // into the same object, it may already say what the save would have said;
  // it is read back into the room of its name, which is not needed any more.
  if (FAILED(result) && SUCCEEDED(file->Load(widePath, STGM_READ)) &&
      LinkSays(link.Get(), targetPath, workingFolder, reinterpret_cast<char*>(widePath))) {
    return S_FALSE;
  }
  return result;
}
