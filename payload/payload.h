// The payload: the files that the installer carries in its own image, and the
// writer that puts a group of them on disk.
#pragma once

#include <cstdint>
#include <string_view>

#include "fixedtext/fixed_text.h"

// One group of embedded files, constant data of the image. The build makes the
// four groups from payload/catalogue.txt and the input folders beside it.
struct PayloadGroup {
  std::int32_t entryCount;        // at least 1
  const std::int32_t* sizes;      // entryCount sizes in bytes, entry order
  const char (*names)[32];        // entryCount 32-character blank-padded names, no terminator
  const std::uint8_t* blob;       // all entries back to back: entry i starts at the sum of
                                  // the sizes before it, and the blob ends with the last one
};

// In the order in which the installation writes them.
extern const PayloadGroup HelpGroup;         // into the Help folder
extern const PayloadGroup ApplicationGroup;  // into the installation folder
extern const PayloadGroup FormatsGroup;      // into the installation folder, only when missing
extern const PayloadGroup DatabaseGroup;     // into the installation folder, only when all are missing

// The number of bytes of all entries of a group: its blob's length.
std::int32_t PayloadGroupByteCount(const PayloadGroup& group);

// Each entry is first written to a temporary file beside its target, whose
// name is the target's name followed by this suffix ("Rotaplan.exe.pewtmp"),
// and moved over the target only when it is complete. An earlier temporary
// file of that name is overwritten; one that is left after a failure is
// removed.
inline constexpr std::string_view kPayloadTemporarySuffix = ".pewtmp";

// Writes every entry of `group` as a file of its own into `folder` (trailing
// blanks removed, no trailing backslash), in table order, and stops at the
// first failure. Before each entry its name goes into `failedFileName`; after
// the whole group `writeStatus` is 0, otherwise it is the failing step's
// non-zero Win32 error and `failedFileName` names the entry that failed.
//
// No entry is ever left half-written: a target keeps its old content (or stays
// absent) unless the new one was written completely. Files of earlier entries
// stay, except for DatabaseGroup (see WriteDatabaseFiles). FormatsGroup and
// DatabaseGroup never replace an existing file; the other groups replace files
// of the same name. No folder is created.
void WritePayloadGroup(const PayloadGroup& group, const FixedText<256>& folder,
                       FixedText<256>& failedFileName, std::int32_t& writeStatus);

// The four groups' entry points, each WritePayloadGroup over its own group.
void WriteHelpFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                    std::int32_t& writeStatus);
void WriteApplicationFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                           std::int32_t& writeStatus);
void WriteFormatsDatabase(const FixedText<256>& folder, FixedText<256>& failedFileName,
                          std::int32_t& writeStatus);
// On a failure this also removes the database files that it created in this
// call: the installation writes the databases only when none of them exists,
// so an incomplete set left behind would never be completed.
void WriteDatabaseFiles(const FixedText<256>& folder, FixedText<256>& failedFileName,
                        std::int32_t& writeStatus);
