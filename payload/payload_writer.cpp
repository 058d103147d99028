// The payload group writer: one file per entry, each complete or not at all.
#include "payload/payload.h"

#include <windows.h>

namespace {

// Folder, backslash, name and the temporary suffix always fit.
using EntryPath = CText<FixedText<256>::kWidth + 1 + 32 + kPayloadTemporarySuffix.size()>;

// What happens to the files that a group finds or leaves behind.
struct GroupPolicy {
  // FORMAT.DB and the databases hold the user's own data once they exist; the
  // installation writes them only when they are missing, and the final move
  // must not undo that rule for a file that appeared after its test.
  bool replaceExisting;
  // The installation writes the databases only when none of them exists, so a
  // partial set would never be completed: after a failure, what this call
  // created goes again.
  bool removeCreatedOnFailure;
};

GroupPolicy PolicyFor(const PayloadGroup& group) {
  if (&group == &FormatsGroup) return {false, false};
  if (&group == &DatabaseGroup) return {false, true};
  return {true, false};
}

// The Win32 error of the step that just failed; never 0, which would read as success.
std::int32_t LastErrorStatus() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<std::int32_t>(error) : ERROR_WRITE_FAULT;
}

// Owns the handle of the file being written.
class OutputFile {
 public:
  explicit OutputFile(HANDLE handle) : handle_(handle) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { (void)Close(); }

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

  // False when the close failed: on a network or removable drive that can be
  // where a delayed write reports that the data never arrived.
  bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const bool closed = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// Deletes the temporary file when it goes, unless it was moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const char* path) : path_(path) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (path_ != nullptr) (void)DeleteFileA(path_);  // nothing more to do if this fails
  }
  void Moved() { path_ = nullptr; }

 private:
  const char* path_;
};

// Writes `size` bytes to `temporary` and moves it to `target`. Returns 0 or the
// failing step's error; on a failure `target` is as it was and `temporary` gone.
std::int32_t WriteEntry(const EntryPath& target, const EntryPath& temporary,
                        const std::uint8_t* bytes, std::int32_t size, bool replaceExisting) {
  TemporaryFile cleanup(temporary.c_str());
  {
    // CREATE_ALWAYS truncates a temporary file left by an interrupted run, so
    // the file holds exactly the entry's bytes once the write is done.
    OutputFile file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return LastErrorStatus();
    // One request for the whole entry, straight from the image.
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr)) {
      return LastErrorStatus();
    }
    if (written != static_cast<DWORD>(size)) return ERROR_WRITE_FAULT;
    if (!file.Close()) return LastErrorStatus();
  }
  const DWORD flags = replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0;
  if (!MoveFileExA(temporary.c_str(), target.c_str(), flags)) return LastErrorStatus();
  cleanup.Moved();
  return 0;
}

void ComposeTarget(std::string_view folder, const char (&nameField)[32], EntryPath& path) {
  // Only trailing blanks go: leading and inner ones belong to the names.
  path.Clear();
  path.Append(folder).Append("\\").Append(TrimRight(std::string_view(nameField, 32)));
}

}  // namespace

std::int32_t PayloadGroupByteCount(const PayloadGroup& group) {
  std::int32_t total = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) total += group.sizes[i];
  return total;
}

void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus) {
  const GroupPolicy policy = PolicyFor(group);
  const std::string_view folderPath = folder.Trimmed();
  const std::uint8_t* entryBytes = group.blob;  // the running offset into the blob
  writeStatus = 0;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    // Named before anything is opened, so that a failure always has its name.
    failedFileName.Assign(std::string_view(group.names[i], 32));

    EntryPath target;
    ComposeTarget(folderPath, group.names[i], target);
    EntryPath temporary(target.View());
    temporary.Append(kPayloadTemporarySuffix);

    writeStatus = WriteEntry(target, temporary, entryBytes, group.sizes[i], policy.replaceExisting);
    if (writeStatus != 0) {
      if (policy.removeCreatedOnFailure) {
        // Entries before this one were moved without replacing anything, so
        // every one of them was created by this call.
        for (std::int32_t created = 0; created < i; ++created) {
          ComposeTarget(folderPath, group.names[created], target);
          (void)DeleteFileA(target.c_str());  // best effort: the failure is reported already
        }
      }
      return;
    }
    entryBytes += group.sizes[i];
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
