// The table's style commands and the defaults a new table takes.
#include <gtest/gtest.h>

#include "commands/StyleCommands.h"
#include "document/AppModule.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

// A command that changes nothing must record no undo step, and one that
// changes the style must name it.
TEST(StyleCommands, CaptionOnlyWhenSomethingChanged) {
  TTable t;
  Build(t, 2, 2);
  EXPECT_FALSE(SetRuleStyle(t, rsClassic).Changed());
  EXPECT_EQ(SetRuleStyle(t, rsBooktabs).Caption, "Rule Style");
  EXPECT_EQ(t.Style.Rules, rsBooktabs);
  EXPECT_FALSE(SetRuleStyle(t, rsBooktabs).Changed());

  TTableFloat f;
  f.Caption = "Results";
  EXPECT_EQ(SetTableFloat(t, f).Caption, "Float");
  EXPECT_EQ(t.Style.Float, f);
  EXPECT_FALSE(SetTableFloat(t, f).Changed());
  EXPECT_EQ(SetTableFloat(t, TTableFloat()).Caption, "Float");
  EXPECT_FALSE(t.Style.Float.Active());
}

// A line break pasted into the caption, label or placement would end up
// inside \caption{..} as a new line of code; the kept text may hold lines.
TEST(StyleCommands, FloatFieldsKeepToOneLine) {
  TTable t;
  TTableFloat f;
  f.Caption = "Two\r\nlines";
  f.Label = "tab:\nx";
  f.Placement = "h\nt";
  f.TextBefore = "\\small\n\\footnotesize";
  SetTableFloat(t, f);
  EXPECT_EQ(t.Style.Float.Caption, "Two  lines");
  EXPECT_EQ(t.Style.Float.Label, "tab: x");
  EXPECT_EQ(t.Style.Float.Placement, "h t");
  EXPECT_EQ(t.Style.Float.TextBefore, f.TextBefore);
}

TEST(StyleCommands, NoticeOnlyWhenBooktabsHidesVerticalRules) {
  struct Case {
    const char* name;
    bool verticalRule;
    TRuleStyle from, to;
    bool notice;
  } cases[] = {
      {"classic to booktabs with a vertical rule", true, rsClassic, rsBooktabs, true},
      {"classic to booktabs without", false, rsClassic, rsBooktabs, false},
      {"already booktabs", true, rsBooktabs, rsBooktabs, false},
      {"back to classic", true, rsBooktabs, rsClassic, false},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 2, 2);
    t.GetCell(1, 1)->RuleRight = c.verticalRule ? 255 : 0;
    t.GetCell(0, 0)->RuleBottom = 255;
    t.Style.Rules = c.from;
    EXPECT_EQ(LosesVerticalRules(t, c.to), c.notice) << c.name;
  }
}

TEST(StyleCommands, RuleStyleNames) {
  EXPECT_EQ(RuleStyleNamed("booktabs"), rsBooktabs);
  EXPECT_EQ(RuleStyleNamed("Classic"), rsClassic);
  EXPECT_EQ(RuleStyleNamed("BOOKTABS"), rsBooktabs);
  EXPECT_EQ(RuleStyleNamed("booktab"), std::nullopt);
  EXPECT_EQ(RuleStyleNamed(""), std::nullopt);
}

}  // namespace
