// The writing baseline of tools/bench: the installer's 47 payload files, taken
// from the same embedded tables, written with nothing but CreateDirectoryA,
// CreateFileA, WriteFile and CloseHandle into a fresh folder (the help files
// into its Help folder, as the installer places them).
//
//   bench_plain_writer <fresh folder>
//
// Prints the microseconds from the first folder made to the last file closed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "payload/payload.h"

namespace {

bool WriteGroup(const PayloadGroup& group, const std::string& folder) {
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    const std::string path = folder + "\\" + std::string(group.Name(i));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot create %s: error %lu\n", path.c_str(), GetLastError());
      return false;
    }
    DWORD written = 0;
    const bool wrote = WriteFile(file, group.Bytes(i), static_cast<DWORD>(group.sizes[i]), &written, nullptr) &&
                       written == static_cast<DWORD>(group.sizes[i]);
    const bool closed = CloseHandle(file) != FALSE;
    if (!wrote || !closed) {
      std::fprintf(stderr, "cannot write %s: error %lu\n", path.c_str(), GetLastError());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_plain_writer <fresh folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string help = folder + "\\Help";

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateDirectoryA(folder.c_str(), nullptr) || !CreateDirectoryA(help.c_str(), nullptr)) {
    std::fprintf(stderr, "cannot make %s: error %lu\n", help.c_str(), GetLastError());
    return 1;
  }
  for (const PayloadGroup* group : kPayloadGroups) {
    if (!WriteGroup(*group, group->destination == PayloadDestination::kHelpFolder ? help : folder)) return 1;
  }
  QueryPerformanceCounter(&end);

  const long long microseconds = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
  std::printf("%lld\n", microseconds);
  return 0;
}
