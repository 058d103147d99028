// Folder search and creation on real folders of the test's Wine prefix: the
// folder-exists test of the installation, the filter flags, the search states,
// the found records against what the system reports, and one-level mkdir.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "install/folders.h"
#include "support/win_test_support.h"

namespace {

using pewtest::FolderExists;
using pewtest::TempFolder;

// A path as the installation passes it: a blank-padded field of 256 characters.
std::string Field(const std::string& value, std::size_t width = 256) {
  std::string field = value;
  if (field.size() < width) field.append(width - field.size(), ' ');
  return field;
}

std::string NameOf(const DirectoryEntryInfo& entry) {
  std::string name(entry.name, sizeof entry.name);
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

bool MakeSubfolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr); }

// The folder-exists test exactly as the installation runs it.
int CountFolders(const std::string& pattern) {
  DirectoryEntryInfo entry;
  int found = -99;
  const std::string field = Field(pattern);
  CountDirectoryEntries(field.data(), static_cast<int>(field.size()), &entry, 1, found, 0, 0, 0, 0,
                        0, 1, 0);
  return found;
}

TEST(CountDirectoryEntries, FolderExistsTestAsTheInstallationUsesIt) {
  TempFolder root;
  ASSERT_TRUE(MakeSubfolder(root / "pewline"));
  ASSERT_TRUE(MakeSubfolder(root / "pewline\\Help"));
  ASSERT_TRUE(MakeSubfolder(root / ".hidden"));
  ASSERT_TRUE(pewtest::WriteFileText(root / "afile", "content"));
  const struct {
    std::string pattern;
    int found;
  } cases[] = {
      {root / "pewline", 1},  // the folder's own entry, no trailing backslash needed
      {root / "pewline\\Help", 1},
      {root / "PEWLINE", 1},  // the file system decides on case
      {root / "afile", 0},    // a file is no folder
      {root / ".hidden", 0},  // dot-named folders are not counted
      {root / "missing", 0},
      {root / "missing\\Help", 0},
      {root / "pew*", 1},  // the pattern goes to the search as written
      {root / "?ewline", 1},
      {root / "a*", 0},
      {root / "*", 1},  // ".", ".." and .hidden skipped; pewline counted
      {root / ".h*", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(CountFolders(c.pattern), c.found);
  }
}

TEST(CountDirectoryEntries, UsesOnlyTheGivenLengthOfThePatternWithoutItsPadding) {
  TempFolder root;
  ASSERT_TRUE(MakeSubfolder(root / "pewline"));
  DirectoryEntryInfo entry;
  int found = 0;
  // Padding that would make the path too long for the system if it were passed on.
  const std::string wide = Field(root / "pewline", 2000);
  CountDirectoryEntries(wide.data(), static_cast<int>(wide.size()), &entry, 1, found, 0, 0, 0, 0,
                        0, 1, 0);
  EXPECT_EQ(found, 1);

  const std::string text = root / "pewlineXYZ";
  CountDirectoryEntries(text.data(), static_cast<int>(text.size() - 3), &entry, 1, found, 0, 0, 0,
                        0, 0, 1, 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(NameOf(entry), "pewline");
  CountDirectoryEntries(text.data(), static_cast<int>(text.size()), &entry, 1, found, 0, 0, 0, 0,
                        0, 1, 0);
  EXPECT_EQ(found, 0);
}

// Names counted by CountDirectoryEntries under the given flags, from its records.
std::set<std::string> Counted(const std::string& pattern, const DirectoryFilter& f,
                              int maxCount = 16) {
  std::vector<DirectoryEntryInfo> entries(static_cast<std::size_t>(std::max(maxCount, 1)));
  int found = -99;
  CountDirectoryEntries(pattern.data(), static_cast<int>(pattern.size()), entries.data(), maxCount,
                        found, f.plainFiles, f.archive, f.readOnly, f.hidden, f.system,
                        f.directoriesOnly, f.volumeLabels);
  std::set<std::string> names;
  for (int i = 0; i < found; ++i) names.insert(NameOf(entries[static_cast<std::size_t>(i)]));
  EXPECT_EQ(names.size(), static_cast<std::size_t>(found)) << "a record counted twice";
  return names;
}

TEST(CountDirectoryEntries, FilterFlagsOnRealFiles) {
  TempFolder root;
  const struct {
    const char* name;
    DWORD attributes;
  } files[] = {
      {"plain.txt", FILE_ATTRIBUTE_ARCHIVE},
      {"ro.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {"hid.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
      {"sys.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM},
  };
  for (const auto& file : files) {
    ASSERT_TRUE(pewtest::WriteFileText(root / file.name, "x"));
    ASSERT_TRUE(SetFileAttributesA((root / file.name).c_str(), file.attributes));
    ASSERT_EQ(GetFileAttributesA((root / file.name).c_str()), file.attributes)
        << file.name << ": the prefix's file system does not keep these attributes";
  }
  ASSERT_TRUE(MakeSubfolder(root / "Sub1"));
  ASSERT_TRUE(MakeSubfolder(root / "Sub2"));
  ASSERT_TRUE(MakeSubfolder(root / ".dot"));

  const std::string all = Field(root / "*");
  using Names = std::set<std::string>;
  const struct {
    const char* label;
    DirectoryFilter filter;
    Names counted;
  } cases[] = {
      {"nothing set", {0, 0, 0, 0, 0, 0, 0}, {}},
      {"archive", {0, 1, 0, 0, 0, 0, 0}, {"plain.txt"}},
      {"archive, read-only", {0, 1, 1, 0, 0, 0, 0}, {"plain.txt", "ro.txt"}},
      {"archive, hidden", {0, 1, 0, 1, 0, 0, 0}, {"plain.txt", "hid.txt"}},
      {"archive, system", {0, 1, 0, 0, 1, 0, 0}, {"plain.txt", "sys.txt"}},
      {"read-only without archive", {0, 0, 1, 0, 0, 0, 0}, {}},
      {"every file flag", {1, 1, 1, 1, 1, 0, 1}, {"plain.txt", "ro.txt", "hid.txt", "sys.txt"}},
      {"only 1 sets a flag", {2, 2, 255, 2, 2, 0, 2}, {}},
      {"directories only", {0, 0, 0, 0, 0, 1, 0}, {"Sub1", "Sub2"}},
      {"directories only wins", {1, 1, 1, 1, 1, 1, 1}, {"Sub1", "Sub2"}},
      {"directories flag of 2", {0, 1, 0, 0, 0, 2, 0}, {"plain.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Counted(all, c.filter), c.counted);
  }
  // Wildcards narrow the search as for FindFirstFileA.
  EXPECT_EQ(Counted(Field(root / "*.txt"), {1, 1, 1, 1, 1, 0, 1}),
            (Names{"plain.txt", "ro.txt", "hid.txt", "sys.txt"}));
  EXPECT_EQ(Counted(Field(root / "Sub?"), {0, 0, 0, 0, 0, 1, 0}), (Names{"Sub1", "Sub2"}));
}

// The attribute rules on their own, for bits the prefix's files cannot carry.
TEST(DirectoryEntryCounts, AttributeRules) {
  const DirectoryFilter plainOnly{1, 0, 0, 0, 0, 0, 0};
  const DirectoryFilter labels{0, 0, 0, 0, 0, 0, 1};
  const DirectoryFilter dirs{0, 0, 0, 0, 0, 1, 0};
  const DirectoryFilter none{0, 0, 0, 0, 0, 0, 0};
  const DirectoryFilter archive{0, 1, 0, 0, 0, 0, 0};
  const struct {
    std::uint16_t attributes;
    const char* name;
    const DirectoryFilter& filter;
    bool counts;
  } cases[] = {
      {0, "a", plainOnly, true},     // a plain file (FILE_ATTRIBUTE_NORMAL alone)
      {0, "a", none, false},
      {0x08, "a", labels, true},     // a volume label
      {0x08, "a", plainOnly, false},
      {0x100, "a", none, true},      // bits without a flag (temporary) do not exclude
      {0x10, "a", plainOnly, false}, // directories never count without the directories flag
      {0x10, "a", dirs, true},
      {0x12, "a", dirs, true},
      {0x10, ".", dirs, false},
      {0x10, "..", dirs, false},
      {0x10, ".git", dirs, false},
      {0x10, " .a", dirs, true},     // only a first character "." excludes
      {0x20, ".profile", archive, true},  // a dot-named file counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.attributes << " \"" << c.name << "\"");
    EXPECT_EQ(DirectoryEntryCounts(c.attributes, Field(c.name, 255), c.filter), c.counts);
  }
}

// Records this program's FindClose calls while it lives, by pointing the
// program's import of FindClose at a recorder. Under Wine a search that runs
// out lets go of its folder by itself, and FindClose of a search closed before
// still succeeds, so only the calls themselves show that a search was closed.
class FindCloseSpy {
 public:
  FindCloseSpy() {
    const auto real = reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "FindClose"));
    slot_ = ImportSlotOf(real);
    if (slot_ == nullptr || s_closed != nullptr) {
      slot_ = nullptr;
      return;
    }
    s_original = reinterpret_cast<FindCloseFunction>(*slot_);
    s_closed = &closed_;
    Point(reinterpret_cast<void*>(&Record));
  }
  FindCloseSpy(const FindCloseSpy&) = delete;
  FindCloseSpy& operator=(const FindCloseSpy&) = delete;
  ~FindCloseSpy() {
    if (slot_ == nullptr) return;
    Point(reinterpret_cast<void*>(s_original));
    s_closed = nullptr;
  }
  bool Installed() const { return slot_ != nullptr; }
  const std::vector<HANDLE>& Closed() const { return closed_; }

 private:
  using FindCloseFunction = BOOL(WINAPI*)(HANDLE);

  static BOOL WINAPI Record(HANDLE search) {
    s_closed->push_back(search);
    return s_original(search);
  }

  // The import address table entry of this program that holds `function`.
  static void** ImportSlotOf(void* function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
      for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
           entry->u1.Function != 0; ++entry) {
        if (reinterpret_cast<void*>(entry->u1.Function) == function) {
          return reinterpret_cast<void**>(&entry->u1.Function);
        }
      }
    }
    return nullptr;
  }

  void Point(void* target) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
    *slot_ = target;
    VirtualProtect(slot_, sizeof *slot_, protection, &protection);
  }

  static inline FindCloseFunction s_original = nullptr;
  static inline std::vector<HANDLE>* s_closed = nullptr;
  void** slot_ = nullptr;
  std::vector<HANDLE> closed_;
};

// True when `folder` can be renamed and renamed back: it cannot while a search
// in it is still open, because the search holds the folder without delete sharing.
bool FolderIsFree(const std::string& folder) {
  const std::string moved = folder + "-moved";
  if (!MoveFileA(folder.c_str(), moved.c_str())) return false;
  return MoveFileA(moved.c_str(), folder.c_str()) != FALSE;
}

TEST(CountDirectoryEntries, MaximumStopsTheCountAndClosesTheSearch) {
  TempFolder root;
  const std::string parent = root / "parent";
  ASSERT_TRUE(MakeSubfolder(parent));
  for (const char* name : {"Sub1", "Sub2", "Sub3"}) ASSERT_TRUE(MakeSubfolder(parent + "\\" + name));
  const std::string pattern = Field(parent + "\\Sub*");
  const DirectoryFilter dirs{0, 0, 0, 0, 0, 1, 0};
  {
    // The check itself: an open search does keep the folder from moving.
    std::intptr_t state = kSearchNew;
    DirectoryEntryInfo entry;
    ASSERT_GT(NextDirectoryEntry(pattern.data(), static_cast<int>(pattern.size()), entry, state), 0);
    EXPECT_FALSE(FolderIsFree(parent));
    FindClose(reinterpret_cast<HANDLE>(state));
    EXPECT_TRUE(FolderIsFree(parent));
  }
  const struct {
    int maxCount;
    std::size_t found;
  } cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 3}, {0, 1}, {-5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maxCount);
    FindCloseSpy spy;
    ASSERT_TRUE(spy.Installed());
    EXPECT_EQ(Counted(pattern, dirs, c.maxCount).size(), c.found);
    EXPECT_EQ(spy.Closed().size(), 1u) << "one search, closed once";
    EXPECT_TRUE(FolderIsFree(parent)) << "the search was left open";
  }
}

// The reset record: -1 in the four numbers and the attribute bits, blank name.
testing::AssertionResult IsReset(const DirectoryEntryInfo& e) {
  if (e.creationTime != -1 || e.lastWriteTime != -1 || e.lastAccessTime != -1 || e.length != -1 ||
      e.attributes != 0xFFFF) {
    return testing::AssertionFailure() << "numbers not reset";
  }
  if (std::string(e.name, sizeof e.name) != std::string(255, ' ')) {
    return testing::AssertionFailure() << "name \"" << NameOf(e) << "\" not reset";
  }
  return testing::AssertionSuccess();
}

DirectoryEntryInfo Garbage() {
  DirectoryEntryInfo e;
  e.creationTime = e.lastWriteTime = e.lastAccessTime = e.length = 12345;
  e.attributes = 0x1234;
  std::fill(std::begin(e.name), std::end(e.name), 'g');
  return e;
}

TEST(NextDirectoryEntry, WalksAllMatchesThenReportsNoMoreAndClosesItself) {
  TempFolder root;
  const std::string parent = root / "walk";
  ASSERT_TRUE(MakeSubfolder(parent));
  for (const char* name : {"a.txt", "b.txt", "c.doc"}) {
    ASSERT_TRUE(pewtest::WriteFileText(parent + "\\" + name, name));
  }
  const std::string pattern = Field(parent + "\\*.txt");
  const int length = static_cast<int>(pattern.size());

  FindCloseSpy spy;
  ASSERT_TRUE(spy.Installed());
  std::intptr_t state = kSearchNew;
  std::intptr_t openSearch = 0;
  std::set<std::string> names;
  DirectoryEntryInfo entry = Garbage();
  int step = 0;
  while (int got = NextDirectoryEntry(pattern.data(), length, entry, state)) {
    ASSERT_LT(++step, 10) << "the search does not end";
    EXPECT_NE(state, kSearchNew);
    EXPECT_NE(state, kSearchNoMoreEntries);
    EXPECT_NE(state, kSearchFailed);
    if (openSearch != 0) {
      EXPECT_EQ(state, openSearch) << "one search, one handle";
    }
    openSearch = state;
    EXPECT_EQ(got, static_cast<int>(NameOf(entry).size()));
    names.insert(NameOf(entry));
  }
  EXPECT_EQ(names, (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(state, kSearchNoMoreEntries);
  EXPECT_TRUE(IsReset(entry));
  EXPECT_EQ(spy.Closed(), std::vector<HANDLE>{reinterpret_cast<HANDLE>(openSearch)})
      << "the finished search must be closed, once";

  // Once finished, or failed, a step only resets the record and says "no more".
  for (std::intptr_t from : {kSearchNoMoreEntries, kSearchFailed}) {
    SCOPED_TRACE(from);
    state = from;
    entry = Garbage();
    EXPECT_EQ(NextDirectoryEntry(pattern.data(), length, entry, state), 0);
    EXPECT_EQ(state, kSearchNoMoreEntries);
    EXPECT_TRUE(IsReset(entry));
  }
}

TEST(NextDirectoryEntry, NothingFoundIsNoMoreAndASystemRefusalIsFailed) {
  TempFolder root;
  const struct {
    std::string pattern;
    std::intptr_t state;
  } cases[] = {
      {root / "missing", kSearchNoMoreEntries},           // ERROR_FILE_NOT_FOUND
      {root / "missing\\deeper", kSearchNoMoreEntries},   // ERROR_PATH_NOT_FOUND
      {root / "*.none", kSearchNoMoreEntries},
      {"", kSearchNoMoreEntries},
      {root / std::string(300, 'n'), kSearchFailed},  // ERROR_FILENAME_EXCED_RANGE
      // Longer than any path the system takes: refused, not cut to another path.
      {root / std::string(2000, 'n'), kSearchFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern.substr(0, 80));
    std::intptr_t state = kSearchNew;
    DirectoryEntryInfo entry = Garbage();
    EXPECT_EQ(NextDirectoryEntry(c.pattern.data(), static_cast<int>(c.pattern.size()), entry,
                                 state),
              0);
    EXPECT_EQ(state, c.state);
    EXPECT_TRUE(IsReset(entry));
  }
}

FILETIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute = 0, WORD second = 0) {
  const SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return ft;
}

// The same reading done with the C runtime: the local calendar form handed to
// mktime. The CRT takes a TZ variable first, which need not match the system's
// time zone, so it is dropped to make the CRT ask the system as well.
std::int32_t CrtSeconds(const FILETIME& time) {
  static const bool tzDropped = [] {
    _putenv("TZ=");
    _tzset();
    return true;
  }();
  (void)tzDropped;
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &st)) return -1;
  tm calendar{};
  calendar.tm_year = st.wYear - 1900;
  calendar.tm_mon = st.wMonth - 1;
  calendar.tm_mday = st.wDay;
  calendar.tm_hour = st.wHour;
  calendar.tm_min = st.wMinute;
  calendar.tm_sec = st.wSecond;
  calendar.tm_isdst = -1;
  return static_cast<std::int32_t>(mktime(&calendar));
}

bool ZoneIsUtcWithoutDaylightSaving() {
  TIME_ZONE_INFORMATION zone;
  return GetTimeZoneInformation(&zone) == TIME_ZONE_ID_UNKNOWN && zone.Bias == 0;
}

// Set, with TZ, where the tests run once more in a zone with daylight-saving
// time (tests/CMakeLists.txt): there a time from the other season moves by the
// hour, which on a machine on UTC it never does.
constexpr char kZoneVariable[] = "PEW_TEST_TIME_ZONE";

TEST(LocalCalendarSeconds, ReadsTheLocalCalendarFormAsMktimeDoes) {
  if (GetEnvironmentVariableA(kZoneVariable, nullptr, 0) != 0) {
    ASSERT_FALSE(ZoneIsUtcWithoutDaylightSaving()) << "the time zone was not taken up";
  }
  const struct {
    const char* label;
    FILETIME time;
    std::int32_t utcSeconds;
  } cases[] = {
      {"1970 start", Utc(1970, 1, 2, 0), 86400},
      {"2001", Utc(2001, 9, 9, 1, 46, 40), 1000000000},
      {"winter", Utc(2024, 1, 15, 12), 1705320000},
      {"summer", Utc(2024, 7, 1, 12), 1719835200},
      {"near the end", Utc(2038, 1, 1, 0), 2145916800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(LocalCalendarSeconds(c.time), CrtSeconds(c.time));
    if (ZoneIsUtcWithoutDaylightSaving()) {
      EXPECT_EQ(LocalCalendarSeconds(c.time), c.utcSeconds);
    }
  }
}

TEST(LocalCalendarSeconds, ZeroAndUnconvertibleTimesGiveMinusOne) {
  const struct {
    const char* label;
    FILETIME time;
  } cases[] = {
      {"zero", FILETIME{0, 0}},
      {"1960", Utc(1960, 6, 1, 0)},
      {"1601", FILETIME{1, 0}},
      {"2040", Utc(2040, 1, 1, 0)},
      {"no calendar form", FILETIME{0xFFFFFFFF, 0xFFFFFFFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(LocalCalendarSeconds(c.time), -1);
  }
}

void SetTimes(const std::string& path, const FILETIME& access, const FILETIME& write) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(file, nullptr, &access, &write));
  CloseHandle(file);
}

TEST(NextDirectoryEntry, RecordHoldsWhatTheSystemReports) {
  TempFolder root;
  const std::string file = root / "Data file.db";
  ASSERT_TRUE(pewtest::WriteFileText(file, std::string(70000, 'x')));
  SetTimes(file, Utc(2024, 7, 1, 12), Utc(2001, 9, 9, 1, 46, 40));
  const std::string folder = root / "Folder";
  ASSERT_TRUE(MakeSubfolder(folder));
  SetTimes(folder, Utc(2024, 1, 15, 12), Utc(2030, 3, 4, 5, 6, 7));
  const std::string late = root / "late.txt";
  ASSERT_TRUE(pewtest::WriteFileText(late, ""));
  SetTimes(late, Utc(2040, 1, 1, 0), Utc(2039, 1, 1, 0));  // past what 32 bits hold

  for (const std::string& path : {file, folder, late}) {
    SCOPED_TRACE(path);
    WIN32_FIND_DATAA system;
    HANDLE find = FindFirstFileA(path.c_str(), &system);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);

    const std::string pattern = Field(path);
    DirectoryEntryInfo entry = Garbage();
    std::intptr_t state = kSearchNew;
    const std::string name = system.cFileName;
    EXPECT_EQ(NextDirectoryEntry(pattern.data(), static_cast<int>(pattern.size()), entry, state),
              static_cast<int>(name.size()));
    EXPECT_EQ(std::string(entry.name, sizeof entry.name), Field(name, 255));
    EXPECT_EQ(entry.length, static_cast<std::int32_t>(system.nFileSizeLow));
    const DWORD attributes = system.dwFileAttributes;
    EXPECT_EQ(entry.attributes, attributes == FILE_ATTRIBUTE_NORMAL ? 0u : attributes & 0xFFFFu);
    EXPECT_EQ(entry.creationTime, CrtSeconds(system.ftCreationTime));
    EXPECT_EQ(entry.lastWriteTime, CrtSeconds(system.ftLastWriteTime));
    EXPECT_EQ(entry.lastAccessTime, CrtSeconds(system.ftLastAccessTime));
    FindClose(reinterpret_cast<HANDLE>(state));
  }
  // And against the times set: the system's own times are what was set.
  DirectoryEntryInfo entry;
  std::intptr_t state = kSearchNew;
  ASSERT_GT(NextDirectoryEntry(file.data(), static_cast<int>(file.size()), entry, state), 0);
  FindClose(reinterpret_cast<HANDLE>(state));
  EXPECT_EQ(entry.length, 70000);
  EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(entry.lastWriteTime, CrtSeconds(Utc(2001, 9, 9, 1, 46, 40)));
  EXPECT_EQ(entry.lastAccessTime, CrtSeconds(Utc(2024, 7, 1, 12)));
  state = kSearchNew;
  ASSERT_GT(NextDirectoryEntry(late.data(), static_cast<int>(late.size()), entry, state), 0);
  FindClose(reinterpret_cast<HANDLE>(state));
  EXPECT_EQ(entry.lastWriteTime, -1);
  EXPECT_EQ(entry.lastAccessTime, -1);
  EXPECT_EQ(entry.length, 0);
}

// Values the prefix's files cannot produce: NORMAL alone, sizes past 4 GB,
// names longer than the record.
TEST(FillDirectoryEntry, AttributesLengthAndNameRules) {
  const struct {
    const char* label;
    DWORD attributes, sizeHigh, sizeLow;
    std::string name;
    std::uint16_t recordAttributes;
    std::int32_t length;
    std::string recordName;
  } cases[] = {
      {"normal alone", FILE_ATTRIBUTE_NORMAL, 0, 5, "n", 0, 5, "n"},
      {"normal with read-only", 0x81, 0, 5, "n", 0x81, 5, "n"},
      {"bits above 16", 0x20080, 0, 5, "n", 0x80, 5, "n"},
      {"temporary", 0x100, 0, 5, "n", 0x100, 5, "n"},
      {"5 GB", 0x20, 1, 0x40000000, "big", 0x20, 0x40000000, "big"},
      {"4 GB - 1", 0x20, 0, 0xFFFFFFFF, "big", 0x20, -1, "big"},
      {"long name", 0x20, 0, 0, std::string(259, 'x'), 0x20, 0, std::string(255, 'x')},
      {"inner blanks", 0x10, 0, 0, " a b ", 0x10, 0, " a b "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WIN32_FIND_DATAA found{};
    found.dwFileAttributes = c.attributes;
    found.nFileSizeHigh = c.sizeHigh;
    found.nFileSizeLow = c.sizeLow;
    found.ftLastWriteTime = Utc(2001, 9, 9, 1, 46, 40);
    std::copy(c.name.begin(), c.name.end(), found.cFileName);
    DirectoryEntryInfo entry = Garbage();
    EXPECT_EQ(FillDirectoryEntry(found, entry), static_cast<int>(c.recordName.size()));
    EXPECT_EQ(entry.attributes, c.recordAttributes);
    EXPECT_EQ(entry.length, c.length);
    EXPECT_EQ(std::string(entry.name, sizeof entry.name), Field(c.recordName, 255));
    EXPECT_EQ(entry.creationTime, -1);  // zero file times
    EXPECT_EQ(entry.lastAccessTime, -1);
    EXPECT_EQ(entry.lastWriteTime, LocalCalendarSeconds(found.ftLastWriteTime));
    EXPECT_NE(entry.lastWriteTime, -1);
  }
}

TEST(NextDirectoryEntry, NameOfTheFullWidthFillsTheRecord) {
  if (!FolderExists("d:\\")) GTEST_SKIP() << "no d: drive in this prefix";
  // At the root of d: the longest name a folder can have still fits a path.
  std::string name = "pew" + std::to_string(GetCurrentProcessId()) + "-";
  name.append(255 - name.size(), 'L');
  const std::string path = "d:\\" + name;
  ASSERT_TRUE(MakeSubfolder(path));
  DirectoryEntryInfo entry;
  std::intptr_t state = kSearchNew;
  const int got = NextDirectoryEntry(path.data(), static_cast<int>(path.size()), entry, state);
  FindClose(reinterpret_cast<HANDLE>(state));
  RemoveDirectoryA(path.c_str());
  EXPECT_EQ(got, 255);
  EXPECT_EQ(std::string(entry.name, sizeof entry.name), name);
}

TEST(MakeFolder, CreatesOneNewLevelOnly) {
  TempFolder root;
  ASSERT_TRUE(MakeSubfolder(root / "exists"));
  ASSERT_TRUE(MakeSubfolder(root / ".dotted"));
  ASSERT_TRUE(pewtest::WriteFileText(root / "afile", "x"));
  const struct {
    const char* label;
    std::string text;
    int length;  // -1: the whole text
    int result;
    std::string created;  // checked to exist afterwards when not empty
  } cases[] = {
      {"new", root / "new", -1, 1, root / "new"},
      {"again", root / "new", -1, 0, root / "new"},
      {"padded field", Field(root / "padded"), -1, 1, root / "padded"},
      {"wide padded field", Field(root / "wide", 2000), -1, 1, root / "wide"},
      {"length cuts the text", root / "shortXYZ", static_cast<int>((root / "short").size()), 1,
       root / "short"},
      {"existing", root / "exists", -1, 0, root / "exists"},
      {"dot-named that the search does not count", root / ".dotted", -1, 0, root / ".dotted"},
      {"a file of that name", root / "afile", -1, 0, ""},
      {"missing parent", root / "absent\\child", -1, 0, ""},
      {"empty", "", -1, 0, ""},
      {"all blanks", Field(""), -1, 0, ""},
      {"length 0", root / "zero", 0, 0, ""},
      {"negative length", root / "negative", -4, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const int length = c.length == -1 ? static_cast<int>(c.text.size()) : c.length;
    EXPECT_EQ(MakeFolder(c.text.data(), length), c.result);
    if (!c.created.empty()) {
      EXPECT_TRUE(FolderExists(c.created));
    }
  }
  EXPECT_FALSE(FolderExists(root / "absent"));
  EXPECT_FALSE(FolderExists(root / "negative"));
  EXPECT_FALSE(FolderExists(root / "zero"));
  EXPECT_FALSE(FolderExists(root / "shortXYZ"));
  EXPECT_TRUE(pewtest::FileExists(root / "afile"));
}

}  // namespace
