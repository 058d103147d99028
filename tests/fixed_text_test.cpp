// Fixed-width and bounded NUL-terminated texts.
#include <gtest/gtest.h>

#include "fixedtext/fixed_text.h"

using namespace std::string_view_literals;

namespace {

TEST(FixedText, StartsAllBlanksWithAnEmptyValue) {
  FixedText<8> text;
  EXPECT_EQ(text.View(), "        ");
  EXPECT_EQ(text.Trimmed(), "");
  EXPECT_EQ(text.TrimmedLength(), 0u);
}

TEST(FixedText, AssignPadsShortValuesAndCutsLongOnesSilently) {
  struct Case {
    std::string_view value;
    std::string_view stored;
  };
  const Case cases[] = {
      {"c:\\pew", "c:\\pew  "},
      {"c:\\pewlin", "c:\\pewlin"},
      {"c:\\pewline", "c:\\pewlin"},  // cut without notice
      {"", "        "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    FixedText<9> text;
    text.Assign("XXXXXXXXX");  // earlier content must not survive
    text.Assign(c.value);
    EXPECT_EQ(text.View().substr(0, c.stored.size()), c.stored);
    EXPECT_EQ(text.View().size(), 9u);
  }
}

TEST(FixedText, ValueEndsAtLastNonBlankKeepingLeadingAndInnerBlanks) {
  FixedText<32> name(" Appendix VII.htm   ");
  EXPECT_EQ(name.Trimmed(), " Appendix VII.htm");
  EXPECT_EQ(name.TrimmedLength(), 17u);
  // Only blanks are padding: a trailing tab is content.
  FixedText<8> tabbed("a\t");
  EXPECT_EQ(tabbed.Trimmed(), "a\t");
}

TEST(FixedText, PositionsCountFromOne) {
  FixedText<10> text("c:\\apps"sv);
  EXPECT_EQ(text.At(1), 'c');
  EXPECT_EQ(text.At(3), '\\');
  text.At(8) = '\\';
  EXPECT_EQ(text.Trimmed(), "c:\\apps\\");
  text.At(8) = ' ';
  EXPECT_EQ(text.Trimmed(), "c:\\apps");
}

TEST(FixedText, AssignFixedWorksOnAnyField) {
  char field[5] = {'x', 'x', 'x', 'x', 'x'};
  AssignFixed(field, 5, "ab");
  EXPECT_EQ(std::string_view(field, 5), "ab   ");
  AssignFixed(field, 5, "abcdefg");
  EXPECT_EQ(std::string_view(field, 5), "abcde");
  EXPECT_EQ(TrimRight("   "), "");
  EXPECT_EQ(TrimRight(""), "");
}

TEST(CText, ComposesAndTerminates) {
  CText<16> path;
  EXPECT_STREQ(path.c_str(), "");
  path.Append("c:\\pew"sv).Append("\\"sv).Append("x.lnk"sv);
  EXPECT_TRUE(path.Fits());
  EXPECT_STREQ(path.c_str(), "c:\\pew\\x.lnk");
  EXPECT_EQ(path.size(), 12u);
}

// A name field of fixed width, without a terminator, is never taken for a
// literal (which would drop its last character): arrays go in as views only.
template <typename Text, typename Piece>
constexpr bool kAppends = requires(Text text, Piece piece) { text.Append(piece); };
template <typename Text, typename Piece>
constexpr bool kMadeOf = requires(Piece piece) { Text(piece); };
using Field = const char (&)[32];
static_assert(!kAppends<CText<40>, Field> && !kMadeOf<CText<40>, Field>);
static_assert(kAppends<CText<40>, std::string_view> && kMadeOf<CText<40>, std::string_view>);

TEST(CText, ExactFitIsAcceptedOneMoreIsRefusedAndLeavesTheTextAsItWas) {
  CText<5> text("abc"sv);
  text.Append("de"sv);
  EXPECT_TRUE(text.Fits());
  EXPECT_STREQ(text.c_str(), "abcde");
  text.Append("f"sv);
  EXPECT_FALSE(text.Fits());
  EXPECT_STREQ(text.c_str(), "abcde");
  text.Clear();
  EXPECT_TRUE(text.Fits());
  EXPECT_STREQ(text.c_str(), "");
}

TEST(CText, AdoptTakesTheLengthFromTheTerminatorAndNeverReadsPastTheBuffer) {
  CText<8> text;
  std::strcpy(text.Buffer(), "c:\\x");
  text.Adopt();
  EXPECT_EQ(text.View(), "c:\\x");
  // A buffer filled to the brim without a terminator is cut at the capacity.
  for (int i = 0; i < 9; ++i) text.Buffer()[i] = 'y';
  text.Adopt();
  EXPECT_EQ(text.size(), 8u);
}

}  // namespace
