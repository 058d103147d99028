// Reading shell links back and the user's shortcuts of an installation.
#include "support/shell_links.h"

#include <windows.h>
#include <shlobj.h>

#include "shortcuts/shell_owners.h"
#include "support/win_test_support.h"

namespace pewtest {

namespace {

std::optional<LinkContents> ReadLinkInApartment(const std::string& path) {
  ComPointer<IShellLinkA> link;
  ComPointer<IPersistFile> file;
  wchar_t widePath[MAX_PATH];
  char target[MAX_PATH] = {}, folder[MAX_PATH] = {};
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              IID_PPV_ARGS_Helper(link.Out()))) ||
      FAILED(link->QueryInterface(IID_IPersistFile, IID_PPV_ARGS_Helper(file.Out()))) ||
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) == 0 ||
      file->Load(widePath, STGM_READ) != S_OK ||
      FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
      FAILED(link->GetWorkingDirectory(folder, MAX_PATH))) {
    return std::nullopt;
  }
  return LinkContents{target, folder};
}

}  // namespace

std::optional<LinkContents> ReadLink(const std::string& path) {
  const HRESULT init = CoInitialize(nullptr);
  std::optional<LinkContents> contents = ReadLinkInApartment(path);
  if (SUCCEEDED(init)) CoUninitialize();
  return contents;
}

testing::AssertionResult LinkIs(const std::string& path, const std::string& target,
                                const std::string& workingFolder) {
  const std::optional<LinkContents> link = ReadLink(path);
  if (!link) return testing::AssertionFailure() << "no readable link " << path;
  if (link->target != target || link->workingFolder != workingFolder) {
    return testing::AssertionFailure() << path << " -> \"" << link->target << "\" in \""
                                       << link->workingFolder << "\"; expected \"" << target
                                       << "\" in \"" << workingFolder << "\"";
  }
  return testing::AssertionSuccess();
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

UserShortcuts::UserShortcuts()
    : desktop_(SpecialFolder(CSIDL_DESKTOPDIRECTORY)),
      group_(SpecialFolder(CSIDL_PROGRAMS) + "\\Pewsterline") {}

std::vector<std::string> UserShortcuts::Links() const {
  return {desktop_ + "\\" + kApplicationLinkName, group_ + "\\" + kApplicationLinkName,
          group_ + "\\Help.lnk", group_ + "\\Uninstall Information.lnk"};
}

testing::AssertionResult UserShortcuts::AllPointInto(const std::string& folder) const {
  const std::string application = folder + "\\Rotaplan.exe";
  const std::vector<std::string> links = Links();
  const std::string targets[] = {application, application, folder + "\\Help\\index.htm",
                                 folder + "\\Uninstall.txt"};
  for (std::size_t i = 0; i < links.size(); ++i) {
    testing::AssertionResult result = LinkIs(links[i], targets[i], folder);
    if (!result) return result;
  }
  return testing::AssertionSuccess();
}

bool UserShortcuts::AnyPresent() const {
  for (const std::string& link : Links()) {
    if (FileExists(link)) return true;
  }
  return FolderExists(group_);
}

void UserShortcuts::Remove() const {
  // Also a read-only link, a folder named like a link and a file named like the group.
  for (const std::string& link : Links()) {
    SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(link.c_str())) RemoveDirectoryA(link.c_str());
  }
  if (!RemoveDirectoryA(group_.c_str())) DeleteFileA(group_.c_str());
}

}  // namespace pewtest
