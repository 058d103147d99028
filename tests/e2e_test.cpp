// The real installer, started as a process and used as a person would: the
// dialog answered, the message box read and closed, the files, shortcuts and
// exit code checked afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "install/ansi_path.h"
#include "install/folder_choice.h"
#include "install/folder_dialog.h"
#include "install/install.h"
#include "payload/payload.h"
#include "resources/resource.h"
#include "shortcuts/shortcuts.h"
#include "support/dialog_catcher.h"
#include "support/gui_driver.h"
#include "support/path_limits.h"
#include "support/shell_links.h"
#include "support/win_test_support.h"

namespace {

using pewtest::FileExists;
using pewtest::Printable;
using pewtest::FolderExists;
using pewtest::ReadFileBytes;

constexpr DWORD kExitSuccess = 0, kExitCancelled = 1602, kExitFailed = 1603;

const std::string kSuccessText =
    "Pewsterline Version 2.1 has been installed successfully.\r\r"
    "You can open the program from the Start Menu or by double clicking the Pewsterline Ver. 2.1 "
    "icon on the Desktop.\r\r"
    "Once the program is open, click the Help button to view the Help File.";

std::string FolderErrorText(const std::string& level) {
  return "Error creating folder: \r" + level +
         "\r\rYou might not have permission to to access this location.\r\r"
         "Please correct the problem if possible, then try the installation again.";
}

std::string SaveErrorText(const std::string& file) {
  return "An error occurred while saving this file:\r" + file +
         "\rPossible reasons include:\r1) The file may be read-only\r"
         "2) The file may be in use by another program\r"
         "3) You may not have permission to write to this folder\r4) The disk may be full\r\r"
         "Please correct the problem if possible, then try the installation again.";
}

// A message box of the installer, as it was shown.
struct MessageBoxSeen {
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  std::wstring wideText;  // with the characters that the code page lacks
};

// The box that names a file in use before anything is written.
std::string InUseText(const std::string& path, bool application) {
  return std::string(application ? "Pewsterline may still be running: its program file is in use:\r"
                                 : "This file is in use by another program:\r") +
         path + "\r\r" +
         (application ? "Please close Pewsterline first, then click Retry."
                      : "Please close that program, then click Retry.") +
         "\rCancel ends the installation without changing any file.";
}

// One run of the installer, driven from this test.
class InstallerRun {
 public:
  // Starts the installer and waits for its dialog. With `tracePath`, Wine
  // writes into that file, each line with its time, the installer's calls
  // that hold and release the session's end: Wine 8 has them as stubs, which
  // say so in its "fixme" channel and do nothing else.
  testing::AssertionResult Start(const std::string& tracePath = {}) {
    if (tracePath.empty()) {
      if (!process_.Start(pewtest::InstallerPath())) return testing::AssertionFailure() << "not started";
    } else {
      pewtest::ChildProcess shell;
      if (!shell.StartTraced(pewtest::InstallerPath(), "-all,fixme+graphics,+timestamp", tracePath)) {
        return testing::AssertionFailure() << "not started";
      }
    }
    dialog_ = pewtest::WaitForDialog("Pewsterline Installer", process_.Id(), pewtest::WaitLimit());
    if (dialog_ == nullptr) return testing::AssertionFailure() << "no dialog";
    DWORD id = 0;
    GetWindowThreadProcessId(dialog_, &id);
    if (process_.Id() != id && !process_.Open(id)) return testing::AssertionFailure() << "no process";
    return testing::AssertionSuccess();
  }

  HWND Dialog() const { return dialog_; }
  DWORD Id() const { return process_.Id(); }
  HWND Frame() const {
    return pewtest::WaitForWindow("WFL_Installer_MainWindow", "Pewsterline Installer", process_.Id(),
                                  pewtest::WaitLimit(), false);
  }
  std::string ProposedFolder() const { return pewtest::ControlText(Edit()); }

  // Types `folder` (narrow or wide text) over the box's text and presses Install.
  template <typename Text>
  void ChooseFolder(const Text& folder) {
    pewtest::ClearEdit(Edit());
    pewtest::TypeInto(Edit(), folder);
    Install();
  }
  void Install() { pewtest::Click(GetDlgItem(dialog_, IDOK)); }
  void Cancel() { pewtest::Click(GetDlgItem(dialog_, IDCANCEL)); }

  // Reads the message box that ends the run and presses its OK.
  std::optional<MessageBoxSeen> AnswerMessageBox() { return Answer(false, IDOK); }
  // Reads the box that refuses a choice, presses its OK and waits until it is
  // gone, so that the dialog takes input again.
  std::optional<MessageBoxSeen> AnswerRefusal() { return Answer(true, IDOK); }
  // Reads the box that names a file in use and presses Retry or Cancel.
  std::optional<MessageBoxSeen> AnswerFileInUse(int button) { return Answer(true, button); }
  // The message box that is up, read but not answered.
  std::optional<MessageBoxSeen> MessageBoxUp() {
    HWND box = pewtest::WaitForDialog("Pewsterline", process_.Id(), pewtest::WaitLimit());
    if (box == nullptr) return std::nullopt;
    return MessageBoxSeen{pewtest::WindowText(box), pewtest::MessageBoxStaticText(box), GetWindow(box, GW_OWNER),
                          pewtest::MessageBoxStaticTextW(box)};
  }

  // Closes the main frame while the message box that ends the run is up, as a
  // task manager's "End task" does; returns the box's text.
  std::optional<std::string> CloseFrameUnderMessageBox() {
    HWND box = pewtest::WaitForDialog("Pewsterline", process_.Id(), pewtest::WaitLimit());
    HWND frame = pewtest::WaitForWindow("WFL_Installer_MainWindow", "Pewsterline Installer",
                                        process_.Id(), pewtest::WaitLimit(), false);
    if (box == nullptr || frame == nullptr) return std::nullopt;
    const std::string text = pewtest::MessageBoxStaticText(box);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    return text;
  }

  std::optional<DWORD> ExitCode() { return process_.WaitForExit(pewtest::WaitLimit()); }

  // Types `folder`, presses Install and answers the message that ends the run:
  // a success when that is the success message and the exit code is 0.
  template <typename Text>
  testing::AssertionResult InstallInto(const Text& folder) {
    ChooseFolder(folder);
    return EndsWithSuccess();
  }

  // Answers the message that ends the run: a success when that is the
  // success message and the exit code is 0.
  testing::AssertionResult EndsWithSuccess() {
    const auto box = AnswerMessageBox();
    if (!box) return testing::AssertionFailure() << "no message box";
    if (box->text != kSuccessText) return testing::AssertionFailure() << "the run ended with: " << box->text;
    const auto code = ExitCode();
    if (code != kExitSuccess) return testing::AssertionFailure() << "exit code " << code.value_or(-1);
    return testing::AssertionSuccess();
  }

  HWND Edit() const { return GetDlgItem(dialog_, IDC_FOLDER_EDIT); }

 private:
  std::optional<MessageBoxSeen> Answer(bool untilGone, int button) {
    HWND box = pewtest::WaitForDialog("Pewsterline", process_.Id(), pewtest::WaitLimit());
    if (box == nullptr) return std::nullopt;
    MessageBoxSeen seen{pewtest::WindowText(box), pewtest::MessageBoxStaticText(box), GetWindow(box, GW_OWNER),
                        pewtest::MessageBoxStaticTextW(box)};
    // By its id: Wine labels the button in the locale's language (確定 in zh_TW).
    pewtest::Click(GetDlgItem(box, button));
    if (untilGone && !pewtest::WaitUntil([&] { return !IsWindow(box); }, pewtest::WaitLimit())) return std::nullopt;
    return seen;
  }

  pewtest::ChildProcess process_;
  HWND dialog_ = nullptr;
};

// Every entry of `group` in `folder` with exactly its embedded bytes.
testing::AssertionResult GroupInstalled(const PayloadGroup& group, const std::string& folder) {
  for (int i = 0; i < group.entryCount; ++i) {
    const std::string name = std::string(group.Name(i));
    const auto content = ReadFileBytes(folder + "\\" + name);
    if (!content) return testing::AssertionFailure() << folder << "\\" << name << " missing";
    if (content->size() != static_cast<size_t>(group.sizes[i]) ||
        !std::equal(content->begin(), content->end(), group.Bytes(i))) {
      return testing::AssertionFailure() << folder << "\\" << name << " differs from the payload";
    }
  }
  return testing::AssertionSuccess();
}

// Where a group goes below the installation folder: "" or "\Help".
std::string Below(const PayloadGroup& group) {
  return group.destination == PayloadDestination::kHelpFolder ? "\\Help" : "";
}

// Every group where the installation puts it.
testing::AssertionResult EverythingInstalledIn(const std::string& folder) {
  for (const PayloadGroup* group : kPayloadGroups) {
    const testing::AssertionResult installed = GroupInstalled(*group, folder + Below(*group));
    if (!installed) return installed;
  }
  return testing::AssertionSuccess();
}

// The writer's temporary files end in '~', the files it keeps until the end in '#'.
bool NoTemporaryFilesIn(const std::string& folder) {
  for (const char* pattern : {"\\*~", "\\*#"}) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    FindClose(find);
    return false;
  }
  return true;
}

std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// What an installation into the levels `below` (no trailing backslash) of a
// folder leaves in it: those levels, the Help folder and every file, nothing else.
std::set<std::string> InstalledTree(std::wstring_view below) {
  std::set<std::string> tree;
  std::size_t end = 0;
  do {
    end = below.find(L'\\', end + 1);
    tree.insert(pewtest::Ansi(below.substr(0, end)) + "\\");
  } while (end != std::wstring_view::npos);
  const std::string folder = pewtest::Ansi(below) + "\\";
  tree.insert(folder + "Help\\");
  for (const PayloadGroup* group : kPayloadGroups) {
    for (int i = 0; i < group->entryCount; ++i) {
      const std::string name(group->Name(i));
      tree.insert(folder + (Below(*group).empty() ? "" : "Help\\") + name);
    }
  }
  return tree;
}

// Each case starts from a clean user and removes what the installer made: the
// cases of one run share the Wine prefix. Whatever a case installed, every path
// it made (on d: also those that existed only for a moment) must be one that
// Windows takes.
class Installer : public testing::Test {
 protected:
  void SetUp() override {
    // The runs in prefixes of other code pages (tests/CMakeLists.txt).
    if (const char* expected = std::getenv("PEW_TEST_CODE_PAGE")) {
      ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    shortcuts_.Remove();
    pewtest::RemoveTree("c:\\pewline");
    createdOnD_ = std::make_unique<pewtest::CreatedPaths>("d:\\");
    ASSERT_TRUE(createdOnD_->Watching());
  }
  void TearDown() override {
    const auto created = createdOnD_->Seen();
    EXPECT_TRUE(created.has_value()) << "the names created on d: were not all reported";
    std::vector<std::string> made = created.value_or(std::vector<std::string>());
    for (const std::string& link : shortcuts_.Links()) {
      const auto contents = pewtest::ReadLink(link);
      if (!contents) continue;
      made.insert(made.end(), {link, contents->target, contents->workingFolder});
    }
    EXPECT_TRUE(pewtest::WithinWindowsPathLimits("c:\\pewline", made));
    for (const std::string& folder : cleanUp_) EXPECT_TRUE(pewtest::WithinWindowsPathLimits(folder));
    shortcuts_.Remove();
    pewtest::RemoveTree("c:\\pewline");
    for (const std::string& folder : cleanUp_) pewtest::RemoveTree(folder);
  }
  // A folder on d: for this case, removed afterwards.
  std::string FolderOnD(const std::string& name) {
    const std::string folder = "d:\\" + name;
    pewtest::RemoveTree(folder);
    cleanUp_.push_back(folder);
    return folder;
  }

  pewtest::UserShortcuts shortcuts_;
  std::vector<std::string> cleanUp_;
  std::unique_ptr<pewtest::CreatedPaths> createdOnD_;
};

TEST_F(Installer, DefaultInstallationWritesEverythingAndEndsWithSuccess) {
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  EXPECT_EQ(run.ProposedFolder(), "c:\\pewline");
  // Owned through the backdrop by the frame, so that it stays above the installer's windows.
  EXPECT_EQ(pewtest::ClassName(GetWindow(run.Dialog(), GW_OWNER)), "WFL_Installer_MainWindow");
  run.Install();
  const auto box = run.AnswerMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->caption, "Pewsterline");
  EXPECT_EQ(box->text, kSuccessText);
  EXPECT_NE(box->owner, nullptr) << "the success message belongs to the installer's window";
  EXPECT_EQ(run.ExitCode(), kExitSuccess);

  // FORMAT.DB among them: the payload tests hold its bytes to the default formats.
  EXPECT_TRUE(EverythingInstalledIn("c:\\pewline"));
  EXPECT_TRUE(NoTemporaryFilesIn("c:\\pewline"));
  EXPECT_TRUE(NoTemporaryFilesIn("c:\\pewline\\Help"));
  EXPECT_TRUE(shortcuts_.AllPointInto("c:\\pewline"));
}

TEST_F(Installer, ReinstallingKeepsTheUsersDataAndReplacesTheProgram) {
  const std::string folder = FolderOnD("Church Office");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((folder + "\\Help").c_str(), nullptr));
  const std::string userFormats = "Schedules\tmodern Courier\t12\t1\t1\t1\t1\t 40\t11.00\t8.50\r\n";
  const std::string userRota = "Ushers\tJune Hall\tSunday 9:30\r\n";
  ASSERT_TRUE(pewtest::WriteFileText(folder + "\\FORMAT.DB", userFormats));
  ASSERT_TRUE(pewtest::WriteFileText(folder + "\\4-reg.db", userRota));
  // An older, longer program and help page.
  ASSERT_TRUE(pewtest::WriteFileBytes(folder + "\\Rotaplan.exe", std::vector<std::uint8_t>(600000, 'x')));
  ASSERT_TRUE(pewtest::WriteFileBytes(folder + "\\Help\\1.htm", std::vector<std::uint8_t>(20000, 'y')));
  // What an earlier run that was ended in the middle of its writing left.
  ASSERT_TRUE(pewtest::WriteFileText(folder + "\\Uninstall.tx#", "kept by the ended run"));
  ASSERT_TRUE(pewtest::WriteFileText(folder + "\\FORMAT.D~", "staged by the ended run"));

  InstallerRun run;
  ASSERT_TRUE(run.Start());
  EXPECT_TRUE(run.InstallInto(folder + "\\"));  // a trailing backslash changes nothing
  EXPECT_TRUE(NoTemporaryFilesIn(folder));
  EXPECT_TRUE(NoTemporaryFilesIn(folder + "\\Help"));

  EXPECT_TRUE(GroupInstalled(HelpGroup, folder + "\\Help"));
  EXPECT_TRUE(GroupInstalled(ApplicationGroup, folder));
  const auto formats = ReadFileBytes(folder + "\\FORMAT.DB");
  const auto rota = ReadFileBytes(folder + "\\4-reg.db");
  ASSERT_TRUE(formats && rota);
  EXPECT_EQ(std::string(formats->begin(), formats->end()), userFormats);
  EXPECT_EQ(std::string(rota->begin(), rota->end()), userRota);
  // One database of the set is there: the others are not written either.
  EXPECT_FALSE(FileExists(folder + "\\4-msty.db"));
  EXPECT_FALSE(FileExists(folder + "\\4-people.db"));
  EXPECT_TRUE(shortcuts_.AllPointInto(folder));
}

// Windows of the other application, made by this test on a thread of their own:
// the reminder, two main windows and the title bar. Only the first window that
// matches a pair is closed, so one of the main windows stays.
class OtherApplication {
 public:
  // `closeDelayMs`: how long a main window keeps answering messages before it
  // goes, as one asking its user to save would. `hangMainWindow`: the main
  // window's thread stops answering altogether.
  OtherApplication(DWORD closeDelayMs, bool hangMainWindow)
      : closeDelayMs_(closeDelayMs),
        hangMainWindow_(hangMainWindow),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, pewtest::WaitLimit());
  }
  ~OtherApplication() {
    SetEvent(release_);
    thread_.join();
    CloseHandle(release_);
    CloseHandle(ready_);
  }

  // How many windows of each pair are gone (reminder, main, title bar).
  std::vector<int> Closed() const {
    return {closed_[0].load(), closed_[1].load() + closed_[3].load(), closed_[2].load()};
  }

  // Stops the thread from answering messages until the object goes.
  void HangNow() { PostThreadMessageA(threadId_, WM_APP, 0, 0); }

  // Whether the system takes the main window for hung: its thread has looked
  // at no message for five seconds.
  bool MainWindowHung() const { return IsHungAppWindow(windows_[1]) != FALSE; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<OtherApplication*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_CLOSE && self != nullptr && (window == self->windows_[1] || window == self->windows_[3])) {
      pewtest::PumpFor(self->closeDelayMs_);
    } else if (message == WM_DESTROY && self != nullptr) {
      for (int i = 0; i < 4; ++i) {
        if (self->windows_[i] == window) self->closed_[i] = 1;
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  void Run() {
    threadId_ = GetCurrentThreadId();
    const char* const classes[] = {"WFLremind", "WFL_MainWindow", "TitleBarWindow", "WFL_MainWindow"};
    const char* const titles[] = {"WFLremind", "Wayfarer Ledger", "Wayfarer Ledger", "Wayfarer Ledger"};
    for (int i = 0; i < 4; ++i) {
      WNDCLASSA windowClass = {};
      windowClass.lpfnWndProc = WindowProc;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.lpszClassName = classes[i];
      RegisterClassA(&windowClass);
      windows_[i] = CreateWindowExA(0, classes[i], titles[i], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10 + 30 * i,
                                    10 + 30 * i, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
      SetWindowLongPtrA(windows_[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SetEvent(ready_);
    MSG message;
    while (MsgWaitForMultipleObjects(1, &release_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_APP && message.hwnd == nullptr && hangMainWindow_) {
          WaitForSingleObject(release_, INFINITE);  // answers nothing from here on
          break;
        }
        DispatchMessageA(&message);
      }
    }
    for (HWND window : windows_) {
      if (IsWindow(window)) DestroyWindow(window);
    }
  }

  DWORD closeDelayMs_;
  bool hangMainWindow_;
  HANDLE release_;
  HANDLE ready_;
  DWORD threadId_ = 0;
  HWND windows_[4] = {};
  std::atomic<int> closed_[4] = {0, 0, 0, 0};
  std::thread thread_;
};

TEST_F(Installer, CancelClosesTheOtherApplicationAndWritesNothing) {
  OtherApplication other(300, false);
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  // By the time the dialog is up, each window has been asked to close and has gone.
  EXPECT_EQ(other.Closed(), std::vector<int>({1, 1, 1}));
  run.Cancel();
  EXPECT_EQ(run.ExitCode(), kExitCancelled);
  EXPECT_FALSE(FolderExists("c:\\pewline"));
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

// Two installers at once would race for the same levels and files: the second
// says so and ends before it closes a window or writes anything. It does not
// keep the claim while its message is up: once the first has ended, a third
// runs. A session that ends under its message ends it with 1618 all the same.
TEST_F(Installer, ASecondInstallerSaysSoAndEndsWith1618) {
  InstallerRun first;
  ASSERT_TRUE(first.Start());
  OtherApplication other(0, false);
  pewtest::ChildProcess second;
  ASSERT_TRUE(second.Start(pewtest::InstallerPath()));
  HWND box = pewtest::WaitForDialog("Pewsterline", second.Id(), pewtest::WaitLimit());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(pewtest::MessageBoxStaticText(box),
            "Another installation of Pewsterline is already running.\r\r"
            "Please let it finish, then start this installation again if it is still needed.");
  EXPECT_EQ(pewtest::WaitForWindow("WFL_Installer_MainWindow", nullptr, second.Id(), 0, false), nullptr);
  EXPECT_EQ(other.Closed(), std::vector<int>({0, 0, 0}));
  // The first goes on as if alone.
  EXPECT_TRUE(first.InstallInto("c:\\pewline"));
  EXPECT_TRUE(EverythingInstalledIn("c:\\pewline"));

  InstallerRun third;
  EXPECT_TRUE(third.Start()) << "refused although no installation runs";
  third.Cancel();
  EXPECT_EQ(third.ExitCode(), kExitCancelled);

  pewtest::SessionEnd session(second.Id());
  session.Ask();
  EXPECT_EQ(session.Answer(pewtest::WaitLimit()), true);
  session.End(true);
  EXPECT_EQ(second.WaitForExit(pewtest::WaitLimit()), 1618u);
}

TEST_F(Installer, AHungWindowOfTheOtherApplicationDoesNotHangTheInstaller) {
  // One thread holds all three windows: once it stops answering, none of them
  // can close, and it answers nothing until the test ends. An installer that
  // waited for them would never show its dialog.
  OtherApplication other(0, true);
  other.HangNow();
  ASSERT_TRUE(pewtest::WaitUntil([&] { return other.MainWindowHung(); }, pewtest::WaitLimit()));
  InstallerRun run;
  ASSERT_TRUE(run.Start()) << "the installer waited for the hung windows";
  EXPECT_EQ(other.Closed(), std::vector<int>({0, 0, 0}));
  run.Cancel();
  EXPECT_EQ(run.ExitCode(), kExitCancelled);
}

TEST_F(Installer, ASlowButAnsweringWindowIsWaitedFor) {
  OtherApplication other(3000, false);  // the main window takes 3 s to close
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  EXPECT_EQ(other.Closed(), std::vector<int>({1, 1, 1}));
  run.Cancel();
  EXPECT_EQ(run.ExitCode(), kExitCancelled);
}

// A copy with one byte changed inside a file that it carries, as an incomplete
// download or a failing USB stick leaves it, says so before it closes a
// window of the other application or writes anything, and fails.
TEST_F(Installer, ADamagedCopySaysSoAndChangesNothing) {
  auto image = ReadFileBytes(pewtest::InstallerPath());
  ASSERT_TRUE(image.has_value());
  const int picture = 35;
  ASSERT_EQ(HelpGroup.Name(picture), "Personnel.gif");
  const auto found = std::search(image->begin(), image->end(), HelpGroup.Bytes(picture),
                                 HelpGroup.Bytes(picture) + HelpGroup.Size(picture));
  ASSERT_NE(found, image->end());
  found[HelpGroup.Size(picture) / 2] ^= 0x01;
  const pewtest::TempFolder folder;
  ASSERT_TRUE(pewtest::WriteFileBytes(folder / "PewsterlineSetup.exe", *image));
  OtherApplication other(0, false);
  pewtest::ChildProcess copy;
  ASSERT_TRUE(copy.Start(folder / "PewsterlineSetup.exe"));
  HWND box = pewtest::WaitForDialog("Pewsterline", copy.Id(), pewtest::WaitLimit());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(pewtest::MessageBoxStaticText(box),
            "This installer is damaged: the file Personnel.gif that it carries is not intact.\r\r"
            "An incomplete download or a damaged disk or USB stick can cause this. "
            "Please obtain a new copy of the installer.");
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
  EXPECT_EQ(other.Closed(), std::vector<int>({0, 0, 0}));
  pewtest::Click(GetDlgItem(box, IDOK));
  EXPECT_EQ(copy.WaitForExit(pewtest::WaitLimit()), kExitFailed);
  EXPECT_FALSE(FolderExists("c:\\pewline"));
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

TEST_F(Installer, AFolderThatCannotBeMadeIsReportedAndFails) {
  const std::string folder = FolderOnD("blocked");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(pewtest::WriteFileText(folder + "\\Help", "a file where the Help folder should be"));
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  run.ChooseFolder(folder);
  const auto box = run.AnswerMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->caption, "Pewsterline");
  EXPECT_EQ(box->text, FolderErrorText(folder + "\\Help"));
  EXPECT_EQ(box->owner, nullptr);
  EXPECT_EQ(run.ExitCode(), kExitFailed);
  EXPECT_FALSE(FileExists(folder + "\\Rotaplan.exe"));
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

// Every file and folder below a folder and what each file holds (a file that
// cannot be read, such as one held open, as "?").
using FolderSnapshot = std::map<std::string, std::vector<std::uint8_t>>;
FolderSnapshot Snapshot(const std::string& folder) {
  FolderSnapshot files;
  for (const std::string& path : pewtest::TreeBelow(folder)) {
    if (path.back() != '\\') files[path] = ReadFileBytes(folder + "\\" + path).value_or(std::vector<std::uint8_t>{'?'});
    else files[path];
  }
  return files;
}

testing::AssertionResult Unchanged(const std::string& folder, const FolderSnapshot& before) {
  const FolderSnapshot now = Snapshot(folder);
  for (const auto& [path, content] : now) {
    const auto earlier = before.find(path);
    if (earlier == before.end()) return testing::AssertionFailure() << path << " was made";
    if (earlier->second != content) return testing::AssertionFailure() << path << " was changed";
  }
  for (const auto& [path, content] : before) {
    if (now.count(path) == 0) return testing::AssertionFailure() << path << " was removed";
  }
  return testing::AssertionSuccess();
}

// An earlier installation in `folder`: every file of it, none like this one's.
// Its Rotaplan.exe is this one's with more bytes behind, so that it runs.
testing::AssertionResult EarlierInstallationIn(const std::string& folder) {
  if (!CreateDirectoryA(folder.c_str(), nullptr) || !CreateDirectoryA((folder + "\\Help").c_str(), nullptr)) {
    return testing::AssertionFailure() << "cannot make " << folder;
  }
  for (const PayloadGroup* group : kPayloadGroups) {
    for (int i = 0; i < group->entryCount; ++i) {
      const std::string name(group->Name(i));
      std::vector<std::uint8_t> content(group->Bytes(i), group->Bytes(i) + group->Size(i));
      content.insert(content.end(), {'2', '.', '0'});
      const std::string path = folder + Below(*group) + "\\" + name;
      if (!pewtest::WriteFileBytes(path, content)) return testing::AssertionFailure() << "cannot write " << path;
    }
  }
  return testing::AssertionSuccess();
}

// A write that fails while the files are staged (here a full disk) is
// reported as it happens, and the earlier installation stays as it was.
TEST_F(Installer, AFileThatCannotBeWrittenIsReportedAndChangesNothing) {
  const std::string folder = FolderOnD("full");
  ASSERT_TRUE(EarlierInstallationIn(folder));
  const auto before = Snapshot(folder);
  {
    const pewtest::DevFullLink full(folder + "\\" + PayloadTemporaryName("Uninstall.txt").c_str());
    ASSERT_TRUE(full.Made());
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder(folder);
    const auto box = run.AnswerMessageBox();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, SaveErrorText("Uninstall.txt"));
    EXPECT_EQ(box->owner, nullptr);
    EXPECT_EQ(run.ExitCode(), kExitFailed);
  }
  EXPECT_TRUE(Unchanged(folder, before));
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

// A stand-in for an antivirus scanner: each file that appears or changes in
// the folders it watches is opened as soon as its writer lets go, shared for
// reading only, and held for a while, as scanners and the search indexer hold
// freshly written files. What is there when it starts it leaves alone.
class Scanner {
 public:
  Scanner(std::vector<std::string> folders, DWORD holdMs) : folders_(std::move(folders)), holdMs_(holdMs) {
    Look(false);
    thread_ = std::thread([this] {
      while (!stop_) Look(true);
      for (const auto& [file, until] : holds_) CloseHandle(file);
    });
  }
  ~Scanner() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Look(bool hold) {
    for (auto it = holds_.begin(); it != holds_.end();) {
      if (GetTickCount() - it->second < holdMs_) {
        ++it;
        continue;
      }
      CloseHandle(it->first);
      it = holds_.erase(it);
    }
    for (const std::string& folder : folders_) {
      for (const std::string& name : pewtest::TreeBelow(folder)) {
        const std::string path = folder + "\\" + name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (name.back() == '\\' || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) continue;
        const auto stamp = std::make_pair(data.ftLastWriteTime.dwLowDateTime, data.nFileSizeLow);
        if (seen_.count(path) != 0 && seen_[path] == stamp) continue;
        HANDLE file = hold ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                           : nullptr;
        if (file == INVALID_HANDLE_VALUE) continue;  // its writer still has it
        seen_[path] = stamp;
        if (file != nullptr) holds_.emplace_back(file, GetTickCount());
      }
    }
    Sleep(1);
  }

  std::vector<std::string> folders_;
  DWORD holdMs_;
  std::map<std::string, std::pair<DWORD, DWORD>> seen_;
  std::vector<std::pair<HANDLE, DWORD>> holds_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// A file that another program takes once the check is past: a scanner
// holding each new file for a moment is waited for, in steps of 100 ms for up
// to 2 s a file; one held longer is named, as a file in use is, once
// everything is put back (also the groups already moved into place). Retry
// stages and commits again; Cancel leaves the earlier installation as it was.
// Nothing is left beside the files.
TEST_F(Installer, AFileTakenAfterTheCheckIsWaitedForOrNamed) {
  struct Case {
    const char* what;
    DWORD scannerHoldMs;  // 0: no scanner; a page taken while the program is staged
    const char* named;    // the file named in the box, if one is
  };
  const Case cases[] = {
      {"a scanner holding each new file for 300 ms", 300, nullptr},
      {"a scanner holding each new file for 10 s, Cancel", 10000, "Help\\1.htm"},
      {"the earlier Uninstall.txt opened while the program is staged, Retry", 0, "Uninstall.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = FolderOnD("taken");
    ASSERT_TRUE(EarlierInstallationIn(folder));
    const auto before = Snapshot(folder);
    const std::vector<std::uint8_t> application(ApplicationGroup.Bytes(0),
                                                ApplicationGroup.Bytes(0) + ApplicationGroup.Size(0));
    std::optional<pewtest::StalledWrite> stalled;
    if (c.scannerHoldMs == 0) stalled.emplace(folder + "\\" + PayloadTemporaryName("Rotaplan.exe").c_str(), application);
    std::optional<Scanner> scanner;
    if (c.scannerHoldMs != 0) scanner.emplace(std::vector<std::string>{folder, folder + "\\Help"}, c.scannerHoldMs);
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder(folder);
    std::optional<pewtest::LockedFile> taken;
    if (stalled) {
      // The help pages are staged and the check is past: the file is taken while the program is written.
      const std::string lastPage = folder + "\\Help\\" + PayloadTemporaryName("icon.jpg").c_str();
      ASSERT_TRUE(pewtest::WaitUntil([&] { return FileExists(lastPage); }, pewtest::WaitLimit()));
      taken.emplace(folder + "\\Uninstall.txt", FILE_SHARE_READ);
      stalled.reset();  // lets the writer go on
    }
    if (c.named != nullptr) {
      const auto box = run.MessageBoxUp();
      ASSERT_TRUE(box.has_value());
      EXPECT_EQ(box->text, InUseText(folder + "\\" + c.named, false));
      if (scanner) {
        scanner.reset();  // the user closes the program that held the files
        ASSERT_TRUE(run.AnswerFileInUse(IDCANCEL).has_value());
        EXPECT_EQ(run.ExitCode(), kExitCancelled);
        EXPECT_TRUE(Unchanged(folder, before));
        continue;
      }
      EXPECT_TRUE(Unchanged(folder, before)) << "while the box is up";
      taken.reset();
      ASSERT_TRUE(run.AnswerFileInUse(IDRETRY).has_value());
    }
    EXPECT_TRUE(run.EndsWithSuccess());
    EXPECT_TRUE(GroupInstalled(HelpGroup, folder + "\\Help") && GroupInstalled(ApplicationGroup, folder));
    EXPECT_TRUE(NoTemporaryFilesIn(folder) && NoTemporaryFilesIn(folder + "\\Help"));
    shortcuts_.Remove();
  }
}

// Every file that the run would replace is checked before the first one is
// written: one in use is named, with Retry and Cancel, and the earlier
// installation stays exactly as it was while the box is up. Retry checks all
// again; Cancel ends the run as cancelled.
TEST_F(Installer, AFileInUseIsNamedBeforeAnythingIsWritten) {
  struct Case {
    const char* what;
    bool pewsterlineRunning;  // else a help page held open, on a first installation
    bool retry;
  };
  const Case cases[] = {
      {"Pewsterline left open during an upgrade, closed, Retry", true, true},
      {"Pewsterline left open during an upgrade, Cancel", true, false},
      {"a help page open in another program, Retry twice", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = FolderOnD("in use");
    std::optional<pewtest::LockedFile> page;
    pewtest::ChildProcess pewsterline;
    HWND pewsterlineWindow = nullptr;
    std::string held;
    if (c.pewsterlineRunning) {
      ASSERT_TRUE(EarlierInstallationIn(folder));
      held = folder + "\\Rotaplan.exe";
      ASSERT_TRUE(pewsterline.Start(held));
      // The stand-in of the application says what it is in a box until closed.
      pewsterlineWindow = pewtest::WaitForDialog("Pewsterline 2.1 (stand-in)", pewsterline.Id(), pewtest::WaitLimit());
      ASSERT_NE(pewsterlineWindow, nullptr);
    } else {
      ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
      ASSERT_TRUE(CreateDirectoryA((folder + "\\Help").c_str(), nullptr));
      held = folder + "\\Help\\5.htm";
      page.emplace(held);
      ASSERT_TRUE(page->Locked());
    }
    const auto before = Snapshot(folder);

    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder(folder);
    const auto box = run.MessageBoxUp();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, InUseText(held, c.pewsterlineRunning));
    EXPECT_TRUE(Unchanged(folder, before)) << "while the box is up";
    if (!c.retry) {
      ASSERT_TRUE(run.AnswerFileInUse(IDCANCEL).has_value());
      EXPECT_EQ(run.ExitCode(), kExitCancelled);
      EXPECT_TRUE(Unchanged(folder, before));
      EXPECT_FALSE(shortcuts_.AnyPresent());
      continue;
    }
    if (!c.pewsterlineRunning) {
      // Still held: the same box again, and still nothing written.
      ASSERT_TRUE(run.AnswerFileInUse(IDRETRY).has_value());
      const auto again = run.MessageBoxUp();
      ASSERT_TRUE(again.has_value());
      EXPECT_EQ(again->text, box->text);
      EXPECT_TRUE(Unchanged(folder, before));
    }
    if (c.pewsterlineRunning) {
      pewtest::Click(GetDlgItem(pewsterlineWindow, IDOK));
      EXPECT_TRUE(pewsterline.WaitForExit(pewtest::WaitLimit()).has_value());
    }
    page.reset();
    ASSERT_TRUE(run.AnswerFileInUse(IDRETRY).has_value());
    EXPECT_TRUE(run.EndsWithSuccess());
    EXPECT_TRUE(GroupInstalled(HelpGroup, folder + "\\Help"));
    EXPECT_TRUE(GroupInstalled(ApplicationGroup, folder));
    EXPECT_TRUE(shortcuts_.AllPointInto(folder));
    shortcuts_.Remove();
  }
}

// How a run can be ended from outside: the frame closed (as a task manager's
// "End task" does), or the Windows session ended (a log-off).
enum class EndedBy { kFrameClosed, kSessionEnded };

testing::AssertionResult EndFromOutside(InstallerRun& run, EndedBy way) {
  if (way == EndedBy::kFrameClosed) {
    HWND frame = run.Frame();
    if (frame == nullptr) return testing::AssertionFailure() << "no frame";
    PostMessageA(frame, WM_CLOSE, 0, 0);
    return testing::AssertionSuccess();
  }
  pewtest::SessionEnd session(run.Id());
  session.Ask();
  const std::optional<bool> agreed = session.Answer(pewtest::WaitLimit());
  if (agreed != true) return testing::AssertionFailure() << "the session's end was not agreed to";
  session.End(true);
  return testing::AssertionSuccess();
}

// While the dialog asks and once the outcome is shown, a run ended from
// outside ends at once, with the code of what happened: nothing written, the
// failure or the success shown. The code is decided before the message.
TEST_F(Installer, ARunEndedFromOutsideEndsWithTheCodeOfWhatHappened) {
  const std::string blocked = FolderOnD("ended");
  ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
  ASSERT_TRUE(pewtest::WriteFileText(blocked + "\\Help", "a file where the Help folder should be"));
  struct Case {
    std::string folder, text;  // no folder: ended in the dialog
    DWORD code;
  };
  const Case cases[] = {{"", "", kExitCancelled},
                        {"c:\\pewline", kSuccessText, kExitSuccess},
                        {blocked, FolderErrorText(blocked + "\\Help"), kExitFailed}};
  for (const EndedBy way : {EndedBy::kFrameClosed, EndedBy::kSessionEnded}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << (way == EndedBy::kFrameClosed ? "frame closed" : "session ended") << ", "
                                      << (c.folder.empty() ? "in the dialog" : c.folder));
      InstallerRun run;
      ASSERT_TRUE(run.Start());
      if (!c.folder.empty()) {
        run.ChooseFolder(c.folder);
        const auto box = run.MessageBoxUp();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, c.text);
      }
      EXPECT_TRUE(EndFromOutside(run, way));
      EXPECT_EQ(run.ExitCode(), c.code);
      if (c.folder.empty()) {
        EXPECT_FALSE(FolderExists("c:\\pewline"));
      }
      shortcuts_.Remove();
      pewtest::RemoveTree("c:\\pewline");
    }
  }
}

// The session is asked to wait while files are written: held in the middle
// of writing Rotaplan.exe, after the help pages, the installer says no to the
// session's end and names its reason for the shutdown screen. When the user
// logs off anyway, it ends as failed: the installation is unfinished.
TEST_F(Installer, ASessionEndingWhileFilesAreWrittenIsAskedToWaitAndEndsItAsFailed) {
  const std::string folder = FolderOnD("writing");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::vector<std::uint8_t> application(ApplicationGroup.Bytes(0),
                                              ApplicationGroup.Bytes(0) + ApplicationGroup.Size(0));
  pewtest::StalledWrite stalled(folder + "\\" + PayloadTemporaryName("Rotaplan.exe").c_str(), application);
  ASSERT_TRUE(stalled.Made());
  // Windows reads the reason back from the frame while it is held. Wine (8 and
  // 10) has no ShutdownBlockReasonQuery, and only a stub of the call that
  // gives it, which says in Wine's own trace what it was given.
  using QueryFn = BOOL(WINAPI*)(HWND, LPWSTR, DWORD*);
  const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "ShutdownBlockReasonQuery")));
  const pewtest::TempFolder temp;
  InstallerRun run;
  ASSERT_TRUE(run.Start(query != nullptr ? std::string() : temp / "trace.txt"));
  HWND frame = run.Frame();
  ASSERT_NE(frame, nullptr);
  run.ChooseFolder(folder);
  // The last help page staged: the installer is past every point before the
  // writing where it looks at its messages, and held before the next one.
  const std::string lastPage = folder + "\\Help\\" + PayloadTemporaryName("icon.jpg").c_str();
  ASSERT_TRUE(pewtest::WaitUntil([&] { return FileExists(lastPage); }, pewtest::WaitLimit()));
  if (query != nullptr) {
    wchar_t reason[64] = L"";
    DWORD length = 64;
    EXPECT_TRUE(query(frame, reason, &length) && std::wstring(reason) == L"Pewsterline is being installed.");
  }
  pewtest::SessionEnd session(run.Id());
  session.Ask();
  session.End(true);  // the user logs off anyway, as the shutdown screen offers
  stalled.Release();
  EXPECT_EQ(session.Answer(pewtest::WaitLimit()), false);
  EXPECT_EQ(run.ExitCode(), kExitFailed);
  // Ended while the files were staged: none is in place; the next run clears them up.
  EXPECT_FALSE(FileExists(folder + "\\Help\\1.htm"));
  EXPECT_FALSE(FileExists(folder + "\\Rotaplan.exe"));
  EXPECT_FALSE(FileExists(folder + "\\FORMAT.DB"));
  EXPECT_FALSE(FileExists(folder + "\\4-reg.db"));
  EXPECT_FALSE(shortcuts_.AnyPresent());
  if (query != nullptr) return;
  // Wine's: the stub's trace, with the frame, and no release before the end.
  char frameText[16];
  std::snprintf(frameText, sizeof frameText, "%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(frame)));
  const std::vector<std::uint8_t> written = ReadFileBytes(temp / "trace.txt").value_or(std::vector<std::uint8_t>());
  const std::string traced(written.begin(), written.end());
  EXPECT_NE(traced.find(std::string("ShutdownBlockReasonCreate (") + frameText + ", L\"Pewsterline is being installed.\")"),
            std::string::npos)
      << traced;
  EXPECT_EQ(traced.find("ShutdownBlockReasonDestroy"), std::string::npos) << "released before the end\n" << traced;
}

// A shortcut the success message would promise is missing: the program is
// installed all the same (exit code 0), and the message names exactly the
// missing ones, and where the program is. A read-only link of an earlier
// installation elsewhere stays, still pointing there: it is named as not
// updated. A row states what Windows does, and apart what Wine does where it
// differs, as Wine's own tests mark theirs with todo_wine.
TEST_F(Installer, ShortcutsThatCannotBeMadeAreNamedAndTheProgramIsInstalled) {
  const std::string desktop = shortcuts_.Desktop(), group = shortcuts_.Group();
  const std::vector<std::string> links = shortcuts_.Links();
  const std::string earlier = FolderOnD("earlier");
  const auto earlierLinks = [&](std::initializer_list<int> which) {
    if (!CreateDirectoryA(group.c_str(), nullptr)) return false;
    for (int i : which) {
      if (FAILED(CreateShortcut((earlier + "\\Rotaplan.exe").c_str(), links[i].c_str(), earlier.c_str())) ||
          !SetFileAttributesA(links[i].c_str(), FILE_ATTRIBUTE_READONLY)) {
        return false;
      }
    }
    return true;
  };
  // Root may write a read-only file under Wine (tools/test runs the tests unprivileged).
  const bool readOnlyHolds = [&] {
    const std::string probe = earlier + "\\probe";
    if (!CreateDirectoryA(earlier.c_str(), nullptr) || !pewtest::WriteFileText(probe, "x") ||
        !SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    return file == INVALID_HANDLE_VALUE;
  }();
  std::optional<pewtest::RemovedFolder> noDesktop;
  const bool onWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  struct Case {
    const char* what;
    std::function<bool()> arrange;
    std::vector<int> notMade, notUpdated;
    std::vector<int> wineNotMade = {};  // Wine's, where it differs from Windows' notMade
  };
  const Case cases[] = {
      {"a file named Pewsterline in the Programs folder",
       [&] { return pewtest::WriteFileText(group, "not a folder"); }, {1, 2, 3}, {}},
      // Windows locates Programs without the Desktop folder. Wine's shell parses
      // every special folder's item list through its desktop shell folder, which
      // it does not make without the Desktop folder: E_FAIL for Programs too.
      {"no Desktop folder", [&] { return noDesktop.emplace(desktop).Made(); }, {0}, {}, /*Wine's*/ {0, 1, 2, 3}},
      {"a file in place of the Desktop folder",
       [&] { return noDesktop.emplace(desktop).Made() && pewtest::WriteFileText(desktop, "not a folder"); }, {0}, {}},
      {"a folder named Help.lnk in the group",
       [&] { return CreateDirectoryA(group.c_str(), nullptr) && CreateDirectoryA(links[2].c_str(), nullptr); }, {2}, {}},
      {"read-only links of an earlier installation", [&] { return earlierLinks({0, 2}); }, {}, {0, 2}},
  };
  for (const Case& c : cases) {
    const bool wines = onWine && !c.wineNotMade.empty();
    const std::vector<int>& notMade = wines ? c.wineNotMade : c.notMade;
    SCOPED_TRACE(std::string(c.what) + (wines ? ", Wine's outcome: should Wine come to do as Windows, drop it" : ""));
    if (!c.notUpdated.empty() && !readOnlyHolds) {
      std::printf("skipped \"%s\": this account may write read-only files\n", c.what);
      continue;
    }
    ASSERT_TRUE(c.arrange());
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder("c:\\pewline");
    const auto box = run.AnswerMessageBox();
    ASSERT_TRUE(box.has_value());
    std::string expected = "Pewsterline Version 2.1 has been installed successfully, but these shortcuts could not be made:";
    for (int i = 0; i < 4; ++i) {
      const bool notUpdated = std::count(c.notUpdated.begin(), c.notUpdated.end(), i) > 0;
      const bool missing = notUpdated || std::count(notMade.begin(), notMade.end(), i) > 0;
      if (missing) {
        expected += std::string("\r- ") + std::string(kShortcutPlaces[i].name) +
                    (notUpdated ? " (an earlier one is still there and was not updated)" : "");
      }
      if (!missing) {
        EXPECT_TRUE(pewtest::LinkIs(links[i], i < 2 ? "c:\\pewline\\Rotaplan.exe"
                                                    : i == 2 ? "c:\\pewline\\Help\\index.htm" : "c:\\pewline\\Uninstall.txt",
                                    "c:\\pewline"));
      } else if (notUpdated) {
        EXPECT_TRUE(pewtest::LinkIs(links[i], earlier + "\\Rotaplan.exe", earlier));
      } else {
        EXPECT_FALSE(FileExists(links[i])) << links[i];
      }
    }
    expected += "\r\rYou can open the program from its folder:\rc:\\pewline\\Rotaplan.exe";
    EXPECT_EQ(box->text, expected);
    EXPECT_EQ(box->caption, "Pewsterline");
    EXPECT_EQ(run.ExitCode(), kExitSuccess);
    EXPECT_TRUE(EverythingInstalledIn("c:\\pewline"));
    shortcuts_.Remove();
    noDesktop.reset();
  }
}

// Real permissions: the tests run as an unprivileged user (tools/test sees to
// that when started as root, for whom nothing is denied).
TEST_F(Installer, WhatTheUserMayNotChangeIsReportedAndStopsTheInstallation) {
  const std::string root = FolderOnD("denied");
  const std::string noFolders = root + "\\no folders", readOnly = root + "\\read-only",
                    noFiles = root + "\\no files";
  for (const std::string& folder :
       {root, noFolders, readOnly, readOnly + "\\Help", noFiles, noFiles + "\\Help"}) {
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  const std::string page = readOnly + "\\Help\\5.htm";
  ASSERT_TRUE(pewtest::WriteFileText(page, "the user's page"));
  ASSERT_TRUE(SetFileAttributesA(page.c_str(), FILE_ATTRIBUTE_READONLY));
  const pewtest::UnwritableFolder lockedLevel(noFolders), lockedHelp(noFiles + "\\Help");
  ASSERT_TRUE(lockedLevel.Made() && lockedHelp.Made());
  // Started by hand as root (not through tools/test), nothing is denied.
  if (std::getenv("PEW_WINE_USER") == nullptr && CreateDirectoryA((noFolders + "\\probe").c_str(), nullptr)) {
    RemoveDirectoryA((noFolders + "\\probe").c_str());
    GTEST_SKIP() << "this account may change everything; tools/test runs the tests unprivileged";
  }
  struct Case {
    std::string choice, text, notWritten;
  };
  const Case cases[] = {
      {noFolders + "\\pewline", FolderErrorText(noFolders + "\\pewline"), noFolders + "\\pewline"},
      // Found before anything is written.
      {readOnly, SaveErrorText("5.htm"), readOnly + "\\Help\\1.htm"},
      {noFiles, SaveErrorText("1.htm"), noFiles + "\\Help\\1.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choice);
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder(c.choice);
    const auto box = run.AnswerMessageBox();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, c.text);
    EXPECT_EQ(run.ExitCode(), kExitFailed);
    EXPECT_FALSE(pewtest::FileExists(c.notWritten) || FolderExists(c.notWritten));
    EXPECT_FALSE(FileExists(c.choice + "\\Rotaplan.exe"));
  }
  const auto content = ReadFileBytes(page);
  EXPECT_EQ(std::string(content->begin(), content->end()), "the user's page");
  EXPECT_NE(GetFileAttributesA(page.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

TEST_F(Installer, ADriveRootInstallsIntoTheRoot) {
  // d: is the test run's own folder; what the installer puts there goes again.
  const auto removeFromRoot = [] {
    pewtest::RemoveTree("d:\\Help");
    for (const char* name : {"Rotaplan.exe", "Uninstall.txt", "FORMAT.DB", "4-msty.db", "4-people.db", "4-reg.db"}) {
      DeleteFileA((std::string("d:\\") + name).c_str());
    }
  };
  removeFromRoot();
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  EXPECT_TRUE(run.InstallInto("d:\\"));
  EXPECT_TRUE(EverythingInstalledIn("d:"));
  // The working folder is the drive alone, without a backslash.
  EXPECT_TRUE(shortcuts_.AllPointInto("d:"));
  removeFromRoot();
}

TEST_F(Installer, ANetworkFoldersServerAndShareAreNotFoldersToMake) {
  // No share answers under test; what matters is which level is tried first:
  // the first folder below the share, not the server.
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  run.ChooseFolder("\\\\churchserver\\apps\\pewline");
  const auto box = run.AnswerMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, FolderErrorText("\\\\churchserver\\apps\\pewline"));
  EXPECT_EQ(run.ExitCode(), kExitFailed);
}

// Choices below a folder of the test's own, as users of each code page type
// them: everything is installed exactly there and nothing is made beside it.
// In 932, 950 and 936 many letters end in the backslash's byte (see
// FolderLevels): ctest runs this test once more in a Wine prefix of each.
TEST_F(Installer, InstallsExactlyWhereTyped) {
  struct Case {
    UINT codePage;  // 0: any
    std::wstring typed;
    std::vector<std::wstring> made = {};  // folders that exist before
    bool unfinishedSet = false;      // a database set left part-way by an ended run
    std::wstring held = {};          // the form installed into, where the code page holds only that
  };
  const Case cases[] = {
      {0, L".apps\\pewline", {L".apps"}},  // the folder search does not count .apps
      {0, L"unfinished", {L"unfinished"}, true},
      {932, L"\u4E88\u5B9A\u8868\\\u30BD\u30D5\u30C8"},  // 予定表\ソフト: 0x5C inside a level
      {932, L"\u8868"},                                 // 表: at the end of the choice
      {932, L"\u80FD\\\u8868\\"},                      // 能\表 typed with a backslash behind
      {932, L"a\u30BD\u30D5\u30C8"},                      // aソフト: no stray a beside it
      {950, L"\u8A31\\\u529F"},                          // 許\功
      {950, L"\u529F"},                                 // 功
      {950, L"a\u8A31\u84CB\\"},                         // a許蓋 typed with a backslash behind
      // 교회 갂\봉사: the second byte of 갂 (81 41) is an ASCII letter.
      {949, L"\uAD50\uD68C \uAC02\\\uBD09\uC0AC"},
      // As a Vietnamese keyboard types them, composed; 1258 holds ê, ơ, ă and
      // the tone marks as letters of their own.
      {.codePage = 1258, .typed = L"Ti\u1EBFng Vi\u1EC7t\\Nh\u00E0 th\u1EDD",
       .held = L"Ti\u00EA\u0301ng Vi\u00EA\u0323t\\Nh\u00E0 th\u01A1\u0300"},
      {.codePage = 1258, .typed = L"\u0110\u00E0 N\u1EB5ng", .held = L"\u0110\u00E0 N\u0103\u0303ng"},
      // A u and a combining diaeresis, as text from a Mac arrives: 1252 holds ü.
      {.codePage = 1252, .typed = L"Mu\u0308ller", .held = L"M\u00FCller"},
      // 한국 as conjoining jamo, as macOS names files: 949 holds the syllables.
      {.codePage = 949, .typed = L"\u1112\u1161\u11AB\u1100\u116E\u11A8", .held = L"\uD55C\uAD6D"},
  };
  const std::string base = FolderOnD("where typed");
  for (const Case& c : cases) {
    if (c.codePage != 0 && c.codePage != GetACP()) continue;
    SCOPED_TRACE(Printable(c.typed));
    pewtest::RemoveTree(base);
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    for (const std::wstring& made : c.made) ASSERT_TRUE(CreateDirectoryA((base + "\\" + pewtest::Ansi(made)).c_str(), nullptr));
    std::wstring below = c.held.empty() ? c.typed : c.held;
    if (below.back() == L'\\') below.pop_back();
    const std::string folder = base + "\\" + pewtest::Ansi(below);
    if (c.unfinishedSet) {
      // The first database moved into place (and a stale copy beside it), the
      // others still in their temporary files.
      const std::string first(DatabaseGroup.Name(0));
      ASSERT_TRUE(pewtest::WriteFileBytes(
          folder + "\\" + first, std::vector<std::uint8_t>(DatabaseGroup.Bytes(0), DatabaseGroup.Bytes(1))));
      for (int i = 0; i < DatabaseGroup.entryCount; ++i) {
        const std::string name(DatabaseGroup.Name(i));
        ASSERT_TRUE(pewtest::WriteFileText(folder + "\\" + PayloadTemporaryName(name).c_str(), "stale"));
      }
    }
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(run.InstallInto(Wide(base) + L"\\" + c.typed));
    EXPECT_TRUE(EverythingInstalledIn(folder));
    EXPECT_EQ(pewtest::TreeBelow(base), InstalledTree(below));
    EXPECT_TRUE(shortcuts_.AllPointInto(folder));
    shortcuts_.Remove();
  }
}

// Letters of the code page, some of them ending in the backslash's byte.
std::wstring DoubleByteLetters() {
  switch (GetACP()) {
    case 932: return L"\u30BD\u8868\u4E88\u80FD";  // ソ表予能
    case 950: return L"\u8A31\u529F\u84CB";        // 許功蓋
    case 936: return L"\u6DFA";                    // 淺
    default: return {};
  }
}

// The limit is counted in the code page's bytes, a letter as two; a network
// share whose name holds such letters is not split inside one.
TEST_F(Installer, DoubleByteLettersCountAsTwoAndStayWhole) {
  const std::wstring letters = DoubleByteLetters();
  if (letters.empty()) GTEST_SKIP() << "code page " << GetACP() << " has no double-byte letters";
  const std::string base = FolderOnD("limit");
  std::wstring folder = Wide(base);
  // Levels of at most 40 letters: the Linux side holds them in UTF-8, 3 bytes
  // each, and a name there has at most 255 bytes.
  std::size_t letter = 0;
  while (pewtest::Ansi(folder).size() + 3 <= MaxFolderChoice()) {
    folder += L'\\';
    for (int i = 0; i < 40 && pewtest::Ansi(folder).size() + 2 <= MaxFolderChoice(); ++i) {
      folder += letters[letter++ % letters.size()];
    }
  }
  while (pewtest::Ansi(folder).size() < MaxFolderChoice()) folder += L'x';
  ASSERT_EQ(pewtest::Ansi(folder).size(), MaxFolderChoice()) << Printable(folder);
  {
    SCOPED_TRACE(Printable(folder));
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    run.ChooseFolder(folder + L"x");
    const auto refusal = run.AnswerRefusal();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->text.find("at most " + std::to_string(MaxFolderChoice()) +
                                 " characters; a letter of Japanese, Chinese or Korean counts as two."),
              std::string::npos)
        << refusal->text;
    EXPECT_TRUE(run.InstallInto(folder));
    EXPECT_TRUE(EverythingInstalledIn(pewtest::Ansi(folder)));
    EXPECT_EQ(pewtest::TreeBelow(base), InstalledTree(folder.substr(base.size() + 1)));
    EXPECT_TRUE(shortcuts_.AllPointInto(pewtest::Ansi(folder)));
  }
  // No share answers under test: the first level tried is the whole one below
  // the share, named whole in the message.
  const std::wstring share = L"\\\\churchserver\\" + letters + L"\\" + letters;
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  run.ChooseFolder(share);
  const auto box = run.AnswerMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, FolderErrorText(pewtest::Ansi(share)));
  EXPECT_EQ(run.ExitCode(), kExitFailed);
}

// A letter as typed, and as the installation holds it where the code page has
// it only in another Unicode form (empty: as typed).
struct Letter {
  std::wstring typed, held = {};
  const std::wstring& Held() const { return held.empty() ? typed : held; }
};

// Letters a user of the code page types, those ending in the backslash's byte
// (ソ表予能, 許功蓋, 淺) or in an ASCII letter's (갂 is 81 41) among them, and the
// composed Vietnamese letters that 1258 holds as a letter and a mark.
std::vector<Letter> LettersOfTheCodePage() {
  const auto each = [](std::wstring_view letters) {
    std::vector<Letter> list;
    for (wchar_t c : letters) list.push_back({std::wstring(1, c)});
    return list;
  };
  switch (GetACP()) {
    case 932: return each(L"\u30BD\u8868\u4E88\u80FD\u5B9A\u30D5\u30C8a1");
    case 950: return each(L"\u8A31\u529F\u84CB\u4E2D\u6587\u6A94b2");
    case 936: return each(L"\u6DFA\u4E2D\u6587\u4EF6\u5939c3");
    case 949: return each(L"\uAD50\uD68C\uAC02\uAC03\uBD09\uC0ACk6");
    case 1250: return each(L"\u0141\u00F3\u0111\u017A\u015B\u010D\u0158d4");
    case 1258: {
      std::vector<Letter> list = each(L"\u0110\u00E0\u01B0v7");
      list.insert(list.end(), {{L"\u1EBF", L"\u00EA\u0301"}, {L"\u1EC7", L"\u00EA\u0323"},
                               {L"\u1EDD", L"\u01A1\u0300"}, {L"\u1EB5", L"\u0103\u0303"}});
      return list;
    }
    default: return each(L"\u00E9\u00FC\u00DF\u00C6\u00F1e5");
  }
}

// One generated choice: levels below a base folder as typed and as held, and
// whether the dialog must take it (no level ending in a dot or a blank, within
// the limit in bytes of the held form).
struct GeneratedChoice {
  std::wstring below, held;
  bool acceptable;
};

GeneratedChoice GenerateChoice(std::mt19937& random, const std::vector<Letter>& letters, std::size_t baseBytes) {
  const std::size_t limit = MaxFolderChoice();
  // Half of them near the limit, one side or the other; the rest short.
  const std::size_t target = random() % 2 == 0 ? limit - 3 + random() % 7 : baseBytes + 2 + random() % 60;
  GeneratedChoice choice{{}, {}, true};
  std::wstring level, heldLevel;
  std::size_t letterCount = 0;
  const auto add = [&](const Letter& letter) {
    level += letter.typed;
    heldLevel += letter.Held();
    ++letterCount;
  };
  const auto addOne = [&](wchar_t c) { add({std::wstring(1, c)}); };
  const auto endLevel = [&](bool last) {
    // Dots and blanks stay inside the names; now and then a level ends in a
    // dot or a blank on purpose, which is refused. Never a blank at the very
    // end, which the dialog takes for padding.
    if (level.back() == L'.' || level.back() == L' ') {
      level.pop_back();
      heldLevel.pop_back();
      add(letters[random() % letters.size()]);
    }
    const unsigned roll = random() % 24;
    if (roll == 0 || (roll == 1 && !last)) {
      addOne(roll == 0 ? L'.' : L' ');
      choice.acceptable = false;
    }
    choice.below += level;
    choice.held += heldLevel;
    level.clear();
    heldLevel.clear();
    letterCount = 0;
  };
  for (;;) {
    const unsigned roll = random() % 12;
    // Blanks and dots inside names, never two levels' backslashes in a row.
    if (roll == 0 && letterCount > 0) {
      addOne(L' ');
    } else if (roll == 1) {
      addOne(L'.');
    } else {
      add(letters[random() % letters.size()]);
    }
    if (baseBytes + 1 + pewtest::Ansi(choice.held + heldLevel).size() >= target) break;
    if (letterCount >= 40 || (letterCount > 1 && random() % 10 == 0)) {
      endLevel(false);
      choice.below += L'\\';
      choice.held += L'\\';
    }
  }
  endLevel(true);
  if (baseBytes + 1 + pewtest::Ansi(choice.held).size() > limit) choice.acceptable = false;
  return choice;
}

// Generated choices drive the real installer: every one the dialog takes is
// installed exactly there (in the form the code page holds), every one it
// refuses leaves nothing. A handful per run and code page;
// PEW_GENERATED_CHOICES=100 for more, PEW_GENERATED_SEED to replay one.
TEST_F(Installer, GeneratedChoicesInstallExactlyThereOrLeaveNothing) {
  const std::vector<Letter> letters = LettersOfTheCodePage();
  for (const Letter& letter : letters) {
    wchar_t back[4] = {};
    const std::string ansi = pewtest::Ansi(letter.Held());
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), back, 4);
    ASSERT_TRUE(std::wstring(back, units > 0 ? units : 0) == letter.Held())
        << Printable(letter.Held()) << " is not held by code page " << GetACP();
  }
  const char* seedSetting = std::getenv("PEW_GENERATED_SEED");
  const char* countSetting = std::getenv("PEW_GENERATED_CHOICES");
  const unsigned seed = seedSetting != nullptr ? static_cast<unsigned>(std::strtoul(seedSetting, nullptr, 10))
                                               : GetTickCount();
  const int count = countSetting != nullptr ? std::atoi(countSetting) : 3;
  std::mt19937 random(seed);
  const std::string base = FolderOnD("generated");
  int accepted = 0;
  for (int i = 0; i < count && !HasFailure(); ++i) {
    const GeneratedChoice choice = GenerateChoice(random, letters, base.size());
    SCOPED_TRACE(testing::Message() << "code page " << GetACP() << ", PEW_GENERATED_SEED=" << seed << ", choice "
                                    << i + 1 << ": " << (choice.acceptable ? "to take " : "to refuse ")
                                    << base << "\\" << Printable(choice.below));
    pewtest::RemoveTree(base);
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    const std::wstring typed = Wide(base) + L"\\" + choice.below;
    InstallerRun run;
    ASSERT_TRUE(run.Start());
    if (choice.acceptable) {
      ++accepted;
      EXPECT_TRUE(run.InstallInto(typed));
      const std::string folder = base + "\\" + pewtest::Ansi(choice.held);
      EXPECT_TRUE(EverythingInstalledIn(folder));
      EXPECT_EQ(pewtest::TreeBelow(base), InstalledTree(choice.held));
      EXPECT_TRUE(shortcuts_.AllPointInto(folder));
      shortcuts_.Remove();
      continue;
    }
    run.ChooseFolder(typed);
    const auto refusal = run.AnswerRefusal();
    ASSERT_TRUE(refusal.has_value()) << "no refusal";
    EXPECT_EQ(refusal->owner, run.Dialog()) << refusal->text;
    run.Cancel();
    EXPECT_EQ(run.ExitCode(), kExitCancelled);
    EXPECT_EQ(pewtest::TreeBelow(base), std::set<std::string>());
    EXPECT_FALSE(shortcuts_.AnyPresent());
  }
  std::printf("%d generated choices under code page %u (seed %u), %d of them to take\n", count, GetACP(), seed,
              accepted);
}

// A choice that cannot be installed into as typed is refused in the dialog, one
// box for each reason, and the user can type over it at once.
TEST_F(Installer, TheDialogRefusesWhatCannotBeInstalledIntoAndSaysWhy) {
  const std::string limit = std::to_string(MaxFolderChoice());
  struct Case {
    std::wstring typed;
    std::wstring says;
    bool example = true;  // followed by an example of a good choice
  };
  // A folder named with a u and a combining diaeresis, as a Mac names it; the
  // code page holds only the composed ü, which would make a second "Müller".
  const std::wstring decomposed = L"d:\\look-alike\\Mu\u0308ller";
  ASSERT_TRUE(CreateDirectoryA(FolderOnD("look-alike").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(decomposed.c_str(), nullptr));
  const Case cases[] = {
      {L"", L"Please type the folder"},
      {L"pewline", L"full path"},
      {L"d:\\refused\\pew?line", L"cannot hold"},
      {L"d:\\refused\\con", L"cannot be used: \"con\""},
      // Not in code page 1252: named, with its number.
      {L"d:\\refused\\\u0141\u00F3d\u017A", L"cannot use on this computer, the first of them U+0141 (\u0141)."},
      {L"d:\\refused\\" + std::wstring(MaxFolderChoice(), L'x'), L"at most " + Wide(limit) + L" characters"},
      {decomposed + L"\\pewline", L"already exists, its letters written in another way than this computer can use:\r" +
                                       decomposed + L"\r"},
      // Typed composed, as keyboards give it: named by its own, decomposed name.
      {L"d:\\look-alike\\M\u00FCller", L"can use:\r" + decomposed + L"\r"},
      // tools/test makes s: a drive of 768 KiB when it runs as root.
      {L"s:\\pewline", L"There is not enough free space for Pewsterline on S:\\: it needs 1152 KB, and 768 KB are "
                       L"free.\rPlease free some space there, or choose a folder on another drive.", false},
  };
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  HWND dialog = run.Dialog();
  HWND edit = run.Edit();
  const DWORD threadId = GetWindowThreadProcessId(dialog, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(Printable(c.typed));
    if (c.typed.starts_with(L"s:") && !FolderExists("s:\\")) {
      ADD_FAILURE() << "no small drive s: to try (tools/test makes it when it runs as root)";
      continue;
    }
    run.ChooseFolder(c.typed);
    const auto box = run.AnswerRefusal();
    ASSERT_TRUE(box.has_value()) << "no message box";
    EXPECT_EQ(box->owner, dialog);
    EXPECT_NE(box->wideText.find(c.says), std::wstring::npos) << Printable(box->wideText);
    EXPECT_EQ(box->text.find("\rFor example: c:\\pewline") != std::string::npos, c.example) << box->text;
    // Still open, with the text as typed, in focus and selected to type over.
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(pewtest::ControlTextW(edit) == c.typed);
    EXPECT_TRUE(pewtest::WaitUntil(
        [&] {
          GUITHREADINFO info = {};
          info.cbSize = sizeof info;
          return GetGUIThreadInfo(threadId, &info) && info.hwndFocus == edit;
        },
        pewtest::WaitLimit()));
    DWORD start = 1, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, c.typed.size());
  }
  run.Cancel();
  EXPECT_EQ(run.ExitCode(), kExitCancelled);
  EXPECT_FALSE(FolderExists("d:\\refused"));
  EXPECT_FALSE(FolderExists("d:\\look-alike\\M\xFCller")) << "a look-alike was made";
  EXPECT_EQ(pewtest::TreeBelow("d:\\look-alike").size(), 1u);
  EXPECT_EQ(GetFileAttributesW((decomposed + L"\\pewline").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(FolderExists("pewline"));
  EXPECT_FALSE(FolderExists("c:\\pewline"));
  EXPECT_FALSE(shortcuts_.AnyPresent());
}

// The longest choice the dialog takes leaves room for every path made from it;
// one character more is refused.
TEST_F(Installer, TheLongestAcceptedFolderInstallsCompletely) {
  const std::string base = FolderOnD("longest");
  std::string folder = base + "\\" + std::string(120, 'a') + "\\";
  folder += std::string(MaxFolderChoice() - folder.size(), 'b');
  ASSERT_EQ(folder.size(), MaxFolderChoice());
  InstallerRun run;
  ASSERT_TRUE(run.Start());
  run.ChooseFolder(folder + "b");
  const auto refusal = run.AnswerRefusal();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_NE(refusal->text.find("too long"), std::string::npos) << refusal->text;

  EXPECT_TRUE(run.InstallInto(folder));
  EXPECT_TRUE(EverythingInstalledIn(folder));
  EXPECT_TRUE(shortcuts_.AllPointInto(folder));
}

// In the double-byte code pages the second byte of many letters is the
// backslash's: in 932 ソ is 83 5C, 表 95 5C, 予 97 5C; in 950 許 is B3 5C, in
// 936 淺 9C 5C. Such a letter neither ends a level nor the folder.
TEST(FolderLevels, StartPastTheDriveOrTheServerAndShare) {
  constexpr std::size_t npos = std::string_view::npos;
  struct Case {
    UINT codePage;
    const char* folder;
    std::size_t start, first, last;  // first: the first backslash at 3 or later
  };
  const Case cases[] = {
      {1252, "c:\\pewline\\Help\\", 3, 10, 15},
      {1252, "\\Help\\", 3, 5, 5},
      {1252, "\\\\server\\share\\pewline\\Help\\", 15, 8, 27},
      {1252, "\\\\server\\share\\Help\\", 15, 8, 19},
      {1252, "\\\\server\\Help\\", 14, 8, 13},  // "Help" is taken for the share: no level to make
      {1252, "c:\\\x95\\", 3, 4, 4},               // a single-byte code page has no lead bytes
      {932, "c:\\\x95\\", 3, npos, 2},               // c:\表
      {932, "c:\\\x97\\\x92\xe8\x95\\\\\x83\\" "x\\", 3, 9, 13},  // c:\予定表\ソx\ (ANSI)
      {932, "\\\\s\\\x97\\\x92\xe8\x95\\\\a\\Help\\", 11, 3, 17},  // \\s\予定表\a\Help\ (ANSI)
      {950, "\\\\\xb3\\\\\xa5\\\\Help\\", 8, 4, 12},             // \\許\功\Help\ (ANSI)
      {936, "d:\\a\x9c\\\\", 3, 6, 6},                       // d:\a淺\ (ANSI)
      {932, "d:\\\x83", 3, npos, 2},  // a lead byte without its second byte is a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ": " << testing::PrintToString(std::string(c.folder)));
    EXPECT_EQ(FirstFolderLevelStart(c.folder, c.codePage), c.start);
    EXPECT_EQ(FindBackslash(c.folder, 3, c.codePage), c.first);
    EXPECT_EQ(FindLastBackslash(c.folder, c.codePage), c.last);
    EXPECT_EQ(EndsInBackslash(c.folder, c.codePage), c.last == std::strlen(c.folder) - 1);
  }
}

// The entries of `group` whose files (or with `temporary` whose temporary
// files) are among `names`.
PayloadEntrySet Named(const PayloadGroup& group, const std::set<std::string>& names, bool temporary) {
  PayloadEntrySet entries = 0;
  for (int i = 0; i < group.entryCount; ++i) {
    const std::string name(temporary ? PayloadTemporaryName(group.Name(i)).View() : group.Name(i));
    if (names.count(name) != 0) entries |= PayloadEntrySet{1} << i;
  }
  return entries;
}

// Which of the user's data groups are written, for the files already there,
// and the space the run takes on a drive of 4 KiB clusters: each file whole
// clusters, the program's files (1,146,880 bytes) always. A partial database
// set is completed only when the temporary file of one of its members shows
// that an installation was ended between the set's moves.
TEST(DataGroups, AreWrittenOnlyWhenNoneOfTheirFilesExists) {
  struct Case {
    std::set<std::string> existing;
    bool formats, databases, completed;
    long long space;
  };
  const Case cases[] = {
      {{}, true, true, false, 1179648},
      {{"Rotaplan.exe", "Uninstall.txt"}, true, true, false, 1179648},
      {{"FORMAT.DB"}, false, true, false, 1175552},
      {{"4-msty.db"}, true, false, false, 1150976},
      {{"4-people.db"}, true, false, false, 1150976},
      {{"4-reg.db", "FORMAT.DB"}, false, false, false, 1146880},
      {{"4-msty.db", "4-people.db", "4-reg.db"}, true, false, false, 1150976},
      {{"4-msty.db", "4-people.db", "4-reg.d~"}, true, false, true, 1155072},
      {{"4-msty.db", "4-msty.d~"}, true, false, true, 1175552},
      {{"4-reg.d~", "4-msty.d~"}, true, true, false, 1179648},                        // none in place: written whole
      {{"4-msty.db", "4-people.db", "4-reg.db", "4-reg.d~"}, true, false, false, 1150976},  // complete
      {{"FORMAT.DB", "FORMAT.D~"}, false, true, false, 1175552},                     // no set
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.existing));
    std::map<const PayloadGroup*, PayloadEntrySet> written;
    long long space = 0;
    for (const PayloadGroup* group : kPayloadGroups) {
      written[group] = EntriesToWrite(*group, Named(*group, c.existing, false), Named(*group, c.existing, true));
      space += SpaceTaken(*group, written[group], 4096);
    }
    EXPECT_EQ(written[&FormatsGroup] == AllEntries(FormatsGroup), c.formats);
    EXPECT_EQ(written[&DatabaseGroup] == AllEntries(DatabaseGroup), c.databases);
    EXPECT_EQ(written[&DatabaseGroup] != 0 && !c.databases, c.completed);
    EXPECT_EQ(space, c.space);
  }
  // The program's own files are written over whatever is there; a file takes
  // whole clusters of any size.
  const std::set<std::string> everything = {"1.htm", "Rotaplan.exe", "Uninstall.txt"};
  EXPECT_EQ(EntriesToWrite(HelpGroup, Named(HelpGroup, everything, false), 0), AllEntries(HelpGroup));
  EXPECT_EQ(EntriesToWrite(ApplicationGroup, AllEntries(ApplicationGroup), 0), AllEntries(ApplicationGroup));
  EXPECT_EQ(SpaceTaken(ApplicationGroup, AllEntries(ApplicationGroup), 1), 565672);
  EXPECT_EQ(SpaceTaken(ApplicationGroup, AllEntries(ApplicationGroup), 65536), 655360);
}

TEST(Progress, IsTheShareOfTheBytesDealtWith) {
  const long long cases[][3] = {
      {0, 1077603, 0}, {10776, 1077603, 0}, {10777, 1077603, 1}, {538802, 1077603, 50},
      {1077602, 1077603, 99}, {1077603, 1077603, 100}, {0, 0, 100},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressPercent(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
}

}  // namespace
