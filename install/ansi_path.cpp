// The installation folder in the ANSI code page: backslashes found letter by
// letter, and the Unicode forms of the letters that the code page holds.
#include "install/ansi_path.h"

namespace {

constexpr std::size_t npos = std::wstring_view::npos;
constexpr std::size_t kMaxHeldChoice = HeldChoice::kCapacity;

}  // namespace

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

std::size_t ExactAnsiLength(std::wstring_view text) {
  // At most kMaxHeldChoice units; four bytes a character hold it in any code page.
  char ansi[4 * kMaxHeldChoice];
  wchar_t back[kMaxHeldChoice];
  const int length = static_cast<int>(text.size());
  if (text.empty() || text.size() > kMaxHeldChoice) return text.empty() ? 0 : npos;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi, sizeof ansi, nullptr, nullptr);
  if (bytes <= 0) return npos;
  if (MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, kMaxHeldChoice) != length) return npos;
  return std::wstring_view(back, text.size()) == text ? static_cast<std::size_t>(bytes) : npos;
}

namespace {

// The system's Unicode normalisation (in kernel32 from Windows 7 on, in
// normaliz.dll on Vista), loaded when first needed: no import for what only a
// choice beyond the code page asks for; normaliz.dll stays loaded for the
// rest of the run, as kernel32 does. Null where there is none.
using NormalizeStringFn = int(WINAPI*)(NORM_FORM, LPCWSTR, int, LPWSTR, int);
NormalizeStringFn Normalizer() {
  static const NormalizeStringFn normalize = [] {
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "NormalizeString");
    if (found == nullptr) {
      HMODULE normaliz = LoadLibraryA("normaliz.dll");
      if (normaliz != nullptr) found = GetProcAddress(normaliz, "NormalizeString");
    }
    return reinterpret_cast<NormalizeStringFn>(reinterpret_cast<void*>(found));
  }();
  return normalize;
}

// A combining mark. The system counts a composed letter with a diacritic (à)
// as nonspacing too, but as a letter (C3_ALPHA) as well; a mark is not one.
bool IsMark(wchar_t c) {
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE3, &c, 1, &type) && (type & (C3_NONSPACING | C3_ALPHA)) == C3_NONSPACING;
}

// Hangul as macOS names files holds each syllable as conjoining jamo: a leading
// consonant, a vowel, perhaps a trailing consonant (한 is U+1112 U+1161 U+11AB).
// They are letters, not marks, yet only the whole syllable is one letter:
// Unicode's grapheme clusters join a leading jamo to what may follow it (a
// leading jamo, a vowel, a syllable), a vowel or an open syllable to a vowel or
// a trailing jamo, and a trailing jamo or a closed syllable to a trailing jamo.
enum class Jamo { kNone, kLeading, kVowel, kTrailing, kOpen, kClosed };

Jamo JamoOf(wchar_t c) {
  if (c >= 0xAC00 && c <= 0xD7A3) return (c - 0xAC00) % 28 == 0 ? Jamo::kOpen : Jamo::kClosed;
  // The jamo blocks: U+1100-U+11FF, and the extensions U+A960-U+A97F (leading)
  // and U+D7B0-U+D7FF (vowels, then trailing from U+D7CB).
  if (c >= 0xA960 && c <= 0xA97F) return Jamo::kLeading;
  if (c >= 0xD7B0 && c <= 0xD7FF) return c < 0xD7CB ? Jamo::kVowel : Jamo::kTrailing;
  if (c < 0x1100 || c > 0x11FF) return Jamo::kNone;
  return c < 0x1160 ? Jamo::kLeading : c < 0x11A8 ? Jamo::kVowel : Jamo::kTrailing;
}

// Whether `c` belongs to the letter that `previous` ends: a mark, or the next
// jamo of a syllable.
bool Attaches(wchar_t previous, wchar_t c) {
  if (IsMark(c)) return true;
  const Jamo before = JamoOf(previous), next = JamoOf(c);
  if (before == Jamo::kLeading) return next != Jamo::kNone && next != Jamo::kTrailing;
  if (before == Jamo::kVowel || before == Jamo::kOpen) return next == Jamo::kVowel || next == Jamo::kTrailing;
  return (before == Jamo::kTrailing || before == Jamo::kClosed) && next == Jamo::kTrailing;
}

// The code point at the start of `text` and how many units it takes.
std::size_t CodePointLength(std::wstring_view text) {
  return text.size() > 1 && IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1]) ? 2 : 1;
}

char32_t CodePointAt(std::wstring_view text) {
  if (CodePointLength(text) == 1) return text[0];
  return 0x10000 + ((static_cast<char32_t>(text[0]) - 0xD800) << 10) + (static_cast<char32_t>(text[1]) - 0xDC00);
}

// The first character of `text` that the code page does not hold by itself.
char32_t FirstLacking(std::wstring_view text) {
  for (std::wstring_view rest = text; !rest.empty(); rest.remove_prefix(CodePointLength(rest))) {
    const std::wstring_view one(rest.data(), CodePointLength(rest));
    if (ExactAnsiLength(one) == npos) return CodePointAt(one);
  }
  return text.empty() ? 0 : CodePointAt(text);
}

// One letter, decomposed (`letter`: a base of `baseLength` units and the marks
// or jamo after it), in the first form that the code page holds exactly:
// composed with all of its marks, then with none, then with as many as can be,
// the other marks following in their order. A form counts only when it decomposes to the
// same letter again (two marks of one class keep their order). False when the
// code page holds no form of it.
bool AppendHeldLetter(std::wstring_view letter, std::size_t baseLength, HeldChoice& out) {
  constexpr int kRoom = 16;
  const std::size_t marks = letter.size() - baseLength;
  if (letter.size() > 8) return false;
  for (std::size_t step = 0; step <= marks; ++step) {
    const std::size_t count = step == 0 ? marks : step == 1 ? 0 : marks + 1 - step;
    for (unsigned chosen = 0; chosen < (1u << marks); ++chosen) {
      if (static_cast<std::size_t>(__builtin_popcount(chosen)) != count) continue;
      // The base with the chosen marks, then the others.
      wchar_t source[kRoom], form[kRoom], again[kRoom];
      int length = 0;
      for (std::size_t i = 0; i < letter.size(); ++i) {
        if (i < baseLength || ((chosen >> (i - baseLength)) & 1) != 0) source[length++] = letter[i];
      }
      length = Normalizer()(NormalizationC, source, length, form, kRoom);
      if (length <= 0) continue;
      for (std::size_t i = baseLength; i < letter.size(); ++i) {
        if (((chosen >> (i - baseLength)) & 1) == 0) form[length++] = letter[i];
      }
      const std::wstring_view held(form, static_cast<std::size_t>(length));
      if (ExactAnsiLength(held) == npos) continue;
      const int decomposed = Normalizer()(NormalizationD, form, length, again, kRoom);
      if (decomposed <= 0 || std::wstring_view(again, static_cast<std::size_t>(decomposed)) != letter) continue;
      out.Append(held);
      return out.Fits();
    }
  }
  return false;
}

}  // namespace

bool FindHeldForm(std::wstring_view choice, HeldChoice& held, char32_t& lacking) {
  held.Clear();
  held.Append(choice);
  if (ExactAnsiLength(choice) != npos) return true;
  if (Normalizer() == nullptr) {
    lacking = FirstLacking(choice);
    return false;
  }
  // Letter by letter, a letter as the user sees it: a character with the marks
  // that follow it, or a Hangul syllable.
  held.Clear();
  for (std::size_t start = 0; start < choice.size();) {
    std::size_t end = start + CodePointLength(std::wstring_view(choice.data() + start, choice.size() - start));
    while (end < choice.size() && Attaches(choice[end - 1], choice[end])) ++end;
    const std::wstring_view typed(choice.data() + start, end - start);
    start = end;
    if (ExactAnsiLength(typed) != npos) {
      held.Append(typed);
      continue;
    }
    wchar_t decomposed[16];
    const int length = Normalizer()(NormalizationD, typed.data(), static_cast<int>(typed.size()), decomposed, 16);
    const std::wstring_view letter(decomposed, length > 0 ? static_cast<std::size_t>(length) : 0);
    const std::size_t baseLength = letter.empty() ? 0 : CodePointLength(letter);
    bool attached = !letter.empty();
    for (std::size_t i = baseLength; i < letter.size(); ++i) attached = attached && Attaches(letter[i - 1], letter[i]);
    if (attached && AppendHeldLetter(letter, baseLength, held)) continue;
    lacking = FirstLacking(typed);
    return false;
  }
  return held.Fits() && ExactAnsiLength(held.View()) != npos;
}

bool AppendNormalized(std::wstring_view text, bool composed, HeldChoice& out) {
  if (Normalizer() == nullptr) return false;
  const std::size_t at = out.size();
  const int length = Normalizer()(composed ? NormalizationC : NormalizationD, text.data(), static_cast<int>(text.size()),
                                  out.Buffer() + at, static_cast<int>(HeldChoice::kCapacity - at));
  if (length <= 0) return false;
  out.Buffer()[at + static_cast<std::size_t>(length)] = L'\0';
  out.Adopt();
  return true;
}
