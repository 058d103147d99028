// Backslashes in the ANSI text of a path, found letter by letter.
#include "install/ansi_path.h"

namespace {

// The position of the character after the one at `at`: two bytes on for the
// lead byte of a double-byte letter (the lead-byte test of the code page, as
// CharNextA makes it), one otherwise. A lead byte at the very end of the text
// has lost its second byte and counts as a character of its own.
std::size_t NextCharacter(std::string_view path, std::size_t at, UINT codePage) {
  if (at + 1 < path.size() && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(path[at]))) return at + 2;
  return at + 1;
}

}  // namespace

std::size_t FindBackslash(std::string_view path, std::size_t from, UINT codePage) {
  for (std::size_t at = 0; at < path.size(); at = NextCharacter(path, at, codePage)) {
    if (at >= from && path[at] == '\\') return at;
  }
  return std::string_view::npos;
}

std::size_t FindLastBackslash(std::string_view path, UINT codePage) {
  std::size_t last = std::string_view::npos;
  for (std::size_t at = 0; at < path.size(); at = NextCharacter(path, at, codePage)) {
    if (path[at] == '\\') last = at;
  }
  return last;
}

bool EndsInBackslash(std::string_view path, UINT codePage) {
  return !path.empty() && FindLastBackslash(path, codePage) == path.size() - 1;
}
