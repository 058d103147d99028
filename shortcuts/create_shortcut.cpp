// One shell link written through the shell's link object.
#include "shortcuts/shortcuts.h"
#include "shortcuts/shell_owners.h"

// The system's own calls, in read-only data; nothing but a test changes the pointer.
const ShellCalls kSystemShellCalls = {
    CoInitialize,  CoUninitialize,             CoCreateInstance,
    CoTaskMemFree, SHGetSpecialFolderLocation, SHGetPathFromIDListA,
};
const ShellCalls* g_shellCalls = &kSystemShellCalls;

HRESULT CreateShortcut(const char* targetPath, const char* linkFilePath,
                       const char* workingFolder) {
  // Declared first so that it goes last: the interfaces are released while COM
  // is still initialised.
  const ComApartment apartment(SUCCEEDED(g_shellCalls->coInitialize(nullptr)));

  ComPointer<IShellLinkA> link;
  HRESULT result = g_shellCalls->coCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
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
  return file->Save(widePath, TRUE);
}
