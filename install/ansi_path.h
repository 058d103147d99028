// The installation folder in the ANSI code page: its backslashes, and the
// Unicode forms of its letters that the code page holds.
//
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

#include "fixedtext/fixed_text.h"

// The position of the first backslash of `path` at `from` or later that is a
// character of its own; npos when there is none. The letters are counted from
// the text's start, so `from` may lie anywhere.
std::size_t FindBackslash(std::string_view path, std::size_t from = 0, UINT codePage = CP_ACP);

// The position of the last backslash of `path` that is a character of its own;
// npos when there is none.
std::size_t FindLastBackslash(std::string_view path, UINT codePage = CP_ACP);

// Whether the last character of `path` is a backslash (not the end of a letter).
bool EndsInBackslash(std::string_view path, UINT codePage = CP_ACP);

// The Unicode forms of a text that the ANSI code page holds. Where a letter
// is held only in another form than the typed one (a u and a combining
// diaeresis from a Mac, ü in 1252; ế from a Vietnamese keyboard, ê and a
// combining acute in 1258), the installation takes that form: the paths are
// ANSI, and the installed program sees its folder in those bytes.

// A text in the form that the code page holds. Room for a choice at the
// limit whose letters all decompose.
using HeldChoice = WideText<3 * 260>;

// The length of `text` in the ANSI code page, or npos when the code page cannot
// hold it exactly. The conversion would put a look-alike (L for Ł, \ for a
// fullwidth backslash) or "?" in place of what it lacks, and the files would go
// to another folder, so only a text that converts back unchanged is taken.
std::size_t ExactAnsiLength(std::wstring_view text);

// `text` in the form that the code page holds, letter by letter: composed
// where the code page has a letter so, else decomposed, else in a mix that it
// has. False, with the first character to blame in `lacking`, when it holds
// none; the system's NormalizeString makes the forms.
bool FindHeldForm(std::wstring_view text, HeldChoice& held, char32_t& lacking);

// Appends `text` composed (NFC) or decomposed (NFD) to `out`; false where the
// system has no normalisation or `out` has no room.
bool AppendNormalized(std::wstring_view text, bool composed, HeldChoice& out);
