// The payload: the files that the installer carries in its own image, and the
// writer that puts a group of them on disk.
#pragma once

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
    for (std::int32_t i = 0; i < entryCount; ++i) total += sizes[i];
    return total;
  }

  // Entry i's file name: its name field without the padding.
  std::string_view Name(std::int32_t i) const { return TrimRight(std::string_view(names[i], 32)); }
  // Entry i's bytes, sizes[i] of them.
  const std::uint8_t* Bytes(std::int32_t i) const {
    std::int32_t offset = 0;
    for (std::int32_t before = 0; before < i; ++before) offset += sizes[before];
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

// In the order in which the installation writes them.
extern const PayloadGroup HelpGroup;         // into the Help folder
extern const PayloadGroup ApplicationGroup;  // into the installation folder
extern const PayloadGroup FormatsGroup;      // into the installation folder, only when missing
extern const PayloadGroup DatabaseGroup;     // into the installation folder, only when all are missing

// Every group of the catalogue, in its order, which is the order in which the
// installation checks and writes them: `for (const PayloadGroup* group : kPayloadGroups)`.
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

// Each entry is first written to a temporary file beside its target and moved
// over the target only when it is complete. The temporary name is the target's
// name with its last character replaced by this mark ("Rotaplan.ex~"), or by
// kPayloadTemporaryAltMark when it is the mark already: never longer than the
// target's own path, so it fits wherever the file fits. An earlier temporary
// file of that name is overwritten; one that is left after a failure is removed.
inline constexpr char kPayloadTemporaryMark = '~';
inline constexpr char kPayloadTemporaryAltMark = '!';

// An entry's name (trimmed) as a NUL-terminated text, and its temporary name.
using PayloadName = CText<32>;
PayloadName PayloadTemporaryName(std::string_view name);

// The entries of `group` whose files are in `folder` (trailing blanks
// removed, no trailing backslash), or with `temporary` those whose temporary
// files are: a file or a folder of that name.
PayloadEntrySet FindPayloadFiles(const PayloadGroup& group, std::string_view folder, bool temporary);

// Writes every entry of `group` as a file of its own into `folder` (trailing
// blanks removed, no trailing backslash), in table order, and stops at the
// first failure. Before each entry its name goes into `failedFileName`; after
// the whole group `writeStatus` is 0, otherwise it is the failing step's
// non-zero Win32 error and `failedFileName` names the entry that failed.
//
// No entry is ever left half-written: a target keeps its old content (or stays
// absent) unless the new one was written completely. A read-only file is never
// replaced: the rename would replace it on Wine, and Windows refuses it. What
// else happens to existing files is the group's policy: kReplace replaces them;
// kKeepExisting never does; kKeepExistingSet writes all its temporary files
// first, moves them into place one right after another only when all are
// complete, and on any failure removes every file that the call created, so
// that no partial set is left that a later installation would never complete
// (a set has at most kMaxSetEntries entries; a larger one fails with
// ERROR_INVALID_PARAMETER). Files of earlier entries stay otherwise. No folder
// is created.
inline constexpr std::int32_t kMaxSetEntries = 32;
void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus);

// Whether writing `group` into `folder` can replace every file that it would
// replace, checked before anything is written, so that an upgrade either
// replaces them all or leaves the earlier installation as it was. Only a
// kReplace group replaces files. Each such file that exists is opened for
// writing, shared with nobody, and closed again: that fails while any other
// program has it open, a running program its own executable included.
// `checkStatus` is 0 when every file can be replaced; otherwise
// `failedFileName` names the first that cannot and `checkStatus` is why:
// ERROR_SHARING_VIOLATION or ERROR_LOCK_VIOLATION when it is in use,
// ERROR_ACCESS_DENIED when it is read-only or may not be written (or is a
// folder), or another Win32 error.
void CheckPayloadGroupReplaceable(const PayloadGroup& group, const FixedText<256>& folder,
                                  FixedText<256>& failedFileName, std::int32_t& checkStatus);

// Completes a set (kKeepExistingSet) that an installation ended between its
// moves left part-way, some of its files in place and the rest beside them as
// temporary files: writes the entries whose files are missing as a set of
// their own, by the rules above, and removes the stale temporary files of the
// entries that are there, which it leaves as they are.
void CompletePayloadSet(const PayloadGroup& group, const FixedText<256>& folder,
                        FixedText<256>& failedFileName, std::int32_t& writeStatus);

// The four groups' entry points, each WritePayloadGroup over its own group.
void WriteHelpFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                    std::int32_t& writeStatus);
void WriteApplicationFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                           std::int32_t& writeStatus);
void WriteFormatsDatabase(const FixedText<256>& folder, FixedText<256>& failedFileName,
                          std::int32_t& writeStatus);
void WriteDatabaseFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                        std::int32_t& writeStatus);
