// Windows' limits on the paths that an installation makes.
#include "support/path_limits.h"

#include <algorithm>
#include <utility>

#include "support/gui_driver.h"
#include "support/win_test_support.h"

namespace pewtest {

namespace {

// Made and removed by Seen(): once its creation is reported, so is everything
// that happened before it.
constexpr char kMarkName[] = "pew-watch-mark";

void CheckPath(const std::string& path, bool folder, std::string& problems) {
  const std::size_t limit = folder ? kWindowsMaxFolderPath : kWindowsMaxFilePath;
  if (path.size() > limit) {
    problems += "\n  " + std::string(folder ? "folder" : "file") + " of " + std::to_string(path.size()) +
                " bytes (Windows takes " + std::to_string(limit) + "): " + path;
  }
}

void CheckTree(const std::string& folder, std::string& problems) {
  CheckPath(folder, true, problems);
  for (const std::string& below : TreeBelow(folder)) {
    const bool isFolder = below.back() == '\\';
    CheckPath(folder + "\\" + (isFolder ? below.substr(0, below.size() - 1) : below), isFolder, problems);
  }
}

}  // namespace

CreatedPaths::CreatedPaths(const std::string& folder)
    : folder_(!folder.empty() && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder),
      directory_(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!Watching()) return;
  // Changes count from the first request on: the constructor returns once it is made.
  const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this, ready] { Watch(ready); });
  WaitForSingleObject(ready, WaitLimit());
  CloseHandle(ready);
}

CreatedPaths::~CreatedPaths() {
  SetEvent(stop_);
  if (thread_.joinable()) thread_.join();
  if (Watching()) CloseHandle(directory_);
  CloseHandle(stop_);
}

void CreatedPaths::Watch(HANDLE ready) {
  std::vector<DWORD> buffer(16384);  // 64 KiB, aligned as the records need
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (;;) {
    ResetEvent(overlapped.hEvent);
    const bool asked = ReadDirectoryChangesW(directory_, buffer.data(), static_cast<DWORD>(buffer.size() * 4), TRUE,
                                             FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                             &overlapped, nullptr);
    if (ready != nullptr) SetEvent(std::exchange(ready, nullptr));
    if (!asked) break;
    const HANDLE events[] = {overlapped.hEvent, stop_};
    DWORD got = 0;
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(directory_);
      GetOverlappedResult(directory_, &overlapped, &got, TRUE);
      break;
    }
    if (!GetOverlappedResult(directory_, &overlapped, &got, FALSE)) break;
    const std::lock_guard<std::mutex> hold(lock_);
    if (got == 0) lost_ = true;  // more than the buffer held: names were lost
    for (const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data()); got > 0;) {
      const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
      if (record->Action == FILE_ACTION_ADDED || record->Action == FILE_ACTION_RENAMED_NEW_NAME ||
          record->Action == FILE_ACTION_RENAMED_OLD_NAME) {
        seen_.push_back(folder_ + "\\" + Ansi(std::wstring_view(record->FileName, record->FileNameLength / sizeof(WCHAR))));
      }
      if (record->NextEntryOffset == 0) break;
      at += record->NextEntryOffset;
    }
  }
  CloseHandle(overlapped.hEvent);
}

std::optional<std::vector<std::string>> CreatedPaths::Seen() {
  const std::string mark = folder_ + "\\" + kMarkName;
  if (!WriteFileText(mark, "")) return std::nullopt;
  DeleteFileA(mark.c_str());
  const bool reported = WaitUntil(
      [&] {
        const std::lock_guard<std::mutex> hold(lock_);
        return std::find(seen_.begin(), seen_.end(), mark) != seen_.end();
      },
      WaitLimit());
  const std::lock_guard<std::mutex> hold(lock_);
  if (!reported || lost_) return std::nullopt;
  std::vector<std::string> paths;
  for (const std::string& path : seen_) {
    if (path != mark && std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
  return paths;
}

testing::AssertionResult WithinWindowsPathLimits(const std::string& folder, const std::vector<std::string>& paths) {
  std::string problems;
  CheckTree(folder, problems);
  for (const std::string& path : paths) CheckPath(path, FolderExists(path), problems);
  if (problems.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "paths beyond Windows' limits:" << problems;
}

}  // namespace pewtest
