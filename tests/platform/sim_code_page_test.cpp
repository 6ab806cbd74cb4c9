// ANSI conversions of the simulated Windows, which the manifest and cipher text paths rely on.
#include <gtest/gtest.h>

#include "platform/sim/sim_windows.h"

namespace platform {
namespace {

TEST(SimCodePageTest, DefaultIs1252AndSelectable) {
  SimWindows os;
  EXPECT_EQ(os.GetACP(), 1252u);
  os.SetCodePage(936);
  EXPECT_EQ(os.GetACP(), 936u);
  EXPECT_EQ(os.WideToAnsi(u"\u4E2D"), "\xD6\xD0");
}

TEST(SimCodePageTest, Cp1252MapsEveryByteBothWays) {
  SimWindows os(1252);
  for (int b = 0; b < 256; ++b) {
    std::string byte(1, static_cast<char>(b));
    Text wide = os.AnsiToWide(byte);
    ASSERT_EQ(wide.size(), 1u) << b;
    EXPECT_EQ(os.WideToAnsi(wide), byte) << b;
  }
  // The five bytes CP1252 leaves undefined are the C1 controls of the same value, as on Windows.
  EXPECT_EQ(os.AnsiToWide("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(os.AnsiToWide("\x80\x9F\xE9"), u"\u20AC\u0178\u00E9");
  EXPECT_EQ(os.AnsiToWide(std::string("a\0b", 3)), Text(u"a\0b", 3));
}

TEST(SimCodePageTest, UnmappableCharactersBecomeQuestionMarks) {
  struct Case {
    std::uint32_t code_page;
    Text wide;
    std::string ansi;
  } cases[] = {
      {1252, u"A\u20AC\u00FF", "A\x80\xFF"},
      {1252, u"\u0100\u4E2D", "??"},           // no best-fit mapping
      {1252, Text(1, char16_t(0xD800)), "?"},  // unpaired surrogate
      {936, u"abc\u4E2D\u6587", "abc\xD6\xD0\xCE\xC4"},
      {936, u"\u20AC", "\x80"},
      {936, u"\u0E01x", "?x"},    // Thai is not in the code page
      {936, u"\U0001F600", "?"},  // one "?" for a surrogate pair
      {936, Text(1, char16_t(0xDC00)) + u"a", "?a"},
  };
  for (const auto& c : cases) {
    SimWindows os(c.code_page);
    EXPECT_EQ(os.WideToAnsi(c.wide), c.ansi) << c.code_page << " " << c.ansi;
  }
}

TEST(SimCodePageTest, Cp936DecodesPairsAndSurvivesBadInput) {
  SimWindows os(936);
  EXPECT_EQ(os.AnsiToWide("x\xD6\xD0\xCE\xC4y"), u"x\u4E2D\u6587y");
  EXPECT_EQ(os.AnsiToWide("\x80"), u"\u20AC");
  // A lead byte at the end, or with a trail byte the code page lacks: one "?", and the ASCII
  // byte that follows is kept.
  EXPECT_EQ(os.AnsiToWide("a\xD6"), u"a?");
  EXPECT_EQ(os.AnsiToWide("\x81\x20z"), u"? z");
  // Every ASCII byte maps to itself, NUL included.
  std::string ascii;
  Text wide;
  for (int b = 0; b < 128; ++b) {
    ascii.push_back(static_cast<char>(b));
    wide.push_back(static_cast<char16_t>(b));
  }
  EXPECT_EQ(os.AnsiToWide(ascii), wide);
  EXPECT_EQ(os.WideToAnsi(wide), ascii);
}

}  // namespace
}  // namespace platform
