// The measuring side of tools/bench: starts the installer and the two baselines
// as processes of their own, drives them as a person would, and times them with
// the performance counter, which every process of the machine shares.
//
//   bench_driver --installer <exe> --bare <exe> --writer <exe> --payload-bytes <n>
//                [--payload-files <n>] [--runs <n>] [--folder-root <folder>] [--out <file>]
//
// Per run:
//  - installer: process start -> install-folder dialog visible; a fresh folder
//    typed in, Install pressed -> success message visible; its peak working set;
//  - bare baseline: process start -> its window visible; its peak working set;
//  - plain writer: the time it reports for writing the same files.
// One warm-up run of each comes first and is not counted. Prints a Markdown
// table of the medians (and the single runs) and writes it to --out.
//
// While it waits, the driver also notes when the installer reaches the steps in
// between that can be seen from outside (its main frame shown, the last file of
// each payload group and each shortcut on disk), to show where the time goes.
// That watching reads file attributes and window lists only.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_names.h"
#include "support/dialog_catcher.h"
#include "support/gui_driver.h"
#include "support/shell_links.h"
#include "support/win_test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 60000;
constexpr int kFolderEditId = 1000;  // the installer's folder box
constexpr char kInstallerCaption[] = "Pewsterline Installer";
constexpr char kMessageCaption[] = "Pewsterline";
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

  DWORD WaitForExit() {
    const std::optional<DWORD> code = child_.WaitForExit(kTimeoutMs);
    if (!code) Fail("a process did not end");
    return *code;
  }

  // The peak working set so far, in bytes; 0 when the system does not tell.
  SIZE_T PeakWorkingSet() const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(child_.Handle(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
  }

 private:
  pewtest::ChildProcess child_;
};

// A visible window of the process, by class and title; null when there is none yet.
HWND ShownWindow(const char* className, const char* title, const Process& process) {
  return pewtest::WaitForWindow(className, title, process.Id(), 0);
}

std::function<bool()> WindowShown(const char* className, const char* title, const Process& process) {
  const DWORD processId = process.Id();
  return [=] { return pewtest::WaitForWindow(className, title, processId, 0) != nullptr; };
}

std::function<bool()> FileThere(const std::string& path) {
  return [=] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
}

// Steps that a run reaches in order; each is noted the first time it is seen.
struct Milestone {
  std::string name;
  std::function<bool()> reached;
};

// Polls every millisecond (the figures are tens to hundreds of milliseconds)
// until the last milestone is reached. Returns the time each was first seen,
// in ms after `start`; a step never seen gets -1.
std::vector<double> Watch(const std::vector<Milestone>& milestones, double start) {
  std::vector<double> seen(milestones.size(), -1.0);
  const double deadline = NowMs() + kTimeoutMs;
  for (;;) {
    for (std::size_t i = 0; i < milestones.size(); ++i) {
      if (seen[i] < 0 && milestones[i].reached()) seen[i] = NowMs() - start;
    }
    if (seen.back() >= 0) return seen;
    if (NowMs() > deadline) Fail("\"" + milestones.back().name + "\" was not reached");
    Sleep(1);
  }
}

HWND FindShownWindow(const char* className, const char* title, const Process& process) {
  HWND window = ShownWindow(className, title, process);
  if (window == nullptr) Fail(std::string("no window \"") + title + "\"");
  return window;
}

// A folder of `root` that does not exist yet.
std::string FreshFolder(const std::string& root, const std::string& stem) {
  for (int i = 1;; ++i) {
    const std::string folder = root + "\\" + stem + "-" + std::to_string(i);
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return folder;
  }
}

// The installer's steps that can be seen from outside, in the order it takes
// them after Install; the last one is the success message.
const char* const kInstallSteps[] = {
    "folders made",
    "help files written (the last one on disk)",
    "application files written",
    "formats database and databases written",
    "desktop shortcut made",
    "Start-menu shortcuts made",
    "success message shown",
};

std::vector<Milestone> InstallMilestones(const std::string& folder, const Process& process) {
  // Each run makes its shortcuts anew, as a first installation does.
  const pewtest::UserShortcuts shortcuts;
  if (shortcuts.Desktop().empty()) Fail("no desktop folder");
  shortcuts.Remove();
  const std::vector<std::string> links = shortcuts.Links();  // desktop first, Uninstall Information last
  const std::function<bool()> seen[] = {
      FileThere(folder + "\\Help"),
      FileThere(folder + "\\Help\\icon.jpg"),
      FileThere(folder + "\\Uninstall.txt"),
      FileThere(folder + "\\4-reg.db"),
      FileThere(links.front()),
      FileThere(links.back()),
      WindowShown("#32770", kMessageCaption, process),
  };
  static_assert(std::size(seen) == std::size(kInstallSteps));
  std::vector<Milestone> milestones;
  for (std::size_t i = 0; i < std::size(seen); ++i) milestones.push_back({kInstallSteps[i], seen[i]});
  return milestones;
}

struct InstallerRun {
  std::vector<double> toDialog;   // main frame, dialog: ms after process start
  std::vector<double> toMessage;  // InstallMilestones: ms after Install pressed
  SIZE_T peakBytes;
  double DialogMs() const { return toDialog.back(); }
  double InstallMs() const { return toMessage.back(); }
};

const char* const kDialogSteps[] = {"main frame shown", "install-folder dialog shown"};

InstallerRun RunInstaller(const std::string& installer, const std::string& folder) {
  InstallerRun run;
  const double start = NowMs();
  Process process(installer, "");
  run.toDialog = Watch({{kDialogSteps[0], WindowShown("WFL_Installer_MainWindow", kInstallerCaption, process)},
                        {kDialogSteps[1], WindowShown("#32770", kInstallerCaption, process)}},
                       start);
  HWND dialog = FindShownWindow("#32770", kInstallerCaption, process);

  HWND edit = GetDlgItem(dialog, kFolderEditId);
  HWND install = GetDlgItem(dialog, IDOK);
  if (edit == nullptr || install == nullptr) Fail("the dialog has no folder box or Install button");
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  if (pewtest::ControlText(edit) != folder) Fail("the folder box did not take " + folder);
  const std::vector<Milestone> steps = InstallMilestones(folder, process);

  const double pressed = NowMs();
  PostMessageA(install, BM_CLICK, 0, 0);
  run.toMessage = Watch(steps, pressed);
  HWND box = FindShownWindow("#32770", kMessageCaption, process);
  const std::string text = pewtest::MessageBoxStaticText(box);
  if (text.find(kSuccessMark) == std::string::npos) Fail("the installation failed: " + text);

  // Read while the process still runs, and once more after it ended but before
  // its handle is closed (where Windows still answers; Wine reports 0 then).
  run.peakBytes = process.PeakWorkingSet();
  pewtest::PressDialogButton(box, IDOK);
  const DWORD code = process.WaitForExit();
  if (code != 0) Fail("the installer ended with exit code " + std::to_string(code));
  run.peakBytes = std::max(run.peakBytes, process.PeakWorkingSet());
  return run;
}

const char* const kBareSteps[] = {"window shown", "message box shown"};

struct BareRun {
  std::vector<double> steps;  // kBareSteps: ms after process start
  SIZE_T peakBytes;
  double WindowMs() const { return steps.front(); }
};

BareRun RunBare(const std::string& bare) {
  BareRun run;
  const double start = NowMs();
  Process process(bare, "");
  run.steps = Watch({{kBareSteps[0], WindowShown(kBareWindowClass, kBareWindowTitle, process)},
                     {kBareSteps[1], WindowShown("#32770", kBareMessageCaption, process)}},
                    start);
  HWND box = FindShownWindow("#32770", kBareMessageCaption, process);
  run.peakBytes = process.PeakWorkingSet();
  pewtest::PressDialogButton(box, IDOK);
  if (process.WaitForExit() != 0) Fail("the bare baseline failed");
  run.peakBytes = std::max(run.peakBytes, process.PeakWorkingSet());
  return run;
}

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
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// The writer's own figure for writing the files, in milliseconds.
double RunWriter(const std::string& writer, const std::string& folder) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0)) Fail("no pipe");
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
  Process process(writer, "\"" + folder + "\"", writeEnd.Get());
  writeEnd.Close();  // the pipe ends when the writer's copy goes
  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  const DWORD code = process.WaitForExit();
  if (code != 0) Fail("the plain writer failed with exit code " + std::to_string(code));
  return std::atof(output.c_str()) / 1000.0;
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) Fail("cannot read " + path);
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

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

std::string Ratio(double installer, double baseline) {
  return baseline > 0 ? Fixed(installer / baseline, 2) : "-";
}

struct Options {
  std::string installer, bare, writer, out;
  std::string folderRoot = "c:\\pewbench";
  long long payloadBytes = -1;
  int payloadFiles = 47;
  int runs = 7;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--installer") options.installer = value;
    else if (name == "--bare") options.bare = value;
    else if (name == "--writer") options.writer = value;
    else if (name == "--out") options.out = value;
    else if (name == "--folder-root") options.folderRoot = value;
    else if (name == "--payload-bytes") options.payloadBytes = std::atoll(value.c_str());
    else if (name == "--payload-files") options.payloadFiles = std::atoi(value.c_str());
    else if (name == "--runs") options.runs = std::atoi(value.c_str());
    else Fail("unknown option " + name);
  }
  if (options.installer.empty() || options.bare.empty() || options.writer.empty() || options.payloadBytes < 0 ||
      options.runs < 1) {
    Fail("usage: bench_driver --installer <exe> --bare <exe> --writer <exe> --payload-bytes <n> "
         "[--payload-files <n>] [--runs <n>] [--folder-root <folder>] [--out <file>]");
  }
  return options;
}

// The median of each step's time and of its length (the time since the step
// before), over the runs in which both were seen.
std::string StepsTable(const std::string& heading, const std::vector<std::string>& names,
                       const std::vector<std::vector<double>>& runs) {
  std::string table = "| " + heading + " | reached at, ms | step took, ms |\n|---|---:|---:|\n";
  for (std::size_t step = 0; step < names.size(); ++step) {
    std::vector<double> at, took;
    for (const std::vector<double>& run : runs) {
      if (run[step] < 0) continue;
      at.push_back(run[step]);
      double before = 0;
      for (std::size_t earlier = step; earlier > 0; --earlier) {
        if (run[earlier - 1] >= 0) {
          before = run[earlier - 1];
          break;
        }
      }
      took.push_back(run[step] - before);
    }
    table += "| " + names[step] + " | " + (at.empty() ? "-" : Fixed(Median(at), 1)) + " | " +
             (took.empty() ? "-" : Fixed(Median(took), 1)) + " |\n";
  }
  return table;
}

int Bench(const Options& options) {
  CreateDirectoryA(options.folderRoot.c_str(), nullptr);  // may exist already

  std::fprintf(stderr, "bench: warm-up run of each program (not counted)\n");
  RunInstaller(options.installer, FreshFolder(options.folderRoot, "installer"));
  RunBare(options.bare);
  RunWriter(options.writer, FreshFolder(options.folderRoot, "writer"));

  std::vector<InstallerRun> installerRuns;
  std::vector<std::vector<double>> bareSteps;
  std::vector<double> dialog, install, window, write;
  std::vector<SIZE_T> installerPeak, barePeak;
  for (int run = 1; run <= options.runs; ++run) {
    // Interleaved, so that a slow spell of the machine touches all three alike.
    const InstallerRun installer = RunInstaller(options.installer, FreshFolder(options.folderRoot, "installer"));
    const BareRun bare = RunBare(options.bare);
    const double writing = RunWriter(options.writer, FreshFolder(options.folderRoot, "writer"));
    std::fprintf(stderr,
                 "bench: run %d/%d: dialog %.1f ms, window %.1f ms; install %.1f ms, plain writing %.1f ms; "
                 "peak %lu KiB, bare %lu KiB\n",
                 run, options.runs, installer.DialogMs(), bare.WindowMs(), installer.InstallMs(), writing,
                 static_cast<unsigned long>(installer.peakBytes / 1024),
                 static_cast<unsigned long>(bare.peakBytes / 1024));
    installerRuns.push_back(installer);
    bareSteps.push_back(bare.steps);
    dialog.push_back(installer.DialogMs());
    install.push_back(installer.InstallMs());
    installerPeak.push_back(installer.peakBytes);
    window.push_back(bare.WindowMs());
    write.push_back(writing);
    barePeak.push_back(bare.peakBytes);
  }

  const long long installerOverhead = FileSize(options.installer) - options.payloadBytes;
  const long long bareOverhead = FileSize(options.bare);
  const double dialogMs = Median(dialog), windowMs = Median(window);
  const double installMs = Median(install), writeMs = Median(write);
  const double installerPeakKiB = Median(installerPeak) / 1024.0, barePeakKiB = Median(barePeak) / 1024.0;

  std::string table;
  table += "| figure | installer | baseline | ratio |\n";
  table += "|---|---:|---:|---:|\n";
  table += "| size overhead: bytes beyond the " + std::to_string(options.payloadFiles) + " payload files (" +
           Grouped(options.payloadBytes) + " bytes); baseline: the bare program | " + Grouped(installerOverhead) +
           " | " + Grouped(bareOverhead) + " | " +
           Ratio(static_cast<double>(installerOverhead), static_cast<double>(bareOverhead)) + " |\n";
  table += "| time to the dialog, ms: process start to the install-folder dialog visible; baseline: to the bare "
           "program's window | " + Fixed(dialogMs, 1) + " | " + Fixed(windowMs, 1) + " | " +
           Ratio(dialogMs, windowMs) + " |\n";
  table += "| installation time, ms: Install pressed to the success message visible; baseline: the same files "
           "written with CreateFileA/WriteFile | " + Fixed(installMs, 1) + " | " + Fixed(writeMs, 1) + " | " +
           Ratio(installMs, writeMs) + " |\n";
  table += "| peak working set, KiB; baseline: the bare program | " + Fixed(installerPeakKiB, 0) + " | " +
           Fixed(barePeakKiB, 0) + " | " + Ratio(installerPeakKiB, barePeakKiB) + " |\n";
  table += "\nMedians of " + std::to_string(options.runs) + " runs each, after one warm-up run.\n";

  std::vector<std::vector<double>> toDialog, toMessage;
  for (const InstallerRun& run : installerRuns) {
    toDialog.push_back(run.toDialog);
    toMessage.push_back(run.toMessage);
  }
  table += "\nWhere the installer's time goes: the steps seen from outside (medians).\n\n";
  table += StepsTable("after process start", {std::begin(kDialogSteps), std::end(kDialogSteps)}, toDialog);
  table += "\n";
  table += StepsTable("bare program, after process start", {std::begin(kBareSteps), std::end(kBareSteps)},
                      bareSteps);
  table += "\n";
  table += StepsTable("after Install pressed", {std::begin(kInstallSteps), std::end(kInstallSteps)}, toMessage);

  auto list = [](const auto& values, int decimals, double scale) {
    std::string text;
    for (const auto& value : values) {
      if (!text.empty()) text += ", ";
      text += Fixed(static_cast<double>(value) / scale, decimals);
    }
    return text;
  };
  table += "\nSingle runs:\n\n";
  table += "- time to the dialog, ms: " + list(dialog, 1, 1) + "\n";
  table += "- bare program's window, ms: " + list(window, 1, 1) + "\n";
  table += "- installation time, ms: " + list(install, 1, 1) + "\n";
  table += "- plain writing, ms: " + list(write, 1, 1) + "\n";
  table += "- installer's peak working set, KiB: " + list(installerPeak, 0, 1024) + "\n";
  table += "- bare program's peak working set, KiB: " + list(barePeak, 0, 1024) + "\n";

  std::fputs(table.c_str(), stdout);
  if (!options.out.empty()) {
    FILE* file = std::fopen(options.out.c_str(), "wb");
    if (file == nullptr) Fail("cannot write " + options.out);
    std::fputs(table.c_str(), file);
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
