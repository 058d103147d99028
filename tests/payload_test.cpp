// The payload: the embedded catalogue against the release list and its input
// files, the default formats database, and the group writer on real files.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "payload/payload.h"
#include "support/path_limits.h"
#include "support/win_test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using pewtest::FileExists;
using pewtest::ReadFileBytes;
using pewtest::TempFolder;

std::string EntryName(const PayloadGroup& group, int i) { return std::string(group.Name(i)); }

// The bytes of entry i, where the writer takes them from.
Bytes EntryBytes(const PayloadGroup& group, int i) { return Bytes(group.Bytes(i), group.Bytes(i) + group.sizes[i]); }

FixedText<256> Folder(const std::string& path) { return FixedText<256>(path); }

// The names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SortedNames(const PayloadGroup& group) {
  std::vector<std::string> names;
  for (int i = 0; i < group.entryCount; ++i) names.push_back(EntryName(group, i));
  std::sort(names.begin(), names.end());
  return names;
}

testing::AssertionResult HoldsEntry(const std::string& folder, const PayloadGroup& group, int i) {
  const auto bytes = ReadFileBytes(folder + "\\" + EntryName(group, i));
  if (!bytes) return testing::AssertionFailure() << EntryName(group, i) << " is missing";
  if (*bytes != EntryBytes(group, i)) {
    return testing::AssertionFailure() << EntryName(group, i) << " holds " << bytes->size()
                                       << " bytes that are not the entry's " << group.sizes[i];
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult Holds(const std::string& path, const std::string& text) {
  const auto bytes = ReadFileBytes(path);
  if (!bytes) return testing::AssertionFailure() << path << " is missing";
  if (std::string(bytes->begin(), bytes->end()) != text) {
    return testing::AssertionFailure() << path << " holds " << bytes->size() << " other bytes";
  }
  return testing::AssertionSuccess();
}

// The four groups with the input folder each is made from and its entry point.
// Their names and sizes come from the build's tables, made from the catalogue.
// The entry points are the writer's documented face: the case that writes every
// group goes through them, so each must write its own group. Every other case
// hands the writer the group itself, as the installation sequence does.
struct GroupCase {
  const PayloadGroup* group;
  const char* folder;  // the input folder beside the catalogue
  void (*write)(const FixedText<256>&, FixedText<256>&, std::int32_t&);
};

const std::vector<GroupCase>& Groups() {
  static const std::vector<GroupCase> groups = {
      {&HelpGroup, "help", WriteHelpFiles},
      {&ApplicationGroup, "application", WriteApplicationFiles},
      {&FormatsGroup, "formats", WriteFormatsDatabase},
      {&DatabaseGroup, "databases", WriteDatabaseFiles},
  };
  return groups;
}

const std::string kFormatDb =
    "Schedules\tmodern Courier\t8\t0.8\t0.8\t0.51\t0.51\t 70\t11.00\t8.50\r\n"
    "Sign-In She\tmodern Courier\t10\t0.8\t0.8\t1.0\t1.0\t 56\t11.0\t8.5\r\n"
    "Database Li\tmodern Courier\t9\t.8\t.8\t.8\t.8\t 45\t8.50\t11.00\r\n";

// ---------------------------------------------------------------- catalogue

// What the rest of the installer relies on: 47 files; the help pages in
// alphabetical order without regard to case, then the picture "icon.jpg"; the
// files the shortcuts open; each blob as long as its sizes add up to.
TEST(PayloadCatalogue, GroupsHoldTheFilesTheInstallerReliesOn) {
  int total = 0;
  for (const GroupCase& c : Groups()) {
    SCOPED_TRACE(c.folder);
    long long bytes = 0;
    for (int i = 0; i < c.group->entryCount; ++i) bytes += c.group->Size(i);
    EXPECT_EQ(c.group->ByteCount(), bytes);
    total += c.group->entryCount;
  }
  EXPECT_EQ(total, 47);
  // The one list of the groups, in the order they are written, each with its
  // destination: the help files into the Help folder, the rest beside the program.
  ASSERT_EQ(kPayloadGroups.count, 4);
  const PayloadGroup* const inOrder[] = {&HelpGroup, &ApplicationGroup, &FormatsGroup, &DatabaseGroup};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(kPayloadGroups.list[i], inOrder[i]) << i;
    EXPECT_EQ(inOrder[i]->destination, i == 0 ? PayloadDestination::kHelpFolder : PayloadDestination::kInstallationFolder)
        << i;
  }

  const auto lower = [](std::string name) {
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return name;
  };
  const int help = HelpGroup.entryCount;
  ASSERT_EQ(EntryName(HelpGroup, help - 1), "icon.jpg");
  for (int i = 1; i < help - 1; ++i) {
    EXPECT_LT(lower(EntryName(HelpGroup, i - 1)), lower(EntryName(HelpGroup, i))) << "entry " << i + 1;
  }
  const std::vector<std::string> helpNames = SortedNames(HelpGroup);
  EXPECT_TRUE(std::binary_search(helpNames.begin(), helpNames.end(), "index.htm"));
  EXPECT_EQ(SortedNames(ApplicationGroup), (std::vector<std::string>{"Rotaplan.exe", "Uninstall.txt"}));
  EXPECT_EQ(SortedNames(FormatsGroup), std::vector<std::string>{"FORMAT.DB"});
}

TEST(PayloadCatalogue, NameFieldsAreBlankPaddedUniqueAndUnterminated) {
  for (const GroupCase& c : Groups()) {
    std::set<std::string> seen;
    for (int i = 0; i < c.group->entryCount; ++i) {
      const std::string_view field(c.group->names[i], 32);
      SCOPED_TRACE(std::string(field));
      const std::string_view name = TrimRight(field);
      ASSERT_FALSE(name.empty());
      EXPECT_EQ(field.find('\0'), std::string_view::npos);
      EXPECT_EQ(field.substr(name.size()).find_first_not_of(' '), std::string_view::npos);
      std::string key(name);
      for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_TRUE(seen.insert(key).second) << "listed twice (Windows ignores case)";
    }
  }
}

// Split at the running sums of the size table, the blob gives back every input
// file byte for byte: a wrong size anywhere would shift every later entry.
TEST(PayloadCatalogue, BlobSplitsIntoTheInputFiles) {
  for (const GroupCase& c : Groups()) {
    for (int i = 0; i < c.group->entryCount; ++i) {
      const std::string path =
          std::string(PEW_PAYLOAD_INPUTS) + "/" + c.folder + "/" + EntryName(*c.group, i);
      SCOPED_TRACE(path);
      const auto input = ReadFileBytes(path);
      ASSERT_TRUE(input.has_value());
      EXPECT_TRUE(*input == EntryBytes(*c.group, i));
    }
  }
}

bool StartsWith(const Bytes& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// The text files have CR LF line ends only, end with one, and hold no NUL.
testing::AssertionResult IsCrLfText(const Bytes& bytes) {
  if (bytes.size() < 2 || bytes[bytes.size() - 2] != '\r' || bytes.back() != '\n') {
    return testing::AssertionFailure() << "does not end with CR LF";
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0) return testing::AssertionFailure() << "NUL at " << i;
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
      return testing::AssertionFailure() << "bare LF at " << i;
    }
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) {
      return testing::AssertionFailure() << "bare CR at " << i;
    }
  }
  return testing::AssertionSuccess();
}

// Every entry begins (and where its kind has one, ends) with its kind's
// signature at the offset the size table gives it.
TEST(PayloadCatalogue, EveryEntryHasTheSignatureOfItsKind) {
  for (const GroupCase& c : Groups()) {
    for (int i = 0; i < c.group->entryCount; ++i) {
      const std::string name = EntryName(*c.group, i);
      SCOPED_TRACE(name);
      const Bytes bytes = EntryBytes(*c.group, i);
      const std::string kind = name.substr(name.rfind('.') + 1);
      if (kind == "htm") {
        EXPECT_TRUE(StartsWith(bytes, "<!DOCTYPE") || StartsWith(bytes, "<html"));
      } else if (kind == "gif") {
        EXPECT_TRUE(StartsWith(bytes, "GIF89a"));
        EXPECT_EQ(bytes.back(), 0x3B);
      } else if (kind == "jpg") {
        EXPECT_TRUE(StartsWith(bytes, "\xFF\xD8\xFF"));
        EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
        EXPECT_EQ(bytes.back(), 0xD9);
      } else if (kind == "exe") {
        EXPECT_TRUE(StartsWith(bytes, "MZ"));
      } else if (kind == "txt" || kind == "db" || kind == "DB") {
        EXPECT_TRUE(IsCrLfText(bytes));
      } else {
        ADD_FAILURE() << "no signature known for this kind";
      }
    }
  }
}

// Not one byte may be dropped or added: the executable's last section ends at
// exactly 565248, and it is a 32-bit GUI program.
TEST(PayloadCatalogue, ApplicationExecutableEndsWithItsLastSection) {
  const Bytes exe = EntryBytes(ApplicationGroup, 0);
  ASSERT_EQ(exe.size(), 565248u);
  DWORD peOffset = 0;
  std::memcpy(&peOffset, &exe[0x3C], 4);
  ASSERT_LT(peOffset + 24u, exe.size());
  ASSERT_EQ(std::memcmp(&exe[peOffset], "PE\0\0", 4), 0);
  IMAGE_FILE_HEADER file;
  std::memcpy(&file, &exe[peOffset + 4], sizeof file);
  EXPECT_EQ(file.Machine, IMAGE_FILE_MACHINE_I386);
  IMAGE_OPTIONAL_HEADER32 optional;
  std::memcpy(&optional, &exe[peOffset + 24], sizeof optional);
  EXPECT_EQ(optional.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  std::size_t end = 0;
  std::size_t imageEnd = 0;
  const std::size_t table = peOffset + 24 + file.SizeOfOptionalHeader;
  for (int i = 0; i < file.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section;
    std::memcpy(&section, &exe[table + i * sizeof section], sizeof section);
    end = std::max<std::size_t>(end, section.PointerToRawData + section.SizeOfRawData);
    imageEnd = std::max<std::size_t>(imageEnd, section.VirtualAddress + section.Misc.VirtualSize);
  }
  EXPECT_EQ(end, 565248u);
  EXPECT_GE(optional.SizeOfImage, imageEnd);
}

TEST(PayloadCatalogue, FormatsDatabaseIsTheDefaultThreePages) {
  ASSERT_EQ(kFormatDb.size(), 178u);
  ASSERT_EQ(FormatsGroup.entryCount, 1);
  const Bytes bytes = EntryBytes(FormatsGroup, 0);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kFormatDb);
}

// ---------------------------------------------------------------- writer

// Each entry point writes its whole group into a fresh folder, and nothing
// else: no temporary file is left beside the group's files.
TEST(PayloadWriter, EntryPointsWriteTheirGroupIntoAFreshFolder) {
  for (const GroupCase& c : Groups()) {
    SCOPED_TRACE(c.folder);
    TempFolder folder;
    FixedText<256> failed("(untouched)");
    std::int32_t status = -1;
    c.write(Folder(folder.Path()), failed, status);
    EXPECT_EQ(status, 0);
    // The name of the last entry stays behind after a success.
    EXPECT_EQ(failed, FixedText<256>(EntryName(*c.group, c.group->entryCount - 1)));
    EXPECT_EQ(FilesIn(folder.Path()), SortedNames(*c.group));
    for (int i = 0; i < c.group->entryCount; ++i) EXPECT_TRUE(HoldsEntry(folder.Path(), *c.group, i));
  }
}

// An older file longer than the entry ends up with exactly the entry's bytes;
// a shorter one is extended to them.
TEST(PayloadWriter, ReplacesLongerAndShorterFiles) {
  TempFolder folder;
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Rotaplan.exe", std::string(600000, 'x')));
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Uninstall.txt", "old"));
  FixedText<256> failed;
  std::int32_t status = -1;
  WritePayloadGroup(ApplicationGroup, Folder(folder.Path()), failed, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(HoldsEntry(folder.Path(), ApplicationGroup, 0));
  EXPECT_TRUE(HoldsEntry(folder.Path(), ApplicationGroup, 1));
  EXPECT_EQ(FilesIn(folder.Path()), SortedNames(ApplicationGroup));
}

TEST(PayloadWriter, MissingFolderFailsAtTheFirstEntryAndIsNotCreated) {
  TempFolder parent;
  const std::string missing = parent / "missing";
  FixedText<256> failed;
  std::int32_t status = 0;
  WritePayloadGroup(HelpGroup, Folder(missing), failed, status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(failed, FixedText<256>("1.htm"));
  EXPECT_FALSE(pewtest::FolderExists(missing));
}

// What a folder holds: each file's name and bytes.
std::map<std::string, Bytes> Contents(const std::string& folder) {
  std::map<std::string, Bytes> contents;
  for (const std::string& name : FilesIn(folder)) contents[name] = ReadFileBytes(folder + "\\" + name).value_or(Bytes{'?'});
  return contents;
}

// Counts the writer's pauses instead of waiting them.
int g_pauses = 0;
void CountPause(DWORD milliseconds) { g_pauses += milliseconds == kPayloadRetryStepMs; }

// Whatever stops a group, in its staging or in its commit, the folder is left
// exactly as it was: the earlier files byte for byte, nothing beside them. A
// file that another program holds is first waited for as a scanner needs
// (20 steps of 100 ms); a read-only one is never replaced.
TEST(PayloadWriter, AFailureLeavesTheFolderAsItWas) {
  enum Arrangement { kHeld, kHeldAfterStaging, kFullDisk, kReadOnly };
  struct Case {
    const char* what;
    const PayloadGroup& group;
    const char* name;  // where it is arranged
    Arrangement arrangement;
    bool earlier;  // an earlier version of the group is there
    std::int32_t status;
    int pauses;
  };
  const Case cases[] = {
      // "Appendix II.htm": a name with an inner blank, the pages before it moved in and then back.
      {"a page held open", HelpGroup, "Appendix II.htm", kHeld, true, ERROR_SHARING_VIOLATION, 20},
      {"a page held open, in a fresh folder", HelpGroup, "Appendix II.htm", kHeld, false, ERROR_SHARING_VIOLATION, 20},
      {"a file taken after the staging", ApplicationGroup, "Uninstall.txt", kHeldAfterStaging, true,
       ERROR_SHARING_VIOLATION, 20},
      {"a full disk over an older program", ApplicationGroup, "Rotaplan.exe", kFullDisk, true, ERROR_DISK_FULL, 0},
      {"a full disk in a fresh folder", ApplicationGroup, "Uninstall.txt", kFullDisk, false, ERROR_DISK_FULL, 0},
      {"a read-only program", ApplicationGroup, "Rotaplan.exe", kReadOnly, true, ERROR_ACCESS_DENIED, 0},
  };
  SetPayloadPause(CountPause);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string path = folder / c.name;
    for (int i = 0; i < c.group.entryCount && c.earlier; ++i) {
      ASSERT_TRUE(pewtest::WriteFileText(folder / EntryName(c.group, i), "version 2.0 of " + EntryName(c.group, i)));
    }
    if (c.arrangement == kHeld) {
      ASSERT_TRUE(pewtest::WriteFileText(path, "the user's page"));
    }
    if (c.arrangement == kReadOnly) {
      ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const auto before = Contents(folder.Path());
    FixedText<256> failed;
    std::int32_t status = 0;
    g_pauses = 0;
    {
      std::optional<pewtest::LockedFile> lock;
      if (c.arrangement == kHeld) lock.emplace(path);
      // The writer removes its temporary file after a failure; Wine cannot
      // delete the link to /dev/full that stands in for it here, which the
      // link's owner does.
      std::optional<pewtest::DevFullLink> full;
      if (c.arrangement == kFullDisk) full.emplace(folder / PayloadTemporaryName(c.name).c_str());
      const PayloadEntrySet all = AllEntries(c.group);
      PayloadEntrySet committed = 0;
      status = StagePayloadGroup(c.group, Folder(folder.Path()), all, failed);
      if (c.arrangement == kHeldAfterStaging) lock.emplace(path);
      if (status == 0) status = CommitPayloadGroup(c.group, Folder(folder.Path()), all, failed, committed);
      if (status != 0) RollBackPayloadGroup(c.group, Folder(folder.Path()), all, committed);
    }
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(failed, FixedText<256>(c.name));
    EXPECT_EQ(g_pauses, c.pauses);
    EXPECT_TRUE(Contents(folder.Path()) == before) << testing::PrintToString(FilesIn(folder.Path()));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  SetPayloadPause(nullptr);
}

// What a run that ended in the middle of its commit leaves (a kept file
// where its target is missing, one beside its target, temporary files) the
// next run clears up: the kept file back in place, the rest gone.
TEST(PayloadWriter, LeftoversOfAnEndedRunAreClearedUp) {
  TempFolder folder;
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Rotaplan.ex#", "version 2.0"));
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Rotaplan.ex~", "version 2.1"));
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Uninstall.txt", "version 2.1"));
  ASSERT_TRUE(pewtest::WriteFileText(folder / "Uninstall.tx#", "version 2.0"));
  RecoverPayloadGroup(ApplicationGroup, Folder(folder.Path()));
  EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"Rotaplan.exe", "Uninstall.txt"}));
  EXPECT_TRUE(Holds(folder / "Rotaplan.exe", "version 2.0"));
  EXPECT_TRUE(Holds(folder / "Uninstall.txt", "version 2.1"));
}

// The installation writes the databases only when none exists; a failure
// part-way must not leave a partial set that no later installation completes.
// Completing an unfinished set (4-msty.db moved into place by an ended run,
// its stale temporary file beside it) fails the same way, and leaves the set
// as it found it less the stale file.
TEST(PayloadWriter, DatabaseFailureRemovesTheFilesItCreated) {
  for (const bool completing : {false, true}) {
    SCOPED_TRACE(completing ? "completing" : "whole set");
    TempFolder folder;
    if (completing) {
      ASSERT_TRUE(pewtest::WriteFileText(folder / "4-msty.db", "moved by the ended run"));
      ASSERT_TRUE(pewtest::WriteFileText(folder / "4-msty.d~", "stale"));
    }
    FixedText<256> failed;
    std::int32_t status = 0;
    {
      pewtest::DevFullLink full(folder / "4-reg.d~");
      ASSERT_TRUE(full.Made());
      // As the installation does: what is written is chosen before the ended run is cleared up.
      const PayloadEntrySet entries = completing ? AllEntries(DatabaseGroup) & ~PayloadEntrySet{1} : AllEntries(DatabaseGroup);
      RecoverPayloadGroup(DatabaseGroup, Folder(folder.Path()));
      PayloadEntrySet committed = 0;
      status = StagePayloadGroup(DatabaseGroup, Folder(folder.Path()), entries, failed);
      if (status == 0) status = CommitPayloadGroup(DatabaseGroup, Folder(folder.Path()), entries, failed, committed);
      if (status != 0) RollBackPayloadGroup(DatabaseGroup, Folder(folder.Path()), entries, committed);
    }
    EXPECT_NE(status, 0);
    EXPECT_EQ(failed, FixedText<256>("4-reg.db"));
    EXPECT_EQ(FilesIn(folder.Path()), completing ? std::vector<std::string>{"4-msty.db"} : std::vector<std::string>{});
  }
}

// The formats database and the databases are the user's once they exist: even
// a file that appears after the installation's test is never replaced.
TEST(PayloadWriter, UserDataFilesAreNeverReplaced) {
  {
    SCOPED_TRACE("FORMAT.DB, even an empty one");
    TempFolder folder;
    ASSERT_TRUE(pewtest::WriteFileText(folder / "FORMAT.DB", ""));
    FixedText<256> failed;
    std::int32_t status = 0;
    WritePayloadGroup(FormatsGroup, Folder(folder.Path()), failed, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(failed, FixedText<256>("FORMAT.DB"));
    EXPECT_TRUE(Holds(folder / "FORMAT.DB", ""));
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::string>{"FORMAT.DB"});
  }
  {
    SCOPED_TRACE("4-people.db");
    TempFolder folder;
    ASSERT_TRUE(pewtest::WriteFileText(folder / "4-people.db", "1\tMy\tOwn\r\n"));
    FixedText<256> failed;
    std::int32_t status = 0;
    WritePayloadGroup(DatabaseGroup, Folder(folder.Path()), failed, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(failed, FixedText<256>("4-people.db"));
    EXPECT_TRUE(Holds(folder / "4-people.db", "1\tMy\tOwn\r\n"));
    // 4-msty.db was created by the failed call and went again; 4-reg.db never came.
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::string>{"4-people.db"});
  }
}

// The installer's own CRC-32 of every entry is the one the build recorded; one
// byte changed anywhere in an entry (its first, one inside, its last) names it.
TEST(PayloadCheck, AnEntryWithOneChangedByteIsNamedAsDamaged) {
  FixedText<256> damaged;
  for (const PayloadGroup* group : kPayloadGroups) EXPECT_TRUE(PayloadGroupIsIntact(*group, damaged)) << damaged.Trimmed();
  struct Case {
    const PayloadGroup& group;
    int entry;
    std::int32_t at;  // -1: the last byte
  };
  for (const Case& c : {Case{HelpGroup, 35, 0}, Case{ApplicationGroup, 0, 300001}, Case{DatabaseGroup, 1, -1}}) {
    SCOPED_TRACE(EntryName(c.group, c.entry));
    Bytes blob(c.group.blob, c.group.blob + c.group.ByteCount());
    blob[c.group.Bytes(c.entry) - c.group.blob + (c.at < 0 ? c.group.Size(c.entry) - 1 : c.at)] ^= 0x10;
    PayloadGroup copy = c.group;
    copy.blob = blob.data();
    EXPECT_FALSE(PayloadGroupIsIntact(copy, damaged));
    EXPECT_EQ(damaged.Trimmed(), EntryName(c.group, c.entry));
  }
}

// Before anything is written, the files a group would replace are checked:
// the first that cannot be replaced is named, with why; nothing is changed,
// a file that is there keeps its content. Groups of the user's data replace
// nothing and are not checked.
TEST(PayloadCheck, NamesTheFirstFileThatCannotBeReplacedAndChangesNothing) {
  struct Case {
    const char* what;
    const PayloadGroup& group;
    const char* name;  // what is arranged, at that entry's name
    enum { kHeld, kReadOnly, kFolder, kPlain } arrangement;
    std::int32_t status;
  };
  const Case cases[] = {
      {"held open by another program", HelpGroup, "Appendix II.htm", Case::kHeld, ERROR_SHARING_VIOLATION},
      // Under the test account Wine refuses to open it for writing; root may,
      // and then only the check of the attribute refuses it.
      {"read-only", ApplicationGroup, "Rotaplan.exe", Case::kReadOnly, ERROR_ACCESS_DENIED},
      {"a folder of the file's name", ApplicationGroup, "Uninstall.txt", Case::kFolder, ERROR_ACCESS_DENIED},
      {"an earlier file, free", HelpGroup, "index.htm", Case::kPlain, 0},
      {"the user's formats held open", FormatsGroup, "FORMAT.DB", Case::kHeld, 0},
      {"a database held open", DatabaseGroup, "4-reg.db", Case::kHeld, 0},
  };
  SetPayloadPause(CountPause);  // a file held for long is held for good here
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string path = folder / c.name;
    std::optional<pewtest::LockedFile> lock;
    if (c.arrangement == Case::kFolder) {
      ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    } else {
      ASSERT_TRUE(pewtest::WriteFileText(path, "earlier"));
    }
    if (c.arrangement == Case::kReadOnly) {
      ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (c.arrangement == Case::kHeld) lock.emplace(path);
    FixedText<256> failed;
    std::int32_t status = -1;
    CheckPayloadGroupReplaceable(c.group, Folder(folder.Path()), failed, status);
    EXPECT_EQ(status, c.status);
    if (c.status != 0) {
      EXPECT_EQ(failed, FixedText<256>(c.name));
    }
    lock.reset();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (c.arrangement != Case::kFolder) {
      EXPECT_TRUE(Holds(path, "earlier"));
    }
    EXPECT_EQ(pewtest::TreeBelow(folder.Path()),
              std::set<std::string>({c.arrangement == Case::kFolder ? std::string(c.name) + "\\" : c.name}));
  }
  SetPayloadPause(nullptr);
}

// Whatever the writer makes first fits wherever the file fits: here the
// longest path an ANSI call takes (259 characters) for "Uninstall.txt".
TEST(PayloadWriter, WritesFilesWhosePathsHaveTheLongestLength) {
  TempFolder root;
  std::string folder = root.Path();
  const std::size_t length = MAX_PATH - 1 - std::string_view("\\Uninstall.txt").size();
  while (folder.size() < length) {
    folder += "\\" + std::string(std::min<std::size_t>(100, length - folder.size() - 1), 'f');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
  }
  ASSERT_EQ((folder + "\\Uninstall.txt").size(), 259u);
  FixedText<256> failed;
  std::int32_t status = -1;
  // Wine would take a temporary name of 260 characters: every name made, the
  // temporary ones too, is held to Windows' limit here. The folder itself is
  // watched: Wine 8 reports no change below the first level of a watch.
  pewtest::CreatedPaths made(folder);
  ASSERT_TRUE(made.Watching());
  WritePayloadGroup(ApplicationGroup, Folder(folder), failed, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(HoldsEntry(folder, ApplicationGroup, 0));
  EXPECT_TRUE(HoldsEntry(folder, ApplicationGroup, 1));
  const auto seen = made.Seen();
  ASSERT_TRUE(seen.has_value()) << "the names made were not all reported";
  EXPECT_TRUE(std::any_of(seen->begin(), seen->end(),
                          [&](const std::string& path) { return path == folder + "\\Uninstall.tx~"; }))
      << "no temporary file was seen";
  EXPECT_TRUE(pewtest::WithinWindowsPathLimits(root.Path(), *seen));
}

// Any group: entries found by the running offset, inner blanks kept in the
// names, a zero-length entry, a temporary file left by an interrupted run.
TEST(PayloadWriter, WritesAnyGroupByRunningOffset) {
  static const std::int32_t sizes[] = {3, 0, 5};
  static const char names[][32] = {
      {'a', ' ', 'b', '.', 't', 'x', 't', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '},
      {'e', 'm', 'p', 't', 'y', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '},
      {'c', ' ', ' ', 'd', ' ', 'e', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}};
  static const std::uint8_t blob[] = {'1', '2', '3', 'v', 'w', 'x', 'y', 'z'};
  static const std::uint32_t crcs[] = {0x884863D2u, 0, 0x52971922u};
  const PayloadGroup group = {3, sizes, names, blob, crcs, PayloadPolicy::kReplace, PayloadDestination::kInstallationFolder};
  TempFolder folder;
  const std::string leftover = folder / "a b.tx~";
  ASSERT_TRUE(pewtest::WriteFileText(leftover, "left by an interrupted run, and longer"));
  FixedText<256> failed;
  std::int32_t status = -1;
  WritePayloadGroup(group, Folder(folder.Path()), failed, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(failed, FixedText<256>("c  d e"));
  EXPECT_TRUE(Holds(folder / "a b.txt", "123"));
  EXPECT_TRUE(Holds(folder / "empty", ""));
  EXPECT_TRUE(Holds(folder / "c  d e", "vwxyz"));
  EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"a b.txt", "c  d e", "empty"}));
}

}  // namespace
