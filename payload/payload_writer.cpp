// The payload group writer: every file staged beside its target, then moved
// into place with the file it replaces kept until the end, or all put back.
#include "payload/payload.h"

#include "common/file_attributes.h"
#include "common/owner.h"

using namespace std::string_view_literals;

namespace {

// Folder, backslash and name; the writer's own names are never longer.
using EntryPath = CText<FixedText<256>::kWidth + 1 + 32>;

// Null: Sleep.
PayloadPause g_pause = nullptr;

// The Win32 error of the step that just failed; never 0, which would read as success.
std::int32_t LastErrorStatus() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<std::int32_t>(error) : ERROR_WRITE_FAULT;
}

// How Windows refuses a file that another program has open: a scanner that
// opened it without sharing its deletion refuses a rename or a deletion (a
// sharing violation; access denied for a file whose deletion is pending, and
// under Wine for a rename over a file that is open at all).
bool IsHeldForAMoment(std::int32_t status) {
  return status == ERROR_SHARING_VIOLATION || status == ERROR_LOCK_VIOLATION || status == ERROR_ACCESS_DENIED;
}

// How many more times the writer waits for a file that another program holds:
// one for each file, or one for a whole pass of removals, whose files a
// scanner took at about the same time and lets go at about the same time.
class Patience {
 public:
  bool Wait() {
    if (steps_ == 0) return false;
    --steps_;
    if (g_pause != nullptr) {
      g_pause(kPayloadRetryStepMs);
    } else {
      Sleep(kPayloadRetryStepMs);
    }
    return true;
  }

 private:
  int steps_ = kPayloadRetrySteps;
};

// Whether to try a step again that just `succeeded` or not: when another
// program held its file and patience lasts. `status` is 0 or the error.
bool TryAgain(bool succeeded, Patience& patience, std::int32_t& status) {
  status = succeeded ? 0 : LastErrorStatus();
  return status != 0 && IsHeldForAMoment(status) && patience.Wait();
}

// The file being written, closed on every way out.
struct FileTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Holds(HANDLE file) { return file != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE file) { (void)CloseHandle(file); }
};
using File = Owner<HANDLE, FileTraits>;

bool Exists(const EntryPath& path) { return FileExists(path.c_str()); }

PayloadName MarkedName(std::string_view name, char mark) {
  if (!name.empty() && name.back() == mark) mark = kPayloadAltMark;
  PayloadName marked(Head(name, name.empty() ? 0 : name.size() - 1));
  marked.Append(std::string_view(&mark, 1));
  return marked;
}

// An entry's three names in a folder.
struct EntryPaths {
  EntryPath target, temporary, kept;

  EntryPaths(const FixedText<256>& folder, const PayloadGroup& group, std::int32_t i) {
    const std::string_view name = group.Name(i);
    for (EntryPath* path : {&target, &temporary, &kept}) path->Append(folder.Trimmed()).Append("\\"sv);
    target.Append(name);
    temporary.Append(PayloadTemporaryName(name).View());
    kept.Append(PayloadKeptName(name).View());
  }
};

std::int32_t Remove(const EntryPath& path, Patience& patience) {
  std::int32_t status = 0;
  while (TryAgain(DeleteFileA(path.c_str()) != FALSE, patience, status)) {
  }
  return status;
}

std::int32_t Rename(const EntryPath& from, const EntryPath& to, Patience& patience, DWORD flags = 0) {
  std::int32_t status = 0;
  while (TryAgain(MoveFileExA(from.c_str(), to.c_str(), flags) != FALSE, patience, status)) {
  }
  return status;
}

// Writes `size` bytes into the entry's temporary file. 0 or the failing
// step's error; on a failure the temporary file is gone.
std::int32_t Stage(const EntryPaths& paths, const std::uint8_t* bytes, std::int32_t size) {
  Patience patience;
  std::int32_t status = 0;
  {
    // CREATE_ALWAYS truncates a temporary file left by an interrupted run, so
    // the file holds exactly the entry's bytes once the write is done.
    File file;
    do {
      *file.Out() = CreateFileA(paths.temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    } while (TryAgain(FileTraits::Holds(file.Get()), patience, status));
    if (status != 0) return status;
    // One request for the whole entry, straight from the image.
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr)) {
      status = LastErrorStatus();
    } else if (written != static_cast<DWORD>(size)) {
      status = ERROR_WRITE_FAULT;
    } else if (!CloseHandle(file.Release())) {
      // On a network or removable drive a delayed write can report here that
      // the data never arrived.
      status = LastErrorStatus();
    }
  }
  if (status != 0) (void)Remove(paths.temporary, patience);
  return status;
}

// Moves the staged file onto the target, the file there renamed aside first
// when the group replaces it. 0 or the error; on a failure the target is as
// it was.
std::int32_t Commit(const EntryPaths& paths, bool replaces) {
  Patience patience;
  const bool keeping = replaces && Exists(paths.target);
  // A kept file of an earlier run that could not be removed is stale.
  std::int32_t status = keeping ? Rename(paths.target, paths.kept, patience, MOVEFILE_REPLACE_EXISTING) : 0;
  if (status != 0) return status;
  status = Rename(paths.temporary, paths.target, patience);
  if (status != 0 && keeping) {
    Patience again;
    (void)Rename(paths.kept, paths.target, again);  // else the next run puts it back
  }
  return status;
}

// Puts the entry back as it was before the run: a committed entry gets its
// kept file back, or loses its file where there was none; one that was not
// committed gets its kept file back only where its target is missing (a
// commit that could not put it back). The temporary file goes, with the
// patience of the whole pass.
void PutBack(const EntryPaths& paths, bool committed, Patience& removals) {
  Patience patience;
  if (Exists(paths.kept)) {
    if (committed || !Exists(paths.target)) (void)Rename(paths.kept, paths.target, patience, MOVEFILE_REPLACE_EXISTING);
  } else if (committed) {
    (void)Remove(paths.target, patience);
  }
  if (Exists(paths.temporary)) (void)Remove(paths.temporary, removals);
}

}  // namespace

PayloadName PayloadTemporaryName(std::string_view name) { return MarkedName(name, kPayloadTemporaryMark); }
PayloadName PayloadKeptName(std::string_view name) { return MarkedName(name, kPayloadKeptMark); }

void SetPayloadPause(PayloadPause pause) { g_pause = pause; }

PayloadEntrySet FindPayloadFiles(const PayloadGroup& group, std::string_view folder, bool temporary) {
  const FixedText<256> folderText(folder);
  PayloadEntrySet found = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    const EntryPaths paths(folderText, group, i);
    if (Exists(temporary ? paths.temporary : paths.target)) found |= PayloadEntrySet{1} << i;
  }
  return found;
}

std::int32_t StagePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                               FixedText<256>& failedFileName) {
  const bool replaces = group.policy == PayloadPolicy::kReplace;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    if (!Holds(entries, i)) continue;
    // Named before anything is opened, so that a failure always has its name.
    failedFileName.Assign(group.Name(i));
    const EntryPaths paths(folder, group, i);
    // Windows refuses to move a file over a read-only one but lets a rename
    // take it aside, and Wine does both: the writer checks the attribute itself.
    if (replaces && IsReadOnly(paths.target.c_str())) return ERROR_ACCESS_DENIED;
    const std::int32_t status = Stage(paths, group.Bytes(i), group.Size(i));
    if (status != 0) return status;
  }
  return 0;
}

std::int32_t CommitPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                                FixedText<256>& failedFileName, PayloadEntrySet& committed) {
  committed = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    if (!Holds(entries, i)) continue;
    failedFileName.Assign(group.Name(i));
    const std::int32_t status = Commit(EntryPaths(folder, group, i), group.policy == PayloadPolicy::kReplace);
    if (status != 0) return status;
    committed |= PayloadEntrySet{1} << i;
  }
  return 0;
}

void FinishPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries) {
  Patience removals;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    const EntryPaths paths(folder, group, i);
    if (Holds(entries, i) && Exists(paths.kept)) (void)Remove(paths.kept, removals);
  }
}

void RollBackPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                          PayloadEntrySet committed) {
  Patience removals;
  for (std::int32_t i = group.entryCount - 1; i >= 0; --i) {
    if (Holds(entries, i)) PutBack(EntryPaths(folder, group, i), Holds(committed, i), removals);
  }
}

void RecoverPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder) {
  RollBackPayloadGroup(group, folder, AllEntries(group), 0);
  FinishPayloadGroup(group, folder, AllEntries(group));
}

void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  const PayloadEntrySet all = AllEntries(group);
  PayloadEntrySet committed = 0;
  writeStatus = StagePayloadGroup(group, folder, all, failedFileName);
  if (writeStatus == 0) writeStatus = CommitPayloadGroup(group, folder, all, failedFileName, committed);
  if (writeStatus != 0) {
    RollBackPayloadGroup(group, folder, all, committed);
    return;
  }
  FinishPayloadGroup(group, folder, all);
}

void CheckPayloadGroupReplaceable(const PayloadGroup& group, const FixedText<256>& folder,
                                  FixedText<256>& failedFileName, std::int32_t& checkStatus) {
  checkStatus = 0;
  if (group.policy != PayloadPolicy::kReplace) return;
  for (std::int32_t i = 0; i < group.entryCount && checkStatus == 0; ++i) {
    failedFileName.Assign(group.Name(i));
    const EntryPaths paths(folder, group, i);
    if (!Exists(paths.target)) continue;  // nothing to replace
    // Root may open a read-only file for writing under Wine.
    if (IsReadOnly(paths.target.c_str())) {
      checkStatus = ERROR_ACCESS_DENIED;
      continue;
    }
    // Opening it changes nothing in it: no data, no times.
    Patience patience;
    File file;
    do {
      *file.Out() = CreateFileA(paths.target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    } while (TryAgain(FileTraits::Holds(file.Get()), patience, checkStatus));
  }
}

void WriteHelpFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                    std::int32_t& writeStatus) {
  WritePayloadGroup(HelpGroup, folder, failedFileName, writeStatus);
}

void WriteApplicationFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                           std::int32_t& writeStatus) {
  WritePayloadGroup(ApplicationGroup, folder, failedFileName, writeStatus);
}

void WriteFormatsDatabase(const FixedText<256>& folder, FixedText<256>& failedFileName,
                          std::int32_t& writeStatus) {
  WritePayloadGroup(FormatsGroup, folder, failedFileName, writeStatus);
}

void WriteDatabaseFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                        std::int32_t& writeStatus) {
  WritePayloadGroup(DatabaseGroup, folder, failedFileName, writeStatus);
}
