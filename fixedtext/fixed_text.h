// Fixed-width texts and bounded NUL-terminated texts, shared by every subsystem.
//
// The installer's own operations pass texts as fixed-width fields: left-aligned,
// padded on the right with blanks, no terminator. A text's value is its content
// up to its last non-blank; assigning copies what fits and silently drops the
// rest. Where a text goes to the platform it is trimmed and NUL-terminated,
// which is what CText is for.
//
// Neither type allocates: std::string would pull libstdc++'s exception and
// locale machinery into the product, which must stay small.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// The first `count` characters of `text` (all of it when shorter). Product code
// uses it instead of std::string_view::substr, which throws: its out_of_range
// alone links in libstdc++'s exception and demangling code.
constexpr std::string_view Head(std::string_view text, std::size_t count) {
  return {text.data(), count < text.size() ? count : text.size()};
}

// The value of a fixed-width text: everything up to the last non-blank.
// Only the blank (0x20) counts as padding; tabs and other characters stay.
constexpr std::string_view TrimRight(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return Head(text, n);
}

// Copies what fits of `value` into `field` and pads the rest with blanks.
constexpr void AssignFixed(char* field, std::size_t width, std::string_view value) {
  std::size_t n = value.size() < width ? value.size() : width;
  for (std::size_t i = 0; i < n; ++i) field[i] = value[i];
  for (std::size_t i = n; i < width; ++i) field[i] = ' ';
}

template <std::size_t N>
class FixedText {
 public:
  static constexpr std::size_t kWidth = N;

  // Not constexpr: a blank text is then filled where it is made, instead of
  // being copied from a blank image that the compiler would keep in the data.
  FixedText() { AssignFixed(chars_, N, {}); }
  constexpr explicit FixedText(std::string_view value) { AssignFixed(chars_, N, value); }

  constexpr void Assign(std::string_view value) { AssignFixed(chars_, N, value); }

  // All N characters, padding included: the "text and its length" form.
  constexpr std::string_view View() const { return {chars_, N}; }
  constexpr std::string_view Trimmed() const { return TrimRight(View()); }
  constexpr std::size_t TrimmedLength() const { return Trimmed().size(); }

  // Positions count from 1, as the installer's texts always have.
  constexpr char& At(std::size_t position) { return chars_[position - 1]; }
  constexpr char At(std::size_t position) const { return chars_[position - 1]; }

  constexpr char* data() { return chars_; }
  constexpr const char* data() const { return chars_; }
  static constexpr std::size_t size() { return N; }

  constexpr bool operator==(const FixedText&) const = default;

 private:
  char chars_[N];
};

// A NUL-terminated text with room for `Capacity` characters plus the
// terminator. Appending what does not fit leaves the text as it was and marks
// it as overflowed, so a caller composing a path checks Fits() once at the end
// instead of after every piece. Of char (ANSI) or of wchar_t, for what goes
// to the platform's Unicode calls.
template <typename Char, std::size_t Capacity>
class BasicCText {
 public:
  static constexpr std::size_t kCapacity = Capacity;
  using Piece = std::basic_string_view<Char>;

  // Texts go in as views. A literal is written as one ("abc"sv), whose length
  // the compiler knows: no call measures it. A character array is refused:
  // taken for a literal, a field of fixed width without a terminator (a
  // 32-character name) would lose its last character; it goes in as a view of
  // its width.
  constexpr BasicCText() { chars_[0] = Char(); }
  constexpr explicit BasicCText(Piece value) : BasicCText() { Append(value); }
  template <std::size_t N>
  explicit BasicCText(const Char (&array)[N]) = delete;

  template <std::size_t N>
  BasicCText& Append(const Char (&array)[N]) = delete;
  constexpr BasicCText& Append(Piece piece) {
    if (piece.size() > Capacity - length_) {
      overflowed_ = true;
      return *this;
    }
    for (Char c : piece) chars_[length_++] = c;
    chars_[length_] = Char();
    return *this;
  }

  constexpr void Clear() {
    length_ = 0;
    chars_[0] = Char();
    overflowed_ = false;
  }

  constexpr bool Fits() const { return !overflowed_; }
  constexpr const Char* c_str() const { return chars_; }
  constexpr Piece View() const { return {chars_, length_}; }
  constexpr std::size_t size() const { return length_; }

  // For APIs that fill a buffer themselves (for example SHGetPathFromIDListA):
  // write into Buffer(), then call Adopt() to take the length from the terminator.
  constexpr Char* Buffer() { return chars_; }
  constexpr void Adopt() {
    chars_[Capacity] = Char();
    length_ = 0;
    while (chars_[length_] != Char()) ++length_;
    overflowed_ = false;
  }

 private:
  // Only what the text holds and its terminator are ever read: the rest is
  // left as it is, so that a large text costs no clearing.
  Char chars_[Capacity + 1];
  std::size_t length_ = 0;
  bool overflowed_ = false;
};

template <std::size_t Capacity>
using CText = BasicCText<char, Capacity>;
template <std::size_t Capacity>
using WideText = BasicCText<wchar_t, Capacity>;
