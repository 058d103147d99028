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

// Whether `target` is a read-only file, which is never replaced. Windows
// refuses to move a file over a read-only one, but Wine does it and drops the
// attribute, so the writer checks it itself.
bool IsReadOnly(const EntryPath& target) {
  const DWORD attributes = GetFileAttributesA(target.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Writes `size` bytes into the temporary file beside `target`. Returns 0 or
// the failing step's error; on a failure the temporary file is gone.
std::int32_t WriteTemporary(const EntryPath& target, const EntryPath& temporary,
                            const std::uint8_t* bytes, std::int32_t size) {
  // Checked before anything is written.
  if (IsReadOnly(target)) return ERROR_ACCESS_DENIED;
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

// The entries of a set, all written to temporary files first and then moved
// into place one right after another, so that only an end of the process
// between two renames can leave part of the set; on any failure every file the
// call created goes again (the moved ones replaced nothing). With `completing`,
// an entry whose file is there already belongs to an unfinished set of an
// earlier run: it stays as it is, and its stale temporary file goes.
void WriteSet(const PayloadGroup& group, std::string_view folderPath, bool completing,
              FixedText<256>& failedFileName, std::int32_t& writeStatus) {
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
    // Named before anything is opened, so that a failure always has its name.
    failedFileName.Assign(group.Name(i));
    ComposePaths(folderPath, group.Name(i), target, temporary);
    if (completing && GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      (void)DeleteFileA(temporary.c_str());
      continue;
    }
    writeStatus = WriteTemporary(target, temporary, group.Bytes(i), group.sizes[i]);
    if (writeStatus == 0) written |= 1u << i;
  }
  for (std::int32_t i = 0; i < group.entryCount && writeStatus == 0; ++i) {
    if ((written & (1u << i)) == 0) continue;
    failedFileName.Assign(group.Name(i));
    ComposePaths(folderPath, group.Name(i), target, temporary);
    writeStatus = MoveIntoPlace(temporary, target, 0);
    if (writeStatus == 0) moved |= 1u << i;
  }
  if (writeStatus == 0) return;
  // Best effort: the failure is reported anyway. The failed entry's temporary
  // file is gone already.
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    if ((written & (1u << i)) == 0) continue;
    ComposePaths(folderPath, group.Name(i), target, temporary);
    (void)DeleteFileA((moved & (1u << i)) != 0 ? target.c_str() : temporary.c_str());
  }
}

}  // namespace

PayloadName PayloadTemporaryName(std::string_view name) {
  const bool marked = !name.empty() && name.back() == kPayloadTemporaryMark;
  const char mark = marked ? kPayloadTemporaryAltMark : kPayloadTemporaryMark;
  PayloadName temporary(Head(name, name.empty() ? 0 : name.size() - 1));
  temporary.Append(std::string_view(&mark, 1));
  return temporary;
}

PayloadEntrySet FindPayloadFiles(const PayloadGroup& group, std::string_view folder, bool temporary) {
  PayloadEntrySet found = 0;
  EntryPath target;
  EntryPath temporaryPath;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    ComposePaths(folder, group.Name(i), target, temporaryPath);
    const EntryPath& path = temporary ? temporaryPath : target;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) found |= PayloadEntrySet{1} << i;
  }
  return found;
}

void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  const std::string_view folderPath = folder.Trimmed();
  if (group.policy == PayloadPolicy::kKeepExistingSet) {
    WriteSet(group, folderPath, false, failedFileName, writeStatus);
    return;
  }
  const DWORD moveFlags = group.policy == PayloadPolicy::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
  EntryPath target;
  EntryPath temporary;
  writeStatus = 0;
  for (std::int32_t i = 0; i < group.entryCount && writeStatus == 0; ++i) {
    // Named before anything is opened, so that a failure always has its name.
    failedFileName.Assign(group.Name(i));
    ComposePaths(folderPath, group.Name(i), target, temporary);
    writeStatus = WriteTemporary(target, temporary, group.Bytes(i), group.sizes[i]);
    if (writeStatus == 0) writeStatus = MoveIntoPlace(temporary, target, moveFlags);
  }
}

void CheckPayloadGroupReplaceable(const PayloadGroup& group, const FixedText<256>& folder,
                                  FixedText<256>& failedFileName, std::int32_t& checkStatus) {
  checkStatus = 0;
  if (group.policy != PayloadPolicy::kReplace) return;
  EntryPath target;
  EntryPath temporary;
  for (std::int32_t i = 0; i < group.entryCount && checkStatus == 0; ++i) {
    failedFileName.Assign(group.Name(i));
    ComposePaths(folder.Trimmed(), group.Name(i), target, temporary);
    if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) continue;  // nothing to replace
    // Root may open a read-only file for writing under Wine.
    if (IsReadOnly(target)) {
      checkStatus = ERROR_ACCESS_DENIED;
      continue;
    }
    // Opening it changes nothing in it: no data, no times.
    const Owner<HANDLE, FileTraits> file(
        CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FileTraits::Holds(file.Get())) checkStatus = LastErrorStatus();
  }
}

void CompletePayloadSet(const PayloadGroup& group, const FixedText<256>& folder,
                        FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  WriteSet(group, folder.Trimmed(), true, failedFileName, writeStatus);
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
