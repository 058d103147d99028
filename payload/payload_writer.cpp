// The payload group writer: one file per entry, each complete or not at all.
#include "payload/payload.h"

#include <windows.h>

#include "common/owner.h"

namespace {

// Folder, backslash and name; a temporary name is never longer than its target's.
using EntryPath = CText<FixedText<256>::kWidth + 1 + 32>;

// The Win32 error of the step that just failed; never 0, which would read as success.
std::int32_t LastErrorStatus() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<std::int32_t>(error) : ERROR_WRITE_FAULT;
}

// The file being written, closed on every way out.
struct FileTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Holds(HANDLE file) { return file != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE file) { (void)CloseHandle(file); }
};

// The entry's target and, beside it, its temporary file of the same length.
void ComposePaths(std::string_view folder, std::string_view name, EntryPath& target, EntryPath& temporary) {
  target.Clear();
  target.Append(folder).Append("\\").Append(name);
  temporary.Clear();
  temporary.Append(folder).Append("\\").Append(PayloadTemporaryName(name).View());
}

// Writes `size` bytes into the temporary file beside `target`. Returns 0 or
// the failing step's error; on a failure the temporary file is gone.
std::int32_t WriteTemporary(const EntryPath& target, const EntryPath& temporary,
                            const std::uint8_t* bytes, std::int32_t size) {
  // Checked here, before anything is written: Windows refuses to move a file
  // over a read-only one, but Wine does it and drops the attribute.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  std::int32_t status = 0;
  {
    // CREATE_ALWAYS truncates a temporary file left by an interrupted run, so
    // the file holds exactly the entry's bytes once the write is done.
    Owner<HANDLE, FileTraits> file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FileTraits::Holds(file.Get())) return LastErrorStatus();
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
  if (status != 0) (void)DeleteFileA(temporary.c_str());  // nothing more to do if this fails
  return status;
}

// Moves a complete temporary file over its target. Returns 0 or the move's
// error; on a failure the temporary file is gone and the target as it was.
std::int32_t MoveIntoPlace(const EntryPath& temporary, const EntryPath& target, DWORD flags) {
  if (MoveFileExA(temporary.c_str(), target.c_str(), flags)) return 0;
  const std::int32_t status = LastErrorStatus();
  (void)DeleteFileA(temporary.c_str());
  return status;
}

}  // namespace

PayloadName PayloadTemporaryName(std::string_view name) {
  const bool marked = !name.empty() && name.back() == kPayloadTemporaryMark;
  const char mark = marked ? kPayloadTemporaryAltMark : kPayloadTemporaryMark;
  PayloadName temporary(Head(name, name.empty() ? 0 : name.size() - 1));
  temporary.Append(std::string_view(&mark, 1));
  return temporary;
}

std::int32_t PayloadGroupByteCount(const PayloadGroup& group) {
  std::int32_t total = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) total += group.sizes[i];
  return total;
}

void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  const std::string_view folderPath = folder.Trimmed();
  const bool asSet = group.policy == PayloadPolicy::kKeepExistingSet;
  const DWORD moveFlags = group.policy == PayloadPolicy::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
  EntryPath target;
  EntryPath temporary;
  writeStatus = 0;
  // Entries done: moved into place, or for a set, complete in their temporary files.
  std::int32_t done = 0;
  for (; done < group.entryCount; ++done) {
    // Named before anything is opened, so that a failure always has its name.
    failedFileName.Assign(group.Name(done));
    ComposePaths(folderPath, group.Name(done), target, temporary);
    writeStatus = WriteTemporary(target, temporary, group.Bytes(done), group.sizes[done]);
    if (writeStatus == 0 && !asSet) writeStatus = MoveIntoPlace(temporary, target, moveFlags);
    if (writeStatus != 0) break;
  }
  if (!asSet) return;

  // The whole set is on disk: the moves follow one right after another, so
  // only an end of the process between two renames can leave a partial set.
  std::int32_t moved = 0;
  while (writeStatus == 0 && moved < group.entryCount) {
    failedFileName.Assign(group.Name(moved));
    ComposePaths(folderPath, group.Name(moved), target, temporary);
    writeStatus = MoveIntoPlace(temporary, target, moveFlags);
    if (writeStatus == 0) ++moved;
  }
  if (writeStatus == 0) return;
  // Every file this call created goes again: the moved ones (nothing was
  // replaced) and the temporary files still waiting; the failed entry's
  // temporary file is gone already. Best effort: the failure is reported anyway.
  for (std::int32_t created = 0; created < done; ++created) {
    ComposePaths(folderPath, group.Name(created), target, temporary);
    (void)DeleteFileA(created < moved ? target.c_str() : temporary.c_str());
  }
}

void CompletePayloadSet(const PayloadGroup& group, const FixedText<256>& folder,
                        FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  const std::string_view folderPath = folder.Trimmed();
  EntryPath target;
  EntryPath temporary;
  writeStatus = 0;
  if (group.entryCount > kMaxSetEntries) {
    writeStatus = ERROR_INVALID_PARAMETER;
    return;
  }
  // Bit i stands for entry i: a temporary file written, and then moved into place.
  std::uint32_t written = 0;
  std::uint32_t moved = 0;
  for (std::int32_t i = 0; i < group.entryCount && writeStatus == 0; ++i) {
    failedFileName.Assign(group.Name(i));
    ComposePaths(folderPath, group.Name(i), target, temporary);
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      // Moved into place before the end; what is left of it is stale.
      (void)DeleteFileA(temporary.c_str());
      continue;
    }
    writeStatus = WriteTemporary(target, temporary, group.Bytes(i), group.sizes[i]);
    if (writeStatus == 0) written |= 1u << i;
  }
  // Then the moves, one right after another, as for a whole set.
  for (std::int32_t i = 0; i < group.entryCount && writeStatus == 0; ++i) {
    if ((written & (1u << i)) == 0) continue;
    failedFileName.Assign(group.Name(i));
    ComposePaths(folderPath, group.Name(i), target, temporary);
    writeStatus = MoveIntoPlace(temporary, target, 0);
    if (writeStatus == 0) moved |= 1u << i;
  }
  if (writeStatus == 0) return;
  // As for a whole set: what this call created goes again, and the set is as
  // it found it, to be completed by a later run.
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    if ((written & (1u << i)) == 0) continue;
    ComposePaths(folderPath, group.Name(i), target, temporary);
    (void)DeleteFileA((moved & (1u << i)) != 0 ? target.c_str() : temporary.c_str());
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
