// The attribute tests of a path.
#include "common/file_attributes.h"

#include <windows.h>

namespace {

bool Has(DWORD attributes, DWORD attribute) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

}  // namespace

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }
bool FolderExists(const char* path) { return Has(GetFileAttributesA(path), FILE_ATTRIBUTE_DIRECTORY); }
bool FolderExists(const wchar_t* path) { return Has(GetFileAttributesW(path), FILE_ATTRIBUTE_DIRECTORY); }
bool IsReadOnly(const char* path) { return Has(GetFileAttributesA(path), FILE_ATTRIBUTE_READONLY); }
