// The payload: the files that the installer carries in its own image, and the
// writer that puts a group of them on disk.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "fixedtext/fixed_text.h"

// What a group does with files that are already there.
enum class PayloadPolicy : std::int32_t {
  kReplace,          // the program's own files: each entry replaces a file of its name
  kKeepExisting,     // the user's data: a file that exists is never replaced
  kKeepExistingSet,  // as kKeepExisting, and the entries are written as a whole set or not at all
};

// Where a group is written: the installation folder, or its Help folder.
enum class PayloadDestination : std::int32_t { kInstallationFolder, kHelpFolder };

// One group of embedded files, constant data of the image. The build makes the
// four groups from payload/catalogue.txt and the input folders beside it.
struct PayloadGroup {
  std::int32_t entryCount;        // at least 1
  const std::int32_t* sizes;      // entryCount sizes in bytes, entry order
  const char (*names)[32];        // entryCount 32-character blank-padded names, no terminator
  const std::uint8_t* blob;       // all entries back to back: entry i starts at the sum of
                                  // the sizes before it, and the blob ends with the last one
  const std::uint32_t* crcs;      // entryCount CRC-32s (zip's) of the entries' bytes, made by the build
  PayloadPolicy policy;
  PayloadDestination destination;

  // Entry i's size in bytes, and all entries' together: the blob's length.
  std::int32_t Size(std::int32_t i) const { return sizes[i]; }
  std::int32_t ByteCount() const {
    std::int32_t total = 0;
    for (std::int32_t i = 0; i < entryCount; ++i) total += Size(i);
    return total;
  }

  // Entry i's file name: its name field without the padding.
  std::string_view Name(std::int32_t i) const { return TrimRight(std::string_view(names[i], 32)); }
  // Entry i's bytes, Size(i) of them.
  const std::uint8_t* Bytes(std::int32_t i) const {
    std::int32_t offset = 0;
    for (std::int32_t before = 0; before < i; ++before) offset += Size(before);
    return blob + offset;
  }
};

// A choice of a group's entries: bit i stands for entry i. The catalogue holds
// at most 64 entries in a group (payload/catalogue.cmake).
using PayloadEntrySet = std::uint64_t;
inline constexpr std::int32_t kMaxGroupEntries = 64;
inline PayloadEntrySet AllEntries(const PayloadGroup& group) {
  return group.entryCount >= kMaxGroupEntries ? ~PayloadEntrySet{0} : (PayloadEntrySet{1} << group.entryCount) - 1;
}
inline bool Holds(PayloadEntrySet entries, std::int32_t i) { return ((entries >> i) & 1) != 0; }

// The groups by name, for their entry points (below); their order, policy and
// destination are the catalogue's, which kPayloadGroups and each group carry.
extern const PayloadGroup HelpGroup;
extern const PayloadGroup ApplicationGroup;
extern const PayloadGroup FormatsGroup;
extern const PayloadGroup DatabaseGroup;

// Every group of the catalogue, in its order, which is the order in which the
// installation checks and writes them: `for (const PayloadGroup* group : kPayloadGroups)`.
// At most kMaxPayloadGroups (payload/catalogue.cmake).
inline constexpr std::int32_t kMaxPayloadGroups = 8;
struct PayloadGroups {
  const PayloadGroup* const* list;
  std::int32_t count;
  const PayloadGroup* const* begin() const { return list; }
  const PayloadGroup* const* end() const { return list + count; }
};
extern const PayloadGroups kPayloadGroups;

// Whether every entry of `group` still holds the bytes that the build put
// into the image: a copy of the installer damaged on its way (an incomplete
// download, a failing disk) would install the damage and report success. When
// one does not, `damagedFileName` names the first such entry.
bool PayloadGroupIsIntact(const PayloadGroup& group, FixedText<256>& damagedFileName);

// The writer's two names beside a target: the temporary file into which an
// entry is written ("Rotaplan.ex~"), and the kept file under which the file
// that it replaces stays until the installation is complete ("Rotaplan.ex#").
// Each is the target's name with its last character replaced by its mark, or
// by kPayloadAltMark where the name ends in that mark already: never longer
// than the target's own path, so it fits wherever the file fits, and never
// one of the other two names.
inline constexpr char kPayloadTemporaryMark = '~';
inline constexpr char kPayloadKeptMark = '#';
inline constexpr char kPayloadAltMark = '!';
using PayloadName = CText<32>;
PayloadName PayloadTemporaryName(std::string_view name);
PayloadName PayloadKeptName(std::string_view name);

// The entries of `group` whose files are in `folder` (trailing blanks
// removed, no trailing backslash), or with `temporary` those whose temporary
// files are: a file or a folder of that name.
PayloadEntrySet FindPayloadFiles(const PayloadGroup& group, std::string_view folder, bool temporary);

// Another program may hold a file for a moment: an antivirus scanner or the
// search indexer opens each new file as soon as it is written, for tens to
// hundreds of milliseconds. The writer's creations, renames and deletions
// then fail with a sharing or lock violation (or access denied), and are
// tried again in steps of 100 ms, for up to 2 s a file. Between two tries the
// writer calls the pause set here (none: Sleep); the installation's answers
// the messages sent to its windows meanwhile.
inline constexpr DWORD kPayloadRetryStepMs = 100;
inline constexpr int kPayloadRetrySteps = 20;
using PayloadPause = void (*)(DWORD milliseconds);
void SetPayloadPause(PayloadPause pause);

// An installation writes its groups in three passes, so that an upgrade either
// completes or leaves the earlier installation exactly as it was. Each takes
// the folder of a group (trailing blanks removed, no trailing backslash) and
// the entries of it that are written; none creates a folder.
//
// StagePayloadGroup writes each entry, in table order, complete under its
// temporary name beside its target (an earlier temporary file is
// overwritten); it touches no target. It stops at the first failure, whose
// entry `failedFileName` names, and returns that step's Win32 error (0 after
// the last entry, whose name it then holds); the failed entry's temporary
// file is gone, the others stay for RollBackPayloadGroup. A read-only target
// is never replaced: Windows lets a rename take it aside, so the stage refuses
// it (ERROR_ACCESS_DENIED).
std::int32_t StagePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                               FixedText<256>& failedFileName);

// CommitPayloadGroup then moves each staged file onto its target, in table
// order. In a group that replaces files (kReplace) the file there is first
// renamed to its kept name; the other groups replace nothing, and a target
// that appeared since the run looked is a failure (ERROR_ALREADY_EXISTS).
// `committed` receives the entries moved into place; at the first failure it
// stops, with the failed entry's target as it was, and returns the error.
std::int32_t CommitPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                                FixedText<256>& failedFileName, PayloadEntrySet& committed);

// FinishPayloadGroup removes the kept files of `entries` once every group is
// committed. What it cannot remove (a file still held) the next run does.
void FinishPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries);

// RollBackPayloadGroup undoes a group's commit after a failure of this or a
// later group: in reverse table order each entry of `committed` gets its
// kept file back, or loses its new file where there was none before; then the
// temporary files of `entries` go. A caller rolls back the groups in reverse
// order too.
void RollBackPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder, PayloadEntrySet entries,
                          PayloadEntrySet committed);

// RecoverPayloadGroup clears up after a run that ended in the middle of its
// writing (killed, or the power lost): a kept file goes back where its target
// is missing and is removed where the target is there; temporary files are
// removed.
void RecoverPayloadGroup(const PayloadGroup& group, const FixedText<256>& folder);

// Writes every entry of `group` into `folder`, by the three passes above:
// all of them, or on a failure none. `writeStatus` is 0 when the whole group
// was written, otherwise the failing step's Win32 error, with
// `failedFileName` naming the entry that failed.
void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus);

// Whether writing `group` into `folder` can replace every file that it would
// replace, checked before anything is written, so that an upgrade is not
// begun while a program still holds a file of it. Only a kReplace group
// replaces files. Each such file that exists is opened for writing, shared
// with nobody, and closed again: that fails while any other program has it
// open, a running program its own executable included; a file held for a
// moment is waited for as the writer waits. `checkStatus` is 0 when every
// file can be replaced; otherwise `failedFileName` names the first that
// cannot and `checkStatus` is why: ERROR_SHARING_VIOLATION or
// ERROR_LOCK_VIOLATION when it is in use, ERROR_ACCESS_DENIED when it is
// read-only or may not be written (or is a folder), or another Win32 error.
void CheckPayloadGroupReplaceable(const PayloadGroup& group, const FixedText<256>& folder,
                                  FixedText<256>& failedFileName, std::int32_t& checkStatus);

// The four groups' entry points, each WritePayloadGroup over its own group.
void WriteHelpFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                    std::int32_t& writeStatus);
void WriteApplicationFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                           std::int32_t& writeStatus);
void WriteFormatsDatabase(const FixedText<256>& folder, FixedText<256>& failedFileName,
                          std::int32_t& writeStatus);
void WriteDatabaseFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                        std::int32_t& writeStatus);
