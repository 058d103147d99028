// The measuring side of tools/bench: runs the installer and its peers (the
// installers someone would otherwise ship the same files with: NSIS, with and
// without compression, and an MSI) as processes of their own, drives them as a
// person would, and times them with the performance counter, which every
// process of the machine shares.
//
//   bench_driver --installer <exe> --payload-list <file> [--nsis <exe>] [--nsis-lzma <exe>]
//                [--msi <package>] [--bare <exe>] [--writer <exe>] [--variant <exe>]...
//                [--runs <n>] [--folder-root <folder>] [--out <file>]
//
// --variant adds another build of the installer to the rounds (to measure
// what a change buys); --payload-list is payload-files.txt of make-peers.cmake: "<size> <path below
// the installation folder>" for each of the 47 files.
//
// A dialog run (the installer, NSIS): process start -> first window visible ->
// folder dialog visible (a dialog of the process showing an edit box); a fresh
// folder put into the box, Install pressed -> the final message visible; its peak
// working set, read while the message is up. The MSI runs unattended (msiexec /qn,
// Wine's msiexec shows no dialog of the package's own): process start -> exit.
// After every run all files, with their sizes, and the four shortcuts are
// checked, so that no installer is timed doing less than the others; the MSI is
// then removed again (not timed), so that each run is a first installation.
//
// The rounds are interleaved (each round runs every program once, starting with
// another one each time), after one warm-up round that is not counted, so that a
// slow spell of the shared machine touches all alike. Before each run Wine's menu
// builder is switched off through the registry (HKCU\Software\Wine\DllOverrides),
// which every process reads when it starts; at the end the driver measures what
// saving a shell link costs with it off and on. Prints a Markdown report of
// medians with min and max and writes it to --out.
//
// The references, where given: a bare window (--bare: a class, a window, a
// message box, built as the installer is) and the plain writing of the same
// files (--writer). They explain figures; they are not peers.
//
// While it waits, the driver notes when each run reaches the steps that can be
// seen from outside (files and links on disk, windows shown). That watching
// reads file attributes and windows of a class only: it sends the watched
// process no message.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_names.h"
#include "shortcuts/shell_owners.h"
#include "support/dialog_catcher.h"
#include "support/gui_driver.h"
#include "support/shell_links.h"
#include "support/win_test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 60000;
constexpr char kProposedFolder[] = "c:\\pewline";
constexpr char kSuccessMark[] = "has been installed successfully";

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

// A process started by the driver; ended by force if it is still running when
// the object goes (a failed run must not leave a window behind for the next).
class Process {
 public:
  Process(const std::string& path, const std::string& arguments, HANDLE standardOutput = nullptr) {
    if (!child_.Start(path, arguments, standardOutput)) {
      Fail("cannot start " + path + ": error " + std::to_string(GetLastError()));
    }
  }

  DWORD Id() const { return child_.Id(); }
  bool Ended() const { return WaitForSingleObject(child_.Handle(), 0) == WAIT_OBJECT_0; }

  DWORD WaitForExit() {
    const std::optional<DWORD> code = child_.WaitForExit(kTimeoutMs);
    if (!code) Fail("a process did not end");
    return *code;
  }

  // The peak working set so far, in bytes; 0 when the system does not tell
  // (Wine, once the process has ended).
  SIZE_T PeakWorkingSet() const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(child_.Handle(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
  }

 private:
  pewtest::ChildProcess child_;
};

// Owns a handle that is closed when it goes.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Close(); }
  HANDLE* Out() { return &handle_; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// ---- What can be seen of a process from outside, without sending it anything.

// The polls below ask Wine's server as little as they can: it serves the
// measured process too, and a driver that lists every window of the desktop
// each millisecond slows most the program that makes the most windows. So
// windows are looked for by class, which the server filters.

// A visible top-level window of `className` that belongs to the process and
// satisfies `wanted`; null when there is none.
HWND VisibleWindowOf(DWORD processId, const char* className, const std::function<bool(HWND)>& wanted = {}) {
  for (HWND window = FindWindowExA(nullptr, nullptr, className, nullptr); window != nullptr;
       window = FindWindowExA(nullptr, window, className, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window) && (!wanted || wanted(window))) return window;
  }
  return nullptr;
}

// The visible edit box of `dialog`, or of a dialog inside it (NSIS puts it on a
// page, a dialog inside the dialog); null when there is none.
HWND VisibleEditIn(HWND dialog) {
  HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
  if (edit != nullptr && IsWindowVisible(edit)) return edit;
  for (HWND page = FindWindowExA(dialog, nullptr, "#32770", nullptr); page != nullptr;
       page = FindWindowExA(dialog, page, "#32770", nullptr)) {
    edit = FindWindowExA(page, nullptr, "Edit", nullptr);
    if (edit != nullptr && IsWindowVisible(edit)) return edit;
  }
  return nullptr;
}

HWND FolderDialogOf(DWORD processId) {
  return VisibleWindowOf(processId, "#32770", [](HWND window) { return VisibleEditIn(window) != nullptr; });
}

// A message box: a dialog other than the folder dialog, with the text control
// that MessageBox gives the id 0xFFFF.
HWND MessageBoxOf(DWORD processId, HWND folderDialog) {
  return VisibleWindowOf(processId, "#32770", [=](HWND window) {
    return window != folderDialog && GetDlgItem(window, 0xFFFF) != nullptr;
  });
}

std::function<bool()> FileThere(const std::string& path) {
  return [=] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
}

// Steps that a run reaches; each is noted the first time it is seen.
struct Milestone {
  std::string name;
  std::function<bool()> reached;
};

// Polls every millisecond (the figures are tens to hundreds of milliseconds)
// until the last milestone is reached. Returns the time each was first seen, in
// ms after `start`; a step never seen gets -1. `sample` runs at every poll.
std::vector<double> Watch(const std::vector<Milestone>& milestones, double start,
                          const std::function<void()>& sample = {}) {
  std::vector<double> seen(milestones.size(), -1.0);
  const double deadline = NowMs() + kTimeoutMs;
  for (;;) {
    if (sample) sample();
    for (std::size_t i = 0; i < milestones.size(); ++i) {
      if (seen[i] < 0 && milestones[i].reached()) seen[i] = NowMs() - start;
    }
    if (seen.back() >= 0) return seen;
    if (NowMs() > deadline) Fail("\"" + milestones.back().name + "\" was not reached");
    Sleep(1);
  }
}

// ---- The payload and the shortcuts, checked after every run.

struct PayloadFile {
  long long size;
  std::string path;  // below the installation folder
};

std::vector<PayloadFile> ReadPayloadList(const std::string& listFile) {
  FILE* file = std::fopen(listFile.c_str(), "rb");
  if (file == nullptr) Fail("cannot read " + listFile);
  std::vector<PayloadFile> files;
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) continue;
    files.push_back({std::atoll(text.substr(0, blank).c_str()), text.substr(blank + 1)});
  }
  std::fclose(file);
  if (files.empty()) Fail(listFile + " lists no file");
  return files;
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void CheckInstallation(const std::string& who, const std::string& folder, const std::vector<PayloadFile>& payload) {
  for (const PayloadFile& file : payload) {
    const long long size = FileSize(folder + "\\" + file.path);
    if (size != file.size) {
      Fail(who + " left " + folder + "\\" + file.path + " with " + std::to_string(size) + " bytes instead of " +
           std::to_string(file.size));
    }
  }
  // The MSI gives its links the folder with a backslash at the end as their
  // working folder: the same folder.
  const pewtest::UserShortcuts shortcuts;
  const std::vector<std::string> links = shortcuts.Links();
  const std::string application = folder + "\\Rotaplan.exe";
  const std::string targets[] = {application, application, folder + "\\Help\\index.htm", folder + "\\Uninstall.txt"};
  for (std::size_t i = 0; i < links.size(); ++i) {
    const std::optional<pewtest::LinkContents> link = pewtest::ReadLink(links[i]);
    if (!link) Fail(who + " made no readable " + links[i]);
    if (link->target != targets[i] || (link->workingFolder != folder && link->workingFolder != folder + "\\")) {
      Fail(who + ": " + links[i] + " -> \"" + link->target + "\" in \"" + link->workingFolder + "\"");
    }
  }
}

// ---- The programs measured.

enum class Kind { kDialog, kUnattendedMsi };

struct Program {
  std::string name;
  std::string path;  // the executable, or the package for the MSI
  Kind kind;
  const char* firstWindowClass = "#32770";  // the class of its first window
  bool variant = false;
};

// The steps of an installation that can be seen from outside, in the order the
// installer takes them (the MSI writes in an order of its own). The last one is
// the end: the final message, or the end of msiexec.
struct InstallSteps {
  std::vector<std::string> names;
  std::vector<std::function<bool()>> seen;
};

InstallSteps StepsOf(const std::string& folder, const std::vector<PayloadFile>& payload) {
  const pewtest::UserShortcuts shortcuts;
  if (shortcuts.Desktop().empty()) Fail("no desktop folder");
  const std::vector<std::string> links = shortcuts.Links();  // desktop first, Uninstall Information last
  std::string lastHelp;
  for (const PayloadFile& file : payload) {
    if (file.path.rfind("Help\\", 0) == 0) lastHelp = file.path;
  }
  return {{"Help folder made", "last help file on disk", "last file on disk", "desktop shortcut on disk",
           "last Start-menu shortcut on disk"},
          {FileThere(folder + "\\Help"), FileThere(folder + "\\" + lastHelp),
           FileThere(folder + "\\" + payload.back().path), FileThere(links.front()), FileThere(links.back())}};
}

struct Run {
  std::vector<double> toDialog;   // first window, folder dialog: ms after process start (dialog runs)
  std::vector<double> toEnd;      // StepsOf, then the end: ms after Install pressed (MSI: after start)
  SIZE_T peakBytes = 0;
  double DialogMs() const { return toDialog.empty() ? -1 : toDialog.back(); }
  double InstallMs() const { return toEnd.back(); }
};

const char* const kDialogSteps[] = {"first window shown", "folder dialog shown"};

Run RunDialogInstaller(const Program& program, const std::string& folder, const std::vector<PayloadFile>& payload) {
  pewtest::UserShortcuts().Remove();  // each run makes its shortcuts anew, as a first installation does
  Run run;
  const double start = NowMs();
  Process process(program.path, "");
  const DWORD id = process.Id();
  const std::string firstClass = program.firstWindowClass;
  run.toDialog = Watch({{kDialogSteps[0], [=] { return VisibleWindowOf(id, firstClass.c_str()) != nullptr; }},
                        {kDialogSteps[1], [=] { return FolderDialogOf(id) != nullptr; }}},
                       start);

  const HWND dialog = FolderDialogOf(id);
  const HWND edit = dialog != nullptr ? VisibleEditIn(dialog) : nullptr;
  HWND install = dialog != nullptr ? pewtest::FindButton(dialog, "Install") : nullptr;
  if (install == nullptr && dialog != nullptr) install = pewtest::FindButton(dialog, "&Install");
  if (edit == nullptr || install == nullptr) Fail(program.name + ": the dialog has no folder box or Install button");
  if (pewtest::ControlText(edit) != kProposedFolder) {
    Fail(program.name + " proposes \"" + pewtest::ControlText(edit) + "\", not " + kProposedFolder);
  }
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  if (pewtest::ControlText(edit) != folder) Fail(program.name + ": the folder box did not take " + folder);

  InstallSteps steps = StepsOf(folder, payload);
  std::vector<Milestone> milestones;
  for (std::size_t i = 0; i < steps.names.size(); ++i) milestones.push_back({steps.names[i], steps.seen[i]});
  milestones.push_back({"final message shown", [=] { return MessageBoxOf(id, dialog) != nullptr; }});
  const double pressed = NowMs();
  pewtest::Click(install);
  run.toEnd = Watch(milestones, pressed);

  const HWND box = MessageBoxOf(id, dialog);
  const std::string text = pewtest::MessageBoxStaticText(box);
  if (text.find(kSuccessMark) == std::string::npos) Fail(program.name + ": the installation failed: " + text);
  run.peakBytes = process.PeakWorkingSet();
  pewtest::PressDialogButton(box, IDOK);
  const DWORD code = process.WaitForExit();
  if (code != 0) Fail(program.name + " ended with exit code " + std::to_string(code));
  CheckInstallation(program.name, folder, payload);
  return run;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string MsiExec() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\msiexec.exe";
}

Run RunMsi(const Program& program, const std::string& folder, const std::vector<PayloadFile>& payload) {
  pewtest::UserShortcuts().Remove();
  InstallSteps steps = StepsOf(folder, payload);
  Run run;
  const double start = NowMs();
  Process process(MsiExec(), "/i " + Quoted(program.path) + " /qn INSTALLDIR=" + Quoted(folder));
  std::vector<Milestone> milestones;
  for (std::size_t i = 0; i < steps.names.size(); ++i) milestones.push_back({steps.names[i], steps.seen[i]});
  milestones.push_back({"msiexec ended", [&] { return process.Ended(); }});
  // Wine forgets a process's peak once it has ended: sampled while it runs.
  run.toEnd = Watch(milestones, start, [&] { run.peakBytes = std::max(run.peakBytes, process.PeakWorkingSet()); });
  const DWORD code = process.WaitForExit();
  if (code != 0) Fail(program.name + ": msiexec ended with " + std::to_string(code));
  CheckInstallation(program.name, folder, payload);

  // Removed again, so that the next run is a first installation too.
  Process remove(MsiExec(), "/x " + Quoted(program.path) + " /qn INSTALLDIR=" + Quoted(folder));
  if (remove.WaitForExit() != 0) Fail(program.name + ": msiexec /x failed");
  return run;
}

// ---- The references.

const char* const kBareSteps[] = {"window shown", "message box shown"};

std::vector<double> RunBare(const std::string& bare) {
  const double start = NowMs();
  Process process(bare, "");
  const std::vector<double> steps =
      Watch({{kBareSteps[0], [&] { return pewtest::WaitForWindow(kBareWindowClass, kBareWindowTitle, process.Id(), 0) != nullptr; }},
             {kBareSteps[1], [&] { return pewtest::WaitForWindow("#32770", kBareMessageCaption, process.Id(), 0) != nullptr; }}},
            start);
  pewtest::PressDialogButton(pewtest::WaitForWindow("#32770", kBareMessageCaption, process.Id(), 0), IDOK);
  if (process.WaitForExit() != 0) Fail("the bare window failed");
  return steps;
}

// The writer's own figure for writing the files, in milliseconds.
double RunWriter(const std::string& writer, const std::string& folder) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0)) Fail("no pipe");
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
  Process process(writer, Quoted(folder), writeEnd.Get());
  writeEnd.Close();  // the pipe ends when the writer's copy goes
  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  const DWORD code = process.WaitForExit();
  if (code != 0) Fail("the plain writer failed with exit code " + std::to_string(code));
  return std::atof(output.c_str()) / 1000.0;
}

// ---- Wine's menu builder.

// Off: an empty DLL override, which Wine reads at every process start and
// which makes it refuse to run winemenubuilder.exe. On: no override.
void SetMenuBuilder(bool on) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    Fail("cannot open HKCU\\Software\\Wine\\DllOverrides");
  }
  const LONG result = on ? RegDeleteValueA(key, "winemenubuilder.exe")
                         : RegSetValueExA(key, "winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS && !(on && result == ERROR_FILE_NOT_FOUND)) Fail("cannot set the menu builder's override");
}

// Milliseconds to save one shell link, as the installers do, over `count` links.
double LinkSaveMs(const std::string& folder, int count) {
  const HRESULT init = CoInitialize(nullptr);
  double total = 0;
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "\\link-" + std::to_string(i) + ".lnk";
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
    const double start = NowMs();
    {
      ComPointer<IShellLinkA> link;
      ComPointer<IPersistFile> file;
      if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  IID_PPV_ARGS_Helper(link.Out()))) ||
          FAILED(link->SetPath((folder + "\\Rotaplan.exe").c_str())) ||
          FAILED(link->QueryInterface(IID_IPersistFile, IID_PPV_ARGS_Helper(file.Out()))) || FAILED(file->Save(widePath, TRUE))) {
        Fail("cannot save " + path);
      }
    }
    total += NowMs() - start;
    DeleteFileA(path.c_str());
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return total / count;
}

// Milliseconds to write a file of a link's size with plain calls.
double PlainFileMs(const std::string& folder, int count) {
  const std::string bytes(600, 'x');
  double total = 0;
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "\\plain-" + std::to_string(i) + ".bin";
    const double start = NowMs();
    OwnedHandle file;
    *file.Out() = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file.Get() == INVALID_HANDLE_VALUE || !WriteFile(file.Get(), bytes.data(), 600, &written, nullptr)) {
      Fail("cannot write " + path);
    }
    file.Close();
    total += NowMs() - start;
    DeleteFileA(path.c_str());
  }
  return total / count;
}

// ---- Figures.

template <typename T>
double Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? static_cast<double>(values[n / 2])
                    : (static_cast<double>(values[n / 2 - 1]) + static_cast<double>(values[n / 2])) / 2.0;
}

std::string Grouped(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
  return value < 0 ? "-" + digits : digits;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// "median (min-max)"; "-" when there is nothing.
std::string Spread(std::vector<double> values, int decimals = 1) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }), values.end());
  if (values.empty()) return "-";
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  return "**" + Fixed(Median(values), decimals) + "** (" + Fixed(*low, decimals) + "–" + Fixed(*high, decimals) + ")";
}

std::string List(const std::vector<double>& values, int decimals) {
  std::string text;
  for (double value : values) text += (text.empty() ? "" : ", ") + Fixed(value, decimals);
  return text;
}

struct Options {
  std::string installer, nsis, nsisLzma, msi, bare, writer, payloadList, out;
  std::string i386Way = "native";  // how the host runs 32-bit code: "native" or "emulated by ..."
  std::vector<std::string> variants;  // other builds of the installer, measured beside it
  std::string folderRoot = "c:\\pewbench";
  int runs = 7;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--installer") options.installer = value;
    else if (name == "--nsis") options.nsis = value;
    else if (name == "--nsis-lzma") options.nsisLzma = value;
    else if (name == "--msi") options.msi = value;
    else if (name == "--variant") options.variants.push_back(value);
    else if (name == "--bare") options.bare = value;
    else if (name == "--writer") options.writer = value;
    else if (name == "--payload-list") options.payloadList = value;
    else if (name == "--out") options.out = value;
    else if (name == "--i386") options.i386Way = value;
    else if (name == "--folder-root") options.folderRoot = value;
    else if (name == "--runs") options.runs = std::atoi(value.c_str());
    else Fail("unknown option " + name);
  }
  if (options.installer.empty() || options.payloadList.empty() || options.runs < 1) {
    Fail("usage: bench_driver --installer <exe> --payload-list <file> [--nsis <exe>] [--nsis-lzma <exe>] "
         "[--msi <package>] [--bare <exe>] [--writer <exe>] [--runs <n>] [--folder-root <folder>] [--out <file>] "
         "[--i386 <how 32-bit code runs>]");
  }
  return options;
}

// A folder of `root` that does not exist yet.
std::string FreshFolder(const std::string& root, const std::string& stem) {
  for (int i = 1;; ++i) {
    const std::string folder = root + "\\" + stem + "-" + std::to_string(i);
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return folder;
  }
}

struct Measured {
  Program program;
  std::vector<Run> runs;
  std::vector<double> Dialog() const {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.DialogMs());
    return values;
  }
  std::vector<double> Step(bool dialog, std::size_t step) const {
    std::vector<double> values;
    for (const Run& run : runs) {
      const std::vector<double>& steps = dialog ? run.toDialog : run.toEnd;
      values.push_back(step < steps.size() ? steps[step] : -1.0);
    }
    return values;
  }
  std::vector<double> Install() const {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.InstallMs());
    return values;
  }
  std::vector<double> Whole() const {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.InstallMs() + std::max(0.0, run.DialogMs()));
    return values;
  }
  std::vector<double> PeakKiB() const {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(static_cast<double>(run.peakBytes) / 1024.0);
    return values;
  }
};

int Bench(const Options& options) {
  const std::vector<PayloadFile> payload = ReadPayloadList(options.payloadList);
  long long payloadBytes = 0;
  for (const PayloadFile& file : payload) payloadBytes += file.size;
  CreateDirectoryA(options.folderRoot.c_str(), nullptr);  // may exist already

  std::vector<Measured> measured;
  constexpr char kMainFrameClass[] = "WFL_Installer_MainWindow";
  measured.push_back({{"this installer", options.installer, Kind::kDialog, kMainFrameClass}, {}});
  if (!options.nsis.empty()) measured.push_back({{"NSIS, uncompressed", options.nsis, Kind::kDialog}, {}});
  if (!options.nsisLzma.empty()) measured.push_back({{"NSIS, LZMA", options.nsisLzma, Kind::kDialog}, {}});
  if (!options.msi.empty()) measured.push_back({{"MSI, msiexec /qn", options.msi, Kind::kUnattendedMsi}, {}});
  // Variants are not peers: they take part in the rounds, and the comparison
  // with the fastest peer leaves them out.
  for (const std::string& variant : options.variants) {
    measured.push_back({{"variant " + variant.substr(variant.find_last_of("\\/") + 1), variant, Kind::kDialog, kMainFrameClass, true}, {}});
  }
  std::vector<std::vector<double>> bareSteps;
  std::vector<double> writing;

  const int programs = static_cast<int>(measured.size());
  for (int round = 0; round <= options.runs; ++round) {
    // Round 0 is the warm-up. Each round starts with another program.
    std::string line = round == 0 ? "bench: warm-up:" : "bench: round " + std::to_string(round) + ":";
    for (int k = 0; k < programs; ++k) {
      Measured& m = measured[static_cast<std::size_t>((round + k) % programs)];
      SetMenuBuilder(false);
      const std::string folder = FreshFolder(options.folderRoot, "run");
      const Run run = m.program.kind == Kind::kDialog ? RunDialogInstaller(m.program, folder, payload)
                                                      : RunMsi(m.program, folder, payload);
      line += " " + m.program.name + " " + Fixed(run.DialogMs(), 0) + "/" + Fixed(run.InstallMs(), 0) + " ms;";
      if (round > 0) m.runs.push_back(run);
    }
    if (!options.bare.empty()) {
      const std::vector<double> steps = RunBare(options.bare);
      if (round > 0) bareSteps.push_back(steps);
    }
    if (!options.writer.empty()) {
      const double ms = RunWriter(options.writer, FreshFolder(options.folderRoot, "writer"));
      if (round > 0) writing.push_back(ms);
    }
    std::fprintf(stderr, "%s\n", line.c_str());
  }

  // What one shell link costs to save under Wine, with the menu builder off and on.
  const std::string linkFolder = FreshFolder(options.folderRoot, "links");
  CreateDirectoryA(linkFolder.c_str(), nullptr);
  constexpr int kLinks = 12;
  SetMenuBuilder(false);
  LinkSaveMs(linkFolder, 2);  // warm-up
  const double linkOff = LinkSaveMs(linkFolder, kLinks);
  const double plainFile = PlainFileMs(linkFolder, kLinks);
  SetMenuBuilder(true);
  const double linkOn = LinkSaveMs(linkFolder, kLinks);
  SetMenuBuilder(false);

  // ---- The report.
  std::string head = "| figure |", rule = "|---|";
  for (const Measured& m : measured) {
    head += " " + m.program.name + " |";
    rule += "---:|";
  }
  auto row = [&](const std::string& name, const std::function<std::string(const Measured&)>& cell) {
    std::string text = "| " + name + " |";
    for (const Measured& m : measured) text += " " + cell(m) + " |";
    return text + "\n";
  };
  auto dialogOnly = [](const Measured& m, const std::string& text) {
    return m.program.kind == Kind::kDialog ? text : std::string("–");
  };

  std::string report = head + "\n" + rule + "\n";
  // Emulated 32-bit code slows every program by a varying factor: said in the
  // table itself, so that no figure of it is taken for a native one.
  if (options.i386Way != "native") {
    report += row("32-bit code " + options.i386Way + ": NOT comparable with native figures",
                  [&](const Measured&) { return std::string("emulated"); });
  }
  report += row("file size, bytes", [&](const Measured& m) {
    long long size = FileSize(m.program.path);
    return Grouped(size);
  });
  report += row("beyond the payload (" + std::to_string(payload.size()) + " files, " + Grouped(payloadBytes) +
                    " bytes), bytes",
                [&](const Measured& m) { return Grouped(FileSize(m.program.path) - payloadBytes); });
  report += row("process start → first window, ms",
                [&](const Measured& m) { return dialogOnly(m, Spread(m.Step(true, 0))); });
  report += row("process start → folder dialog, ms",
                [&](const Measured& m) { return dialogOnly(m, Spread(m.Dialog())); });
  report += row("Install pressed → final message, ms (MSI: the whole unattended run)",
                [&](const Measured& m) { return Spread(m.Install()); });
  report += row("both together, ms", [&](const Measured& m) { return Spread(m.Whole()); });
  report += row("peak working set, KiB", [&](const Measured& m) { return Spread(m.PeakKiB(), 0); });
  report += "\nMedians in bold, with the least and the most in brackets, of " + std::to_string(options.runs) +
            " interleaved rounds after one warm-up round.\n";

  // The installer's time to its dialog against the fastest peer's, round by round.
  std::vector<double> ratios;
  std::string fastestName;
  double fastestMedian = 0;
  for (std::size_t r = 0; r < measured.front().runs.size(); ++r) {
    double fastest = 0;
    for (std::size_t p = 1; p < measured.size(); ++p) {
      if (measured[p].program.kind != Kind::kDialog || measured[p].program.variant) continue;
      const double ms = measured[p].runs[r].DialogMs();
      if (fastest == 0 || ms < fastest) fastest = ms;
    }
    if (fastest > 0) ratios.push_back(measured.front().runs[r].DialogMs() / fastest);
  }
  for (std::size_t p = 1; p < measured.size(); ++p) {
    if (measured[p].program.kind != Kind::kDialog || measured[p].program.variant) continue;
    const double median = Median(measured[p].Dialog());
    if (fastestName.empty() || median < fastestMedian) {
      fastestName = measured[p].program.name;
      fastestMedian = median;
    }
  }
  if (!ratios.empty()) {
    report += "\nTime to the folder dialog, this installer against the fastest peer in the same round: " +
              Spread(ratios, 2) + "; against the median of the fastest peer (" + fastestName + "): " +
              Fixed(Median(measured.front().Dialog()) / fastestMedian, 2) + ".\n";
  }

  report += "\nThe steps seen from outside (median ms after Install pressed; MSI: after process start):\n\n" + head +
            "\n" + rule + "\n";
  const std::vector<std::string> stepNames = StepsOf("c:", payload).names;
  for (std::size_t s = 0; s < stepNames.size(); ++s) {
    report += row(stepNames[s], [&](const Measured& m) {
      std::vector<double> at = m.Step(false, s);
      at.erase(std::remove_if(at.begin(), at.end(), [](double v) { return v < 0; }), at.end());
      return at.empty() ? std::string("–") : Fixed(Median(at), 1);
    });
  }
  report += row("final message shown (MSI: msiexec ended)",
                [&](const Measured& m) { return Fixed(Median(m.Install()), 1); });

  report += "\nShell links under Wine (" + std::to_string(kLinks) + " saved by the driver through IShellLinkA and "
            "IPersistFile): " + Fixed(linkOff, 1) + " ms each with the menu builder off, " + Fixed(linkOn, 1) +
            " ms with it on; a plain file of 600 bytes: " + Fixed(plainFile, 1) + " ms.\n";

  if (!bareSteps.empty() || !writing.empty()) {
    report += "\nReferences (not peers):\n\n";
    if (!bareSteps.empty()) {
      std::vector<double> window, box;
      for (const std::vector<double>& steps : bareSteps) {
        window.push_back(steps[0]);
        box.push_back(steps[1] - steps[0]);
      }
      report += "- a bare window built as the installer is: process start → window " + Spread(window) +
                " ms; its first message box then takes " + Spread(box) + " ms\n";
    }
    if (!writing.empty()) {
      report += "- the " + std::to_string(payload.size()) + " files written with plain CreateFileA/WriteFile: " +
                Spread(writing) + " ms\n";
    }
  }

  report += "\nSingle runs (folder dialog / installation, ms):\n\n";
  for (const Measured& m : measured) {
    report += "- " + m.program.name + ": " + (m.program.kind == Kind::kDialog ? List(m.Dialog(), 1) + " / " : "") +
              List(m.Install(), 1) + "\n";
  }

  std::fputs(report.c_str(), stdout);
  if (!options.out.empty()) {
    FILE* file = std::fopen(options.out.c_str(), "wb");
    if (file == nullptr) Fail("cannot write " + options.out);
    std::fputs(report.c_str(), file);
    std::fclose(file);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Bench(ParseOptions(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench: %s\n", error.what());
    return 1;
  }
}
