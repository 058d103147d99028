// The installation sequence: the whole run, from closing the other
// application's windows to the success message, inside the dispatch of the
// start message.
#include "install/install.h"

#include "common/file_attributes.h"
#include "install/ansi_path.h"
#include "install/folder_dialog.h"
#include "install/folders.h"
#include "install/install_state.h"
#include "messages/messages.h"
#include "payload/payload.h"
#include "shell/shell.h"
#include "shortcuts/shortcuts.h"

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kDefaultFolder = "c:\\pewline";

// The windows of Wayfarer Ledger, closed in this order.
struct OtherWindow {
  const char* className;
  const char* title;
};
constexpr OtherWindow kOtherApplicationWindows[] = {
    {"WFLremind", "WFLremind"},
    {"WFL_MainWindow", "Wayfarer Ledger"},
    {"TitleBarWindow", "Wayfarer Ledger"},
};

// How long a window may take over WM_CLOSE once its thread stops answering
// (where the system cannot tell, in all): long enough for an application to
// close normally, short enough that a hung one does not stall the installation.
constexpr UINT kCloseTimeoutMs = 10000;

constexpr char kShortcutName[] = "Pewsterline Ver. 2.1.lnk";

// 242 characters, lines joined by a single CR.
constexpr std::string_view kSuccessMessage =
    "Pewsterline Version 2.1 has been installed successfully.\r"
    "\r"
    "You can open the program from the Start Menu or by double clicking the "
    "Pewsterline Ver. 2.1 icon on the Desktop.\r"
    "\r"
    "Once the program is open, click the Help button to view the Help File.";
static_assert(kSuccessMessage.size() == 242);

// Two installers at once would race each other for the same levels and files
// (and the set's clean-up of one would remove the other's temporary files).
// Global, so that it holds across the sessions of one machine as well.
constexpr char kInstallationMutexName[] = "Global\\Pewsterline.Installation";

constexpr std::string_view kAnotherInstallationMessage =
    "Another installation of Pewsterline is already running.\r"
    "\r"
    "Please let it finish, then start this installation again if it is still needed.";

// The failure messages; lines joined by a single CR, as every message's.
using MessageText = CText<1024>;

// How the folder-error and the save-error message end.
constexpr std::string_view kTryAgain = "\r\rPlease correct the problem if possible, then try the installation again.";

// A message put together from its pieces, in their order.
MessageText Composed(std::initializer_list<std::string_view> pieces) {
  MessageText text;
  for (const std::string_view piece : pieces) text.Append(piece);
  return text;
}

MessageText FolderErrorMessage(std::string_view level) {
  return Composed({"Error creating folder: \r"sv, level,
                   "\r\rYou might not have permission to to access this location."sv, kTryAgain});
}

MessageText SaveErrorMessage(std::string_view fileName) {
  return Composed({"An error occurred while saving this file:\r"sv, fileName,
                   "\rPossible reasons include:\r"
                   "1) The file may be read-only\r"
                   "2) The file may be in use by another program\r"
                   "3) You may not have permission to write to this folder\r"
                   "4) The disk may be full"sv,
                   kTryAgain});
}

MessageText DamagedInstallerMessage(std::string_view fileName) {
  return Composed({"This installer is damaged: the file "sv, fileName,
                   " that it carries is not intact.\r\r"
                   "An incomplete download or a damaged disk or USB stick can cause this. "
                   "Please obtain a new copy of the installer."sv});
}

// A file in use by another program, named with its folder so that the user
// can tell which program holds it. For the application that is most likely
// Pewsterline itself, but a backup tool or a virus scan may hold it as well.
MessageText FileInUseMessage(std::string_view folder, std::string_view fileName) {
  const bool application =
      fileName.size() + 1 == kApplicationTarget.size() && kApplicationTarget.ends_with(fileName);
  return Composed({application ? "Pewsterline may still be running: its program file is in use:\r"sv
                               : "This file is in use by another program:\r"sv,
                   folder, "\\"sv, fileName, "\r\r"sv,
                   application ? "Please close Pewsterline first, then click Retry."sv
                               : "Please close that program, then click Retry."sv,
                   "\rCancel ends the installation without changing any file."sv});
}

bool IsInUse(std::int32_t checkStatus) {
  return checkStatus == ERROR_SHARING_VIOLATION || checkStatus == ERROR_LOCK_VIOLATION;
}

// A checked failure: one message, no owner, and the run ends as failed. The
// code is set first, so that closing the frame or ending the session while
// the message is up still reports the failure.
[[noreturn]] void ReportFailure(const MessageText& text) {
  SetRunPhase(RunPhase::kFailed);
  ShowUserMessage(nullptr, " "sv, text.View(), "X"sv, "O"sv, 1);
  EndRun();
}

// A damaged copy of the installer would install its damaged files and report
// success: every embedded file is checked against the digest that the build
// recorded, before any window of the other application is closed.
void ConfirmInstallerIsIntact() {
  FixedText<256> damaged;
  for (const PayloadGroup* group : kPayloadGroups) {
    if (!PayloadGroupIsIntact(*group, damaged)) ReportFailure(DamagedInstallerMessage(damaged.Trimmed()));
  }
}

void CloseOtherApplicationWindows() {
  for (const OtherWindow& other : kOtherApplicationWindows) {
    HWND window = FindWindowA(other.className, other.title);
    if (window == nullptr) continue;
    // A window whose thread has stopped answering is given up at once instead
    // of hanging the installer; one that answers is waited for while it closes
    // (and, on Windows, for as long as it keeps answering, such as a prompt to
    // save). What it answers is of no interest.
    DWORD_PTR answer = 0;
    (void)SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG,
                              kCloseTimeoutMs, &answer);
  }
}

// The folder, a backslash when it has none at its end, then "Help\": every
// backslash of the result ends a folder level. A letter whose second byte is
// the backslash's (c:\表) ends in no backslash.
void AppendHelpFolder() {
  CText<FixedText<256>::kWidth + 6> folder(g_installationFolder.Trimmed());
  if (!EndsInBackslash(folder.View())) folder.Append("\\"sv);
  folder.Append(kHelpFolderName).Append("\\"sv);
  g_installationFolder.Assign(folder.View());
}

bool FolderLevelExists(std::size_t length) {
  DirectoryEntryInfo entry;
  int found = 0;
  CountDirectoryEntries(g_installationFolder.data(), static_cast<int>(length), &entry, 1, found, 0, 0,
                        0, 0, 0, 1, 0);
  return found >= 1;
}

// Finds or makes every level of the installation folder, shortest first.
void MakeFolderTree() {
  const std::string_view folder = g_installationFolder.Trimmed();
  const std::size_t last = FindLastBackslash(folder);  // the folder ends in one
  if (FolderLevelExists(last)) return;

  for (std::size_t start = FirstFolderLevelStart(folder); start < folder.size();) {
    const std::size_t end = FindBackslash(folder, start);
    if (end == std::string_view::npos) return;
    start = end + 1;
    if (FolderLevelExists(end)) continue;
    if (MakeFolder(g_installationFolder.data(), static_cast<int>(end)) == 1) continue;
    // A level that is a folder after all is no failure: the search does not
    // count folders whose names start with a dot (d:\.apps), and another
    // program may have made the level since the search.
    if (FolderExists(CText<FixedText<256>::kWidth>(Head(folder, end)).c_str())) continue;
    ReportFailure(FolderErrorMessage(Head(folder, end)));
  }
}

// Blanks the last backslash of `folder` and everything after it.
void CutAtLastBackslash(FixedText<256>& folder) {
  const std::string_view text = folder.Trimmed();
  const std::size_t last = FindLastBackslash(text);
  if (last != std::string_view::npos) folder.Assign(Head(text, last));
}

// The two folders that the groups go into: the installation folder and its
// Help folder, each without a trailing backslash.
struct Destinations {
  FixedText<256> folder;
  FixedText<256> helpFolder;
  const FixedText<256>& Of(const PayloadGroup& group) const {
    return group.destination == PayloadDestination::kHelpFolder ? helpFolder : folder;
  }
};

// A file in use is named in a box: whether the user chose Retry. Nothing is
// changed while it is up, so that Cancel ends the run as cancelled.
bool AskToCloseTheFile(const FixedText<256>& folder, const FixedText<256>& fileName) {
  SetRunPhase(RunPhase::kChoosing);
  const MessageText text = FileInUseMessage(folder.Trimmed(), fileName.Trimmed());
  return ShowUserMessage(g_backdrop, " "sv, text.View(), "!"sv, "RC"sv, 1) == 1;
}

// Before the first file is written, every file that the run would replace
// must be free, so that an upgrade is not begun while a program still holds
// one: the commonest upgrade is one over a Pewsterline that is still open.
// A file in use is named, and every file is checked again on Retry; one that
// cannot be replaced for another reason ends the run as failed.
void ConfirmFilesCanBeReplaced(const Destinations& destinations) {
  for (;;) {
    FixedText<256> failedFileName;
    std::int32_t checkStatus = 0;
    const FixedText<256>* failedFolder = nullptr;
    for (const PayloadGroup* group : kPayloadGroups) {
      CheckPayloadGroupReplaceable(*group, destinations.Of(*group), failedFileName, checkStatus);
      if (checkStatus == 0) continue;
      failedFolder = &destinations.Of(*group);
      break;
    }
    if (failedFolder == nullptr) return;
    if (!IsInUse(checkStatus)) ReportFailure(SaveErrorMessage(failedFileName.Trimmed()));
    if (!AskToCloseTheFile(*failedFolder, failedFileName)) EndRun();
  }
}

// What the progress bar shows: the share of the payload's bytes staged.
class Progress {
 public:
  Progress() {
    for (const PayloadGroup* group : kPayloadGroups) total_ += group->ByteCount();
  }

  void GroupDone(const PayloadGroup& group) {
    done_ += group.ByteCount();
    Show();
  }
  void Show() const { ShowProgress(ProgressPercent(done_, total_)); }

 private:
  long long total_ = 0;
  long long done_ = 0;
};

// The run's writing, so that an upgrade completes or changes nothing: every
// file of every group staged beside its target first, then each moved into
// place in the catalogue's order, the replaced files kept until all are in
// place; a failure puts back everything in reverse order. What each group
// writes is decided once, before anything of an earlier run is cleared up:
// the temporary files of an unfinished database set tell that it is one.
class PayloadWriting {
 public:
  explicit PayloadWriting(const Destinations& destinations) : destinations_(destinations) {
    std::int32_t k = 0;
    for (const PayloadGroup* group : kPayloadGroups) {
      entries_[k++] = EntriesToWriteInto(*group, destinations.folder.Trimmed());
    }
    ClearUp();
  }

  // What an earlier run left (ended in the middle of its writing), or what
  // this one could not remove while a program still held it.
  void ClearUp() const {
    for (const PayloadGroup* group : kPayloadGroups) RecoverPayloadGroup(*group, destinations_.Of(*group));
  }

  // 0 with every file in place, or the failure's Win32 error, the file that
  // failed and its folder; then every group is as it was.
  std::int32_t Write(FixedText<256>& failedFileName, const FixedText<256>*& failedFolder) {
    Progress progress;
    progress.Show();
    PayloadEntrySet committed[kMaxPayloadGroups] = {};
    std::int32_t status = 0;
    std::int32_t k = 0;
    for (const PayloadGroup* group : kPayloadGroups) {
      failedFolder = &destinations_.Of(*group);
      status = StagePayloadGroup(*group, *failedFolder, entries_[k++], failedFileName);
      if (status != 0) break;
      progress.GroupDone(*group);
      // A log-off asked for while the group was written learns now that it is to wait.
      AnswerSentMessages();
    }
    k = 0;
    for (const PayloadGroup* group : kPayloadGroups) {
      if (status != 0) break;
      failedFolder = &destinations_.Of(*group);
      status = CommitPayloadGroup(*group, *failedFolder, entries_[k], failedFileName, committed[k]);
      ++k;
    }
    if (status != 0) {
      for (k = kPayloadGroups.count - 1; k >= 0; --k) {
        const PayloadGroup& group = *kPayloadGroups.list[k];
        RollBackPayloadGroup(group, destinations_.Of(group), entries_[k], committed[k]);
      }
    }
    return status;
  }

  // Once everything is in place, the replaced files go.
  void Finish() const {
    std::int32_t k = 0;
    for (const PayloadGroup* group : kPayloadGroups) FinishPayloadGroup(*group, destinations_.Of(*group), entries_[k++]);
  }

 private:
  const Destinations& destinations_;
  PayloadEntrySet entries_[kMaxPayloadGroups] = {};
};

// Writes the payload, or ends the run: a file that another program took
// since the check (or that it could not see) is named as in the check, once
// everything is put back; any other failure as a save error.
void WritePayload(const Destinations& destinations) {
  PayloadWriting writing(destinations);
  for (;;) {
    ConfirmFilesCanBeReplaced(destinations);
    // From the first file staged until the outcome, a run that ends (the
    // session ended while it writes) leaves an unfinished installation: it failed.
    SetRunPhase(RunPhase::kWriting);
    FixedText<256> failedFileName;
    const FixedText<256>* failedFolder = nullptr;
    const std::int32_t status = writing.Write(failedFileName, failedFolder);
    if (status == 0) break;
    if (!IsInUse(status)) ReportFailure(SaveErrorMessage(failedFileName.Trimmed()));
    if (!AskToCloseTheFile(*failedFolder, failedFileName)) {
      writing.ClearUp();  // the program that held the files has let them go by now
      EndRun();
    }
  }
  writing.Finish();
}

using ApplicationPath = CText<FixedText<256>::kWidth>;

ApplicationPath ApplicationInFolder() {
  ApplicationPath target(g_installationFolder.Trimmed());
  target.Append(kApplicationTarget);
  return target;
}

ProgramShortcuts PlaceShortcuts() {
  // The dialog refuses choices that would not fit.
  const ApplicationPath target = ApplicationInFolder();
  const CText<FixedText<256>::kWidth> workingFolder(g_installationFolder.Trimmed());
  if (!target.Fits()) return {};
  return CreateProgramShortcuts(target.c_str(), kShortcutName, workingFolder.c_str());
}

// The program is installed, but a shortcut that the success message promises
// is missing, or an earlier one that starts an earlier installation stays:
// the message names them by their places and says where the program is.
MessageText ShortcutsMissingMessage(const ProgramShortcuts& shortcuts) {
  // The success message's first line, without its full stop.
  MessageText text(Head(kSuccessMessage, kSuccessMessage.find('.', 24)));
  text.Append(", but these shortcuts could not be made:"sv);
  for (const ShortcutPlace& place : kShortcutPlaces) {
    const ShortcutOutcome outcome = shortcuts.*place.shortcut;
    if (outcome == ShortcutOutcome::kMade) continue;
    text.Append("\r- "sv).Append(place.name);
    if (outcome == ShortcutOutcome::kNotUpdated) {
      text.Append(" (an earlier one is still there and was not updated)"sv);
    }
  }
  text.Append("\r\rYou can open the program from its folder:\r"sv).Append(ApplicationInFolder().View());
  return text;
}

}  // namespace

int ProgressPercent(long long doneBytes, long long totalBytes) {
  // In 32 bits, which need no division routine of the compiler's: a payload
  // beyond 16 MiB is counted in coarser units, which the bar cannot tell. The
  // product is taken first: the division alone would be 0 until the end.
  while (totalBytes > 0xFFFFFF) {
    totalBytes >>= 1;
    doneBytes >>= 1;
  }
  return totalBytes > 0 ? static_cast<int>(static_cast<std::uint32_t>(doneBytes) * 100 /
                                           static_cast<std::uint32_t>(totalBytes))
                        : 100;
}

PayloadEntrySet EntriesToWrite(const PayloadGroup& group, PayloadEntrySet present, PayloadEntrySet staged) {
  const PayloadEntrySet all = AllEntries(group);
  if (group.policy == PayloadPolicy::kReplace || present == 0) return all;
  const bool unfinished = group.policy == PayloadPolicy::kKeepExistingSet && staged != 0;
  return unfinished ? all & ~present : 0;
}

unsigned long long SpaceTaken(const PayloadGroup& group, PayloadEntrySet entries, std::uint32_t clusterBytes) {
  unsigned long long taken = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    // In 32 bits: an entry's size is below 2^31, a cluster at most a few MiB.
    const std::uint32_t clusters = (static_cast<std::uint32_t>(group.Size(i)) + clusterBytes - 1) / clusterBytes;
    if (Holds(entries, i)) taken += static_cast<unsigned long long>(clusters) * clusterBytes;
  }
  return taken;
}

PayloadEntrySet EntriesToWriteInto(const PayloadGroup& group, std::string_view folder) {
  CText<FixedText<256>::kWidth + 16> where(folder);
  if (group.destination == PayloadDestination::kHelpFolder) where.Append("\\"sv).Append(kHelpFolderName);
  return EntriesToWrite(group, FindPayloadFiles(group, where.View(), false), FindPayloadFiles(group, where.View(), true));
}

std::size_t FirstFolderLevelStart(std::string_view folder, UINT codePage) {
  // "\\server\share\": the server and the share are never folders of their own,
  // like the drive part "c:\", so the first level made is the first folder
  // below the share.
  if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\') {
    const std::size_t serverEnd = FindBackslash(folder, 2, codePage);
    if (serverEnd == std::string_view::npos) return folder.size();
    const std::size_t shareEnd = FindBackslash(folder, serverEnd + 1, codePage);
    return shareEnd == std::string_view::npos ? folder.size() : shareEnd + 1;
  }
  // The first three characters ("c:\") are the drive part.
  return 3;
}

void ClaimInstallationOrEnd() {
  // Held for the life of the process, whose end releases it: the process is
  // its owner, like the brushes kept until exit.
  // Another user's installer may hold it where this one may not open it.
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, kInstallationMutexName);
  const DWORD error = GetLastError();
  if (mutex == nullptr ? error != ERROR_ACCESS_DENIED : error != ERROR_ALREADY_EXISTS) return;
  // Not this installer's to keep: held while the message is up, it would turn
  // away an installer started once the running one has ended.
  if (mutex != nullptr) CloseHandle(mutex);
  SetRunPhase(RunPhase::kRefused);
  // No frame here to see the session's end: its hook sees it reach the box.
  EndWithTheSession();
  ShowUserMessage(nullptr, " "sv, kAnotherInstallationMessage, "!"sv, "O"sv, 1);
  EndRun();  // no window is made yet: it ends the process at once
}

void InstallSequence() {
  PumpMessages();
  ConfirmInstallerIsIntact();
  CloseOtherApplicationWindows();
  PumpMessages();

  g_installationFolder.Assign(kDefaultFolder);
  ChooseInstallFolder();  // returns only when the user chose Install
  PumpMessages();

  AppendHelpFolder();
  MakeFolderTree();

  // The text now ends in "Help\": without that backslash it names the Help
  // folder, and without its last level the chosen folder.
  Destinations destinations;
  g_installationFolder.At(g_installationFolder.TrimmedLength()) = ' ';
  destinations.helpFolder = g_installationFolder;
  CutAtLastBackslash(g_installationFolder);
  destinations.folder = g_installationFolder;
  // While a retry waits for a file that a scanner holds, Windows still learns at once that it is to wait.
  SetPayloadPause(WaitAnsweringSentMessages);
  WritePayload(destinations);

  const ProgramShortcuts shortcuts = PlaceShortcuts();
  // Everything is installed: from here on, however the run ends (the frame
  // closed at the next pump or while the message is up), it reports success.
  // A missing shortcut does not change that: the program is there to start.
  SetRunPhase(RunPhase::kInstalled);
  PumpMessages();
  ShowProgress(100);
  if (shortcuts.AllMade()) {
    ShowUserMessage(g_backdrop, " "sv, kSuccessMessage, "i"sv, "O"sv, 1);
  } else {
    ShowUserMessage(g_backdrop, " "sv, ShortcutsMissingMessage(shortcuts).View(), "!"sv, "O"sv, 1);
  }
  PumpMessages();
  EndRun();
}
