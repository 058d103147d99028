// The attribute tests of a path that every subsystem makes, in one place.
#pragma once

// Whether a file or a folder of that name exists.
bool FileExists(const char* path);
// Whether a folder of that name exists; of a Unicode name too, for the
// folders that the user typed beyond the ANSI code page.
bool FolderExists(const char* path);
bool FolderExists(const wchar_t* path);
// Whether a file (or folder) of that name is marked read-only.
bool IsReadOnly(const char* path);
