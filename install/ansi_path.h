// Backslashes in the ANSI text of a path. In the double-byte code pages of
// Japanese, Chinese and Korean (932, 936, 949, 950) the second byte of many
// letters is 0x5C, the backslash's byte: ソ is 83 5C and 表 95 5C in 932, 許 is
// B3 5C in 950. A byte-wise search would end a folder level in the middle of
// such a letter, so every search here steps over whole letters, as the
// system's own path functions do.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

// The position of the first backslash of `path` at `from` or later that is a
// character of its own; npos when there is none. The letters are counted from
// the text's start, so `from` may lie anywhere.
std::size_t FindBackslash(std::string_view path, std::size_t from = 0, UINT codePage = CP_ACP);

// The position of the last backslash of `path` that is a character of its own;
// npos when there is none.
std::size_t FindLastBackslash(std::string_view path, UINT codePage = CP_ACP);

// Whether the last character of `path` is a backslash (not the end of a letter).
bool EndsInBackslash(std::string_view path, UINT codePage = CP_ACP);
