// Helpers for tests that run under Wine: child processes, windows found with a
// deadline, temporary folders, whole-file reads and writes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pewtest {

// The longest a test waits for what should come at once (a window, the end of a
// process, the effect of a command): sized for a loaded 2-core host that
// emulates 32-bit code, where the installer's dialog can take a minute to
// appear, and multiplied by the environment's PEW_TIME_SCALE (a positive
// number, default 1), the one setting for every such limit. Tests wait for
// conditions up to this limit; none passes or fails by the clock alone.
DWORD WaitLimit();

// The installer executable built beside the tests, or the one that the
// environment variable PEW_INSTALLER names.
std::string InstallerPath();

// A started process that is waited for (and killed if still running) when it goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();

  // Starts `path` with `arguments` appended to its quoted name; false on failure.
  // With `standardOutput` or `standardError` (inheritable handles) the child
  // writes that output there; Wine writes its debug channels to the latter.
  bool Start(const std::string& path, const std::string& arguments = {},
             HANDLE standardOutput = nullptr, HANDLE standardError = nullptr);
  // Starts the Windows program `path` from a Unix shell through Wine's loader,
  // with Wine's debug channels `channels` written to the file `tracePath`:
  // Wine writes them to the Unix standard error, which a child started here
  // inherits whatever handles it is given. The object then holds the shell;
  // Open() takes the program's own process, once its window tells its id.
  bool StartTraced(const std::string& path, const std::string& channels, const std::string& tracePath);
  // Takes the running process `processId` as the one this object waits for.
  bool Open(DWORD processId);
  // The exit code once the process has ended within the timeout, otherwise nothing.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs);
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Handle() const { return info_.hProcess; }

 private:
  void Close();
  PROCESS_INFORMATION info_ = {};
};

// The first top-level window of `className` and `title` (either may be null),
// belonging to process `processId` when that is not 0, visible when `visible`;
// waits up to `timeoutMs`, null when none appeared.
HWND WaitForWindow(const char* className, const char* title, DWORD processId, DWORD timeoutMs,
                   bool visible = true);

// Runs the calling thread's message loop for about `ms` milliseconds.
void PumpFor(DWORD ms);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const std::string& Path() const { return path_; }
  // Path() + "\" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

// The Unix path of a Windows path whose folder exists; empty when there is none.
std::string UnixPath(const std::string& path);

// Every folder and file below `folder`, by its path relative to it; a folder's
// ends in a backslash. In this order a folder comes before what it holds.
std::set<std::string> TreeBelow(const std::string& folder);

// Removes `path` and everything below it.
void RemoveTree(const std::string& path);

// `text` in the ANSI code page, as the installer's paths are.
std::string Ansi(std::wstring_view text);

// `text` readable in any console and log: what is not ASCII as \uXXXX.
std::string Printable(std::wstring_view text);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool WriteFileText(const std::string& path, const std::string& text);

// A change that a Unix program makes to a file or folder while the object
// lives, undone when it goes: Wine has no Win32 call for these, and runs Unix
// programs as child processes.
class UnixChange {
 public:
  UnixChange(const UnixChange&) = delete;
  UnixChange& operator=(const UnixChange&) = delete;
  bool Made() const { return made_; }

 protected:
  explicit UnixChange(const std::string& path);
  std::string unixPath_;
  std::string path_;
  bool made_ = false;
};

// Makes `path` (a new name in an existing folder) a Unix symbolic link to
// /dev/full while it lives, so that every write to it fails with
// ERROR_DISK_FULL, as on a full disk. Wine has no Win32 call that makes such a
// link, and it cannot delete one (DeleteFileA fails with
// ERROR_INVALID_PARAMETER), so ln and rm, Unix programs that Wine runs as
// child processes, make and remove it.
class DevFullLink : public UnixChange {
 public:
  explicit DevFullLink(const std::string& path);
  ~DevFullLink();
};

// Takes the write permission of an existing folder away (chmod 555) while it
// lives, so that an unprivileged user may create nothing in it; root still
// may. Wine has no Win32 call that does this to a folder, so chmod, a Unix
// program that Wine runs as a child, does; Wine shows the folder read-only.
class UnwritableFolder : public UnixChange {
 public:
  explicit UnwritableFolder(const std::string& path);
  ~UnwritableFolder();
};

// Removes the empty folder `path` while the object lives and makes it again
// when it goes (after deleting a file put in its place). Wine's desktop holds
// the Desktop folder open, so that RemoveDirectoryA fails with a sharing
// violation: rmdir, a Unix program that Wine runs as a child, removes it.
class RemovedFolder : public UnixChange {
 public:
  explicit RemovedFolder(const std::string& path);
  ~RemovedFolder();
};

// A named pipe in place of the file `path` (a new name in an existing folder)
// while the object lives, for holding a program in the middle of writing that
// file: the writer's first 64 KiB go into the pipe, and then it waits, as for
// a slow disk, until Release(). Then a regular file with `content` takes the
// pipe's name and the pipe is drained, so that the writer completes and finds
// a file where it wrote (Wine does not open, rename or delete a pipe as a
// file). Wine has no Win32 call that makes a pipe, so mkfifo and a shell that
// holds it open (so that opening it never waits) and later drains it do, Unix
// programs that Wine runs as children. The writer must write exactly
// `content`'s size, more than 64 KiB.
class StalledWrite : public UnixChange {
 public:
  StalledWrite(const std::string& path, const std::vector<std::uint8_t>& content);
  ~StalledWrite();
  void Release();

 private:
  std::string standIn_, release_;
  bool released_ = false;
};

// A file held open with share mode 0, so that nobody else can open it; or
// with `share`, as a scanner holds it for reading.
class LockedFile {
 public:
  explicit LockedFile(const std::string& path, DWORD share = 0);
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();
  bool Locked() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace pewtest
