// Shortcuts: links written by the system's link object and read back through
// it, the desktop and Start-menu entries, and the shell's failures made to
// order through g_shellCalls.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shortcuts/shell_owners.h"
#include "shortcuts/shortcuts.h"
#include "support/shell_links.h"
#include "support/win_test_support.h"

namespace {

using pewtest::FileExists;
using pewtest::FolderExists;
using pewtest::TempFolder;

const char* const kLinkName = pewtest::kApplicationLinkName;
using pewtest::LinkIs;
using pewtest::SpecialFolder;

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  GetEnvironmentVariableA(name, value, MAX_PATH);
  return value;
}

// The current folder for as long as the object lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const char* path) {
    GetCurrentDirectoryA(MAX_PATH, previous_);
    EXPECT_TRUE(SetCurrentDirectoryA(path));
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;
  ~CurrentFolder() { SetCurrentDirectoryA(previous_); }

 private:
  char previous_[MAX_PATH] = {};
};

// A folder inside `base` whose path has exactly `length` characters.
std::string MakeFolderOfLength(const TempFolder& base, std::size_t length) {
  const std::size_t padding = length - base.Path().size() - 1;
  const std::string path = base / std::string(padding, 'f');
  EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
  return path;
}

// ---------------------------------------------------------------------------
// CreateShortcut with the system's link object.

TEST(CreateShortcut, WritesTargetAndWorkingFolderThatReadBack) {
  const TempFolder folder;
  const std::string blankFolder = folder / "Links with blanks";
  ASSERT_TRUE(CreateDirectoryA(blankFolder.c_str(), nullptr));
  struct Case {
    const char* what;
    std::string target, link, workingFolder;
  };
  const Case cases[] = {
      {"normal folder", "c:\\pewline\\Rotaplan.exe", folder / "app.lnk", "c:\\pewline"},
      {"drive root", "d:\\Rotaplan.exe", folder / "root.lnk", "d:"},
      {"blanks", "c:\\Program Files\\Pewster line\\Help\\index.htm",
       blankFolder + "\\" + kLinkName, "c:\\Program Files\\Pewster line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CreateShortcut(c.target.c_str(), c.link.c_str(), c.workingFolder.c_str()), S_OK);
    EXPECT_TRUE(LinkIs(c.link, c.target, c.workingFolder));
  }
}

TEST(CreateShortcut, SavingOverAnExistingLinkReplacesIt) {
  const TempFolder folder;
  const std::string link = folder / kLinkName;
  ASSERT_EQ(CreateShortcut("c:\\old\\Rotaplan.exe", link.c_str(), "c:\\old"), S_OK);
  ASSERT_EQ(CreateShortcut("d:\\new\\Rotaplan.exe", link.c_str(), "d:\\new"), S_OK);
  EXPECT_TRUE(LinkIs(link, "d:\\new\\Rotaplan.exe", "d:\\new"));
}

TEST(CreateShortcut, LinkInAMissingFolderFailsAndLeavesNothing) {
  const TempFolder folder;
  const std::string missing = folder / "missing";
  const std::string link = missing + "\\" + kLinkName;
  EXPECT_TRUE(FAILED(CreateShortcut("c:\\pewline\\Rotaplan.exe", link.c_str(), "c:\\pewline")));
  EXPECT_FALSE(FolderExists(missing));
  EXPECT_FALSE(FileExists(link));
}

// ---------------------------------------------------------------------------
// CreateProgramShortcuts in the prefix's own desktop and Start menu.

class ProgramShortcutsForTheUser : public testing::Test {
 protected:
  void SetUp() override {
    desktop_ = shortcuts_.Desktop();
    group_ = shortcuts_.Group();
    ASSERT_FALSE(FolderExists(group_)) << "left over from another test";
  }
  // The prefix is shared by all cases of a run: take away what was made.
  void TearDown() override { RemoveShortcuts(); }

  void RemoveShortcuts() const { shortcuts_.Remove(); }

  testing::AssertionResult AllFourPointInto(const std::string& folder) const {
    return shortcuts_.AllPointInto(folder);
  }

  void Install(const std::string& folder) {
    CreateProgramShortcuts((folder + "\\Rotaplan.exe").c_str(), kLinkName, folder.c_str());
  }

  pewtest::UserShortcuts shortcuts_;
  std::string desktop_, group_;
};

TEST_F(ProgramShortcutsForTheUser, GoWhereTheUserLooksForThem) {
  const std::string startMenu = Environment("APPDATA") + "\\Microsoft\\Windows\\Start Menu";
  EXPECT_EQ(desktop_, Environment("USERPROFILE") + "\\Desktop");
  EXPECT_EQ(group_, startMenu + "\\Programs\\Pewsterline");
  Install("c:\\pewline");
  EXPECT_TRUE(AllFourPointInto("c:\\pewline"));
  // A fresh profile, without a Start Menu folder yet: it is made with Programs.
  RemoveShortcuts();
  ASSERT_TRUE(MoveFileA(startMenu.c_str(), (startMenu + " kept").c_str()));
  Install("c:\\pewline");
  EXPECT_TRUE(AllFourPointInto("c:\\pewline"));
  pewtest::RemoveTree(startMenu);
  EXPECT_TRUE(MoveFileA((startMenu + " kept").c_str(), startMenu.c_str()));
}

TEST_F(ProgramShortcutsForTheUser, PointIntoAnyInstallationFolder) {
  for (const char* folder : {"d:", "c:\\Program Files\\Pewster line", "c:\\pewline"}) {
    SCOPED_TRACE(folder);
    Install(folder);
    EXPECT_TRUE(AllFourPointInto(folder));
    RemoveShortcuts();
  }
}

TEST_F(ProgramShortcutsForTheUser, SecondInstallationWritesOverTheFirst) {
  Install("c:\\pewline");
  ASSERT_TRUE(FolderExists(group_));
  Install("d:\\Pewsterline 2");
  EXPECT_TRUE(AllFourPointInto("d:\\Pewsterline 2"));
}

// ---------------------------------------------------------------------------
// Through g_shellCalls: special folders redirected or missing, COM failing.

// What the fake shell does. The item-identifier lists it hands out hold only
// the CSIDL asked for, so its path lookup knows which folder to answer.
struct FakeShell {
  std::map<int, HRESULT> locationResults;   // csidl -> result, S_OK when absent
  std::map<int, std::string> folderPaths;   // csidl -> path; no path is a failed lookup
  HRESULT initResult = S_OK;
  int failCreateNumber = 0;                 // this CoCreateInstance fails (1 = first)
  HRESULT createFailure = REGDB_E_CLASSNOTREG;
  IUnknown* createdObject = nullptr;        // handed out instead of the system's link
  int inits = 0, uninits = 0, creates = 0, listsMade = 0, listsFreed = 0;
};
FakeShell* g_fake = nullptr;

// A refused apartment is only pretended; otherwise COM is really initialised,
// so that the system's link object can be used.
HRESULT WINAPI FakeCoInitialize(LPVOID reserved) {
  ++g_fake->inits;
  return FAILED(g_fake->initResult) ? g_fake->initResult : CoInitialize(reserved);
}
void WINAPI FakeCoUninitialize() {
  ++g_fake->uninits;
  CoUninitialize();
}
HRESULT WINAPI FakeCoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context,
                                    REFIID interfaceId, LPVOID* object) {
  if (++g_fake->creates == g_fake->failCreateNumber) return g_fake->createFailure;
  if (g_fake->createdObject != nullptr) {
    return g_fake->createdObject->QueryInterface(interfaceId, object);
  }
  return CoCreateInstance(classId, outer, context, interfaceId, object);
}
void WINAPI FakeCoTaskMemFree(LPVOID memory) {
  ++g_fake->listsFreed;
  CoTaskMemFree(memory);
}
HRESULT WINAPI FakeGetSpecialFolderLocation(HWND, int csidl, PIDLIST_ABSOLUTE* list) {
  *list = nullptr;
  csidl &= ~CSIDL_FLAG_MASK;  // the folders it answers for are there: none to make
  const auto result = g_fake->locationResults.find(csidl);
  if (result != g_fake->locationResults.end() && result->second != S_OK) return result->second;
  int* fakeList = static_cast<int*>(CoTaskMemAlloc(sizeof(int)));
  *fakeList = csidl;
  *list = reinterpret_cast<PIDLIST_ABSOLUTE>(fakeList);
  ++g_fake->listsMade;
  return S_OK;
}
BOOL WINAPI FakeGetPathFromIDList(PCIDLIST_ABSOLUTE list, LPSTR path) {
  const auto folder = g_fake->folderPaths.find(*reinterpret_cast<const int*>(list));
  if (folder == g_fake->folderPaths.end() || folder->second.size() >= MAX_PATH) {
    path[0] = '\0';
    return FALSE;
  }
  // All MAX_PATH characters are the shell's to write: fill them.
  std::memset(path, '#', MAX_PATH);
  std::memcpy(path, folder->second.c_str(), folder->second.size() + 1);
  return TRUE;
}

const ShellCalls kFakeShellCalls = {
    FakeCoInitialize,  FakeCoUninitialize,           FakeCoCreateInstance,
    FakeCoTaskMemFree, FakeGetSpecialFolderLocation, FakeGetPathFromIDList,
};

class ThroughFakeShell : public testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    g_shellCalls = &kFakeShellCalls;
  }
  void TearDown() override {
    g_shellCalls = &kSystemShellCalls;
    g_fake = nullptr;
    EXPECT_EQ(fake_.listsFreed, fake_.listsMade) << "item-identifier lists leaked";
  }
  FakeShell fake_;
};

// A link object that records what is done to it. The IPersistFile it gives out
// is a separate object with its own count, so the order of the releases shows.
class RecordingLink : public IShellLinkA {
 public:
  std::vector<std::string> calls;
  HRESULT persistResult = S_OK, saveResult = S_OK;
  int linkRefs = 0, fileRefs = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    *object = nullptr;
    if (IsEqualGUID(id, IID_IShellLinkA) || IsEqualGUID(id, IID_IUnknown)) {
      *object = static_cast<IShellLinkA*>(this);
      ++linkRefs;
      return S_OK;
    }
    if (IsEqualGUID(id, IID_IPersistFile)) {
      calls.push_back("QueryInterface IPersistFile");
      if (FAILED(persistResult)) return persistResult;
      *object = static_cast<IPersistFile*>(&file_);
      ++fileRefs;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++linkRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    calls.push_back("Release IShellLinkA");
    return --linkRefs;
  }
  HRESULT STDMETHODCALLTYPE SetPath(LPCSTR path) override { return Record("SetPath", path); }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override {
    return Record("SetWorkingDirectory", dir);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR text) override { return Record("SetDescription", text); }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR text) override { return Record("SetArguments", text); }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return Record("SetHotkey", ""); }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return Record("SetShowCmd", ""); }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR path, int) override { return Record("SetIconLocation", path); }
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return Record("SetIDList", ""); }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR path, DWORD) override { return Record("SetRelativePath", path); }
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return Record("Resolve", ""); }
  HRESULT STDMETHODCALLTYPE GetPath(LPSTR, int, WIN32_FIND_DATAA*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDescription(LPSTR, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetArguments(LPSTR, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }

 private:
  HRESULT Record(const char* call, const char* argument) {
    calls.push_back(std::string(call) + " " + argument);
    return S_OK;
  }

  class File : public IPersistFile {
   public:
    explicit File(RecordingLink& link) : link_(link) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
      return link_.QueryInterface(id, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++link_.fileRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
      link_.calls.push_back("Release IPersistFile");
      return --link_.fileRefs;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR path, BOOL remember) override {
      char narrow[400] = {};
      WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
      link_.calls.push_back(std::string("Save ") + narrow + (remember == TRUE ? " remember" : ""));
      return link_.saveResult;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

   private:
    RecordingLink& link_;
  };
  File file_{*this};
};

TEST_F(ThroughFakeShell, CreateShortcutSetsOnlyPathAndFolderAndReleasesEverythingOnEveryPath) {
  const std::string longLink = "c:\\" + std::string(MAX_PATH, 'l') + ".lnk";
  const std::vector<std::string> beforeSave = {"SetPath c:\\f\\Rotaplan.exe",
                                               "SetWorkingDirectory c:\\f",
                                               "QueryInterface IPersistFile"};
  struct Case {
    const char* what;
    HRESULT createResult, persistResult, saveResult, initResult;
    std::string link;
    HRESULT expected;
    std::vector<std::string> calls;
  };
  auto with = [&](std::vector<std::string> tail) {
    std::vector<std::string> calls = beforeSave;
    calls.insert(calls.end(), tail.begin(), tail.end());
    return calls;
  };
  const Case cases[] = {
      {"saved", S_OK, S_OK, S_OK, S_OK, "c:\\l.lnk", S_OK,
       with({"Save c:\\l.lnk remember", "Release IPersistFile", "Release IShellLinkA"})},
      {"save fails", S_OK, S_OK, STG_E_ACCESSDENIED, S_OK, "c:\\l.lnk", STG_E_ACCESSDENIED,
       with({"Save c:\\l.lnk remember", "Release IPersistFile", "Release IShellLinkA"})},
      {"no IPersistFile", S_OK, E_NOINTERFACE, S_OK, S_OK, "c:\\l.lnk", E_NOINTERFACE,
       with({"Release IShellLinkA"})},
      {"no link object", REGDB_E_CLASSNOTREG, S_OK, S_OK, S_OK, "c:\\l.lnk", REGDB_E_CLASSNOTREG,
       {}},
      {"link path too long for the buffer", S_OK, S_OK, S_OK, S_OK, longLink,
       HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
       with({"Release IPersistFile", "Release IShellLinkA"})},
      // COM already initialised differently on this thread: used, but not
      // uninitialised, which would pull it away from under its owner.
      {"apartment refused", S_OK, S_OK, S_OK, RPC_E_CHANGED_MODE, "c:\\l.lnk", S_OK,
       with({"Save c:\\l.lnk remember", "Release IPersistFile", "Release IShellLinkA"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingLink link;
    fake_ = FakeShell{};
    fake_.initResult = c.initResult;
    fake_.createdObject = static_cast<IShellLinkA*>(&link);
    fake_.failCreateNumber = FAILED(c.createResult) ? 1 : 0;
    fake_.createFailure = c.createResult;
    link.persistResult = c.persistResult;
    link.saveResult = c.saveResult;

    EXPECT_EQ(CreateShortcut("c:\\f\\Rotaplan.exe", c.link.c_str(), "c:\\f"), c.expected);
    EXPECT_EQ(link.calls, c.calls);
    EXPECT_EQ(link.linkRefs, 0);
    EXPECT_EQ(link.fileRefs, 0);
    EXPECT_EQ(fake_.inits, 1);
    EXPECT_EQ(fake_.uninits, SUCCEEDED(c.initResult) ? 1 : 0);
  }
}

// Each case: which special folders the shell locates, and which of the four
// shortcuts (desktop, application, help, uninstall) must then exist.
TEST_F(ThroughFakeShell, AFolderThatCannotBeLocatedDropsOnlyItsOwnShortcuts) {
  struct Case {
    const char* what;
    HRESULT desktopLocation, programsLocation;
    bool desktopHasPath, programsHasPath;
    bool desktopLink, groupLinks;
  };
  const Case cases[] = {
      {"both located", S_OK, S_OK, true, true, true, true},
      {"no desktop", E_FAIL, S_OK, true, true, false, true},
      {"desktop not S_OK", S_FALSE, S_OK, true, true, false, true},
      {"desktop without a path", S_OK, S_OK, false, true, false, true},
      {"no Programs folder", S_OK, E_FAIL, true, true, true, false},
      {"Programs without a path", S_OK, S_OK, true, false, true, false},
      {"neither", E_FAIL, E_INVALIDARG, true, true, false, false},
  };
  // An empty folder path would put the links into the current drive's root.
  const CurrentFolder driveC("c:\\");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempFolder desktop, programs;
    fake_ = FakeShell{};
    fake_.locationResults = {{CSIDL_DESKTOPDIRECTORY, c.desktopLocation},
                             {CSIDL_PROGRAMS, c.programsLocation}};
    if (c.desktopHasPath) fake_.folderPaths[CSIDL_DESKTOPDIRECTORY] = desktop.Path();
    if (c.programsHasPath) fake_.folderPaths[CSIDL_PROGRAMS] = programs.Path();

    const ProgramShortcuts made = CreateProgramShortcuts("c:\\pewline\\Rotaplan.exe", kLinkName, "c:\\pewline");

    EXPECT_EQ(made.desktop == ShortcutOutcome::kMade, c.desktopLink);
    for (ShortcutOutcome group : {made.startMenu, made.help, made.uninstall}) EXPECT_EQ(group == ShortcutOutcome::kMade, c.groupLinks);
    EXPECT_EQ(made.AllMade(), c.desktopLink && c.groupLinks);
    EXPECT_EQ(FileExists(desktop / kLinkName), c.desktopLink);
    EXPECT_EQ(FolderExists(programs / "Pewsterline"), c.groupLinks);
    for (const char* name : {kLinkName, "Help.lnk", "Uninstall Information.lnk"}) {
      EXPECT_EQ(FileExists(programs / "Pewsterline\\" + name), c.groupLinks) << name;
    }
    EXPECT_EQ(fake_.inits, fake_.uninits);
    EXPECT_EQ(fake_.listsFreed, fake_.listsMade);
    EXPECT_FALSE(FileExists(std::string("c:\\") + kLinkName));
    EXPECT_FALSE(FolderExists("c:\\Pewsterline"));
    DeleteFileA((std::string("c:\\") + kLinkName).c_str());
    pewtest::RemoveTree("c:\\Pewsterline");
  }
}

// What is left where the failed shortcut goes tells whether it is missing or
// an earlier one stays, not updated, or is already what this run would make.
TEST_F(ThroughFakeShell, AShortcutThatCannotBeCreatedDoesNotStopTheOthers) {
  struct Case {
    const char* what;
    bool earlierLink, folder;  // where the group's application shortcut goes
    const char *target, *startIn;  // the earlier link's; none: a file that is no link
    ShortcutOutcome outcome;
  };
  const Case cases[] = {
      {"nothing there", false, false, nullptr, nullptr, ShortcutOutcome::kNotMade},
      {"an earlier link", true, false, nullptr, nullptr, ShortcutOutcome::kNotUpdated},
      {"an earlier link to the same place", true, false, "C:\\PewLine\\Rotaplan.exe", "C:\\PewLine", ShortcutOutcome::kMade},
      {"an earlier link to another program", true, false, "c:\\pewline\\Other.exe", "c:\\pewline", ShortcutOutcome::kNotUpdated},
      {"an earlier link started elsewhere", true, false, "c:\\pewline\\Rotaplan.exe", "d:", ShortcutOutcome::kNotUpdated},
      {"a folder of its name", false, true, nullptr, nullptr, ShortcutOutcome::kNotMade},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempFolder desktop, programs;
    const std::string link = programs / "Pewsterline\\" + kLinkName;
    ASSERT_TRUE(CreateDirectoryA((programs / "Pewsterline").c_str(), nullptr));
    if (c.target) {
      ASSERT_EQ(CreateShortcut(c.target, link.c_str(), c.startIn), S_OK);
    } else if (c.earlierLink) {
      ASSERT_TRUE(pewtest::WriteFileText(link, "an earlier link"));
    }
    if (c.folder) {
      ASSERT_TRUE(CreateDirectoryA(link.c_str(), nullptr));
    }
    // Held for reading, the earlier file refuses the save as a read-only one does, to root too.
    std::optional<pewtest::LockedFile> held;
    if (c.earlierLink) held.emplace(link, FILE_SHARE_READ);
    fake_ = FakeShell{};
    fake_.folderPaths = {{CSIDL_DESKTOPDIRECTORY, desktop.Path()}, {CSIDL_PROGRAMS, programs.Path()}};
    fake_.failCreateNumber = c.earlierLink ? 0 : 2;  // else the application's shortcut in the group
    const ProgramShortcuts made = CreateProgramShortcuts("c:\\pewline\\Rotaplan.exe", kLinkName, "c:\\pewline");
    EXPECT_EQ(fake_.creates, 4);
    EXPECT_EQ(made.startMenu, c.outcome);
    for (ShortcutOutcome other : {made.desktop, made.help, made.uninstall}) EXPECT_EQ(other, ShortcutOutcome::kMade);
    EXPECT_EQ(made.AllMade(), c.outcome == ShortcutOutcome::kMade);
    EXPECT_TRUE(LinkIs(desktop / kLinkName, "c:\\pewline\\Rotaplan.exe", "c:\\pewline"));
    EXPECT_TRUE(LinkIs(programs / "Pewsterline\\Help.lnk", "c:\\pewline\\Help\\index.htm", "c:\\pewline"));
    EXPECT_TRUE(LinkIs(programs / "Pewsterline\\Uninstall Information.lnk", "c:\\pewline\\Uninstall.txt",
                       "c:\\pewline"));
    RemoveDirectoryA(link.c_str());
  }
}

// Composed paths up to 255 characters are made, longer ones skipped, whatever
// the lengths of the special folders (up to the 259 the shell may give) and of
// the installation folder. The links that are made point where they should.
TEST_F(ThroughFakeShell, PathsOverTheLimitSkipOnlyTheirOwnShortcut) {
  const std::size_t linkName = std::strlen(kLinkName);  // 24
  struct Case {
    const char* what;
    std::size_t desktopLength, programsLength, folderLength;  // 0: a short one
    bool desktop, application, help, uninstall;
  };
  const Case cases[] = {
      {"desktop link of 255", 254 - linkName, 0, 0, true, true, true, true},
      {"desktop link of 256", 255 - linkName, 0, 0, false, true, true, true},
      // Group links are P + "\Pewsterline\" + 24, 8 and 25 characters.
      {"application link of 255", 0, 255 - 13 - linkName, 0, true, true, true, false},
      {"help link of 255", 0, 255 - 13 - 8, 0, true, false, true, false},
      {"group of 255", 0, 255 - 12, 0, true, false, false, false},
      {"Programs folder of 259", 0, 259, 0, true, false, false, false},
      // Targets are F + "\Rotaplan.exe", "\Help\index.htm" and "\Uninstall.txt".
      {"uninstall target of 255", 0, 0, 255 - 14, true, true, false, true},
      {"application target of 256", 0, 0, 256 - 13, false, false, false, false},
      {"installation folder of 256", 0, 0, 256, false, false, false, false},
      {"desktop folder of 259", 259, 0, 0, false, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempFolder base;
    fake_ = FakeShell{};
    // Long folders that must take links are real; those too long for any link need not be.
    auto folder = [&](std::size_t length, const char* shortName) {
      if (length == 0) {
        const std::string path = base / shortName;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
      }
      if (length < 250) return MakeFolderOfLength(base, length);
      return base.Path() + "\\" + std::string(length - base.Path().size() - 1, 'x');
    };
    const std::string desktop = folder(c.desktopLength, "Desktop");
    const std::string programs = folder(c.programsLength, "Programs");
    const std::string installation =
        c.folderLength == 0 ? "c:\\pewline" : "c:\\" + std::string(c.folderLength - 3, 'i');
    fake_.folderPaths = {{CSIDL_DESKTOPDIRECTORY, desktop}, {CSIDL_PROGRAMS, programs}};

    const std::string application = installation + "\\Rotaplan.exe";
    const ProgramShortcuts made = CreateProgramShortcuts(application.c_str(), kLinkName, installation.c_str());

    const std::string group = programs + "\\Pewsterline\\";
    const struct {
      bool expected;
      ShortcutOutcome outcome;
      std::string link, target;
    } shortcuts[] = {
        {c.desktop, made.desktop, desktop + "\\" + kLinkName, application},
        {c.application, made.startMenu, group + kLinkName, application},
        {c.help, made.help, group + "Help.lnk", installation + "\\Help\\index.htm"},
        {c.uninstall, made.uninstall, group + "Uninstall Information.lnk", installation + "\\Uninstall.txt"},
    };
    for (const auto& s : shortcuts) {
      EXPECT_EQ(s.outcome == ShortcutOutcome::kMade, s.expected) << s.link;
      if (s.expected) {
        EXPECT_TRUE(LinkIs(s.link, s.target, installation));
      } else {
        EXPECT_FALSE(FileExists(s.link)) << s.link;
      }
    }
    EXPECT_EQ(fake_.listsFreed, fake_.listsMade);
  }
}

}  // namespace
