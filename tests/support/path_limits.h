// Windows' limits on the paths that an installation makes, checked by the tests
// themselves: Wine takes a path of 260 characters where Windows stops at 259, so
// an installation past the limit still succeeds under Wine and would fail only
// on the user's machine.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pewtest {

// In bytes of the ANSI code page: MAX_PATH less the terminator for a file, and
// 12 less again for a folder, which CreateDirectoryA keeps for an 8.3 name.
inline constexpr std::size_t kWindowsMaxFilePath = MAX_PATH - 1;
inline constexpr std::size_t kWindowsMaxFolderPath = MAX_PATH - 12 - 1;

// Records every name created in `folder` (which exists) or below it while the
// object lives, so that names which exist only for a moment, the writer's
// temporary files, are checked as well as what stays. Its thread and lock make
// it one of a kind: it cannot be copied.
class CreatedPaths {
 public:
  explicit CreatedPaths(const std::string& folder);
  ~CreatedPaths();

  bool Watching() const { return directory_ != INVALID_HANDLE_VALUE; }
  // Every path created or renamed so far, each once, after the system has
  // reported all that happened before this call; nothing when some were lost.
  std::optional<std::vector<std::string>> Seen();

 private:
  void Watch(HANDLE ready);
  std::string folder_;
  HANDLE directory_;
  HANDLE stop_;
  std::mutex lock_;
  std::vector<std::string> seen_;
  bool lost_ = false;
  std::thread thread_;
};

// Every folder and file below `folder` (itself included) and each of `paths`
// (as a folder when one of that name exists, else as a file) within the limits.
testing::AssertionResult WithinWindowsPathLimits(const std::string& folder,
                                                 const std::vector<std::string>& paths = {});

}  // namespace pewtest
