// Helpers for tests that run under Wine.
#include "support/win_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace pewtest {

DWORD WaitLimit() {
  static const DWORD limit = [] {
    constexpr double kBaseMs = 90000;
    char text[32] = {};
    const DWORD length = GetEnvironmentVariableA("PEW_TIME_SCALE", text, sizeof text);
    double scale = length > 0 && length < sizeof text ? std::strtod(text, nullptr) : 1.0;
    if (!(scale > 0) || scale > 1000) scale = 1.0;  // unreadable: as if unset
    return static_cast<DWORD>(kBaseMs * scale);
  }();
  return limit;
}

std::string InstallerPath() {
  // PEW_INSTALLER names another copy to run, such as a signed release.
  char other[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("PEW_INSTALLER", other, sizeof other);
  std::string path = length > 0 && length < sizeof other ? other : PEW_INSTALLER_PATH;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : info_(std::exchange(other.info_, {})) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Close();
    info_ = std::exchange(other.info_, {});
  }
  return *this;
}

ChildProcess::~ChildProcess() { Close(); }

void ChildProcess::Close() {
  if (info_.hProcess != nullptr) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 0xDEAD);
      WaitForSingleObject(info_.hProcess, WaitLimit());
    }
    CloseHandle(info_.hProcess);
  }
  if (info_.hThread != nullptr) CloseHandle(info_.hThread);
  info_ = {};
}

bool ChildProcess::Start(const std::string& path, const std::string& arguments,
                         HANDLE standardOutput, HANDLE standardError) {
  Close();
  std::string commandLine = "\"" + path + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  const bool redirected = standardOutput != nullptr || standardError != nullptr;
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = standardOutput != nullptr ? standardOutput : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = standardError != nullptr ? standardError : GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  return CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, redirected, 0, nullptr,
                        nullptr, &startup, &info_) != FALSE;
}

bool ChildProcess::StartTraced(const std::string& path, const std::string& channels, const std::string& tracePath) {
  const std::string unixTrace = UnixPath(tracePath);
  if (unixTrace.empty()) return false;
  return Start("Z:\\bin\\sh", "-c \"WINEDEBUG=$0 exec wine \\\"$1\\\" 2>\\\"$2\\\"\" " + channels + " \"" + path +
                                    "\" \"" + unixTrace + "\"");
}

bool ChildProcess::Open(DWORD processId) {
  Close();
  info_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
  if (info_.hProcess == nullptr) return false;
  info_.dwProcessId = processId;
  return true;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) {
  if (info_.hProcess == nullptr) return std::nullopt;
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(info_.hProcess, &code)) return std::nullopt;
  return code;
}

namespace {

struct WindowQuery {
  const char* className;
  const char* title;
  DWORD processId;
  bool visible;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  auto* query = reinterpret_cast<WindowQuery*>(lParam);
  if (query->visible && !IsWindowVisible(window)) return TRUE;
  if (query->processId != 0) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query->processId) return TRUE;
  }
  if (query->className != nullptr && ClassName(window) != query->className) return TRUE;
  if (query->title != nullptr && WindowText(window) != query->title) return TRUE;
  query->found = window;
  return FALSE;
}

}  // namespace

HWND WaitForWindow(const char* className, const char* title, DWORD processId, DWORD timeoutMs,
                   bool visible) {
  const DWORD start = GetTickCount();
  for (;;) {
    WindowQuery query{className, title, processId, visible, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    if (query.found != nullptr) return query.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    PumpFor(20);
  }
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (GetTickCount() - start < ms);
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  const int got = GetClassNameA(window, name, sizeof name);
  return std::string(name, got > 0 ? static_cast<size_t>(got) : 0);
}

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::string(base) + "pewtest-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::set<std::string> TreeBelow(const std::string& folder) {
  std::set<std::string> tree;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return tree;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      tree.insert(name);
      continue;
    }
    tree.insert(name + "\\");
    for (const std::string& below : TreeBelow(folder + "\\" + name)) tree.insert(name + "\\" + below);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return tree;
}

void RemoveTree(const std::string& path) {
  // Backwards, so that every folder is empty when its turn comes.
  const std::set<std::string> tree = TreeBelow(path);
  for (auto entry = tree.rbegin(); entry != tree.rend(); ++entry) {
    std::string child = path + "\\" + *entry;
    if (child.back() == '\\') {
      child.pop_back();
      RemoveDirectoryA(child.c_str());
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

std::string Ansi(std::wstring_view text) {
  const int count = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
  std::string ansi(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), count, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

std::string Printable(std::wstring_view text) {
  std::string printable;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      printable += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      printable += escaped;
    }
  }
  return printable;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::uint8_t> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  const bool ok = bytes.empty() ||
                  (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                   read == bytes.size());
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() ||
                  (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Through Wine's own export, which allocates the result on the process heap.
std::string UnixPath(const std::string& path) {
  using UnixFileName = char*(CDECL*)(const WCHAR*);
  const auto toUnix = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  const std::size_t slash = path.find_last_of('\\');
  if (toUnix == nullptr || slash == std::string::npos) return {};
  const std::string folder = path.substr(0, slash);
  std::wstring wideFolder(folder.size() + 1, L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wideFolder.data(),
                          static_cast<int>(wideFolder.size())) <= 0) {
    return {};
  }
  char* unixFolder = toUnix(wideFolder.c_str());
  if (unixFolder == nullptr) return {};
  std::string result = std::string(unixFolder) + "/" + path.substr(slash + 1);
  HeapFree(GetProcessHeap(), 0, unixFolder);
  return result;
}

namespace {

// Whether a directory entry of that name exists. GetFileAttributesA fails on a
// link to a device; the directory search sees it.
bool EntryExists(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Runs a Unix program, then waits for `done` to hold, up to the wait limit. A
// Unix child's handle cannot be waited for, so its effect is.
template <typename Done>
bool RunUnixUntil(const std::string& program, const std::string& arguments, Done done) {
  ChildProcess child;
  if (!child.Start(program, arguments)) return false;
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > WaitLimit()) return false;
    Sleep(10);
  }
  return true;
}

bool RunUnixUntil(const std::string& program, const std::string& arguments,
                  const std::string& path, bool exists) {
  return RunUnixUntil(program, arguments, [&] { return EntryExists(path) == exists; });
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

UnixChange::UnixChange(const std::string& path) : unixPath_(UnixPath(path)), path_(path) {}

DevFullLink::DevFullLink(const std::string& path) : UnixChange(path) {
  made_ = !unixPath_.empty() &&
            RunUnixUntil("Z:\\bin\\ln", "-s /dev/full \"" + unixPath_ + "\"", path_, true);
}

DevFullLink::~DevFullLink() {
  if (EntryExists(path_)) RunUnixUntil("Z:\\bin\\rm", "-f \"" + unixPath_ + "\"", path_, false);
}

UnwritableFolder::UnwritableFolder(const std::string& path) : UnixChange(path) {
  made_ = !unixPath_.empty() && RunUnixUntil("Z:\\bin\\chmod", "555 \"" + unixPath_ + "\"",
                                             [&] { return IsReadOnly(path_); });
}

UnwritableFolder::~UnwritableFolder() {
  if (!made_) return;
  RunUnixUntil("Z:\\bin\\chmod", "755 \"" + unixPath_ + "\"", [&] { return !IsReadOnly(path_); });
}

RemovedFolder::RemovedFolder(const std::string& path) : UnixChange(path) {
  made_ = !unixPath_.empty() && RunUnixUntil("Z:\\bin\\rmdir", "\"" + unixPath_ + "\"", path_, false);
}

RemovedFolder::~RemovedFolder() {
  if (!made_) return;
  DeleteFileA(path_.c_str());
  CreateDirectoryA(path_.c_str(), nullptr);
}

StalledWrite::StalledWrite(const std::string& path, const std::vector<std::uint8_t>& content)
    : UnixChange(path), standIn_(path + "#"), release_(path + ".release") {
  if (unixPath_.empty() || !WriteFileBytes(standIn_, content)) return;
  if (!RunUnixUntil("Z:\\usr\\bin\\mkfifo", "\"" + unixPath_ + "\"", path_, true)) return;
  // Opened for reading and writing, the pipe never makes its opener wait; the
  // shell keeps it so until the release (or the wait limit), then puts the
  // stand-in in its place and reads exactly what the writer writes. In the
  // quoted script \" is a quote.
  const std::string script =
      R"(exec >/dev/null 2>&1 3<>\"$0\"; n=0; )"
      R"(while [ ! -e \"$2\" ] && [ $n -lt $3 ]; do sleep 0.1; n=$((n+1)); done; )"
      R"(mv -f \"$1\" \"$0\"; exec timeout $(($3 / 10)) head -c $4 <&3)";
  const std::string tenthsOfSeconds = std::to_string(WaitLimit() / 100);
  const std::string arguments = "-c \"" + script + "\" \"" + unixPath_ + "\" \"" + unixPath_ + "#\" \"" +
                                unixPath_ + ".release\" " + tenthsOfSeconds + " " + std::to_string(content.size());
  ChildProcess shell;
  made_ = shell.Start("Z:\\bin\\sh", arguments);
}

void StalledWrite::Release() {
  if (released_ || !made_) return;
  released_ = true;
  // The shell moves the stand-in over the pipe before it lets the writer go on.
  if (!WriteFileText(release_, "")) return;
  const DWORD start = GetTickCount();
  while (EntryExists(standIn_) && GetTickCount() - start < WaitLimit()) Sleep(10);
}

StalledWrite::~StalledWrite() {
  Release();
  DeleteFileA(release_.c_str());
  DeleteFileA(standIn_.c_str());
  // A pipe that was never replaced: the directory search sees it, nothing else.
  if (EntryExists(path_) && GetFileAttributesA(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
    RunUnixUntil("Z:\\bin\\rm", "-f \"" + unixPath_ + "\"", path_, false);
  }
}

LockedFile::LockedFile(const std::string& path, DWORD share)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ | (share == 0 ? GENERIC_WRITE : 0), share, nullptr, OPEN_ALWAYS,
                          0, nullptr)) {}

LockedFile::~LockedFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

}  // namespace pewtest
