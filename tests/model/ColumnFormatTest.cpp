// Reading what the grid can show of a column format: its alignment letter,
// its vertical rules and a paragraph column's width.
#include <gtest/gtest.h>

#include "model/ColumnFormat.h"

namespace {

TEST(ColumnFormat, Parse) {
  struct Case {
    const char* Format;
    char Align;
    int RulesLeft;
    int RulesRight;
    float WidthPt;
    bool Wrap;
  };
  const float cm = 72.27f / 2.54f;
  const Case cases[] = {
      {"l", 'l', 0, 0, 0, false},
      {"r|", 'r', 0, 1, 0, false},
      {"||c|", 'c', 2, 1, 0, false},
      {"@{}c@{}", 'c', 0, 0, 0, false},
      {"@{\\hspace{2em}}r", 'r', 0, 0, 0, false},  // nested braces in @{}
      {">{\\bfseries}r<{\\%}", 'r', 0, 0, 0, false},
      {"S", 'c', 0, 0, 0, false},
      {"S[table-format=2.1]", 'c', 0, 0, 0, false},
      {"p{3cm}", 'l', 0, 0, 3 * cm, true},
      {"|m{ 2.5 cm }|", 'l', 1, 1, 2.5f * cm, true},
      {"b{20mm}", 'l', 0, 0, 2 * cm, true},
      {"p{1in}", 'l', 0, 0, 72.27f, true},
      {"p{30pt}", 'l', 0, 0, 30, true},
      {"p{4em}", 'l', 0, 0, 40, true},
      {"p{0.3\\linewidth}", 'l', 0, 0, 0, false},  // no width the grid can know
      {"p{-1cm}", 'l', 0, 0, 0, false},
      {"X", 'l', 0, 0, 0, false},
      {"w{r}{2cm}", 'r', 0, 0, 2 * cm, false},
      {"R", 'l', 0, 0, 0, false},
      {"rl|", 'r', 0, 0, 0, false},  // a second column is not this one's
      {"", 'l', 0, 0, 0, false},
      {"p{3cm", 'l', 0, 0, 3 * cm, true},  // unclosed: read to the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Format);
    const TColumnLook look = ParseColumnFormat(c.Format);
    EXPECT_EQ(look.Align, c.Align);
    EXPECT_EQ(look.RulesLeft, c.RulesLeft);
    EXPECT_EQ(look.RulesRight, c.RulesRight);
    EXPECT_NEAR(look.WidthPt, c.WidthPt, 0.01f);
    EXPECT_EQ(look.Wrap, c.Wrap);
  }
}

}  // namespace
